// The entry of one module of dravmer-cli, built once per module with the parts it carries named
// by DRAVMER_MODULE_SETTINGS, _ARCHIVE, _MQTT and _COMMANDS.
#include <algorithm>

#include "cli/cli.h"
#include "cli/cli_build_id.h"
#include "cli/cli_parts.h"

namespace dravmer::cli {

// Only the entries of the parts this module carries are compiled: an unoptimised build keeps
// every function, and one calling into a part the module lacks would not link.
namespace {

#ifdef DRAVMER_MODULE_COMMANDS
const CommandInfo* FindCommand(const std::string& name) {
    const auto& all = Commands();
    auto it = std::find_if(all.begin(), all.end(),
                           [&](const CommandInfo& c) { return name == c.name && c.define; });
    return it == all.end() ? nullptr : &*it;
}
#endif

#ifdef DRAVMER_MODULE_SETTINGS
std::unique_ptr<ISettingsStore> Settings(const std::string& path) {
    std::string unused;
    return OpenSettingsFile(path, unused);
}
#endif

#ifdef DRAVMER_MODULE_MQTT
std::unique_ptr<IMqttRun> Mqtt(const SMqttSettings& settings,
                               std::function<void(const SMqttStatus&)> onStatus) {
    std::string unused;
    return OpenMqttPublisher(settings, std::move(onStatus), unused);
}
#endif

}  // namespace

}  // namespace dravmer::cli

extern "C" __attribute__((visibility("default"))) const dravmer::cli::SCliModule*
dravmer_cli_module() {
    using namespace dravmer::cli;
    static const SCliModule module{
        DRAVMER_BUILD_ID,
#ifdef DRAVMER_MODULE_SETTINGS
        &Settings,
#else
        nullptr,
#endif
#ifdef DRAVMER_MODULE_ARCHIVE
        &ArchiveBenchOnStop,
#else
        nullptr,
#endif
#ifdef DRAVMER_MODULE_MQTT
        &Mqtt,
#else
        nullptr,
#endif
#ifdef DRAVMER_MODULE_COMMANDS
        &FindCommand,
#else
        nullptr,
#endif
    };
    return &module;
}
