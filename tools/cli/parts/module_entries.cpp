// The entry of one module of dravmer-cli, built once per module with the parts it carries named
// by DRAVMER_MODULE_SETTINGS, _ARCHIVE, _MQTT and _COMMANDS.
#include <algorithm>

#include "cli/cli.h"
#include "cli/cli_build_id.h"
#include "cli/cli_parts.h"

namespace dravmer::cli {

namespace {

[[maybe_unused]] const CommandInfo* FindCommand(const std::string& name) {
    const auto& all = Commands();
    auto it = std::find_if(all.begin(), all.end(),
                           [&](const CommandInfo& c) { return name == c.name && c.define; });
    return it == all.end() ? nullptr : &*it;
}

[[maybe_unused]] std::unique_ptr<ISettingsStore> Settings(const std::string& path) {
    std::string unused;
    return OpenSettingsFile(path, unused);
}

[[maybe_unused]] std::unique_ptr<IMqttRun> Mqtt(const SMqttSettings& settings,
                                                std::function<void(const SMqttStatus&)> onStatus) {
    std::string unused;
    return OpenMqttPublisher(settings, std::move(onStatus), unused);
}

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
