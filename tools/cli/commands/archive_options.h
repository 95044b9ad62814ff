#pragma once
// The options of dravmer-cli archive, its subcommands' and the checks of their values, and the
// dates and addresses they take.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/language.h"

namespace dravmer::cli {

struct SArchiveOptions {
    std::string url;
    CLI::Option* urlOption = nullptr;
    CLI::App* add = nullptr;
    CLI::App* list = nullptr;
    CLI::App* history = nullptr;
    CLI::App* exportTo = nullptr;
    std::vector<std::string> paths;  // add
    std::string device, from, to;    // list, history
    CLI::Option* deviceOption = nullptr;
    std::string param, kind = "Average";  // history
    std::string id, dir, format;          // export
    bool json = false;
};

// Declares archive's options and subcommands on `app`, worded in `language`, into `o`.
void DeclareArchiveOptions(CLI::App& app, Language language, SArchiveOptions& o);

// "YYYY-MM-DD" (a whole day) or "YYYY-MM-DDTHH:MM[:SS]", local time. `endOfDay` turns a bare
// date into the start of the next day, so --to 2026-12-06 includes that day.
bool ParseDate(const std::string& text, bool endOfDay, std::time_t& out);
// A device address: decimal digits, at most 4294967295.
bool ParseAddress(const std::string& text, std::uint32_t& out);

}  // namespace dravmer::cli
