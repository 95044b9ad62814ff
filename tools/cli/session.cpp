#include "cli/session.h"

#include <csignal>
#include <ostream>

#include "link/link_result.h"
#include "platform/log_line.h"
#include "platform/paths.h"
#include "platform/serial_devices.h"
#include "cli/cli_parts.h"

namespace dravmer::cli {

namespace {
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_terminated{false};

extern "C" void OnInterrupt(int signal) {
    if (signal == SIGTERM) g_terminated = true;
    g_interrupted = true;
}
}  // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool Interrupted() { return g_interrupted.load(); }
bool Terminated() { return g_terminated.load(); }
void ClearInterrupt() {
    g_interrupted = false;
    g_terminated = false;
}
const std::atomic<bool>& InterruptFlag() { return g_interrupted; }

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

bool CSession::Open(CliContext& ctx, bool demo) {
    if (demo || ctx.demo) {
        // The demo keeps its own settings file so the user's device list and ports stay as
        // they are; its experiment files go to a folder of their own unless --out says else.
        const std::string path =
            ctx.configPath.empty() ? sim::DemoSettingsPath() : ctx.configPath;
        std::string error;
        m_ownStore = OpenSettingsFile(path, error);
        if (!m_ownStore) {
            ctx.err << "dravmer-cli: the demo settings cannot be read: " << error << "\n";
            return false;
        }
        m_store = m_ownStore.get();
        sim::PrepareDemoSettings(*m_store);
        m_rig = std::make_unique<CDemoRig>();
        if (!m_rig->Start(*m_store, error)) {
            ctx.err << "dravmer-cli: " << error << "\n";
            return false;
        }
    } else {
        m_store = &ctx.Settings();
    }
    m_bench = std::make_unique<CBench>(*m_store);
    // The stores keep their older records in the user's cache folder: a week of a hundred
    // devices does not fit in memory.
    m_bench->EnablePaging(CacheDir(), LogLineWriter({}, "dravmer-cli"));
    m_bench->LoadSettings();
    m_bench->OpenPorts();
    // A port that did not open is said at once, not discovered by a device that never answers.
    for (int p = 0; p < kPortCount; ++p) {
        CLinkPort& port = m_bench->Port(p);
        if (!port.Settings().useLink || port.IsOpen()) continue;
        ctx.err << ctx.Sayf("Port %d is not open: %s", "Порт %d не открыт: %s", p + 1,
                            port.OpenResultText(ctx.language).c_str())
                << "\n";
        const int mode = port.Settings().linkMode;
        if (mode == kLinkModeCom || mode == kLinkModeZhvl) {
            const std::string hint =
                SerialAccessHint(port.Settings().LocalDevicePath(), "/", ctx.language);
            if (!hint.empty()) ctx.err << "  " << hint << "\n";
        }
    }
    return true;
}

}  // namespace dravmer::cli
