// Loading a stored experiment back into the stores for review.
#include <algorithm>

#include "bench/bench.h"

namespace dravmer {

std::vector<CDeviceData*> CBench::PrepareLoad(const std::vector<std::uint32_t>& addresses) {
    if (addresses.empty() || m_running || m_starting || m_searching) return {};
    bool expected = false;
    if (!m_loading.compare_exchange_strong(expected, true)) return {};
    // A search or a start that begins now sees the flag; one that began first is refused above.
    if (m_running || m_starting || m_searching) {
        m_loading = false;
        return {};
    }
    const std::size_t count = std::min(addresses.size(), kMaxDevices);
    {
        std::lock_guard lock(m_devicesMutex);
        CDeviceList& list = m_settings.devices;
        list.ClearFound();
        for (std::size_t i = 0; i < count; ++i) list.AddFound(addresses[i], 0, true);
        list.RebuildActive();
        std::lock_guard found(m_foundMutex);
        m_foundInfo.clear();
    }
    m_showsLoaded = true;
    SetLoadedExperiment(0, "");
    EnsureStores();
    std::vector<CDeviceData*> stores;
    for (std::size_t i = 0; i < count; ++i) {
        CDeviceData& data = Data(i);
        Files(i).CloseExperimentFiles();
        // The stores now hold the loaded experiment: a comment must not reach the last run's
        // label file, nor a switch of writing to file its files.
        Files(i).ForgetExperiment();
        data.ResetData();
        data.SetTitle("");
        data.SetStartTime(0);
        stores.push_back(&data);
    }
    return stores;
}

int CBench::LoadPrepared(const SGroupLoadData& group, const std::vector<CDeviceData*>& stores,
                         ILoadListener* listener, const std::atomic<bool>* cancel) {
    struct SClear {
        std::atomic<bool>& flag;
        ~SClear() { flag = false; }
    } clear{m_loading};
    SetLoadedExperiment(group.time, group.label);
    return LoadGroup(group, stores, listener, cancel);
}

int CBench::LoadExperiment(const SGroupLoadData& group, ILoadListener* listener,
                           const std::atomic<bool>* cancel) {
    std::vector<CDeviceData*> stores = PrepareLoad(group.addresses);
    if (stores.empty()) return 0;
    return LoadPrepared(group, stores, listener, cancel);
}

void CBench::RestoreSavedDevices() {
    if (!m_showsLoaded.exchange(false)) return;
    {
        std::lock_guard lock(m_devicesMutex);
        m_settings.devices.Load(m_store);
        std::lock_guard found(m_foundMutex);
        m_foundInfo.clear();
    }
    EnsureStores();
    Emit([](IBenchListener& l) { l.OnDeviceListChanged(); });
}

}  // namespace dravmer
