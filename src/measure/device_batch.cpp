// Records that come as rows of parameters, for a store that keeps no records (the statistics
// of a file read only for them): the running statistics take a whole run of rows parameter by
// parameter, the accumulators of a few parameters held in registers over the run. Each
// parameter sees the same operations in the same order as record by record (RunningUpdate), so
// the results are the same to the last bit. A recompute over a range takes its walked records
// the same way, gathered into rows a run at a time.
#include <algorithm>
#include <cstring>
#include <vector>
// The C library's header declares _Bool, which clang does not take in C++.
#if defined(__x86_64__) && __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#define DRAVMER_LIBC_CPU_FEATURES 1
#include <sys/platform/x86.h>
#elif defined(__x86_64__)
#include <cpuid.h>
#endif

#include "measure/batch_kernel.h"
#include "measure/device_data.h"
#include "measure/stats_block.h"


namespace dravmer {

namespace {

constexpr int kFirst = kStatFirstParam;
constexpr int kEnd = kParamCount;
static_assert((kEnd - kFirst) % 4 == 0, "the statistics parameters come in fours");

#if defined(__SSE2__)
using SOps = batch::SSse2;
#else
using SOps = batch::SScalar;
#endif

#if defined(__x86_64__)
// Which of the wide instruction sets the processor has and the system keeps the registers of.
// The C library found out at the start of the program; asking the processor again is slow
// under a hypervisor (the compiler's own check asks it at every start, and many times).
struct SWidth {
    bool avx2 = false, avx512 = false;
};

SWidth AskWidth() {
    SWidth w;
#if defined(DRAVMER_LIBC_CPU_FEATURES)
    w.avx2 = CPU_FEATURE_ACTIVE(AVX2);
    w.avx512 = CPU_FEATURE_ACTIVE(AVX512F);
#else
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX)) return w;
    unsigned lo, hi;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    const bool ymm = (lo & 0x6) == 0x6;    // SSE and AVX state
    const bool zmm = (lo & 0xE6) == 0xE6;  // and the opmask and upper ZMM state
    if (!ymm || !__get_cpuid_count(7, 0, &a, &b, &c, &d)) return w;
    w.avx2 = (b & bit_AVX2) != 0;
    w.avx512 = zmm && (b & bit_AVX512F) != 0;
#endif
    return w;
}
#endif

template <class T>
void Run(const batch::SAccumulators& a, const T* rows, const batch::SRun& run) {
#if defined(__x86_64__)
    // 40 parameters: five runs of eight, ten of four.
    static_assert((kEnd - kFirst) % 8 == 0, "the statistics parameters come in eights");
    static const SWidth width = AskWidth();
    if (width.avx512) {
        batch::RunAvx512(a, kFirst, kEnd, rows, run);
        return;
    }
    if (width.avx2) {
        batch::RunAvx2(a, kFirst, kEnd, rows, run);
        return;
    }
#endif
    batch::RunGroups<SOps, 2>(a, kFirst, kEnd, rows, run);
}

// A row's parameters as doubles.
void RowValues(const double* row, double* out) { std::memcpy(out, row, sizeof(double) * kParamCount); }
void RowValues(const float* row, double* out) {
    for (int p = 0; p < kParamCount; ++p) out[p] = batch::SScalar::Load(row + p);
}

}  // namespace

template <class T>
int CDeviceData::AddRows(const T* rows, int n, const CMeasRecord& base) {
    if (n <= 0) return 0;
    auto record = [&](int r) {
        double v[kParamCount];
        RowValues(rows + static_cast<std::size_t>(r) * kParamCount, v);
        CMeasRecord rec = base;
        for (int p = 0; p < kParamCount; ++p) SetParam(rec, p, v[p]);
        return rec;
    };
    bool fast, usual;
    {
        std::lock_guard statLock(m_statMutex);
        std::shared_lock lock(m_arrayLock);
        usual = m_keepRecords || !m_wholeIsRunning || m_stats->state.rangeMode;
        fast = !usual && m_count.load(std::memory_order_relaxed) > 0;
    }
    if (!fast) {
        // The first record opens the statistics; a store that keeps its records, or whose
        // statistics are over a range, takes records the usual way.
        int done = 0;
        const int first = usual ? n : 1;
        std::vector<CMeasRecord> batch;
        batch.reserve(static_cast<std::size_t>(first));
        for (int r = 0; r < first; ++r) batch.push_back(record(r));
        done = AddSamples(batch.data(), first);
        if (done < first || first == n) return done;
        return done + AddRows(rows + static_cast<std::size_t>(first) * kParamCount, n - first, base);
    }
    std::lock_guard statLock(m_statMutex);
    std::unique_lock lock(m_arrayLock);
    // The rows of each parity, and whether a row of that parity came before them.
    std::vector<int> parityIndex(2 * static_cast<std::size_t>(n));
    int* parityRows[2] = {parityIndex.data(), parityIndex.data() + n};
    int parityCount[2] = {0, 0};
    for (int r = 0; r < n; ++r) {
        // The counter as its field holds it, as for a record.
        const double cycle =
            batch::SScalar::Load(rows + static_cast<std::size_t>(r) * kParamCount + param::kCycle);
        unsigned counter;
        if (cycle >= 0 && cycle <= 255 && static_cast<double>(static_cast<int>(cycle)) == cycle) {
            counter = static_cast<unsigned>(cycle);
        } else {
            CMeasRecord made;
            SetParam(made, param::kCycle, cycle);
            counter = made.cycle;
        }
        const unsigned q = counter & 1;
        parityRows[q][parityCount[q]++] = r;
    }
    const int nE = parityCount[0];
    const int lastE = nE > 0 ? parityRows[0][nE - 1] : -1;
    const int lastO = parityCount[1] > 0 ? parityRows[1][parityCount[1] - 1] : -1;
    batch::SRun run;
    run.n = n;
    run.stride = kParamCount;
    for (int q = 0; q < 2; ++q) {
        run.parityRows[q] = parityRows[q];
        run.parityCount[q] = parityCount[q];
    }
    run.firstHasSame[0] = m_haveEven;
    run.firstHasSame[1] = m_haveOdd;
    const bool haveE = m_haveEven || nE > 0, haveO = m_haveOdd || nE < n;
    double* prev = m_values[m_lastEven ? m_evenRow : m_oddRow];
    double prevRow[kParamCount], evenRow[kParamCount], oddRow[kParamCount];
    std::memcpy(prevRow, prev, sizeof prevRow);
    std::memcpy(evenRow, m_values[m_evenRow], sizeof evenRow);
    std::memcpy(oddRow, m_values[m_oddRow], sizeof oddRow);
    auto& slots = m_stats->v;
    const batch::SAccumulators acc{slots[kSlotSum],    slots[kSlotSumSq],    slots[kSlotMin],
                                   slots[kSlotMax],    slots[kSlotNoiseSum], slots[kSlotSumE],
                                   slots[kSlotSumO],   slots[kSlotNoiseSumE], slots[kSlotNoiseSumO],
                                   prevRow,            evenRow,              oddRow};
    Run(acc, rows, run);
    SStatState& st = m_stats->state;
    st.n += n;
    st.nE += nE;
    st.nO += n - nE;
    // The newest rows of each parity become the rows the next record is taken against.
    if (lastE >= 0) RowValues(rows + static_cast<std::size_t>(lastE) * kParamCount, m_values[m_evenRow]);
    if (lastO >= 0) RowValues(rows + static_cast<std::size_t>(lastO) * kParamCount, m_values[m_oddRow]);
    m_haveEven = haveE;
    m_haveOdd = haveO;
    m_lastEven = lastE == n - 1;
    // Only the newest record stays; the others were let go with their statistics taken.
    const CMeasRecord newest = record(n - 1);
    const int count = m_count.load(std::memory_order_relaxed) + n;
    st.lastSecond = newest.time;
    m_pagedCount = count - 1;
    m_slots.resize(static_cast<std::size_t>((m_pagedCount + kPageRecords - 1) / kPageRecords), -1);
    m_records[0] = newest;
    m_records[0].position = count - 1;
    m_count.store(count, std::memory_order_release);
    TrendCheck();
    return n;
}

void CDeviceData::WalkRows(SWalk& w, int from, int to) {
    // A run of rows fits the second-level cache beside the records they come from.
    constexpr int kRun = 256;
    std::vector<double> rows(static_cast<std::size_t>(kRun) * kParamCount);
    std::vector<int> parityRows[2] = {std::vector<int>(kRun), std::vector<int>(kRun)};
    auto& slots = m_stats->v;
    // The walk's sums, extremes and the rows the next record is taken against: the step from
    // the record before and from the one of the same parity before, as WalkRecord takes them.
    const batch::SAccumulators acc{slots[kSlotSum],
                                   slots[kSlotSumSq],
                                   slots[kSlotMin],
                                   slots[kSlotMax],
                                   slots[kSlotNoiseSum],
                                   slots[kSlotSumE],
                                   slots[kSlotSumO],
                                   slots[kSlotNoiseSumE],
                                   slots[kSlotNoiseSumO],
                                   w.prev,
                                   w.lastE,
                                   w.lastO};
    while (from <= to) {
        const int n = std::min(kRun, to - from + 1);
        int counts[2] = {0, 0};
        for (int k = 0; k < n; ++k) {
            bool even;
            StatParamsAt(from + k, rows.data() + static_cast<std::size_t>(k) * kParamCount, even);
            const int q = even ? 0 : 1;
            parityRows[q][static_cast<std::size_t>(counts[q]++)] = k;
        }
        batch::SRun run;
        run.n = n;
        run.stride = kParamCount;
        for (int q = 0; q < 2; ++q) {
            run.parityRows[q] = parityRows[q].data();
            run.parityCount[q] = counts[q];
        }
        run.firstHasSame[0] = w.haveE;
        run.firstHasSame[1] = w.haveO;
        Run(acc, rows.data(), run);
        w.nE += counts[0];
        w.nO += counts[1];
        w.haveE = w.haveE || counts[0] > 0;
        w.haveO = w.haveO || counts[1] > 0;
        from += n;
    }
}

int CDeviceData::AddParamRows(const double* rows, int n, const CMeasRecord& base) {
    return AddRows(rows, n, base);
}

int CDeviceData::AddFloatRows(const float* rows, int n, const CMeasRecord& base) {
    return AddRows(rows, n, base);
}

}  // namespace dravmer
