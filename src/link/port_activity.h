#pragma once
// The local load figure of a port: the most recent 1024 busy and idle intervals, and the share
// of busy time over the last three seconds or so. Times are milliseconds on one steady clock.
#include <deque>
#include <mutex>

namespace dravmer {

class CActivityHistory {
public:
    static constexpr std::size_t kMaxIntervals = 1024;
    static constexpr double kWindowMs = 3000.0;
    static constexpr double kRefreshMs = 1000.0;

    explicit CActivityHistory(double nowMs = 0.0) { Reset(nowMs); }
    void Reset(double nowMs);
    // A frame write starts: the idle interval before it ends.
    void WriteStarted(double nowMs);
    // A reply read ended: the busy interval of the transaction ends.
    void ReadEnded(double nowMs);
    // Refreshes the figure at most once per second and returns it (percent).
    double Refresh(double nowMs);
    double LoadPercent() const;
    // Share of the last windowMs (up to nowMs) spent in transactions, the one under way
    // included; computed on every call.
    double BusyPercentOver(double nowMs, double windowMs) const;

private:
    void Close(double nowMs, bool busy);
    double Compute() const;

    mutable std::mutex m_mutex;
    std::deque<std::pair<double, bool>> m_intervals;  // newest first: length, busy
    double m_openSince = 0.0;
    double m_lastRefresh = -1e18;
    bool m_underWay = false;
    double m_load = 0.0;
};

}  // namespace dravmer
