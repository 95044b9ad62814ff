#pragma once
// The language a run speaks to the operator, and how the message locale chooses it. One
// language per run: the window and the CLI pick it once at start. Texts that are stored (files,
// logs, settings values, the archive, protocol texts) never follow it.
#include <functional>
#include <string>
#include <vector>

namespace dravmer {

enum class Language { Russian, English };

// Reads an environment variable: null or empty when unset. Tests hand in their own.
using EnvReader = std::function<const char*(const char* name)>;
EnvReader ProcessEnv();

// The languages the message locale asks for, best first, as two-letter codes ("en", "ru",
// "de"): the locale is LC_ALL, else LC_MESSAGES, else LANG (the first one set). A locale that
// is unset, "C" or "POSIX" asks for none, and LANGUAGE is then ignored, as gettext does;
// otherwise LANGUAGE ("de:en_GB:ru", colon-separated) comes first and the locale's own
// language last.
std::vector<std::string> LocaleLanguages(const EnvReader& env);

// The first of the locale's languages that the program speaks (Russian or English), else
// `fallback`.
Language LanguageFromLocale(const EnvReader& env, Language fallback);

// The window: English for an English locale, Russian otherwise.
inline Language WindowLanguageFromLocale(const EnvReader& env) {
    return LanguageFromLocale(env, Language::Russian);
}
// The CLI: Russian for a Russian locale, English otherwise (C, POSIX and no locale included).
inline Language CliLanguageFromLocale(const EnvReader& env) {
    return LanguageFromLocale(env, Language::English);
}

// The window's language setting (Dravmer/Language): "system" follows the locale, "ru" and "en"
// choose. Anything else is taken as "system".
inline constexpr const char* kLanguageSection = "Dravmer";
inline constexpr const char* kLanguageKey = "Language";
Language WindowLanguage(const std::string& setting, const EnvReader& env);

// "ru" or "en".
const char* LanguageCode(Language language);

}  // namespace dravmer
