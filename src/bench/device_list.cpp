#include "bench/device_list.h"

namespace dravmer {

void CDeviceList::ClearFound() { m_found.clear(); }

bool CDeviceList::AddFound(std::uint32_t address, std::uint8_t port, bool enabled) {
    if (m_found.size() >= kMaxDevices) return false;
    m_found.push_back({address, port, static_cast<std::uint8_t>(enabled ? 1 : 0)});
    return true;
}

void CDeviceList::RemoveFound(size_t index) {
    if (index < m_found.size()) m_found.erase(m_found.begin() + static_cast<long>(index));
}

void CDeviceList::SetEnabled(size_t index, bool enabled) {
    if (index < m_found.size()) m_found[index].enabled = enabled ? 1 : 0;
}

void CDeviceList::SetAllEnabled(bool enabled) {
    for (auto& f : m_found) f.enabled = enabled ? 1 : 0;
}

void CDeviceList::RebuildActive() {
    std::vector<SActiveDevice> active;
    for (const auto& f : m_found) {
        // A port index beyond the four ports (a hand-edited PortList) has no link to poll it.
        if (!f.enabled || f.port >= kPortCount) continue;
        SActiveDevice a{f.address, f.port, 0, 0};
        size_t i = active.size();
        if (i < m_active.size() && m_active[i].address == a.address && m_active[i].port == a.port) {
            a.fwMajor = m_active[i].fwMajor;
            a.fwMinor = m_active[i].fwMinor;
        }
        active.push_back(a);
    }
    m_active = std::move(active);
}

std::vector<std::uint32_t> CDeviceList::SplitList(const std::string& text) {
    std::vector<std::uint32_t> out;
    size_t start = 0;
    for (size_t semi = text.find(';'); semi != std::string::npos; semi = text.find(';', start)) {
        out.push_back(ParseCUnsigned(text.substr(start, semi - start)));
        start = semi + 1;
    }
    return out;
}

void CDeviceList::Load(const ISettingsStore& store) {
    const auto addresses = SplitList(store.GetString("DeviceList", "List", ""));
    const auto ports = SplitList(store.GetString("DeviceList", "PortList", ""));
    const auto enables = SplitList(store.GetString("DeviceList", "EnableList", ""));
    m_found.clear();
    // Entries beyond the table's capacity are dropped rather than overflowing it.
    for (size_t i = 0; i < addresses.size() && i < kMaxDevices; ++i) {
        SFoundDevice f;
        f.address = addresses[i];
        f.port = i < ports.size() ? static_cast<std::uint8_t>(ports[i]) : 0;
        f.enabled = i < enables.size() ? static_cast<std::uint8_t>(enables[i]) : 0;
        m_found.push_back(f);
    }
    m_active.clear();
    RebuildActive();
    for (int p = 0; p < kPortCount; ++p) {
        m_transit[static_cast<size_t>(p)] = static_cast<std::uint32_t>(
            store.GetInt("DeviceList", "Transit" + std::to_string(p + 1), 0));
    }
}

void CDeviceList::SaveFound(ISettingsStore& store) const {
    std::string list, ports, enables;
    for (const auto& f : m_found) {
        list += std::to_string(f.address) + ";";
        ports += std::to_string(f.port) + ";";
        enables += std::to_string(f.enabled) + ";";
    }
    store.SetString("DeviceList", "List", list);
    store.SetString("DeviceList", "PortList", ports);
    store.SetString("DeviceList", "EnableList", enables);
}

void CDeviceList::SaveTransits(ISettingsStore& store) const {
    for (int p = 0; p < kPortCount; ++p) {
        store.SetInt("DeviceList", "Transit" + std::to_string(p + 1),
                     static_cast<int>(m_transit[static_cast<size_t>(p)]));
    }
}

}  // namespace dravmer
