#pragma once
// dravmer-cli: the engine without windows. Each command lives in commands/<name>.cpp and
// registers itself with DRAVMER_CLI_COMMAND; RunCli parses the global options and dispatches.
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace dravmer::cli {

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// The command ran to its end but its result is not whole: an experiment missed records, or
// records could not be written where they were asked to go.
inline constexpr int kExitIncomplete = 3;

struct CliContext {
    std::ostream& out;
    std::ostream& err;
    std::string configPath;  // --config FILE; empty: the user's settings
    // The settings store, opened on first use (QSettings on configPath or the default file).
    ISettingsStore& Settings();
    // Tests hand in their own store.
    std::unique_ptr<ISettingsStore> store;
    std::string shownWarning;  // the settings file's load warning as last printed
};

using CommandFn = int (*)(CliContext& ctx, const std::vector<std::string>& args);

struct CommandInfo {
    const char* name;
    const char* usage;    // one line: "stats FILE... [--from S] [--to S] [--json]"
    const char* summary;  // one line of what it does
    CommandFn run;
};

void RegisterCommand(const CommandInfo& info);
const std::vector<CommandInfo>& Commands();

// The whole command line without the program name. Returns the exit code.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::unique_ptr<ISettingsStore> store = nullptr);

// Small helpers for hand-parsed options.
bool TakeFlag(std::vector<std::string>& args, const std::string& flag);
// Removes "--opt VALUE" (or "--opt=VALUE"); false when absent; sets error when VALUE is missing.
bool TakeOption(std::vector<std::string>& args, const std::string& opt, std::string& value,
                std::string& error);

struct Registrar {
    explicit Registrar(const CommandInfo& info) { RegisterCommand(info); }
};

}  // namespace dravmer::cli

#define DRAVMER_CLI_CONCAT2(a, b) a##b
#define DRAVMER_CLI_CONCAT(a, b) DRAVMER_CLI_CONCAT2(a, b)
#define DRAVMER_CLI_COMMAND(name, usage, summary, fn)                                      \
    static const ::dravmer::cli::Registrar DRAVMER_CLI_CONCAT(s_registrar_, __LINE__)( \
        ::dravmer::cli::CommandInfo{name, usage, summary, fn})
