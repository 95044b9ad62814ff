// settings dump | get KEY | set KEY VALUE, with KEY as Section/Value.
#include <ostream>

#include "bench/settings_catalog.h"
#include "cli/cli.h"

namespace dravmer::cli {
namespace {

const SSettingDef* Lookup(CliContext& ctx, const std::string& key) {
    auto slash = key.find('/');
    const SSettingDef* def =
        slash == std::string::npos ? nullptr : FindSetting(key.substr(0, slash), key.substr(slash + 1));
    if (!def) ctx.err << "dravmer-cli settings: unknown setting '" << key
                      << "' (settings dump lists them)\n";
    return def;
}

int RunSettings(CliContext& ctx, const std::vector<std::string>& args) {
    if (args.empty()) {
        ctx.err << "dravmer-cli settings: dump, get KEY or set KEY VALUE\n";
        return kExitUsage;
    }
    const std::string& verb = args[0];
    // Defaults shown for a file that could not be read would pass for its contents.
    if (auto status = ctx.Settings().Status()) {
        ctx.err << "dravmer-cli settings: " << *status << "\n";
        return kExitFailure;
    }
    if (verb == "dump" && args.size() == 1) {
        auto& store = ctx.Settings();
        for (const auto& def : KnownSettings())
            ctx.out << def.section << "/" << def.name << "=" << SettingText(store, def) << "\n";
        return kExitOk;
    }
    if (verb == "get" && args.size() == 2) {
        const SSettingDef* def = Lookup(ctx, args[1]);
        if (!def) return kExitFailure;
        ctx.out << SettingText(ctx.Settings(), *def) << "\n";
        return kExitOk;
    }
    if (verb == "set" && args.size() == 3) {
        const SSettingDef* def = Lookup(ctx, args[1]);
        if (!def) return kExitFailure;
        auto& store = ctx.Settings();
        if (auto error = SetSettingText(store, *def, args[2])) {
            ctx.err << "dravmer-cli settings: " << args[1] << ": " << *error
                    << "; nothing was changed\n";
            return kExitFailure;
        }
        store.Flush();
        if (auto status = store.Status()) {
            ctx.err << "dravmer-cli settings: " << *status << "\n";
            return kExitFailure;
        }
        return kExitOk;
    }
    ctx.err << "dravmer-cli settings: dump, get KEY or set KEY VALUE\n";
    return kExitUsage;
}

}  // namespace

DRAVMER_CLI_COMMAND("settings", "settings dump | get Section/Value | set Section/Value VALUE",
                    "print, read or change the stored settings", RunSettings);

}  // namespace dravmer::cli
