#pragma once
// The real window over the engine, with simulated devices on pseudo-terminals behind the ports;
// a watchdog timer on the UI thread records the longest gap between its ticks.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <memory>
#include <thread>

#include "bench/bench.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"
#include "ui/main_frame.h"
#include "ui/view_state.h"
#include "ui_test_env.h"

namespace dravmer::ui::test {

// Runs the UI thread's events until `pred` holds or `ms` pass.
template <class F>
bool WaitFor(F pred, int ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class CWatchdog {
public:
    CWatchdog() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_clock.isValid()) m_longest = std::max(m_longest, m_clock.nsecsElapsed() / 1e6);
            m_clock.start();
        });
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.start(5);
    }
    void Reset() {
        m_longest = 0;
        m_clock.invalidate();
    }
    // Longest gap between two ticks (ms), minus the 5 ms period.
    double LongestBlockMs() const { return std::max(0.0, m_longest - 5.0); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_longest = 0;
};

struct SLinePlan {
    std::uint32_t transit;
    int devices;
    std::uint32_t first;
};

class CWindowRig {
public:
    explicit CWindowRig(std::initializer_list<SLinePlan> lines, const char* period = "0.2") {
        App();
        int p = 0;
        for (const SLinePlan& l : lines) {
            sim::SLineConfig config;
            config.transitAddress = l.transit;
            sims.push_back(std::make_unique<sim::CSimLine>(config));
            sims.back()->AddDevices(l.devices, l.first, 1);
            servers.push_back(std::make_unique<sim::CSimPtyServer>(*sims.back(), 115200));
            ok = ok && servers.back()->Open();
            servers.back()->Start();
            settings.SetString(PortSection(p++), "DevicePath", servers.back()->SlavePath());
        }
        for (; p < kPortCount; ++p) settings.SetInt(PortSection(p), "UseLink", 0);
        settings.SetString("ExperimentSettings", "strPathToSaveFile", Out().toStdString());
        settings.SetString("ExperimentSettings", "strPeriod", period);
        bench = std::make_unique<CBench>(settings);
        bench->LoadSettings();
        bench->OpenPorts();
        frame = std::make_unique<CMainFrame>(*bench, settings);
    }
    ~CWindowRig() {
        frame.reset();
        bench.reset();
        for (auto& s : servers) s.reset();
    }
    QString Out() const { return dir.path() + QStringLiteral("/"); }
    // Files written under the output folder.
    QStringList Files() const {
        QStringList out;
        QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) out << it.next();
        return out;
    }
    // Puts the given devices (all on port 0..) into the found list, all enabled.
    void SetDeviceList(const std::vector<std::pair<std::uint32_t, int>>& devices) {
        std::string list, ports, enabled;
        for (const auto& [address, port] : devices) {
            list += std::to_string(address) + ";";
            ports += std::to_string(port) + ";";
            enabled += "1;";
        }
        settings.SetString("DeviceList", "List", list);
        settings.SetString("DeviceList", "PortList", ports);
        settings.SetString("DeviceList", "EnableList", enabled);
        for (std::size_t i = 0; i < sims.size(); ++i)
            settings.SetInt("DeviceList", "Transit" + std::to_string(i + 1),
                            static_cast<int>(sims[i]->TransitAddress()));
        bench->LoadSettings();
        frame->View().NotifyDeviceListChanged();
    }

    bool ok = true;
    QTemporaryDir dir;
    CMemorySettingsStore settings;
    std::vector<std::unique_ptr<sim::CSimLine>> sims;
    std::vector<std::unique_ptr<sim::CSimPtyServer>> servers;
    std::unique_ptr<CBench> bench;
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace dravmer::ui::test
