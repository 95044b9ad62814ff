#include "sim/demo_rig.h"

#include "platform/paths.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer::sim {

CDemoRig::CDemoRig() = default;

CDemoRig::~CDemoRig() {
    for (auto& s : m_servers) s.reset();
}

bool CDemoRig::Start(ISettingsStore& store, std::string& error, int baud) {
    struct Plan {
        std::uint32_t transit;
        int devices;
        std::uint32_t first;
    };
    // Addresses are fixed so that the demo's device list stays the same from run to run.
    const Plan plans[3] = {{0, 1, 100001}, {900002, 7, 200001}, {900003, 20, 300001}};
    for (int p = 0; p < 3; ++p) {
        SLineConfig config;
        config.transitAddress = plans[p].transit;
        auto line = std::make_unique<CSimLine>(config);
        line->AddDevices(plans[p].devices, plans[p].first, 7);
        auto server = std::make_unique<CSimPtyServer>(*line, baud);
        if (!server->Open()) {
            error = "demo: cannot open a pseudo-terminal: " + server->Error();
            return false;
        }
        server->Start();
        const std::string section = "ComSettingsPort" + std::to_string(p);
        store.SetInt(section, "UseLink", 1);
        store.SetString(section, "DevicePath", server->SlavePath());
        store.SetInt(section, "bLinkMode", 0);
        store.SetInt(section, "bComType", 0);
        store.SetInt(section, "Speed", 12);
        m_lines.push_back(std::move(line));
        m_servers.push_back(std::move(server));
    }
    store.SetInt("ComSettingsPort3", "UseLink", 0);
    store.Flush();
    return true;
}

void CDemoRig::StopLine(std::size_t i) {
    if (i < m_servers.size() && m_servers[i]) m_servers[i].reset();
}

std::string DemoSettingsPath() {
    EnsureDir(ConfigDir());
    return (ConfigDir() / "Dravmer-demo.conf").string();
}

void PrepareDemoSettings(ISettingsStore& store) {
    if (store.GetString("ExperimentSettings", "strPathToSaveFile", "").empty())
        store.SetString("ExperimentSettings", "strPathToSaveFile", (DataDir() / "demo").string() + "/");
}

}  // namespace dravmer::sim
