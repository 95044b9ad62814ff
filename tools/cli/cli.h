#pragma once
// dravmer-cli: the engine without windows. Each command lives in commands/<name>.cpp and
// registers itself with DRAVMER_CLI_COMMAND: it declares its options on a subcommand of the
// command line (CLI11) and hands back what runs it. RunCli parses and dispatches; a command
// runs only when its whole command line was understood. A command file:
//
//   struct SFooOptions { std::string file; long long limit = 10; bool json = false; };
//   int RunFoo(CliContext& ctx, const SFooOptions& o) { ... return kExitOk; }
//   CommandRun DefineFoo(CLI::App& app, Language language) {
//       const Words w(language);
//       auto o = std::make_shared<SFooOptions>();
//       app.add_option("FILE", o->file, w("what it reads", "что читать"))->required();
//       app.add_option("--limit", o->limit, w("at most this many", "не больше стольких"))
//           ->transform(WholeIn(language, 1, 100));
//       app.add_flag("--json", o->json, w("JSON output", "вывод в JSON"));
//       return [o](CliContext& ctx) { return RunFoo(ctx, *o); };
//   }
//   DRAVMER_CLI_COMMAND("foo", "foo FILE [--limit N] [--json]", "what it does", "что делает",
//                       DefineFoo);
//
// Whole numbers go through WholeIn (cli/cli_options.h), never CLI11's own conversion, which
// reads "010" as octal. Errors of the command line end with exit code 2 before anything runs.
// The help and the refusals of a command line are in the run's language, as everything else.
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/language.h"
#include "platform/settings_store.h"

namespace CLI {
class App;
}

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
    bool demo = false;         // --demo before the command: the simulated bench
    // One language for the run: Russian for a Russian message locale, English otherwise; the
    // help and the refusals of a command line included.
    Language language = Language::English;

    // The run's words for a text: Say("Port %d is not open", "Порт %d не открыт").
    const char* Say(const char* english, const char* russian) const {
        return language == Language::English ? english : russian;
    }
    // The same with printf's arguments, which both texts take alike.
    template <typename... Args>
    std::string Sayf(const char* english, const char* russian, Args... args) const {
        const char* format = Say(english, russian);
        const int n = std::snprintf(nullptr, 0, format, args...);
        if (n <= 0) return {};
        std::string text(static_cast<std::size_t>(n) + 1, '\0');
        std::snprintf(text.data(), text.size(), format, args...);
        text.resize(static_cast<std::size_t>(n));
        return text;
    }
};

// Runs a command whose options have been parsed; returns the exit code.
using CommandRun = std::function<int(CliContext& ctx)>;
// Declares a command's options, positionals and subcommands on `app` (the command's own
// subcommand of dravmer-cli, fresh for every command line), their help and checks worded in
// `language`, and returns what runs it. The parsed values live in state the returned function
// owns.
using CommandDefine = CommandRun (*)(CLI::App& app, Language language);

struct CommandInfo {
    const char* name;
    const char* usage;    // one line: "stats FILE... [--from S] [--to S] [--json]"
    const char* summary;    // one line of what it does
    const char* summaryRu;  // the same in Russian
    CommandDefine define;
};

// The header of the experiment table (list, archive list), tab-separated, as the loading dialog
// heads its columns.
std::string ListHeader(const CliContext& ctx);

void RegisterCommand(const CommandInfo& info);
const std::vector<CommandInfo>& Commands();

// The whole command line without the program name. Returns the exit code. The language is the
// message locale's (CliLanguageFromLocale) unless given.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::unique_ptr<ISettingsStore> store = nullptr);
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::unique_ptr<ISettingsStore> store, Language language);

struct Registrar {
    explicit Registrar(const CommandInfo& info) { RegisterCommand(info); }
};

}  // namespace dravmer::cli

#define DRAVMER_CLI_CONCAT2(a, b) a##b
#define DRAVMER_CLI_CONCAT(a, b) DRAVMER_CLI_CONCAT2(a, b)
// DRAVMER_CLI_COMMAND("name", "usage line", "summary", "Russian summary", DefineFn): DefineFn is
// a CommandDefine.
#define DRAVMER_CLI_COMMAND(name, usage, summary, summaryRu, ...)                            \
    static const ::dravmer::cli::Registrar DRAVMER_CLI_CONCAT(s_registrar_, __LINE__)( \
        ::dravmer::cli::CommandInfo{name, usage, summary, summaryRu, __VA_ARGS__})
