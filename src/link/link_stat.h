#pragma once
// Per-device link statistics: how the transactions with each device address went.
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace dravmer {

// 22 words per device address.
struct SLinkDevStat {
    enum Word {
        kDevice = 0,
        kCommands = 1,          // attempts sent
        kErrors = 2,            // failed attempts
        kErrorsWithRepeat = 3,  // transactions that failed after all repeats
        kTransactions = 4,      // transactions started
        kErrorRun = 5,          // consecutive failed attempts, 0 after a success
        kFirstErrorCode = 6,    // words 6..21: failed attempts with code -1..-16
        kWordCount = 22,
    };
    std::array<std::uint32_t, kWordCount> w{};

    static constexpr int CodeWord(int code) { return 5 - code; }
};

// The table of one link, records in order of first use. Hooks run under the link's port lock;
// the user interface reads and resets without it, so the table has a lock of its own.
class CLinkStatTable {
public:
    // Room for 11 records at first (1024 bytes of 88-byte records); doubled whenever the record
    // count reaches the room.
    static constexpr std::size_t kInitialBytes = 1024;

    bool GetDeviceStat(std::uint32_t address, SLinkDevStat& out) const;
    std::vector<SLinkDevStat> Records() const;
    std::size_t Capacity() const;
    void Reset();
    // The dump written to the link error log: one line per record with commands.
    std::string Dump() const;

    void OnTransactionStarted(std::uint32_t address);
    void OnAttempt(std::uint32_t address);
    void OnFailedAttempt(std::uint32_t address, int code);
    void OnFinalFailure(std::uint32_t address);
    void OnSuccess(std::uint32_t address);

private:
    SLinkDevStat* Find(std::uint32_t address);
    SLinkDevStat* FindOrCreate(std::uint32_t address);

    mutable std::mutex m_mutex;
    std::vector<SLinkDevStat> m_records;
    std::size_t m_capacityBytes = kInitialBytes;
};

}  // namespace dravmer
