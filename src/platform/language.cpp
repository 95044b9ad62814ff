#include "platform/language.h"

#include <cstdlib>

namespace dravmer {

namespace {

const char* Set(const EnvReader& env, const char* name) {
    const char* value = env(name);
    return value && *value ? value : nullptr;
}

// "en_US.UTF-8@euro" -> "en"; "C.UTF-8" -> "c"; lower case.
std::string LanguagePart(const std::string& locale) {
    std::string code;
    for (char c : locale) {
        if (c == '_' || c == '.' || c == '@' || c == '-') break;
        code += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return code;
}

}  // namespace

EnvReader ProcessEnv() {
    return [](const char* name) -> const char* { return std::getenv(name); };
}

std::vector<std::string> LocaleLanguages(const EnvReader& env) {
    const char* locale = Set(env, "LC_ALL");
    if (!locale) locale = Set(env, "LC_MESSAGES");
    if (!locale) locale = Set(env, "LANG");
    if (!locale) return {};
    const std::string own = LanguagePart(locale);
    if (own.empty() || own == "c" || own == "posix") return {};
    std::vector<std::string> languages;
    if (const char* order = Set(env, "LANGUAGE")) {
        std::string entry;
        for (const char* p = order;; ++p) {
            if (*p == ':' || *p == '\0') {
                const std::string code = LanguagePart(entry);
                if (!code.empty()) languages.push_back(code);
                entry.clear();
                if (*p == '\0') break;
            } else {
                entry += *p;
            }
        }
    }
    languages.push_back(own);
    return languages;
}

Language LanguageFromLocale(const EnvReader& env, Language fallback) {
    for (const std::string& code : LocaleLanguages(env)) {
        if (code == "en") return Language::English;
        if (code == "ru") return Language::Russian;
    }
    return fallback;
}

Language WindowLanguage(const std::string& setting, const EnvReader& env) {
    if (setting == "ru") return Language::Russian;
    if (setting == "en") return Language::English;
    return WindowLanguageFromLocale(env);
}

const char* LanguageCode(Language language) { return language == Language::English ? "en" : "ru"; }

}  // namespace dravmer
