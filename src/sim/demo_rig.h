#pragma once
// The demo bench: simulated devices on pseudo-terminals behind the ports, with a settings file
// of its own so the user's device list and ports stay as they are. The CLI's --demo and the
// desktop program's --demo both run on it.
#include <memory>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace dravmer::sim {

class CSimLine;
class CSimPtyServer;

// One direct device on port 1, a transit device with 7 devices on port 2, one with 20 on port 3,
// and port 4 switched off.
class CDemoRig {
public:
    CDemoRig();
    ~CDemoRig();
    // Starts the simulators and points the ports of `store` at them.
    bool Start(ISettingsStore& store, std::string& error, int baud = 115200);
    std::size_t LineCount() const { return m_lines.size(); }
    CSimLine& Line(std::size_t i) { return *m_lines.at(i); }
    void StopLine(std::size_t i);

private:
    std::vector<std::unique_ptr<CSimLine>> m_lines;
    std::vector<std::unique_ptr<CSimPtyServer>> m_servers;
};

// The demo's settings file (in the user's configuration folder) unless one is given.
std::string DemoSettingsPath();
// Points the demo's experiment files at a folder of their own unless the file names one.
void PrepareDemoSettings(ISettingsStore& store);

}  // namespace dravmer::sim
