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
#include "sim/demo_rig.h"


namespace dravmer::cli {

// The demo bench of simulated devices (shared with the desktop program).
using CDemoRig = sim::CDemoRig;

class CSession {
public:
    // --demo (the command's, or the global one in ctx): a demo settings file (never the
    // user's) and the demo rig. Returns false with a message on `err` when the session cannot
    // be set up.
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
// The interrupt was SIGTERM (the program told to end, as at logout), not Ctrl-C.
bool Terminated();
void ClearInterrupt();
// The flag itself, for what takes a cancel flag (the archive cancels a waiting statement).
const std::atomic<bool>& InterruptFlag();

// The link statistics words of one device by their names.
nlohmann::json LinkStatJson(const SLinkDevStat& stat);

}  // namespace dravmer::cli
