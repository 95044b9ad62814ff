#pragma once
// The found list (every device a search found, with its port and enabled flag) and the active
// list (the enabled ones, in found order, with the firmware version read at experiment start).
// Both are kept in section DeviceList as parallel "%u;" strings.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace dravmer {

inline constexpr int kPortCount = 4;
inline constexpr size_t kMaxDevices = 100;

struct SFoundDevice {
    std::uint32_t address = 0;
    std::uint8_t port = 0;     // 0..3
    std::uint8_t enabled = 0;  // polled or not
};

struct SActiveDevice {
    std::uint32_t address = 0;
    std::uint8_t port = 0;
    std::uint8_t fwMajor = 0;
    std::uint8_t fwMinor = 0;
};

class CDeviceList {
public:
    const std::vector<SFoundDevice>& Found() const { return m_found; }
    const std::vector<SActiveDevice>& Active() const { return m_active; }
    std::vector<SActiveDevice>& Active() { return m_active; }

    void ClearFound();
    // Appends a found device; false (and nothing added) when the list already holds 100.
    bool AddFound(std::uint32_t address, std::uint8_t port, bool enabled = true);
    void RemoveFound(size_t index);
    void SetEnabled(size_t index, bool enabled);
    void SetAllEnabled(bool enabled);
    // The active list from the found list: enabled entries in order. Firmware bytes of an entry
    // that stays at the same position with the same address and port are kept.
    void RebuildActive();

    std::uint32_t Transit(int port) const { return m_transit.at(static_cast<size_t>(port)); }
    void SetTransit(int port, std::uint32_t address) {
        m_transit.at(static_cast<size_t>(port)) = address;
    }

    // Section DeviceList: List, PortList, EnableList, Transit1..Transit4.
    void Load(const ISettingsStore& store);
    void SaveFound(ISettingsStore& store) const;
    void SaveTransits(ISettingsStore& store) const;

    // "12;34;" -> {12, 34}; the text after the last ";" is ignored; each piece is converted
    // like the C library does (malformed pieces give 0).
    static std::vector<std::uint32_t> SplitList(const std::string& text);

private:
    std::vector<SFoundDevice> m_found;
    std::vector<SActiveDevice> m_active;
    std::array<std::uint32_t, kPortCount> m_transit{};
};

}  // namespace dravmer
