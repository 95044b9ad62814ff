#pragma once
// Pieces of the anti-collision device search that need no port: the slot-count sequence and
// the probe classification. The search itself is CLinkR307::SearchDevices.
#include <array>
#include <cstdint>

namespace dravmer {

// The 168 primes below 1000.
extern const std::array<int, 168> kSearchPrimes;

// Slot counts of the search: starts near the expected device count, walks down to the lower
// bound, then jumps back and climbs to 997, where it stays.
class CSlotCounter {
public:
    explicit CSlotCounter(int expectedDevices = 10);
    int Current() const { return kSearchPrimes[static_cast<std::size_t>(m_index)]; }
    int Next();

private:
    int m_startIndex = 0;
    int m_lowerBoundIndex = 0;
    int m_index = 0;
    int m_direction = -1;
};

enum class EProbeVerdict { kOneDevice, kSeveralDevices, kNoDevice };

// Verdict of a probe with one slot: result 0 is one device, transit status 8 or 12 several.
EProbeVerdict ClassifyProbe(int slotResult);

// Name of a microcontroller code (taken as a byte).
const char* McuName(int code);

}  // namespace dravmer
