// The parts of dravmer-cli proper: each from its module, loaded the first time it is needed.
// The modules lie in lib/dravmer beside the program's bin folder once installed, beside the
// program itself in the build tree, or in DRAVMER_MODULE_DIR.
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "archive/archive.h"
#include "cli/cli.h"
#include "cli/cli_build_id.h"
#include "cli/cli_parts.h"
#include "cli/commands/part_commands.h"
#include "platform/paths.h"

namespace dravmer::cli {

namespace {

namespace fs = std::filesystem;

const SCliModule* Load(const std::string& part, std::string& error) {
    static std::mutex mutex;
    static std::map<std::string, const SCliModule*> loaded;
    std::lock_guard lock(mutex);
    if (auto it = loaded.find(part); it != loaded.end()) return it->second;
    const std::string file = "dravmer-cli-" + part + ".so";
    std::vector<fs::path> places;
    if (const char* dir = std::getenv("DRAVMER_MODULE_DIR"); dir && *dir) places.emplace_back(dir);
    places.push_back(ExecutableDir().parent_path() / "lib" / "dravmer");
    places.push_back(ExecutableDir());
    std::string tried;
    for (const fs::path& dir : places) {
        const fs::path path = dir / file;
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            tried += (tried.empty() ? "" : ", ") + path.string();
            continue;
        }
        // Kept for the life of the process: its objects live as long as the program's.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            error = "cannot load " + path.string() + ": " + dlerror();
            return nullptr;
        }
        auto entry = reinterpret_cast<CliModuleEntry>(dlsym(handle, kCliModuleEntry));
        const SCliModule* module = entry ? entry() : nullptr;
        if (!module || std::string(module->build) != DRAVMER_BUILD_ID) {
            error = path.string() + " belongs to another build of dravmer-cli; install them together";
            return nullptr;
        }
        loaded[part] = module;
        return module;
    }
    error = "the " + part + " part of dravmer-cli is not installed (looked for " + tried + ")";
    return nullptr;
}

// The commands of the parts, listed without loading them; RunCli asks PartCommand for the one
// it runs.
const Registrar s_plot(CommandInfo{part_commands::kPlot, part_commands::kPlotUsage,
                                   part_commands::kPlotSummary, part_commands::kPlotSummaryRu,
                                   nullptr});
const Registrar s_archive(CommandInfo{part_commands::kArchive, part_commands::kArchiveUsage,
                                      part_commands::kArchiveSummary,
                                      part_commands::kArchiveSummaryRu, nullptr});

}  // namespace

std::unique_ptr<ISettingsStore> OpenSettingsFile(const std::string& path, std::string& error) {
    const SCliModule* m = Load("settings", error);
    return m && m->openSettings ? m->openSettings(path) : nullptr;
}

int ArchiveBenchOnStop(CBench& bench, std::int64_t& id, std::string& message,
                       Language language) {
    std::string error;
    const SCliModule* m = Load("archive", error);
    if (!m || !m->archiveBench) {
        message = (language == Language::English ? "Cannot archive the experiment: "
                                                 : "Эксперимент не сохранён в архиве: ") +
                  error;
        return kArchiveUnreachable;
    }
    return m->archiveBench(bench, id, message, language);
}

std::unique_ptr<IMqttRun> OpenMqttPublisher(const SMqttSettings& settings,
                                            std::function<void(const SMqttStatus&)> onStatus,
                                            std::string& error) {
    const SCliModule* m = Load("mqtt", error);
    return m && m->openMqtt ? m->openMqtt(settings, std::move(onStatus)) : nullptr;
}

const CommandInfo* PartCommand(const std::string& name, std::string& error) {
    if (name != part_commands::kPlot && name != part_commands::kArchive) return nullptr;
    const SCliModule* m = Load(name, error);
    const CommandInfo* command = m && m->command ? m->command(name) : nullptr;
    if (m && !command) error = "the " + name + " part of dravmer-cli has no command " + name;
    return command;
}

}  // namespace dravmer::cli
