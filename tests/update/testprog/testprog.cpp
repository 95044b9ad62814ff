// A small program that updates itself the way the bench does, for the hand-off test:
//   testprog --version              prints its version
//   testprog update HOST:PORT ...   checks the server and takes a newer version at once
// Every run appends one line to the file named by UPDATE_TESTPROG_MARKER; settings live in
// the key=value file named by "--config FILE" among the arguments, else by
// UPDATE_TESTPROG_SETTINGS; UPDATE_TESTPROG_FAIL_REPLACE makes every copy over a program fail.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "update/self_update_files.h"
#include "update/update_service.h"

namespace {

// Settings that outlive the process: one "Section/Name=value" line each.
class CFileSettings : public dravmer::CMemorySettingsStore {
public:
    explicit CFileSettings(std::string path) : m_path(std::move(path)) {
        std::ifstream in(m_path);
        std::string line;
        while (std::getline(in, line)) {
            const auto slash = line.find('/');
            const auto eq = line.find('=');
            if (slash == std::string::npos || eq == std::string::npos || eq < slash) continue;
            CMemorySettingsStore::SetString(line.substr(0, slash), line.substr(slash + 1, eq - slash - 1),
                                            line.substr(eq + 1));
            m_lines[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    void SetString(const std::string& section, const std::string& name,
                   const std::string& value) override {
        CMemorySettingsStore::SetString(section, name, value);
        m_lines[section + "/" + name] = value;
    }
    void Flush() override {
        std::ofstream out(m_path, std::ios::trunc);
        for (const auto& [key, value] : m_lines) out << key << "=" << value << "\n";
    }

private:
    std::string m_path;
    std::map<std::string, std::string> m_lines;
};

}  // namespace

int main(int argc, char** argv) {
    char version[16];
    std::snprintf(version, sizeof version, "%2.2d.%2.2d", TESTPROG_MAJOR, TESTPROG_MINOR);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("update-testprog %s\n", version);
        return 0;
    }
    const char* markerPath = std::getenv("UPDATE_TESTPROG_MARKER");
    const char* settingsPath = std::getenv("UPDATE_TESTPROG_SETTINGS");
    if (!markerPath || !settingsPath) return 2;
    // As the window takes it: the file a hand-off step is told, else the one it is started with.
    std::string configFile = dravmer::HandOffSettingsFile(args);
    for (std::size_t i = 0; configFile.empty() && i + 1 < args.size(); ++i) {
        if (args[i] == "--config") configFile = args[i + 1];
    }
    CFileSettings settings(configFile.empty() ? settingsPath : configFile);
    dravmer::SUpdateConfig config;
    config.major = TESTPROG_MAJOR;
    config.minor = TESTPROG_MINOR;
    config.settings = &settings;
    config.settingsFile = configFile;
    // A copy that cannot be put in place, for the test of a failing hand-off step.
    if (std::getenv("UPDATE_TESTPROG_FAIL_REPLACE")) {
        config.replaceFile = [](const std::filesystem::path&, const std::filesystem::path&) {
            return false;
        };
    }
    dravmer::CUpdateService service(config);
    const int handOff = service.HandOff(args);
    std::ofstream marker(markerPath, std::ios::app);
    marker << version << " handoff=" << handOff
           << " args=" << dravmer::JoinCommandLine(service.CommandLine()) << std::endl;
    if (handOff == 1 || handOff == -1) return 0;
    const auto& run = service.CommandLine();
    if (run.size() >= 2 && run[0] == "update") {
        std::string host;
        int port = dravmer::kFileServerTcpPort;
        if (!dravmer::ParseServerAddress(run[1], host, port)) return 2;
        service.SetServerName(host, port);
        marker << version << " offer=" << service.OfferUpdate(nullptr) << std::endl;
    }
    return 0;
}
