#pragma once
// Stopwatch on the monotonic high-resolution clock. Used for the experiment clock, transaction
// time-outs, port activity and the poll period.
#include <chrono>
#include <cstdint>

namespace dravmer {

class CPerfTimer {
public:
    using Clock = std::chrono::steady_clock;

    CPerfTimer() : m_start(Clock::now()) {}
    void Restart() { m_start = Clock::now(); }
    double GetElapsedSeconds() const {
        return std::chrono::duration<double>(Clock::now() - m_start).count();
    }
    double GetElapsedMs() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - m_start).count();
    }
    std::int64_t GetElapsedUs() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_start)
            .count();
    }
    Clock::time_point StartPoint() const { return m_start; }

    // Waits ms milliseconds: sleeps in 1 ms steps for waits of 5 ms or more (so the caller's
    // thread stays responsive to stop requests), spins for shorter ones where sleep granularity
    // would overshoot. Returns false when a stop of the calling worker cut the wait short.
    static bool Wait(double ms);

private:
    Clock::time_point m_start;
};

}  // namespace dravmer
