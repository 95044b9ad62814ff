#include "platform/language.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace dravmer {
namespace {

using Env = std::map<std::string, std::string>;

EnvReader Reader(const Env& env) {
    return [&env](const char* name) -> const char* {
        const auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    };
}

TEST(LocaleLanguage, MessageLocaleIsLcAllThenLcMessagesThenLang) {
    const Env lang{{"LANG", "en_US.UTF-8"}};
    EXPECT_EQ(LocaleLanguages(Reader(lang)), std::vector<std::string>{"en"});
    const Env messages{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "ru_RU.UTF-8"}};
    EXPECT_EQ(LocaleLanguages(Reader(messages)), std::vector<std::string>{"ru"});
    const Env all{{"LANG", "ru_RU.UTF-8"}, {"LC_MESSAGES", "ru_RU.UTF-8"}, {"LC_ALL", "en_GB"}};
    EXPECT_EQ(LocaleLanguages(Reader(all)), std::vector<std::string>{"en"});
    // An empty variable counts as unset.
    const Env emptyAll{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "ru_UA.KOI8-U"}};
    EXPECT_EQ(LocaleLanguages(Reader(emptyAll)), std::vector<std::string>{"ru"});
}

TEST(LocaleLanguage, CAndPosixAndNoLocaleAskForNothingAndIgnoreLanguage) {
    for (const char* locale : {"C", "C.UTF-8", "C.utf8", "POSIX"}) {
        const Env env{{"LANG", locale}, {"LANGUAGE", "en:ru"}};
        EXPECT_TRUE(LocaleLanguages(Reader(env)).empty()) << locale;
        EXPECT_EQ(WindowLanguageFromLocale(Reader(env)), Language::Russian) << locale;
        EXPECT_EQ(CliLanguageFromLocale(Reader(env)), Language::English) << locale;
    }
    const Env none;
    EXPECT_EQ(WindowLanguageFromLocale(Reader(none)), Language::Russian);
    EXPECT_EQ(CliLanguageFromLocale(Reader(none)), Language::English);
}

TEST(LocaleLanguage, LanguageOrdersTheChoiceBeforeTheLocalesOwn) {
    const Env env{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "fr_FR:EN_us::ru"}};
    EXPECT_EQ(LocaleLanguages(Reader(env)), (std::vector<std::string>{"fr", "en", "ru", "de"}));
    EXPECT_EQ(WindowLanguageFromLocale(Reader(env)), Language::English);
    const Env russianFirst{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "ru"}};
    EXPECT_EQ(WindowLanguageFromLocale(Reader(russianFirst)), Language::Russian);
    EXPECT_EQ(CliLanguageFromLocale(Reader(russianFirst)), Language::Russian);
}

TEST(LocaleLanguage, WindowIsEnglishOnlyForEnglishCliRussianOnlyForRussian) {
    struct Case {
        const char* lang;
        Language window, cli;
    };
    for (const Case& c : {Case{"en_US.UTF-8", Language::English, Language::English},
                          Case{"en_IN", Language::English, Language::English},
                          Case{"ru_RU.UTF-8", Language::Russian, Language::Russian},
                          Case{"ru_RU.CP1251", Language::Russian, Language::Russian},
                          Case{"de_DE.UTF-8", Language::Russian, Language::English},
                          Case{"uk_UA.UTF-8", Language::Russian, Language::English}}) {
        const Env env{{"LANG", c.lang}};
        EXPECT_EQ(WindowLanguageFromLocale(Reader(env)), c.window) << c.lang;
        EXPECT_EQ(CliLanguageFromLocale(Reader(env)), c.cli) << c.lang;
    }
}

TEST(LocaleLanguage, WindowSettingChoosesOverTheLocale) {
    const Env english{{"LANG", "en_US.UTF-8"}};
    const Env russian{{"LANG", "ru_RU.UTF-8"}};
    EXPECT_EQ(WindowLanguage("ru", Reader(english)), Language::Russian);
    EXPECT_EQ(WindowLanguage("en", Reader(russian)), Language::English);
    EXPECT_EQ(WindowLanguage("system", Reader(english)), Language::English);
    EXPECT_EQ(WindowLanguage("system", Reader(russian)), Language::Russian);
    EXPECT_EQ(WindowLanguage("", Reader(english)), Language::English) << "unset: the system's";
    EXPECT_EQ(WindowLanguage("fr", Reader(english)), Language::English) << "unknown: the system's";
}

}  // namespace
}  // namespace dravmer
