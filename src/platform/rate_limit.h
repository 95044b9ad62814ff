#pragma once
// A token bucket: up to `burst` events at once, then `perSecond` on average. Counts what it
// refused, so the caller can say how much it left out once events are let through again.
// Not thread-safe: its owner guards it.
#include <algorithm>
#include <chrono>
#include <cstdint>

namespace dravmer {

class CRateLimit {
public:
    using Clock = std::chrono::steady_clock;
    CRateLimit(double perSecond, double burst)
        : m_perSecond(perSecond), m_burst(burst), m_tokens(burst) {}

    // True when one more event may pass now.
    bool Take(Clock::time_point now = Clock::now()) {
        if (m_started) {
            const double seconds = std::chrono::duration<double>(now - m_last).count();
            if (seconds > 0) m_tokens = std::min(m_burst, m_tokens + seconds * m_perSecond);
        }
        m_started = true;
        m_last = std::max(m_last, now);
        if (m_tokens >= 1.0) {
            m_tokens -= 1.0;
            return true;
        }
        ++m_refused;
        return false;
    }
    // Events refused since the last call.
    std::uint64_t TakeRefusedCount() {
        const std::uint64_t n = m_refused;
        m_refused = 0;
        return n;
    }

private:
    double m_perSecond;
    double m_burst;
    double m_tokens;
    bool m_started = false;
    Clock::time_point m_last{};
    std::uint64_t m_refused = 0;
};

}  // namespace dravmer
