#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "dravmer_version.h"
#include "cli/cli_options.h"
#include "cli/cli_parts.h"

namespace dravmer::cli {

namespace {
std::vector<CommandInfo>& Registry() {
    static std::vector<CommandInfo> commands;
    return commands;
}

constexpr const char* kVersion = kProgramVersion;

void PrintHelp(std::ostream& out, Language language) {
    const Words w(language);
    out << w("Usage: ", "Использование: ")
        << w("dravmer-cli [--config FILE] [--demo] COMMAND [ARGS...]\n"
             "       dravmer-cli COMMAND --help\n"
             "       dravmer-cli --version | --help\n\n"
             "Global options:\n"
             "  --config FILE   use this settings file instead of the user's settings\n"
             "  --demo          the simulated bench (for the commands that talk to devices)\n"
             "  --version       print the program version\n"
             "  --help          print this help\n\n"
             "Commands:\n",
             "dravmer-cli [--config FILE] [--demo] КОМАНДА [АРГУМЕНТЫ...]\n"
             "       dravmer-cli КОМАНДА --help\n"
             "       dravmer-cli --version | --help\n\n"
             "Общие параметры:\n"
             "  --config FILE   файл настроек вместо настроек пользователя\n"
             "  --demo          модель стенда (для команд, которые обращаются к приборам)\n"
             "  --version       вывести версию программы\n"
             "  --help          вывести эту справку\n\n"
             "Команды:\n");
    auto commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const CommandInfo& a, const CommandInfo& b) {
                  return std::string(a.usage) < std::string(b.usage);
              });
    for (const auto& c : commands) {
        out << "  " << c.usage << "\n      " << w(c.summary, c.summaryRu) << "\n";
    }
    out << w("\nExit codes: 0 done; 1 failed; 2 bad command line; 3 done, but records were missed\n"
             "or could not be written where asked.\n",
             "\nКоды завершения: 0 выполнено; 1 не выполнено; 2 неверная командная строка;\n"
             "3 выполнено, но записи пропущены или не записаны туда, куда просили.\n");
}

// The innermost subcommand the command line chose ("archive list"), or null for none.
const CLI::App* Innermost(const CLI::App& app, std::string& path) {
    const CLI::App* at = nullptr;
    for (const CLI::App* next = &app; !next->get_subcommands().empty();) {
        at = next = next->get_subcommands().front();
        path += " " + at->get_name();
    }
    return at;
}

// "a, b or c" (`last`: " или " in Russian).
std::string Listed(const std::vector<std::string>& words, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i)
        text += (i == 0 ? "" : i + 1 == words.size() ? last : ", ") + words[i];
    return text;
}

std::string SubcommandNames(const CLI::App& app, const Words& w) {
    std::vector<std::string> names;
    for (const CLI::App* sub : app.get_subcommands({})) names.push_back(sub->get_name());
    return Listed(names, w(" or ", " или "));
}

// The option or positional a CLI11 message names first ("--seconds: ...", "FILE is required").
std::string NamedIn(const std::string& message, const char* after) {
    const std::size_t end = message.find(after);
    return end == std::string::npos ? std::string() : message.substr(0, end);
}

// Why CLI11 refused the command line, in the run's language. CLI11's own texts are English:
// each kind of refusal is worded here, and the checks of the options (cli_options.h) word theirs
// in the run's language already.
std::string WordedParseError(const CLI::ParseError& e, const Words& w) {
    const std::string what = e.what();
    if (dynamic_cast<const CLI::RequiredError*>(&e)) {
        const std::string name = NamedIn(what, " is required");
        if (!name.empty()) return name + w(" is required", ": обязательный аргумент не указан");
        return w("a required argument is missing", "не указан обязательный аргумент");
    }
    if (dynamic_cast<const CLI::ValidationError*>(&e)) return what;  // "--seconds: " + the check's
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
        const std::string name = NamedIn(what, ":");
        if (what.find(" missing") != std::string::npos && !name.empty())
            return name + w(" needs a value", ": не указано значение");
        if (!name.empty()) return name + w(": the wrong number of values", ": не то число значений");
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&e)) {
        const std::string first = NamedIn(what, " excludes ");
        if (!first.empty())
            return first + w(" cannot go with ", " нельзя указывать вместе с ") +
                   what.substr(first.size() + std::string(" excludes ").size());
    }
    if (dynamic_cast<const CLI::ConversionError*>(&e)) {
        std::string name = NamedIn(what, ":");
        if (name.rfind("Could not convert", 0) == 0) name = NamedIn(what.substr(19), " =");
        if (!name.empty()) return name + w(": the value is not understood", ": значение не понято");
    }
    return w("", "командная строка не понята: ") + what;
}

// A parse error as the operator should read it: what was not understood, where, and where the
// help is. Returns the exit code.
int ReportParseError(const CLI::App& app, const CLI::ParseError& e, std::ostream& err,
                     Language language) {
    const Words w(language);
    std::string path;
    const CLI::App* command = Innermost(app, path);
    const std::string where = "dravmer-cli" + path;
    const std::vector<std::string> left = app.remaining(true);
    std::string why = WordedParseError(e, w);
    const bool subcommandMissing = command && command->get_require_subcommand_min() > 0 &&
                                   command->get_subcommands().empty();
    if (subcommandMissing && left.empty())
        why = w("a subcommand is needed: ", "нужна подкоманда: ") + SubcommandNames(*command, w);
    if (!left.empty()) {
        const std::string& first = left.front();
        if (first.size() > 1 && first[0] == '-') {
            why = w("unknown option ", "неизвестный параметр ") + first;
        } else if (!command) {
            err << "dravmer-cli: " << w("unknown command '", "неизвестная команда '") << first
                << w("' (try --help)\n", "' (см. --help)\n");
            return kExitUsage;
        } else if (subcommandMissing) {
            why = w("unknown subcommand '", "неизвестная подкоманда '") + first + "' (" +
                  SubcommandNames(*command, w) + ")";
        } else {
            why = w("unexpected argument '", "лишний аргумент '") + first + "'";
        }
    }
    err << where << ": " << why << "\n"
        << w("Try '", "Справка: '") << where << w(" --help'.\n", " --help'.\n");
    return kExitUsage;
}

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             std::unique_ptr<ISettingsStore> store, Language language) {
    CliContext ctx{out, err, {}, std::move(store), {}, false, language};
    const Words w(language);
    bool version = false;
    CLI::App app{w("The bench engine without windows.", "Стенд без окон."), "dravmer-cli"};
    // The commands take the help's words and the help flag from here.
    app.formatter(std::make_shared<CHelpFormatter>(language));
    app.set_help_flag("--help,-h", w("print this help", "вывести эту справку"));
    app.add_option("--config", ctx.configPath,
                   w("use this settings file instead of the user's settings",
                     "файл настроек вместо настроек пользователя"));
    app.add_flag("--demo", ctx.demo, w("the simulated bench", "модель стенда"));
    app.add_flag("--version", version, w("print the program version", "вывести версию программы"));

    struct SEntry {
        const CLI::App* app;
        CommandRun run;
    };
    std::vector<SEntry> entries;
    // A command whose code comes with a part is loaded only when it is the one to run; the
    // others are listed by name. The command is the first word that names one.
    std::string named;
    for (std::size_t i = 0; i < args.size() && named.empty(); ++i) {
        if (args[i] == "--config") ++i;
        else if (args[i].empty() || args[i][0] != '-') named = args[i];
    }
    // Only the command to run defines its options: every command's options would cost a small
    // command more than its own work.
    for (const auto& c : Registry()) {
        CLI::App* sub = app.add_subcommand(c.name, w(c.summary, c.summaryRu));
        CommandDefine define = named == c.name ? c.define : nullptr;
        if (!define && named == c.name) {
            std::string error;
            const CommandInfo* part = PartCommand(c.name, error);
            if (!part) {
                err << "dravmer-cli: " << error << "\n";
                return kExitFailure;
            }
            define = part->define;
        }
        if (define) {
            entries.push_back({sub, define(*sub, language)});
        } else {
            sub->allow_extras();
            entries.push_back({sub, nullptr});
        }
    }

    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::string path;
        if (!Innermost(app, path)) {
            PrintHelp(out, language);
        } else {
            out << app.help();  // the chosen command's own options
        }
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        return ReportParseError(app, e, err, language);
    }
    if (version) {
        out << "dravmer-cli " << kVersion << "\n";
        return kExitOk;
    }
    const auto chosen = std::find_if(entries.begin(), entries.end(),
                                     [](const SEntry& e) { return e.app->parsed(); });
    if (chosen == entries.end()) {
        PrintHelp(err, language);
        return kExitUsage;
    }
    // The demo bench means something only to the commands that talk to devices; elsewhere it
    // would leave the operator believing the demo settings were read or changed.
    if (ctx.demo && !chosen->app->get_option_no_throw("--demo")) {
        std::vector<std::string> takers;
        for (const auto& c : Registry()) {
            if (!c.define) continue;
            CLI::App options;
            c.define(options, language);
            if (options.get_option_no_throw("--demo")) takers.push_back(c.name);
        }
        err << "dravmer-cli: " << w("--demo goes with ", "--demo указывают с ")
            << Listed(takers, w(" and ", " и ")) << w(", not with ", ", а не с ")
            << chosen->app->get_name() << "\n";
        return kExitUsage;
    }
    int code = chosen->run(ctx);
    // Settings a command changed must have reached the file: say so when they did not.
    // A command that failed has said why already.
    if (ctx.store && code != kExitFailure && code != kExitUsage) {
        ctx.store->Flush();
        // The warning grows by where the unreadable lines were kept once the file is written.
        auto warning = ctx.store->LoadWarning(ctx.language);
        if (warning && *warning != ctx.shownWarning) err << "dravmer-cli: " << *warning << "\n";
        if (auto status = ctx.store->Status(ctx.language)) {
            err << "dravmer-cli: " << *status << "\n";
            code = kExitFailure;
        }
    }
    return code;
}

}  // namespace

namespace {
// What the commands get when the settings part cannot be loaded: nothing read, and a failure.
class CNoSettings : public CMemorySettingsStore {
public:
    explicit CNoSettings(std::string why) : m_why(std::move(why)) {}
    std::optional<std::string> Status(Language) const override { return m_why; }

private:
    std::string m_why;
};
}  // namespace

ISettingsStore& CliContext::Settings() {
    if (!store) {
        std::string error;
        store = OpenSettingsFile(configPath, error);
        if (!store) {
            const bool en = language == Language::English;
            err << (en ? "dravmer-cli: the settings cannot be read: "
                       : "dravmer-cli: настройки не читаются: ")
                << error << "\n";
            store = std::make_unique<CNoSettings>(
                (en ? "the settings were neither read nor written: "
                    : "настройки не прочитаны и не записаны: ") +
                error);
        }
        if (auto warning = store->LoadWarning(language)) {
            err << "dravmer-cli: " << *warning << "\n";
            shownWarning = *warning;
        }
    }
    return *store;
}

// In the program itself and in the archive module, which both list experiments.
std::string ListHeader(const CliContext& ctx) {
    return ctx.Say(
        "No.\tDate - time\tExp. No.\tDuration, min\tFormat\tDevices\tDevices of "
        "the experiment\tComment\n",
        "№\tДата - время\t№ эксп.\tВр.экс.,м\tФормат\tК-во пр\tСписок приборов "
        "эксперимента\tКомментарий\n");
}

void RegisterCommand(const CommandInfo& info) { Registry().push_back(info); }
const std::vector<CommandInfo>& Commands() { return Registry(); }

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::unique_ptr<ISettingsStore> store) {
    return RunCli(args, out, err, std::move(store), CliLanguageFromLocale(ProcessEnv()));
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::unique_ptr<ISettingsStore> store, Language language) {
    int code = Dispatch(args, out, err, std::move(store), language);
    // Output that did not reach its destination (a full disk, a closed pipe) is a failure, not
    // a result.
    out.flush();
    if (!out) {
        err << (language == Language::English ? "dravmer-cli: the output could not be written\n"
                                              : "dravmer-cli: вывод не удалось записать\n");
        if (code == kExitOk || code == kExitIncomplete) code = kExitFailure;
    }
    return code;
}

}  // namespace dravmer::cli
