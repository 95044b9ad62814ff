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
#include "platform/paths.h"
#include "bench/bench_internal.h"

namespace dravmer {

namespace fs = std::filesystem;
using namespace bench_detail;

// ---------------------------------------------------------------- search

int CBench::Search() {
    if (m_running || m_starting) return kSearchBusy;
    bool expected = false;
    if (!m_searching.compare_exchange_strong(expected, true)) return kSearchBusy;
    if (m_loading) {
        m_searching = false;
        return kSearchBusy;
    }

    // A search over no open port would find nothing and save an empty list over the one the
    // operator has: refuse it and say why.
    std::vector<std::pair<int, SPortState>> notOpen;
    int open = 0;
    for (int p = 0; p < kPortCount; ++p) {
        if (!Port(p).Settings().useLink) continue;
        if (Port(p).IsOpen() || Port(p).Open()) {
            ++open;
            continue;
        }
        notOpen.emplace_back(p, Port(p).State());
    }
    if (open == 0) {
        m_searching = false;
        Emit([&](IBenchListener& l) {
            SBenchMessage m{BenchMessage::SearchNoOpenPort};
            m.ports = notOpen;
            l.OnError(m);
        });
        return kSearchNoPort;
    }
    // The search works on its own copy and publishes the result at the end, so the list the
    // pages show is never half-made.
    CDeviceList list;
    {
        std::lock_guard lock(m_devicesMutex);
        list = m_settings.devices;
    }
    list.ClearFound();
    int counter = 0;
    int searched = 0;  // ports that were open when their search began
    for (int p = 0; p < kPortCount; ++p) {
        CLinkR307& link = Link(p);
        if (Port(p).Settings().useLink && Port(p).IsOpen()) ++searched;
        link.SetProgressWindow([&, p](int code, std::int64_t value) {
            if (code == 3 || code == 4) ++counter;
            const auto v = static_cast<std::uint32_t>(value);
            Emit([&](IBenchListener& l) { l.OnSearchProgress(p, code, v, counter); });
        });
        SSearchResult result;
        const int rc = Port(p).IsOpen() ? link.SearchDevices(result, false) : -1;
        // A search pass gives up after 50 fruitless slot probes, which can leave the last
        // devices behind a transit device unfound. Found devices stay silent until the next
        // reset, so further passes without a reset pick up only the stragglers.
        if ((rc == 0 || rc == 2) && result.transitFound) {
            link.SetProgressWindow([&, p](int code, std::int64_t value) {
                if (code != 3) return;
                ++counter;
                const auto v = static_cast<std::uint32_t>(value);
                Emit([&](IBenchListener& l) { l.OnSearchProgress(p, code, v, counter); });
            });
            for (int extra = 0; extra < 3; ++extra) {
                SSearchResult more;
                const int again = link.SearchDevices(more, true);
                if (again != 0 && again != 2) break;
                size_t added = 0;
                for (auto address : more.addresses) {
                    if (std::find(result.addresses.begin(), result.addresses.end(), address) ==
                        result.addresses.end()) {
                        result.addresses.push_back(address);
                        ++added;
                    }
                }
                if (added == 0) break;
            }
            std::sort(result.addresses.begin(), result.addresses.end());
        }
        link.SetProgressWindow(nullptr);
        list.SetTransit(p, link.Transit());
        if (rc != 0 && rc != 2) continue;
        for (auto address : result.addresses) {
            if (!list.AddFound(address, static_cast<std::uint8_t>(p), true)) {
                Emit([&](IBenchListener& l) {
                    SBenchMessage m{BenchMessage::TooManyDevices};
                    m.count = static_cast<int>(kMaxDevices);
                    m.device = address;
                    m.port = p;
                    l.OnError(m);
                });
            }
        }
    }
    // Every port closed before its turn came (a line unplugged, a server gone): nothing was
    // asked, so the list the operator has stays, as when no port opened at all.
    if (searched == 0) {
        notOpen.clear();
        for (int p = 0; p < kPortCount; ++p)
            if (Port(p).Settings().useLink) notOpen.emplace_back(p, Port(p).State());
        m_searching = false;
        Emit([&](IBenchListener& l) {
            SBenchMessage m{BenchMessage::SearchNoOpenPort};
            m.ports = notOpen;
            l.OnError(m);
        });
        return kSearchNoPort;
    }
    // What a search finds is the new device list, whatever was loaded for review before.
    m_showsLoaded = false;
    Emit([&](IBenchListener& l) {
        l.OnSearchProgress(-1, 0, 0, static_cast<int>(list.Found().size()));
    });

    // Identify every found device; one that does not answer is dropped from the list.
    std::vector<SFoundInfo> infos;
    for (size_t k = 0; k < list.Found().size();) {
        const SFoundDevice f = list.Found()[k];
        CLinkR307& link = Link(f.port);
        std::uint8_t identity[kIdentitySize] = {};
        std::uint8_t transducer[13] = {};
        const int rc = link.ReadIdentity(f.address, identity);
        SFoundInfo info;
        info.address = f.address;
        info.port = f.port;
        if (link.ReadParameters(f.address, 20, 12, transducer) == 0) {
            info.transducer = ZeroTerminated(transducer, 12);
            info.transducerRead = true;
        }
        if (rc != 0) {
            list.RemoveFound(k);
            continue;
        }
        info.identified = true;
        info.fwMinor = identity[1];
        info.fwMajor = identity[2];
        info.compiled = ZeroTerminated(identity + 9, 12) + "  " + ZeroTerminated(identity + 21, 9);
        info.written = ZeroTerminated(identity + 30, 12) + "  " + ZeroTerminated(identity + 42, 9);
        infos.push_back(info);
        Emit([&](IBenchListener& l) { l.OnDeviceIdentified(infos.size() - 1, info); });
        ++k;
    }
    list.RebuildActive();
    for (size_t i = 0; i < list.Active().size() && i < infos.size(); ++i) {
        list.Active()[i].fwMajor = infos[i].fwMajor;
        list.Active()[i].fwMinor = infos[i].fwMinor;
    }
    list.SaveFound(m_store);
    list.SaveTransits(m_store);
    m_store.Flush();
    {
        std::lock_guard lock(m_devicesMutex);
        m_settings.devices = list;
        std::lock_guard found(m_foundMutex);
        m_foundInfo = std::move(infos);
    }
    EnsureStores();
    m_searching = false;
    const int found = static_cast<int>(list.Found().size());
    Emit([&](IBenchListener& l) { l.OnSearchFinished(found); });
    return found;
}

bool CBench::SetDeviceEnabled(std::size_t foundIndex, bool enabled) {
    if (m_running || m_starting || m_searching) return false;
    std::lock_guard lock(m_devicesMutex);
    if (foundIndex >= m_settings.devices.Found().size()) return false;
    m_settings.devices.SetEnabled(foundIndex, enabled);
    m_settings.devices.RebuildActive();
    // The devices of a loaded experiment never replace the saved list.
    if (!m_showsLoaded) m_settings.devices.SaveFound(m_store);
    m_store.Flush();
    EnsureStores();
    return true;
}

bool CBench::SetAllDevicesEnabled(bool enabled) {
    if (m_running || m_starting || m_searching) return false;
    std::lock_guard lock(m_devicesMutex);
    m_settings.devices.SetAllEnabled(enabled);
    m_settings.devices.RebuildActive();
    if (!m_showsLoaded) m_settings.devices.SaveFound(m_store);
    m_store.Flush();
    EnsureStores();
    return true;
}

std::vector<SActiveDevice> CBench::ActiveDevices() const {
    std::lock_guard lock(m_devicesMutex);
    return m_settings.devices.Active();
}

std::size_t CBench::ActiveCount() const {
    std::lock_guard lock(m_devicesMutex);
    return m_settings.devices.Active().size();
}

std::vector<SFoundInfo> CBench::FoundInfo() const {
    std::lock_guard devices(m_devicesMutex);
    std::lock_guard lock(m_foundMutex);
    std::vector<SFoundInfo> out = m_foundInfo;
    // After loading from the settings only address, port and the enabled flag are known.
    const auto& found = m_settings.devices.Found();
    if (out.size() != found.size()) {
        out.clear();
        for (const auto& f : found) {
            SFoundInfo i;
            i.address = f.address;
            i.port = f.port;
            i.transducer.clear();
            out.push_back(i);
        }
    }
    for (size_t i = 0; i < out.size(); ++i) out[i].enabled = found[i].enabled != 0;
    return out;
}

}  // namespace dravmer
