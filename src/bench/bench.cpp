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
#include "platform/page_file.h"
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
        if (Port(p).IsOpen() || Port(p).Open()) ++open;
    }
    return open;
}

void CBench::ClosePorts() {
    for (auto& port : m_ports)
        if (port) port->Close();
}

// ---------------------------------------------------------------- stores

bool CBench::EnablePaging(const fs::path& folder, std::function<void(const std::string&)> log) {
    std::string error;
    std::shared_ptr<CPageFile> file = CPageFile::Create(folder, CDeviceData::kPageBytes, &error);
    if (!file) {
        if (log)
            log("Кэш записей не создан: " + error +
                ". Все записи эксперимента хранятся в памяти.");
        return false;
    }
    file->SetLog(std::move(log));
    std::lock_guard lock(m_storesMutex);
    m_pageFile = file;
    for (auto& store : m_data) store->SetPageFile(file);
    return true;
}

std::shared_ptr<CPageFile> CBench::PageFile() const {
    std::lock_guard lock(m_storesMutex);
    return m_pageFile;
}

std::size_t CBench::StoreCount() const {
    std::lock_guard lock(m_storesMutex);
    return m_storeCount;
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
    const auto& active = m_settings.devices.Active();
    const std::size_t count = active.size();
    const std::size_t have = m_data.size();
    // Each device takes the store that holds its records; a device listed twice (the text and
    // the binary file of one device, loaded together) takes a second store of that address.
    std::vector<std::size_t> pick(count, SIZE_MAX);
    std::vector<char> taken(have, 0);
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t k = 0; k < have; ++k) {
            if (taken[k] || m_storeOwner[k] != active[i].address) continue;
            pick[i] = k;
            taken[k] = 1;
            break;
        }
    }
    std::vector<std::unique_ptr<CDeviceData>> data;
    std::vector<std::unique_ptr<CExperimentFiles>> files;
    std::vector<std::optional<std::uint32_t>> owner;
    std::size_t spare = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t k = pick[i];
        if (k == SIZE_MAX) {
            // The others take the stores no device of the list holds records in, emptied, and
            // new ones when there are none.
            while (spare < have && taken[spare]) ++spare;
            if (spare < have) {
                k = spare;
                taken[k] = 1;
                m_files[k]->CloseExperimentFiles();
                m_files[k]->ForgetExperiment();
                m_data[k]->ResetData();
                m_data[k]->SetTitle("");
                m_data[k]->SetFileName("");
                m_data[k]->SetStartTime(0);
                m_data[k]->SetFirmwareVersion(0, 0);
            }
        }
        if (k == SIZE_MAX) {
            auto store = std::make_unique<CDeviceData>(static_cast<int>(i));
            store->SetPageFile(m_pageFile);
            files.push_back(
                std::make_unique<CExperimentFiles>(*store, FileOptionsFrom(m_settings)));
            data.push_back(std::move(store));
        } else {
            data.push_back(std::move(m_data[k]));
            files.push_back(std::move(m_files[k]));
        }
        owner.emplace_back(active[i].address);
    }
    // Stores of devices that left the list keep their records out of the count.
    for (std::size_t k = 0; k < have; ++k) {
        if (taken[k]) continue;
        data.push_back(std::move(m_data[k]));
        files.push_back(std::move(m_files[k]));
        owner.push_back(m_storeOwner[k]);
    }
    for (std::size_t j = 0; j < data.size(); ++j) data[j]->SetListIndex(static_cast<int>(j));
    m_data = std::move(data);
    m_files = std::move(files);
    m_storeOwner = std::move(owner);
    m_storeCount = count;
}

}  // namespace dravmer
