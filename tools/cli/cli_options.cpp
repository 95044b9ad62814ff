#include "cli/cli_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace dravmer::cli {

namespace {
std::string Quoted(const std::string& text) { return "'" + text + "'"; }
}  // namespace

CLI::Validator WholeIn(Language language, unsigned long long low, unsigned long long high,
                       const std::string& unit) {
    const Words w(language);
    const std::string range = std::to_string(low) + ".." + std::to_string(high);
    const std::string expected = w("expected a whole number from ", "ожидается целое число от ") +
                                 std::to_string(low) + w(" to ", " до ") + std::to_string(high) +
                                 (unit.empty() ? "" : " " + unit) + w(", not ", ", а не ");
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            unsigned long long value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, ec] = std::from_chars(text.data(), end, value);
            if (text.empty() || text[0] == '+' || text[0] == '-' || ec != std::errc() ||
                stop != end || value < low || value > high)
                return expected + Quoted(text);
            text = std::to_string(value);
            return {};
        },
        range);
}

CLI::Validator NumberAbove(Language language, double low, bool orEqual, const std::string& unit) {
    const Words w(language);
    char bound[32];
    std::snprintf(bound, sizeof bound, "%g", low);
    const std::string expected =
        (language == Language::English
             ? "expected a number of " + unit + (orEqual ? " from " : " above ") + bound
             : "ожидается число " + unit + (orEqual ? " не меньше " : " больше ") + bound) +
        w(", not ", ", а не ");
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            const bool inRange = orEqual ? value >= low : value > low;
            if (text.empty() || *end != '\0' || std::isnan(value) || !inRange)
                return expected + Quoted(text);
            return {};
        },
        (orEqual ? ">=" : ">") + std::string(bound));
}

CLI::Validator NotEmpty(Language language, const std::string& what) {
    const std::string expected = Words(language)("expected ", "ожидается ") + what +
                                 Words(language)(", not ''", ", а не ''");
    return CLI::Validator(
        [expected](std::string& text) -> std::string {
            return text.empty() ? expected : std::string();
        },
        "");
}

CLI::Validator OneOf(Language language, std::vector<std::string> words) {
    const Words w(language);
    std::string listed, desc;
    for (std::size_t i = 0; i < words.size(); ++i) {
        listed += (i == 0 ? "" : i + 1 == words.size() ? w(" or ", " или ") : ", ") + words[i];
        desc += (i == 0 ? "" : "|") + words[i];
    }
    const std::string expected = w("expected ", "ожидается ") + listed + w(", not ", ", а не ");
    return CLI::Validator(
        [words, expected](std::string& text) -> std::string {
            for (const auto& w : words)
                if (text == w) return {};
            return expected + Quoted(text);
        },
        desc);
}

// ---- the help ----

CHelpFormatter::CHelpFormatter(Language language) : m_language(language) {
    if (language == Language::English) return;
    // CLI11's own words in a command's help; the value names of the options too.
    label("Usage", "Использование");
    label("OPTIONS", "ПАРАМЕТРЫ");
    label("SUBCOMMAND", "ПОДКОМАНДА");
    label("SUBCOMMANDS", "ПОДКОМАНДЫ");
    label("Positionals", "Аргументы");
    label("REQUIRED", "ОБЯЗАТЕЛЬНО");
    label("Needs", "Требует");
    label("Excludes", "Исключает");
    label("Env", "Переменная");
    label("TEXT", "ТЕКСТ");
    label("UINT", "ЧИСЛО");
    label("INT", "ЧИСЛО");
    label("FLOAT", "ЧИСЛО");
    label("BOOLEAN", "ДА/НЕТ");
}

std::string CHelpFormatter::Heading(const std::string& group) const {
    if (m_language == Language::English) return group;
    if (group == "Options") return "Параметры";
    if (group == "Subcommands") return "Подкоманды";
    return get_label(group);
}

std::string CHelpFormatter::make_group(std::string group, bool is_positional,
                                       std::vector<const CLI::Option*> opts) const {
    std::ostringstream out;
    out << "\n" << Heading(group) << ":\n";
    for (const CLI::Option* opt : opts) out << make_option(opt, is_positional);
    return out.str();
}

std::string CHelpFormatter::make_description(const CLI::App* app) const {
    const std::string desc = app->get_description();
    return desc.empty() ? std::string() : desc + "\n";
}

std::string CHelpFormatter::make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const {
    std::string text = CLI::Formatter::make_subcommands(app, mode);
    const std::string english = "\nSubcommands:\n";
    if (m_language != Language::English)
        for (std::size_t at = 0; (at = text.find(english, at)) != std::string::npos;)
            text.replace(at, english.size(), "\n" + Heading("Subcommands") + ":\n");
    return text;
}

std::string CHelpFormatter::make_option_opts(const CLI::Option* opt) const {
    if (m_language == Language::English || !opt->get_option_text().empty() ||
        opt->get_type_size() == 0)
        return CLI::Formatter::make_option_opts(opt);
    // The value's name in the run's language ("TEXT" is "ТЕКСТ"), or what its check takes when
    // it has one ("0..100", "DATE", "adc|txt").
    const std::string type = opt->get_type_name();
    const std::size_t colon = type.find(':');
    std::string text =
        " " + (colon == std::string::npos ? get_label(type) : type.substr(colon + 1));
    if (!opt->get_default_str().empty()) text += "=" + opt->get_default_str();
    if (opt->get_expected_max() == CLI::detail::expected_max_vector_size)
        text += " ...";
    else if (opt->get_expected_min() > 1)
        text += " x " + std::to_string(opt->get_expected());
    if (opt->get_required()) text += " " + get_label("REQUIRED");
    if (!opt->get_excludes().empty()) {
        text += " " + get_label("Excludes") + ":";
        for (const CLI::Option* other : opt->get_excludes()) text += " " + other->get_name();
    }
    return text;
}

std::string CHelpFormatter::make_option(const CLI::Option* opt, bool is_positional) const {
    const std::string name = "  " + make_option_name(opt, is_positional) + make_option_opts(opt);
    const std::string desc = make_option_desc(opt);
    std::size_t letters = 0;
    for (const char c : name) letters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    const std::string indent(column_width_, ' ');
    std::string line = name;
    if (!desc.empty()) {
        line += letters >= column_width_ ? "\n" + indent : std::string(column_width_ - letters, ' ');
        for (const char c : desc) {
            line += c;
            if (c == '\n') line += indent;
        }
    }
    return line + "\n";
}

}  // namespace dravmer::cli
