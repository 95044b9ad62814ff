#pragma once
// Serialises the transactions of one port: the poll thread, the search and parameter saving
// interleave command by command. A command that cannot take the lock in time returns -16.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace dravmer {

// A timed mutex built on a plain mutex and a condition variable: usable with std::unique_lock
// and std::lock_guard, and fully visible to the thread sanitizer (whose interceptors miss the
// clock-based lock calls of std::timed_mutex).
class CTimedMutex {
public:
    void lock() {
        std::unique_lock guard(m_mutex);
        m_cv.wait(guard, [&] { return !m_locked; });
        m_locked = true;
    }
    bool try_lock() {
        std::lock_guard guard(m_mutex);
        if (m_locked) return false;
        m_locked = true;
        return true;
    }
    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& wait) {
        return try_lock_until(std::chrono::steady_clock::now() + wait);
    }
    template <class Clock, class Duration>
    bool try_lock_until(const std::chrono::time_point<Clock, Duration>& until) {
        std::unique_lock guard(m_mutex);
        if (!m_cv.wait_until(guard, until, [&] { return !m_locked; })) return false;
        m_locked = true;
        return true;
    }
    void unlock() {
        {
            std::lock_guard guard(m_mutex);
            m_locked = false;
        }
        m_cv.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_locked = false;
};

class CPortLock {
public:
    // (repeat count + 1) x 300 + 200 ms with the repeat count 2.
    static constexpr int kWaitLimitMs = 1100;

    bool TryLock() { return m_mutex.try_lock_for(std::chrono::milliseconds(kWaitLimitMs)); }
    void Unlock() { m_mutex.unlock(); }

private:
    CTimedMutex m_mutex;
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
