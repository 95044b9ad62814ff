#pragma once
// What some commands need from libraries that dravmer-cli loads only when they are used: Qt for
// the settings file, the archive's database back ends, the MQTT client, the painting of `plot`.
// The program itself takes them from modules installed beside it (lib/dravmer), so a command
// that needs none of them (stats, list, convert, --version) starts with the C++ runtime alone;
// the tests link them in.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/settings_store.h"

namespace dravmer {
class CBench;
class IRecordSink;
struct SMqttSettings;
struct SMqttStatus;
}  // namespace dravmer

namespace dravmer::cli {

struct CommandInfo;

// An MQTT publisher as `run --mqtt` drives it.
class IMqttRun {
public:
    virtual ~IMqttRun() = default;
    virtual IRecordSink* Sink() = 0;
    virtual bool Start() = 0;
    virtual void Finish(int ms) = 0;
    virtual std::uint64_t Published() const = 0;
    virtual std::uint64_t Dropped() const = 0;
    virtual std::uint64_t Outages() const = 0;
    virtual std::string TopicPrefix() const = 0;
    virtual std::string BrokerName() const = 0;
};

// The settings file (QSettings on `path`, the user's file when empty). Null with the reason in
// `error` when the part cannot be loaded.
std::unique_ptr<ISettingsStore> OpenSettingsFile(const std::string& path, std::string& error);
// Archives the bench's stopped experiment into the archive its settings name (what
// Archive/ArchiveOnStop asks for); the codes and message (in `language`) of
// ArchiveBenchExperiment.
int ArchiveBenchOnStop(CBench& bench, std::int64_t& id, std::string& message,
                       Language language);
std::unique_ptr<IMqttRun> OpenMqttPublisher(const SMqttSettings& settings,
                                            std::function<void(const SMqttStatus&)> onStatus,
                                            std::string& error);
// A command that lives in a part (plot, archive); null, with `error`, when the part cannot be
// loaded or the command is already at hand.
const CommandInfo* PartCommand(const std::string& name, std::string& error);

// ---- the modules ----
// What a module gives (one per part; the parts it does not have are null). A module is used
// only by the build it came from: objects of this program cross between the two.
struct SCliModule {
    const char* build;  // DRAVMER_BUILD_ID of the module's build
    std::unique_ptr<ISettingsStore> (*openSettings)(const std::string& path);
    int (*archiveBench)(CBench& bench, std::int64_t& id, std::string& message,
                        Language language);
    std::unique_ptr<IMqttRun> (*openMqtt)(const SMqttSettings& settings,
                                          std::function<void(const SMqttStatus&)> onStatus);
    const CommandInfo* (*command)(const std::string& name);
};
using CliModuleEntry = const SCliModule* (*)();
inline constexpr char kCliModuleEntry[] = "dravmer_cli_module";

}  // namespace dravmer::cli
