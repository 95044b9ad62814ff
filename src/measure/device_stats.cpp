// The statistics of a store: the running update of every append, the recompute over a range,
// the restart, the getters and the trend check of the electrode profile.
//
// A statistic whose divisor would be zero reads 0: an average over no record of a parity, and
// a spread (Sigma, Noise, NoiseE, NoiseO) over fewer than two records. That is also what the
// running mode answers for the first record, so one record reads the same however it came.
#include <cmath>

#include "measure/device_data.h"
#include "measure/stats_block.h"

namespace dravmer {

namespace {
constexpr int kFirst = 3;  // indices 0..2 carry no statistics
constexpr int kLast = CMeasRecord::kParamCount - 1;
constexpr int kUgFirst = 23;  // UG[0]..UG[9]

double Spread(double sumSq, int n) { return n > 1 ? std::sqrt(sumSq / (2.0 * n - 2.0)) : 0.0; }

double Sigma(double sumSq, double average, int n) {
    return n > 1 ? std::sqrt(std::fabs(sumSq - n * average * average) / (n - 1)) : 0.0;
}

int SlotOf(StatKind kind) {
    switch (kind) {
        case StatKind::AverageE: return kSlotAverageE;
        case StatKind::AverageO: return kSlotAverageO;
        case StatKind::Average: return kSlotAverage;
        case StatKind::Min: return kSlotMin;
        case StatKind::Max: return kSlotMax;
        case StatKind::Delta: return kSlotDelta;
        case StatKind::Sigma: return kSlotSigma;
        case StatKind::Noise: return kSlotNoise;
        case StatKind::NoiseE: return kSlotNoiseE;
        case StatKind::NoiseO: return kSlotNoiseO;
        default: return -1;
    }
}
}  // namespace

void CDeviceData::FirstOfRange(const double* v, bool even) {
    auto& s = m_stats->v;
    for (int i = kFirst; i <= kLast; ++i) {
        double x = v[i];
        s[kSlotAverage][i] = s[kSlotMin][i] = s[kSlotMax][i] = x;
        s[kSlotDelta][i] = s[kSlotSigma][i] = s[kSlotNoise][i] = 0;
        s[kSlotNoiseE][i] = s[kSlotNoiseO][i] = 0;
        s[kSlotSum][i] = x;
        s[kSlotSumSq][i] = x * x;
        s[kSlotNoiseSum][i] = s[kSlotNoiseSumE][i] = s[kSlotNoiseSumO][i] = 0;
        s[kSlotAverageE][i] = s[kSlotAverageO][i] = x;
        s[kSlotSumE][i] = even ? x : 0;
        s[kSlotSumO][i] = even ? 0 : x;
    }
    m_stats->state.n = 1;
    m_stats->state.nE = even ? 1 : 0;
    m_stats->state.nO = even ? 0 : 1;
}

void CDeviceData::RunningUpdate(const double* v, const double* prev, const double* sameParity,
                                bool even) {
    auto& s = m_stats->v;
    const int n = m_stats->state.n;
    const int nP = even ? m_stats->state.nE : m_stats->state.nO;
    const int sumP = even ? kSlotSumE : kSlotSumO;
    const int avgP = even ? kSlotAverageE : kSlotAverageO;
    const int noiseSumP = even ? kSlotNoiseSumE : kSlotNoiseSumO;
    const int noiseP = even ? kSlotNoiseE : kSlotNoiseO;
    for (int i = kFirst; i <= kLast; ++i) {
        double x = v[i];
        s[kSlotSum][i] += x;
        s[kSlotSumSq][i] += x * x;
        double avg = s[kSlotSum][i] / n;
        s[kSlotAverage][i] = avg;
        if (x < s[kSlotMin][i]) s[kSlotMin][i] = x;
        if (x > s[kSlotMax][i]) s[kSlotMax][i] = x;
        s[kSlotDelta][i] = s[kSlotMax][i] - s[kSlotMin][i];
        s[kSlotSigma][i] = Sigma(s[kSlotSumSq][i], avg, n);
        double d = x - prev[i];
        s[kSlotNoiseSum][i] += d * d;
        s[kSlotNoise][i] = Spread(s[kSlotNoiseSum][i], n);
        s[sumP][i] += x;
        s[avgP][i] = s[sumP][i] / nP;
        if (sameParity) {
            double e = x - sameParity[i];
            s[noiseSumP][i] += e * e;
            s[noiseP][i] = Spread(s[noiseSumP][i], nP);
        }
    }
}

void CDeviceData::FinishAverages(int n, int nE, int nO) {
    auto& s = m_stats->v;
    for (int i = kFirst; i <= kLast; ++i) {
        double avg = n > 0 ? s[kSlotSum][i] / n : 0;
        s[kSlotAverage][i] = avg;
        s[kSlotAverageE][i] = nE > 0 ? s[kSlotSumE][i] / nE : 0;
        s[kSlotAverageO][i] = nO > 0 ? s[kSlotSumO][i] / nO : 0;
        s[kSlotDelta][i] = s[kSlotMax][i] - s[kSlotMin][i];
        s[kSlotSigma][i] = Sigma(s[kSlotSumSq][i], avg, n);
        s[kSlotNoise][i] = Spread(s[kSlotNoiseSum][i], n);
        s[kSlotNoiseE][i] = Spread(s[kSlotNoiseSumE][i], nE);
        s[kSlotNoiseO][i] = Spread(s[kSlotNoiseSumO][i], nO);
    }
}

void CDeviceData::CalcRange(std::uint32_t fromSecond, std::uint32_t toSecond, bool whole) {
    std::lock_guard statLock(m_statMutex);
    std::shared_lock lock(m_arrayLock);
    const int count = m_count.load(std::memory_order_acquire);
    int first = 0, last = count - 1;
    if (!whole) {
        first = TimeToIndexLocked(fromSecond);
        last = TimeToIndexLocked(toSecond);
        if (first > last) std::swap(first, last);
        if (count == 0) last = -1;
    }
    *m_stats = SStats{};
    SStatState& st = m_stats->state;
    st.rangeMode = !whole;
    st.rangeFirstIndex = first;
    auto& s = m_stats->v;
    const CMeasRecord* r = m_records.get();
    if (count > 0) {
        double v0[kParamCount];
        GetAllParams(r[first], v0);
        for (int i = kFirst; i <= kLast; ++i) s[kSlotMin][i] = s[kSlotMax][i] = v0[i];
    }

    double v[kParamCount], prev[kParamCount], lastE[kParamCount], lastO[kParamCount];
    bool haveE = false, haveO = false;
    int nE = 0, nO = 0;
    for (int a = first; a <= last; ++a) {
        GetAllParams(r[a], v);
        const bool even = (r[a].cycle & 1) == 0;
        (even ? nE : nO) += 1;
        const int sumP = even ? kSlotSumE : kSlotSumO;
        const int noiseSumP = even ? kSlotNoiseSumE : kSlotNoiseSumO;
        const double* same = even ? (haveE ? lastE : nullptr) : (haveO ? lastO : nullptr);
        for (int i = kFirst; i <= kLast; ++i) {
            double x = v[i];
            s[kSlotSum][i] += x;
            if (x > s[kSlotMax][i]) s[kSlotMax][i] = x;
            if (x < s[kSlotMin][i]) s[kSlotMin][i] = x;
            s[sumP][i] += x;
            s[kSlotSumSq][i] += x * x;
        }
        if (a != first) {
            for (int i = kFirst; i <= kLast; ++i) {
                double d = v[i] - prev[i];
                s[kSlotNoiseSum][i] += d * d;
            }
        }
        if (same) {
            for (int i = kFirst; i <= kLast; ++i) {
                double d = v[i] - same[i];
                s[noiseSumP][i] += d * d;
            }
        }
        std::copy(v, v + kParamCount, prev);
        std::copy(v, v + kParamCount, even ? lastE : lastO);
        (even ? haveE : haveO) = true;
    }
    const int n = last >= first ? last - first + 1 : 0;
    st.n = n;
    st.nE = nE;
    st.nO = nO;
    FinishAverages(n, nE, nO);
    if (count > 0) {
        st.firstSecond = r[whole ? 0 : first].time;
        st.lastSecond = r[whole ? count - 1 : last].time;
    }
    TrendCheck();
}

bool CDeviceData::RestartStats(bool acquisitionRunning) {
    if (!acquisitionRunning) return false;
    CMeasRecord newest;
    int count;
    {
        std::shared_lock lock(m_arrayLock);
        count = m_count.load(std::memory_order_acquire);
        if (count == 0) return false;
        newest = m_records[static_cast<std::size_t>(count - 1)];
    }
    std::lock_guard statLock(m_statMutex);
    double v[kParamCount];
    GetAllParams(newest, v);
    SStatState& st = m_stats->state;
    st.rangeMode = false;
    st.rangeFirstIndex = count - 1;
    st.firstSecond = st.lastSecond = newest.time;
    FirstOfRange(v, (newest.cycle & 1) == 0);
    m_stats->trend = STrendResult{};
    return true;
}

void CDeviceData::TrendCheck() {
    auto& s = m_stats->v;
    STrendResult& t = m_stats->trend;
    t = STrendResult{};
    const double* E = &s[kSlotAverageE][kUgFirst];
    const double* O = &s[kSlotAverageO][kUgFirst];
    const double* H = O[0] > E[0] ? O : E;
    const double* L = O[0] > E[0] ? E : O;
    double den = H[9] - L[9];
    t.ratio = den != 0 ? (H[9] - H[0] + L[0] - L[9]) / den : 0;
    double mean0 = (E[0] + O[0]) / 2;
    double slope = ((E[9] + O[9]) / 2 - mean0) / 9;
    auto line = [&](int i) { return i * slope + mean0; };
    auto dev = [&](const double* S, int i) { return std::fabs(line(0) + (S[i] - line(i)) - S[0]); };
    double tolH = dev(H, 9) * 1.2, tolL = dev(L, 9) * 1.2;
    for (int i = 0; i <= 8; ++i) {
        if (dev(H, i) > tolH) t.upper = true;
        if (dev(L, i) > tolL) t.lower = true;
    }
}

double CDeviceData::StatSlot(StatKind kind, int param) const {
    int slot = SlotOf(kind);
    if (slot < 0 || param < kFirst || param > kLast) return 0;
    return m_stats->v[slot][param];
}

CMeasRecord CDeviceData::GetStat(StatKind kind) const {
    if (kind == StatKind::Current) return GetCount() > 0 ? GetLastSample() : CMeasRecord{};
    CMeasRecord r;
    std::lock_guard statLock(m_statMutex);
    for (int i = kFirst; i <= kLast; ++i) SetParam(r, i, StatSlot(kind, i));
    return r;
}

double CDeviceData::GetStatValue(StatKind kind, int param) const {
    if (kind == StatKind::Current) return GetCount() > 0 ? GetParam(GetLastSample(), param) : 0;
    std::lock_guard statLock(m_statMutex);
    return StatSlot(kind, param);
}

SStatState CDeviceData::GetStatState() const {
    std::lock_guard statLock(m_statMutex);
    SStatState st = m_stats->state;
    if (st.lastSecond < 0) st.lastSecond = 0;
    return st;
}

STrendResult CDeviceData::GetTrend() const {
    std::lock_guard statLock(m_statMutex);
    return m_stats->trend;
}

}  // namespace dravmer
