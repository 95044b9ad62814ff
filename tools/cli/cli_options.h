#pragma once
// Checks for the values of the commands' options, with messages that say what was expected, and
// the help of a command in the run's language. Whole numbers are read here and not by CLI11's
// conversion, which reads "010" as octal 8 and "-1" as the largest unsigned number: WholeIn
// rewrites the text to plain decimal digits first.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "platform/language.h"

namespace dravmer::cli {

// The run's words for a text of the command line: Words w(language); w("text", "текст").
class Words {
public:
    explicit Words(Language language) : m_language(language) {}
    const char* operator()(const char* english, const char* russian) const {
        return m_language == Language::English ? english : russian;
    }
    Language language() const { return m_language; }

private:
    Language m_language;
};

// A whole decimal number from low to high ("08" is 8; no sign, no spaces, no hexadecimal).
// `unit`, when given, is named in the message (in the run's language: "pixels", "пикселей").
CLI::Validator WholeIn(Language language, unsigned long long low, unsigned long long high,
                       const std::string& unit = "");
// A number (decimals and an exponent allowed) above `low`, or at least `low` with `orEqual`;
// `unit` as for WholeIn.
CLI::Validator NumberAbove(Language language, double low, bool orEqual, const std::string& unit);
// Any text but the empty one ("expected a folder, not ''" with `what` = "a folder").
CLI::Validator NotEmpty(Language language, const std::string& what);
// One of the given words, exactly.
CLI::Validator OneOf(Language language, std::vector<std::string> words);

// The help of a command (--help after it) in the run's language: CLI11's headings, labels and
// value names in it. Set on the top command before its subcommands are added, which take it.
class CHelpFormatter : public CLI::Formatter {
public:
    explicit CHelpFormatter(Language language);
    std::string make_group(std::string group, bool is_positional,
                           std::vector<const CLI::Option*> opts) const override;
    std::string make_description(const CLI::App* app) const override;
    std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override;
    std::string make_option_opts(const CLI::Option* opt) const override;
    // The option's line with the columns counted in letters, not bytes (Cyrillic takes two).
    std::string make_option(const CLI::Option* opt, bool is_positional) const override;

private:
    std::string Heading(const std::string& group) const;
    Language m_language;
};

}  // namespace dravmer::cli
