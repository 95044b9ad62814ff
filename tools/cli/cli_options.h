#pragma once
// Checks for the values of the commands' options, with messages that say what was expected.
// Whole numbers are read here and not by CLI11's conversion, which reads "010" as octal 8 and
// "-1" as the largest unsigned number: WholeIn rewrites the text to plain decimal digits first.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace dravmer::cli {

// A whole decimal number from low to high ("08" is 8; no sign, no spaces, no hexadecimal).
// `unit`, when given, is named in the message: "from 100 to 20000 pixels".
CLI::Validator WholeIn(unsigned long long low, unsigned long long high, const std::string& unit = "");
// A number (decimals and an exponent allowed) above `low`, or at least `low` with `orEqual`.
CLI::Validator NumberAbove(double low, bool orEqual, const std::string& unit);
// Any text but the empty one ("expected a folder, not ''" with `what` = "a folder").
CLI::Validator NotEmpty(const std::string& what);
// One of the given words, exactly.
CLI::Validator OneOf(std::vector<std::string> words);

}  // namespace dravmer::cli
