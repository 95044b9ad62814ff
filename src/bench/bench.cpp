#include "bench/bench.h"

#include <sys/time.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "bench/experiment_number.h"
#include "bench/meas_link_adapter.h"
#include "bench/meas_reader.h"
#include "link/net_serial_library.h"
#include "platform/paths.h"
#include "bench/bench_internal.h"

namespace dravmer {

namespace fs = std::filesystem;
using namespace bench_detail;

CBench::CBench(ISettingsStore& store)
    : m_store(store), m_logFiles(std::make_unique<CLogFiles>(LogDir())) {
    for (int p = 0; p < kPortCount; ++p) {
        m_ports[static_cast<size_t>(p)] = std::make_unique<CLinkPort>(p);
        m_links[static_cast<size_t>(p)] = std::make_unique<CLinkR307>();
        m_links[static_cast<size_t>(p)]->AttachPort(m_ports[static_cast<size_t>(p)].get());
        m_pollThreads[static_cast<size_t>(p)] = std::make_unique<CPollThread>(*this, p);
    }
}

CBench::~CBench() {
    CancelStart();
    if (m_running) Stop();
    for (auto& t : m_pollThreads) t.reset();
    ClosePorts();
    // The logs end with their statistics dump while the files are still there.
    for (auto& link : m_links) {
        link->StopErrorLog();
        link->SetLogSink(nullptr);
    }
}

void CBench::LoadSettings() {
    {
        std::lock_guard lock(m_devicesMutex);
        m_settings.devices.Load(m_store);
    }
    m_settings.LoadExperimentSettings(m_store);
    m_settings.LoadFileSettings(m_store);
    m_settings.LoadLinkLogFlag(m_store);
    // One configured network serial library serves the four ports; it loads on first use.
    const std::string library = m_store.GetString("Properties", "NetSerialLibrary", "");
    const auto netSerial = library.empty() ? nullptr : MakeNetSerialLibraryProvider(library);
    for (int p = 0; p < kPortCount; ++p) {
        Port(p).LoadSettings(m_store);
        if (netSerial) Port(p).SetNetSerialProvider(netSerial);
        Link(p).SetTransit(m_settings.devices.Transit(p));
    }
    if (m_settings.writeLinkErrorsToLog) SetLinkErrorLog(true);
    EnsureStores();
}

void CBench::SetLinkErrorLog(bool on) {
    if (m_settings.writeLinkErrorsToLog != on) {
        m_settings.writeLinkErrorsToLog = on;
        m_settings.SaveLinkLogFlag(m_store);
        m_store.Flush();
    }
    for (auto& link : m_links) {
        if (on) {
            link->SetLogSink(m_logFiles->Sink());
            link->StartErrorLog();
        } else {
            link->StopErrorLog();  // writes the statistics dump and "Stop."
            link->SetLogSink(nullptr);
        }
    }
}

std::string CBench::LinkErrorLogPath() const {
    return m_logFiles->PathOf(std::string("Dravmer-") + kLinkErrorsLogSuffix).string();
}

void CBench::SaveExitSettings() {
    m_settings.SaveFlags(m_store);
    m_store.Flush();
}

int CBench::OpenPorts() {
    int open = 0;
    for (int p = 0; p < kPortCount; ++p) {
        if (!Port(p).Settings().useLink) continue;
        if (Port(p).IsOpen() || Port(p).Open() == 1) ++open;
    }
    return open;
}

void CBench::ClosePorts() {
    for (auto& port : m_ports)
        if (port) port->Close();
}

// ---------------------------------------------------------------- stores

std::size_t CBench::StoreCount() const {
    std::lock_guard lock(m_storesMutex);
    return m_data.size();
}

CDeviceData& CBench::Data(std::size_t index) {
    std::lock_guard lock(m_storesMutex);
    return *m_data.at(index);
}

CExperimentFiles& CBench::Files(std::size_t index) {
    std::lock_guard lock(m_storesMutex);
    return *m_files.at(index);
}

void CBench::EnsureStores() {
    std::lock_guard lock(m_storesMutex);
    const size_t count = m_settings.devices.Active().size();
    while (m_data.size() < count) {
        auto data = std::make_unique<CDeviceData>(static_cast<int>(m_data.size()));
        auto files = std::make_unique<CExperimentFiles>(*data, FileOptionsFrom(m_settings));
        m_data.push_back(std::move(data));
        m_files.push_back(std::move(files));
    }
}

}  // namespace dravmer
