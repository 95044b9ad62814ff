// The statistics of a store: the running update of every append, the recompute over a range,
// the restart, the getters and the trend check of the electrode profile.
//
// A statistic whose divisor would be zero reads 0: an average over no record of a parity, and
// a spread (Sigma, Noise, NoiseE, NoiseO) over fewer than two records. That is also what the
// running mode answers for the first record, so one record reads the same however it came.
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "measure/device_data.h"
#include "measure/record_pages.h"
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
        case StatKind::AverageE:
            return kSlotAverageE;
        case StatKind::AverageO:
            return kSlotAverageO;
        case StatKind::Average:
            return kSlotAverage;
        case StatKind::Min:
            return kSlotMin;
        case StatKind::Max:
            return kSlotMax;
        case StatKind::Delta:
            return kSlotDelta;
        case StatKind::Sigma:
            return kSlotSigma;
        case StatKind::Noise:
            return kSlotNoise;
        case StatKind::NoiseE:
            return kSlotNoiseE;
        case StatKind::NoiseO:
            return kSlotNoiseO;
        default:
            return -1;
    }
}
}  // namespace

void CDeviceData::FirstOfRange(SStats& stats, const double* v, bool even) {
    auto& s = stats.v;
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
    stats.state.n = 1;
    stats.state.nE = even ? 1 : 0;
    stats.state.nO = even ? 0 : 1;
}

void CDeviceData::Accumulate(SStats& s, int index, std::uint32_t time, const double* v,
                             const double* prev, const double* sameParity, bool even) {
    SStatState& st = s.state;
    st.n += 1;
    (even ? st.nE : st.nO) += 1;
    if (st.n == 1 || !prev) {
        st.rangeFirstIndex = index;
        st.firstSecond = time;
        FirstOfRange(s, v, even);
    } else {
        RunningUpdate(s, v, prev, sameParity, even);
    }
    st.lastSecond = time;
}

// The running update keeps the sums, Min and Max; every other statistic is a function of the
// sums and counts and is worked out when it is read (Derived), with the same formulas as the
// recompute, so both modes give the same numbers.
void CDeviceData::RunningUpdate(SStats& stats, const double* v, const double* prev,
                                const double* sameParity, bool even) {
    auto& s = stats.v;
    double* sumP = s[even ? kSlotSumE : kSlotSumO];
    double* noiseSumP = s[even ? kSlotNoiseSumE : kSlotNoiseSumO];
    double* sum = s[kSlotSum];
    double* sumSq = s[kSlotSumSq];
    double* mn = s[kSlotMin];
    double* mx = s[kSlotMax];
    double* noiseSum = s[kSlotNoiseSum];
    int i = kFirst;
#if defined(__SSE2__)
    // Two parameters at a time, each with its own arithmetic in its own order: the results are
    // those of one at a time (min and max pick as the comparisons below do, NaN included).
    for (; i + 1 <= kLast; i += 2) {
        const __m128d x = _mm_loadu_pd(v + i);
        _mm_storeu_pd(sum + i, _mm_add_pd(_mm_loadu_pd(sum + i), x));
        _mm_storeu_pd(sumSq + i, _mm_add_pd(_mm_loadu_pd(sumSq + i), _mm_mul_pd(x, x)));
        _mm_storeu_pd(mn + i, _mm_min_pd(x, _mm_loadu_pd(mn + i)));
        _mm_storeu_pd(mx + i, _mm_max_pd(x, _mm_loadu_pd(mx + i)));
        const __m128d d = _mm_sub_pd(x, _mm_loadu_pd(prev + i));
        _mm_storeu_pd(noiseSum + i, _mm_add_pd(_mm_loadu_pd(noiseSum + i), _mm_mul_pd(d, d)));
        _mm_storeu_pd(sumP + i, _mm_add_pd(_mm_loadu_pd(sumP + i), x));
    }
#endif
    for (; i <= kLast; ++i) {
        double x = v[i];
        sum[i] += x;
        sumSq[i] += x * x;
        mn[i] = x < mn[i] ? x : mn[i];
        mx[i] = x > mx[i] ? x : mx[i];
        double d = x - prev[i];
        noiseSum[i] += d * d;
        sumP[i] += x;
    }
    if (sameParity) {
        i = kFirst;
#if defined(__SSE2__)
        for (; i + 1 <= kLast; i += 2) {
            const __m128d e = _mm_sub_pd(_mm_loadu_pd(v + i), _mm_loadu_pd(sameParity + i));
            _mm_storeu_pd(noiseSumP + i, _mm_add_pd(_mm_loadu_pd(noiseSumP + i), _mm_mul_pd(e, e)));
        }
#endif
        for (; i <= kLast; ++i) {
            double e = v[i] - sameParity[i];
            noiseSumP[i] += e * e;
        }
    }
}

void CDeviceData::WalkRecord(SWalk& w, const double* v, bool even) {
    auto& s = m_stats->v;
    (even ? w.nE : w.nO) += 1;
    const int sumP = even ? kSlotSumE : kSlotSumO;
    const int noiseSumP = even ? kSlotNoiseSumE : kSlotNoiseSumO;
    const bool haveSame = even ? w.haveE : w.haveO;
    const double* same = even ? w.lastE : w.lastO;
    for (int i = kFirst; i <= kLast; ++i) {
        double x = v[i];
        s[kSlotSum][i] += x;
        if (x > s[kSlotMax][i]) s[kSlotMax][i] = x;
        if (x < s[kSlotMin][i]) s[kSlotMin][i] = x;
        s[sumP][i] += x;
        s[kSlotSumSq][i] += x * x;
    }
    if (w.havePrev) {
        for (int i = kFirst; i <= kLast; ++i) {
            double d = v[i] - w.prev[i];
            s[kSlotNoiseSum][i] += d * d;
        }
    }
    if (haveSame) {
        for (int i = kFirst; i <= kLast; ++i) {
            double d = v[i] - same[i];
            s[noiseSumP][i] += d * d;
        }
    }
    std::copy(v, v + kParamCount, w.prev);
    std::copy(v, v + kParamCount, even ? w.lastE : w.lastO);
    w.havePrev = true;
    (even ? w.haveE : w.haveO) = true;
}

void CDeviceData::WalkBlock(SWalk& w, const pages::SBlockSum& b) {
    auto& s = m_stats->v;
    for (int k = 0; k < pages::kStatParams; ++k) {
        const int i = k + kFirst;
        s[kSlotSum][i] += b.sum[k];
        s[kSlotSumSq][i] += b.sumSq[k];
        s[kSlotSumE][i] += b.sumE[k];
        s[kSlotSumO][i] += b.sumO[k];
        if (b.hasExtremes >> k & 1) {
            if (b.max[k] > s[kSlotMax][i]) s[kSlotMax][i] = b.max[k];
            if (b.min[k] < s[kSlotMin][i]) s[kSlotMin][i] = b.min[k];
        }
        if (w.havePrev) {
            const double d = b.first[k] - w.prev[i];
            s[kSlotNoiseSum][i] += d * d;
        }
        s[kSlotNoiseSum][i] += b.noise[k];
        w.prev[i] = b.last[k];
        if (b.nE > 0) {
            if (w.haveE) {
                const double d = b.firstE[k] - w.lastE[i];
                s[kSlotNoiseSumE][i] += d * d;
            }
            s[kSlotNoiseSumE][i] += b.noiseE[k];
            w.lastE[i] = b.lastE[k];
        }
        if (b.nO > 0) {
            if (w.haveO) {
                const double d = b.firstO[k] - w.lastO[i];
                s[kSlotNoiseSumO][i] += d * d;
            }
            s[kSlotNoiseSumO][i] += b.noiseO[k];
            w.lastO[i] = b.lastO[k];
        }
    }
    w.havePrev = true;
    w.haveE = w.haveE || b.nE > 0;
    w.haveO = w.haveO || b.nO > 0;
    w.nE += b.nE;
    w.nO += b.nO;
}

void CDeviceData::SplitWhole() {
    if (!m_wholeIsRunning) return;
    m_whole = std::make_unique<SStats>(*m_stats);
    m_wholeIsRunning = false;
}

// The statistics over every record are at hand: the running ones while they began with the
// first record, else those kept apart since the two split. They hold the running sums, which
// are the sums a recompute makes, in the same order; only what a recompute never sets is
// cleared: the first record's values in the slots that a record of each parity replaces, and
// the sign of a sum that only ever added -0.
void CDeviceData::CalcWhole() {
    if (!m_wholeIsRunning) {
        *m_stats = *m_whole;
        m_whole.reset();
        m_wholeIsRunning = true;
    }
    AsRecomputed(*m_stats);
    TrendCheck();
}

void CDeviceData::AsRecomputed(SStats& stats) {
    auto& s = stats.v;
    for (int i = kFirst; i <= kLast; ++i) {
        for (int slot : {kSlotAverage, kSlotDelta, kSlotSigma, kSlotNoise, kSlotNoiseE,
                         kSlotNoiseO, kSlotAverageE, kSlotAverageO})
            s[slot][i] = 0;
        for (int slot : {kSlotSum, kSlotSumE, kSlotSumO, kSlotSumSq, kSlotNoiseSum,
                         kSlotNoiseSumE, kSlotNoiseSumO})
            if (s[slot][i] == 0) s[slot][i] = 0;
    }
    stats.state.rangeMode = false;
    stats.state.rangeFirstIndex = 0;
}

void CDeviceData::WholeStatistics(double out[kStatKindCount][kParamCount], SStatState& state) const {
    SStats whole;
    {
        std::lock_guard statLock(m_statMutex);
        whole = m_wholeIsRunning ? *m_stats : *m_whole;
    }
    AsRecomputed(whole);
    const bool any = GetCount() > 0;
    const CMeasRecord newest = any ? GetLastSample() : CMeasRecord{};
    for (int p = 0; p < kParamCount; ++p) {
        out[0][p] = any && p >= kFirst ? GetParam(newest, p) : 0;
        for (int k = 1; k < kStatKindCount; ++k)
            out[k][p] = StatOf(whole, static_cast<StatKind>(k), p);
    }
    state = whole.state;
    if (state.lastSecond < 0) state.lastSecond = 0;
}

void CDeviceData::CalcRange(std::uint32_t fromSecond, std::uint32_t toSecond, bool whole) {
    std::lock_guard statLock(m_statMutex);
    if (whole) {
        CalcWhole();
        return;
    }
    SplitWhole();
    std::shared_lock lock(m_arrayLock);
    const int count = m_count.load(std::memory_order_acquire);
    int first = TimeToIndexLocked(fromSecond);
    int last = TimeToIndexLocked(toSecond);
    if (first > last) std::swap(first, last);
    if (count == 0) last = -1;
    *m_stats = SStats{};
    SStatState& st = m_stats->state;
    st.rangeMode = true;
    st.rangeFirstIndex = first;
    auto& s = m_stats->v;
    double v[kParamCount] = {};
    bool even;
    if (count > 0) {
        StatParamsAt(first, v, even);
        for (int i = kFirst; i <= kLast; ++i) s[kSlotMin][i] = s[kSlotMax][i] = v[i];
    }
    // Up to a day and a half every record is walked, which gives the plain running sums. A
    // longer range takes its whole blocks from their summaries: the same counts and extremes,
    // sums that differ from the plain order only in rounding.
    int blockFrom = (first + kPageRecords - 1) / kPageRecords;
    int blockTo = std::min((last + 1) / kPageRecords, static_cast<int>(m_blockSums.size()));
    if (last - first + 1 <= kWalkAll || blockTo <= blockFrom) blockFrom = blockTo = 0;
    SWalk walk;
    auto walkRecords = [&](int from, int to) {
        if (from > to) return;
        if (!walk.havePrev) {  // the range's first record: no step before it
            StatParamsAt(from, v, even);
            WalkRecord(walk, v, even);
            ++from;
        }
        WalkRows(walk, from, to);
    };
    if (blockTo > blockFrom) {
        walkRecords(first, blockFrom * kPageRecords - 1);
        for (int b = blockFrom; b < blockTo; ++b)
            WalkBlock(walk, m_blockSums[static_cast<std::size_t>(b)]);
        walkRecords(blockTo * kPageRecords, last);
    } else {
        walkRecords(first, last);
    }
    st.n = last >= first ? last - first + 1 : 0;
    st.nE = walk.nE;
    st.nO = walk.nO;
    if (count > 0) {
        st.firstSecond = TimeAt(first);
        st.lastSecond = TimeAt(last);
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
        newest = RecordAt(count - 1);
    }
    std::lock_guard statLock(m_statMutex);
    SplitWhole();
    double v[kParamCount];
    GetAllParams(newest, v);
    SStatState& st = m_stats->state;
    st.rangeMode = false;
    st.rangeFirstIndex = count - 1;
    st.firstSecond = st.lastSecond = newest.time;
    FirstOfRange(*m_stats, v, (newest.cycle & 1) == 0);
    m_stats->trend = STrendResult{};
    return true;
}

void CDeviceData::TrendCheck() {
    STrendResult& t = m_stats->trend;
    t = STrendResult{};
    double E[10], O[10];
    for (int k = 0; k < 10; ++k) {
        E[k] = StatSlot(StatKind::AverageE, kUgFirst + k);
        O[k] = StatSlot(StatKind::AverageO, kUgFirst + k);
    }
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
    return StatOf(*m_stats, kind, param);
}

double CDeviceData::StatOf(const SStats& stats, StatKind kind, int param) {
    int slot = SlotOf(kind);
    if (slot < 0 || param < kFirst || param > kLast) return 0;
    const auto& s = stats.v;
    const SStatState& st = stats.state;
    const int i = param;
    switch (slot) {
        case kSlotAverage:
            return st.n > 0 ? s[kSlotSum][i] / st.n : 0;
        // Without a record of its parity an average keeps what the range start gave it.
        case kSlotAverageE:
            return st.nE > 0 ? s[kSlotSumE][i] / st.nE : s[kSlotAverageE][i];
        case kSlotAverageO:
            return st.nO > 0 ? s[kSlotSumO][i] / st.nO : s[kSlotAverageO][i];
        case kSlotDelta:
            return s[kSlotMax][i] - s[kSlotMin][i];
        case kSlotSigma:
            return Sigma(s[kSlotSumSq][i], st.n > 0 ? s[kSlotSum][i] / st.n : 0, st.n);
        case kSlotNoise:
            return Spread(s[kSlotNoiseSum][i], st.n);
        case kSlotNoiseE:
            return Spread(s[kSlotNoiseSumE][i], st.nE);
        case kSlotNoiseO:
            return Spread(s[kSlotNoiseSumO][i], st.nO);
        default:
            return s[slot][i];
    }
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
