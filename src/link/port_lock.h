#pragma once
// Serialises the transactions of one port: the poll thread, the search and parameter saving
// interleave command by command. A command that cannot take the lock in time returns -16.
#include <chrono>
#include <mutex>

namespace dravmer {

class CPortLock {
public:
    // (repeat count + 1) x 300 + 200 ms with the repeat count 2.
    static constexpr int kWaitLimitMs = 1100;

    bool TryLock() { return m_mutex.try_lock_for(std::chrono::milliseconds(kWaitLimitMs)); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::timed_mutex m_mutex;
};

// Scoped hold of a port lock; Held() is false when the wait limit passed.
class CPortLockHold {
public:
    explicit CPortLockHold(CPortLock& lock) : m_lock(lock), m_held(lock.TryLock()) {}
    ~CPortLockHold() {
        if (m_held) m_lock.Unlock();
    }
    CPortLockHold(const CPortLockHold&) = delete;
    CPortLockHold& operator=(const CPortLockHold&) = delete;
    bool Held() const { return m_held; }

private:
    CPortLock& m_lock;
    bool m_held;
};

}  // namespace dravmer
