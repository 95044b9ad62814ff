#include "cli/session.h"

#include <csignal>
#include <ostream>

#include "link/link_result.h"
#include "platform/paths.h"
#include "platform/qt/qsettings_store.h"
#include "sim/lib/sim_line.h"
#include "sim/lib/sim_pty.h"

namespace dravmer::cli {

namespace {
std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted = true; }
}  // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool Interrupted() { return g_interrupted.load(); }
void ClearInterrupt() { g_interrupted = false; }

nlohmann::json LinkStatJson(const SLinkDevStat& stat) {
    nlohmann::json j;
    j["Device"] = stat.w[SLinkDevStat::kDevice];
    j["Commands"] = stat.w[SLinkDevStat::kCommands];
    j["Errors"] = stat.w[SLinkDevStat::kErrors];
    j["ErrorsWithRepeat"] = stat.w[SLinkDevStat::kErrorsWithRepeat];
    j["Transactions"] = stat.w[SLinkDevStat::kTransactions];
    j["ErrorRun"] = stat.w[SLinkDevStat::kErrorRun];
    nlohmann::json codes;
    for (int code = -1; code >= -16; --code)
        codes[LinkShortName(code)] = stat.w[static_cast<size_t>(SLinkDevStat::CodeWord(code))];
    j["ErrorsCode"] = codes;
    return j;
}

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
        sim::SLineConfig config;
        config.transitAddress = plans[p].transit;
        auto line = std::make_unique<sim::CSimLine>(config);
        line->AddDevices(plans[p].devices, plans[p].first, 7);
        auto server = std::make_unique<sim::CSimPtyServer>(*line, baud);
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

bool CSession::Open(CliContext& ctx, bool demo) {
    if (demo) {
        // The demo keeps its own settings file so the user's device list and ports stay as
        // they are; its experiment files go to a folder of their own unless --out says else.
        std::string path = ctx.configPath;
        if (path.empty()) {
            EnsureDir(ConfigDir());
            path = (ConfigDir() / "Dravmer-demo.conf").string();
        }
        m_ownStore = std::make_unique<CQSettingsStore>(path);
        m_store = m_ownStore.get();
        if (m_store->GetString("ExperimentSettings", "strPathToSaveFile", "").empty())
            m_store->SetString("ExperimentSettings", "strPathToSaveFile",
                               (DataDir() / "demo").string() + "/");
        m_rig = std::make_unique<CDemoRig>();
        std::string error;
        if (!m_rig->Start(*m_store, error)) {
            ctx.err << "dravmer-cli: " << error << "\n";
            return false;
        }
    } else {
        m_store = &ctx.Settings();
    }
    m_bench = std::make_unique<CBench>(*m_store);
    m_bench->LoadSettings();
    m_bench->OpenPorts();
    // A port that did not open is said at once, not discovered by a device that never answers.
    for (int p = 0; p < kPortCount; ++p) {
        CLinkPort& port = m_bench->Port(p);
        if (port.Settings().useLink && !port.IsOpen())
            ctx.err << "Порт " << p + 1 << " не открыт: " << port.OpenResultText() << "\n";
    }
    return true;
}

}  // namespace dravmer::cli
