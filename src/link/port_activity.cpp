#include "link/port_activity.h"

#include <algorithm>

namespace dravmer {

void CActivityHistory::Reset(double nowMs) {
    std::lock_guard lock(m_mutex);
    m_intervals.clear();
    m_openSince = nowMs;
    m_underWay = false;
    m_load = 0.0;
}

void CActivityHistory::Close(double nowMs, bool busy) {
    m_intervals.emplace_front(nowMs - m_openSince, busy);
    if (m_intervals.size() > kMaxIntervals) m_intervals.pop_back();
    m_openSince = nowMs;
}

void CActivityHistory::WriteStarted(double nowMs) {
    std::lock_guard lock(m_mutex);
    if (!m_underWay) Close(nowMs, false);
    m_underWay = true;
}

void CActivityHistory::ReadEnded(double nowMs) {
    std::lock_guard lock(m_mutex);
    if (m_underWay) Close(nowMs, true);
    m_underWay = false;
}

double CActivityHistory::Compute() const {
    double covered = 0.0;
    double busy = 0.0;
    for (const auto& [length, isBusy] : m_intervals) {
        covered += length;
        if (isBusy) busy += length;
        if (covered > kWindowMs) break;
    }
    if (covered > kWindowMs && busy < kWindowMs) covered = kWindowMs;
    return covered > 0.0 ? busy * 100.0 / covered : 0.0;
}

double CActivityHistory::Refresh(double nowMs) {
    std::lock_guard lock(m_mutex);
    if (nowMs - m_lastRefresh < kRefreshMs) return m_load;
    m_lastRefresh = nowMs;
    // A long quiet stretch (or one endless transaction) still has to show.
    if (nowMs - m_openSince > kWindowMs) Close(nowMs, m_underWay);
    m_load = Compute();
    return m_load;
}

double CActivityHistory::BusyPercentOver(double nowMs, double windowMs) const {
    if (!(windowMs > 0)) return 0.0;
    std::lock_guard lock(m_mutex);
    const double from = nowMs - windowMs;
    double busy = m_underWay ? nowMs - std::max(from, m_openSince) : 0.0;
    double end = m_openSince;
    for (const auto& [length, isBusy] : m_intervals) {
        if (end <= from) break;
        const double start = end - length;
        if (isBusy) busy += end - std::max(start, from);
        end = start;
    }
    return std::clamp(busy * 100.0 / windowMs, 0.0, 100.0);
}

double CActivityHistory::LoadPercent() const {
    std::lock_guard lock(m_mutex);
    return m_load;
}

}  // namespace dravmer
