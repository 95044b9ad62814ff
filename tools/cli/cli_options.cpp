#include "cli/cli_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace dravmer::cli {

namespace {
std::string Quoted(const std::string& text) { return "'" + text + "'"; }
}  // namespace

CLI::Validator WholeIn(unsigned long long low, unsigned long long high, const std::string& unit) {
    const std::string range = std::to_string(low) + ".." + std::to_string(high);
    const std::string expected = "expected a whole number from " + std::to_string(low) + " to " +
                                 std::to_string(high) + (unit.empty() ? "" : " " + unit);
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            unsigned long long value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, ec] = std::from_chars(text.data(), end, value);
            if (text.empty() || text[0] == '+' || text[0] == '-' || ec != std::errc() ||
                stop != end || value < low || value > high)
                return expected + ", not " + Quoted(text);
            text = std::to_string(value);
            return {};
        },
        range);
}

CLI::Validator NumberAbove(double low, bool orEqual, const std::string& unit) {
    char bound[32];
    std::snprintf(bound, sizeof bound, "%g", low);
    const std::string expected = "expected a number of " + unit + (orEqual ? " from " : " above ") +
                                 bound;
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            const bool inRange = orEqual ? value >= low : value > low;
            if (text.empty() || *end != '\0' || std::isnan(value) || !inRange)
                return expected + ", not " + Quoted(text);
            return {};
        },
        (orEqual ? ">=" : ">") + std::string(bound));
}

CLI::Validator NotEmpty(const std::string& what) {
    return CLI::Validator(
        [what](std::string& text) -> std::string {
            return text.empty() ? "expected " + what + ", not ''" : std::string();
        },
        "");
}

CLI::Validator OneOf(std::vector<std::string> words) {
    std::string listed, desc;
    for (std::size_t i = 0; i < words.size(); ++i) {
        listed += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
        desc += (i == 0 ? "" : "|") + words[i];
    }
    return CLI::Validator(
        [words, listed](std::string& text) -> std::string {
            for (const auto& w : words)
                if (text == w) return {};
            return "expected " + listed + ", not " + Quoted(text);
        },
        desc);
}

}  // namespace dravmer::cli
