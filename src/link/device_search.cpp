#include "link/device_search.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "link/link_r307.h"

namespace dravmer {

const std::array<int, 168> kSearchPrimes = {
    2,   3,   5,   7,   11,  13,  17,  19,  23,  29,  31,  37,  41,  43,  47,  53,  59,  61,  67,
    71,  73,  79,  83,  89,  97,  101, 103, 107, 109, 113, 127, 131, 137, 139, 149, 151, 157, 163,
    167, 173, 179, 181, 191, 193, 197, 199, 211, 223, 227, 229, 233, 239, 241, 251, 257, 263, 269,
    271, 277, 281, 283, 293, 307, 311, 313, 317, 331, 337, 347, 349, 353, 359, 367, 373, 379, 383,
    389, 397, 401, 409, 419, 421, 431, 433, 439, 443, 449, 457, 461, 463, 467, 479, 487, 491, 499,
    503, 509, 521, 523, 541, 547, 557, 563, 569, 571, 577, 587, 593, 599, 601, 607, 613, 617, 619,
    631, 641, 643, 647, 653, 659, 661, 673, 677, 683, 691, 701, 709, 719, 727, 733, 739, 743, 751,
    757, 761, 769, 773, 787, 797, 809, 811, 821, 823, 827, 829, 839, 853, 857, 859, 863, 877, 881,
    883, 887, 907, 911, 919, 929, 937, 941, 947, 953, 967, 971, 977, 983, 991, 997};

namespace {

constexpr int kLastPrimeIndex = static_cast<int>(kSearchPrimes.size()) - 1;

// Index of the prime nearest to value; on a tie the smaller prime.
int NearestPrimeIndex(long value) {
    int best = 0;
    for (int i = 1; i <= kLastPrimeIndex; ++i) {
        if (std::labs(kSearchPrimes[i] - value) < std::labs(kSearchPrimes[best] - value)) best = i;
    }
    return best;
}

constexpr std::uint8_t kCmdSearchSlot = 4;
constexpr int kExpectedDevices = 10;
constexpr int kResetSearchRepeats = 10;
constexpr int kExtraEmptyProbes = 5;
constexpr int kMaxSlotProbesPerCall = 50;
constexpr int kFindNextFound = 0;
constexpr int kFindNextFinished = 3;

}  // namespace

CSlotCounter::CSlotCounter(int expectedDevices) {
    const double e = expectedDevices;
    const long b = static_cast<long>(std::floor(e / (1.73 - 1.122 * std::exp(-0.03334 * e)) + 0.5));
    m_startIndex = NearestPrimeIndex(b);
    m_lowerBoundIndex = NearestPrimeIndex(expectedDevices / 10);
    m_index = m_startIndex;
}

int CSlotCounter::Next() {
    if (m_lowerBoundIndex >= m_index) {
        m_index = m_startIndex;
        m_direction = 1;
    }
    m_index += m_direction;
    if (m_index > kLastPrimeIndex) {
        m_index = kLastPrimeIndex;
        m_direction = 0;
    }
    return Current();
}

EProbeVerdict ClassifyProbe(int slotResult) {
    if (slotResult == 0) return EProbeVerdict::kOneDevice;
    if (slotResult == 8 || slotResult == 12) return EProbeVerdict::kSeveralDevices;
    return EProbeVerdict::kNoDevice;
}

const char* McuName(int code) {
    switch (static_cast<std::uint8_t>(code)) {
        case 1:
        case 2:
        case 3:
            return "Atmel AT90S2313";
        case 4:
        case 5:
            return "Philips P89LPC932";
        case 6:
            return "Texas Instrumens MSC1210";
        case 7:
        case 10:
            return "Cygnal C8051F022";
        case 8:
        case 9:
            return "Atmel AT89C51ED2";
        case 11:
        case 12:
            return "Cygnal C8051F133";
        case 13:
            return "Cygnal C8051F130";
        default:
            return "Unknown";
    }
}

int CLinkR307::SearchSlot(int slotCount, int slot, std::uint32_t& found) {
    CPortLockHold hold(m_portLock);
    if (!hold.Held()) return kLinkInternalBusy;
    Prepare(ADDR_ANY_DEVICE, kCmdSearchSlot, 2, 0, 0);
    std::uint8_t* payload = RequestPayload();
    PutLe16(payload, static_cast<std::uint16_t>(slotCount));
    PutLe16(payload + 2, static_cast<std::uint16_t>(slot));
    payload[4] = 0x03;
    payload[5] = 0x02;
    payload[6] = 0x01;
    const int code = Transact(true);
    if (code != kLinkOk && (code > kLinkTrRes08 || code < kLinkTrRes0C)) return -1;
    if (m_transitStatus != 0) return m_transitStatus;
    const std::uint8_t* reply = Reply() + kPayloadOffset;
    found = GetLe32(reply);
    // A radio line hears its own request: that echo is not a device.
    if (reply[4] == 0x03 && reply[5] == 0x02 && reply[6] == 0x01) return -1;
    return 0;
}

// One step of the anti-collision search through a transit device.
class CDeviceSearch {
public:
    explicit CDeviceSearch(CLinkR307& link) : m_link(link), m_slots(kExpectedDevices) {
        m_slotCount = m_slots.Current();
    }

    int FindNext(std::uint32_t& address) {
        int probes = 0;
        for (;;) {
            std::uint32_t found = 0;
            EProbeVerdict verdict = ClassifyProbe(m_link.SearchSlot(1, 0, found));
            if (verdict == EProbeVerdict::kOneDevice) {
                m_link.MarkFound(found);
                address = found;
                return kFindNextFound;
            }
            for (int i = 0; i < kExtraEmptyProbes && verdict == EProbeVerdict::kNoDevice; ++i) {
                verdict = ClassifyProbe(m_link.SearchSlot(1, 0, found));
            }
            if (verdict == EProbeVerdict::kNoDevice) return kFindNextFinished;
            if (m_slotIndex >= m_slotCount - 1) {
                m_slotCount = m_slots.Next();
                m_slotIndex = 0;
            }
            for (int s = m_slotIndex; s < m_slotCount; ++s) {
                ++probes;
                if (m_link.SearchSlot(m_slotCount, s, found) == 0) {
                    m_link.MarkFound(found);
                    m_slotIndex = s + 1;
                    address = found;
                    return kFindNextFound;
                }
                if (probes > kMaxSlotProbesPerCall) return kFindNextFinished;
            }
            m_slotIndex = m_slotCount;
        }
    }

private:
    CLinkR307& m_link;
    CSlotCounter m_slots;
    int m_slotCount;
    int m_slotIndex = 0;
};

int CLinkR307::SearchDevices(SSearchResult& result, bool skipReset) {
    result = SSearchResult{};
    m_transitAddress = 0;
    std::uint32_t answered = 0;
    const int transitCode = ReadAddress(ADDR_ANY_TRANSIT, answered);
    if (transitCode != kLinkOk) {
        Progress(77, transitCode);
        if (ReadAddress(ADDR_ANY_DEVICE, answered) != kLinkOk) return -1;
        Progress(4, answered);
        result.addresses.push_back(answered);
        return 0;
    }
    result.transitFound = true;
    m_transitAddress = answered;
    result.transitAddress = answered;
    std::uint8_t identity[kIdentitySize] = {};
    if (ReadTransitIdentity(identity) != kLinkOk) {
        Progress(0, 0);
        return -1;
    }
    if (identity[3] == 16) {
        m_transitAddress = 0;
        result.transitAddress = 0;
        return 1;
    }
    if (identity[3] == 4) Progress(2, answered);
    if (identity[4] == 'K' && identity[5] == 'E') Progress(1, answered);

    CDeviceSearch search(*this);
    if (!skipReset) {
        for (int i = 0; i < kResetSearchRepeats; ++i) ResetSearch();
    }
    std::uint32_t address = 0;
    while (search.FindNext(address) == kFindNextFound) {
        Progress(3, address);
        result.addresses.push_back(address);
        if (result.addresses.size() >= kMaxFoundDevices) break;
    }
    auto& found = result.addresses;
    if (found.empty()) return 1;
    if (found.size() == 1) return 0;
    std::erase(found, 0u);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    if (found.empty()) return 1;
    return found.size() > 1 ? 2 : 0;
}

}  // namespace dravmer
