#include "cli/cli.h"

#include <algorithm>
#include <ostream>

#include "platform/qt/qsettings_store.h"

namespace dravmer::cli {

namespace {
std::vector<CommandInfo>& Registry() {
    static std::vector<CommandInfo> commands;
    return commands;
}

constexpr const char* kVersion = "05.43";

void PrintHelp(std::ostream& out) {
    out << "Usage: dravmer-cli [--config FILE] COMMAND [ARGS...]\n"
           "       dravmer-cli --version | --help\n\n"
           "Global options:\n"
           "  --config FILE   use this settings file instead of the user's settings\n"
           "  --version       print the program version\n"
           "  --help          print this help\n\n"
           "Commands:\n";
    auto commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const CommandInfo& a, const CommandInfo& b) {
                  return std::string(a.usage) < std::string(b.usage);
              });
    for (const auto& c : commands) {
        out << "  " << c.usage << "\n      " << c.summary << "\n";
    }
    out << "\nExit codes: 0 done; 1 failed; 2 bad command line; 3 done, but records were missed\n"
           "or could not be written where asked.\n";
}
}  // namespace

ISettingsStore& CliContext::Settings() {
    if (!store) {
        store = std::make_unique<CQSettingsStore>(configPath);
        if (auto warning = store->LoadWarning()) {
            err << "dravmer-cli: " << *warning << "\n";
            shownWarning = *warning;
        }
    }
    return *store;
}

void RegisterCommand(const CommandInfo& info) { Registry().push_back(info); }
const std::vector<CommandInfo>& Commands() { return Registry(); }

bool TakeFlag(std::vector<std::string>& args, const std::string& flag) {
    auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

bool TakeOption(std::vector<std::string>& args, const std::string& opt, std::string& value,
                std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == opt) {
            if (i + 1 >= args.size()) {
                error = "option " + opt + " needs a value";
                args.erase(args.begin() + static_cast<long>(i));
                return false;
            }
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            return true;
        }
        if (args[i].rfind(opt + "=", 0) == 0) {
            value = args[i].substr(opt.size() + 1);
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

namespace {
int Dispatch(const std::vector<std::string>& argsIn, std::ostream& out, std::ostream& err,
             std::unique_ptr<ISettingsStore> store) {
    std::vector<std::string> args = argsIn;
    CliContext ctx{out, err, {}, std::move(store), {}};
    // Global options come before the command.
    while (!args.empty() && args.front().rfind("--", 0) == 0) {
        const std::string opt = args.front();
        if (opt == "--version") {
            out << "dravmer-cli " << kVersion << "\n";
            return kExitOk;
        }
        if (opt == "--help" || opt == "-h") {
            PrintHelp(out);
            return kExitOk;
        }
        if (opt == "--config" || opt.rfind("--config=", 0) == 0) {
            std::string error;
            if (!TakeOption(args, "--config", ctx.configPath, error)) {
                err << "dravmer-cli: " << error << "\n";
                return kExitUsage;
            }
            continue;
        }
        break;  // a command's own option before the command name: reported below
    }
    if (args.empty()) {
        PrintHelp(err);
        return kExitUsage;
    }
    const std::string name = args.front();
    args.erase(args.begin());
    for (const auto& c : Registry()) {
        if (name == c.name) {
            if (std::find(args.begin(), args.end(), "--help") != args.end()) {
                out << "Usage: dravmer-cli " << c.usage << "\n" << c.summary << "\n";
                return kExitOk;
            }
            int code = c.run(ctx, args);
            // Settings a command changed must have reached the file: say so when they did not.
            // A command that failed has said why already.
            if (ctx.store && code != kExitFailure && code != kExitUsage) {
                ctx.store->Flush();
                // The warning grows by where the unreadable lines were kept once the file is
                // written.
                auto warning = ctx.store->LoadWarning();
                if (warning && *warning != ctx.shownWarning) err << "dravmer-cli: " << *warning << "\n";
                if (auto status = ctx.store->Status()) {
                    err << "dravmer-cli: " << *status << "\n";
                    code = kExitFailure;
                }
            }
            return code;
        }
    }
    err << "dravmer-cli: unknown command '" << name << "' (try --help)\n";
    return kExitUsage;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::unique_ptr<ISettingsStore> store) {
    int code = Dispatch(args, out, err, std::move(store));
    // Output that did not reach its destination (a full disk, a closed pipe) is a failure, not
    // a result.
    out.flush();
    if (!out) {
        err << "dravmer-cli: the output could not be written\n";
        if (code == kExitOk || code == kExitIncomplete) code = kExitFailure;
    }
    return code;
}

}  // namespace dravmer::cli
