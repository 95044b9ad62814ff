#pragma once
// What the device commands (search, run, params) share: the settings they run on (the user's,
// or a demo file with simulators on pseudo-terminals behind the four ports), the engine, and
// Ctrl-C handling.
#include <atomic>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "cli/cli.h"
#include "link/link_stat.h"

namespace dravmer::sim {
class CSimLine;
class CSimPtyServer;
}  // namespace dravmer::sim

namespace dravmer::cli {

// Simulated devices behind all four ports: one direct device on port 1, a transit device with 7
// devices on port 2, one with 20 on port 3, and port 4 switched off.
class CDemoRig {
public:
    CDemoRig();
    ~CDemoRig();
    // Starts the simulators and points the ports of `store` at them.
    bool Start(ISettingsStore& store, std::string& error, int baud = 115200);
    std::size_t LineCount() const { return m_lines.size(); }
    sim::CSimLine& Line(std::size_t i) { return *m_lines.at(i); }
    void StopLine(std::size_t i);

private:
    std::vector<std::unique_ptr<sim::CSimLine>> m_lines;
    std::vector<std::unique_ptr<sim::CSimPtyServer>> m_servers;
};

class CSession {
public:
    // --demo: a demo settings file (never the user's) and the demo rig. Returns false with a
    // message on `err` when the session cannot be set up.
    bool Open(CliContext& ctx, bool demo);
    CBench& Bench() { return *m_bench; }
    bool Demo() const { return m_rig != nullptr; }
    CDemoRig* Rig() { return m_rig.get(); }
    ISettingsStore& Settings() { return *m_store; }

private:
    std::unique_ptr<ISettingsStore> m_ownStore;
    ISettingsStore* m_store = nullptr;
    std::unique_ptr<CDemoRig> m_rig;
    std::unique_ptr<CBench> m_bench;
};

// Ctrl-C (SIGINT) and SIGTERM set a flag instead of ending the process, so experiments stop
// cleanly and files are closed.
void InstallInterruptHandler();
bool Interrupted();
void ClearInterrupt();

// The link statistics words of one device by their names.
nlohmann::json LinkStatJson(const SLinkDevStat& stat);

}  // namespace dravmer::cli
