// A store whose full blocks live in a page file against one that keeps everything in memory:
// the same records, the same statistics, whatever the paging did.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "measure/batch_kernel.h"
#include "measure/device_data.h"
#include "platform/page_file.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
constexpr int B = CDeviceData::kPageRecords;

struct CacheFolder {
    fs::path path;
    CacheFolder() {
        static int counter = 0;
        path = fs::temp_directory_path() /
               ("dravmer-paged-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(path);
    }
    ~CacheFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::shared_ptr<CPageFile> Open() {
        std::string error;
        std::shared_ptr<CPageFile> file = CPageFile::Create(path, 1318912, &error);
        EXPECT_TRUE(file) << error;
        if (file) file->SetReserveBytes(0);
        return file;
    }
};

// Every field different from record to record; seconds with gaps, the cycle counter with a
// lost second now and then (two records of one parity in a row), a NaN and -0 here and there.
std::vector<CMeasRecord> Records(int n, unsigned seed = 11) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> value(100, 5);
    std::vector<CMeasRecord> out;
    std::uint32_t t = 0;
    int cycle = 0;
    for (int i = 0; i < n; ++i) {
        t += (i % 997 == 5) ? 3 : 1;
        cycle += (i % 61 == 7) ? 2 : 1;
        CMeasRecord r;
        r.time = t;
        r.cycle = static_cast<std::uint8_t>(cycle);
        r.kg = static_cast<std::uint8_t>(i * 3);
        r.kr = static_cast<std::uint8_t>(i * 5);
        r.state = static_cast<std::uint16_t>(i * 7);
        r.gvEr = static_cast<std::uint8_t>(i % 9);
        for (int p = kStatFirstParam; p < kParamCount; ++p)
            if (p != param::kGvEr) SetParam(r, p, value(rng));
        if (i % 5003 == 17) r.t1 = std::numeric_limits<double>::quiet_NaN();
        r.res3 = -0.0;  // a parameter that is -0 throughout
        out.push_back(r);
    }
    return out;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectSameRecord(const CMeasRecord& a, const CMeasRecord& b, int i) {
    ASSERT_EQ(a.position, b.position) << i;
    for (int p = 0; p < kParamCount; ++p)
        ASSERT_TRUE(SameBits(GetParam(a, p), GetParam(b, p))) << "record " << i << " param " << p;
    ASSERT_EQ(a.kg, b.kg) << i;
    ASSERT_EQ(a.kr, b.kr) << i;
}

void ExpectSameStatistics(const CDeviceData& a, const CDeviceData& b, const char* what) {
    for (int k = 1; k <= 10; ++k)
        for (int p = kStatFirstParam; p < kParamCount; ++p)
            ASSERT_TRUE(SameBits(a.GetStatValue(static_cast<StatKind>(k), p),
                                 b.GetStatValue(static_cast<StatKind>(k), p)))
                << what << ": kind " << k << " param " << p << ": "
                << a.GetStatValue(static_cast<StatKind>(k), p) << " vs "
                << b.GetStatValue(static_cast<StatKind>(k), p);
    SStatState sa = a.GetStatState(), sb = b.GetStatState();
    EXPECT_EQ(sa.n, sb.n) << what;
    EXPECT_EQ(sa.nE, sb.nE) << what;
    EXPECT_EQ(sa.nO, sb.nO) << what;
    EXPECT_EQ(sa.rangeMode, sb.rangeMode) << what;
    EXPECT_EQ(sa.rangeFirstIndex, sb.rangeFirstIndex) << what;
    EXPECT_EQ(sa.firstSecond, sb.firstSecond) << what;
    EXPECT_EQ(sa.lastSecond, sb.lastSecond) << what;
    EXPECT_EQ(a.GetTrend().upper, b.GetTrend().upper) << what;
    EXPECT_TRUE(SameBits(a.GetTrend().ratio, b.GetTrend().ratio)) << what;
}

TEST(PagedStore, KeepsOneBlockInMemoryAndGivesBackEveryRecordAsAppended) {
    CacheFolder folder;
    auto file = folder.Open();
    ASSERT_TRUE(file);
    const auto records = Records(5 * B + 321);
    CDeviceData plain, paged;
    paged.SetPageFile(file);
    // Single appends and batches, as the poll thread and the loader make them.
    for (int i = 0; i < 2 * B + 10; ++i) {
        ASSERT_EQ(plain.AddSample(records[static_cast<std::size_t>(i)]), 0);
        ASSERT_EQ(paged.AddSample(records[static_cast<std::size_t>(i)]), 0);
    }
    const int rest = static_cast<int>(records.size()) - (2 * B + 10);
    ASSERT_EQ(plain.AddSamples(&records[2 * B + 10], rest), rest);
    ASSERT_EQ(paged.AddSamples(&records[2 * B + 10], rest), rest);

    EXPECT_EQ(paged.PagedCount(), 5 * B);
    EXPECT_EQ(plain.PagedCount(), 0);
    EXPECT_LE(paged.AllocatedBytes(), static_cast<std::size_t>(B) * sizeof(CMeasRecord));
    EXPECT_EQ(file->BytesInUse(), 5u * file->SlotBytes());
    const int n = plain.GetCount();
    ASSERT_EQ(paged.GetCount(), n);
    for (int i = 0; i < n; ++i) ExpectSameRecord(plain.GetSample(i), paged.GetSample(i), i);
    ExpectSameRecord(plain.GetLastSample(), paged.GetLastSample(), n - 1);
    EXPECT_EQ(plain.GetLastTime(), paged.GetLastTime());

    // Runs that cross block ends, by record and by parameter.
    std::vector<CMeasRecord> a(3000), b(3000);
    ASSERT_EQ(plain.CopySamples(B - 1000, 3000, a.data()), 3000);
    ASSERT_EQ(paged.CopySamples(B - 1000, 3000, b.data()), 3000);
    for (int i = 0; i < 3000; ++i) ExpectSameRecord(a[static_cast<std::size_t>(i)], b[static_cast<std::size_t>(i)], i);
    for (int p : std::initializer_list<int>{param::kTime, param::kCycle, param::kState, param::kUG, param::kGvEr, param::kT2,
                  param::UGi(9), param::kTps26}) {
        std::vector<double> va(static_cast<std::size_t>(n)), vb(va.size());
        std::vector<std::uint32_t> ta(va.size()), tb(va.size());
        std::vector<std::uint8_t> oa(va.size()), ob(va.size());
        ASSERT_EQ(plain.CopyParam(p, 0, n, va.data(), ta.data(), oa.data()), n);
        ASSERT_EQ(paged.CopyParam(p, 0, n, vb.data(), tb.data(), ob.data()), n);
        for (std::size_t i = 0; i < va.size(); ++i) {
            ASSERT_TRUE(SameBits(va[i], vb[i])) << "param " << p << " record " << i;
            ASSERT_TRUE(SameBits(va[i], GetParam(records[i], p))) << "param " << p;
            ASSERT_EQ(ta[i], tb[i]);
            ASSERT_EQ(ob[i], records[i].cycle & 1);
        }
    }
    // Seconds to indices, and a parameter walked through the records.
    for (std::uint32_t t = 0; t <= plain.GetLastTime() + 5; t += 97)
        ASSERT_EQ(plain.TimeToIndex(t), paged.TimeToIndex(t)) << t;
    plain.SetReadPosition(param::kUG, 100);
    paged.SetReadPosition(param::kUG, 100);
    std::uint32_t sa, sb;
    double xa, xb;
    int walked = 0;
    while (plain.GetNextValue(param::kUG, sa, xa) == 0) {
        ASSERT_EQ(paged.GetNextValue(param::kUG, sb, xb), 0);
        ASSERT_EQ(sa, sb);
        ASSERT_TRUE(SameBits(xa, xb));
        ++walked;
    }
    EXPECT_EQ(paged.GetNextValue(param::kUG, sb, xb), -1);
    EXPECT_GT(walked, n - 200);
    EXPECT_EQ(plain.GetReceivedPercent(), paged.GetReceivedPercent());
}

TEST(PagedStore, StatisticsAreTheSameInEveryModeAndAsAFullRecompute) {
    CacheFolder folder;
    auto file = folder.Open();
    ASSERT_TRUE(file);
    // Long enough for a range that takes whole blocks from their summaries.
    const auto records = Records(40 * B + 77, 5);
    CDeviceData plain, paged;
    paged.SetPageFile(file);
    plain.AddSamples(records.data(), static_cast<int>(records.size()));
    for (const auto& r : records) paged.AddSample(r);
    ExpectSameStatistics(plain, paged, "running");
    plain.CalcAll();
    paged.CalcAll();
    ExpectSameStatistics(plain, paged, "all");

    const std::uint32_t last = plain.GetLastTime();
    for (auto [from, to] : {std::pair<std::uint32_t, std::uint32_t>{100, 9000},  // records walked
                            {5, last - 3},                                         // whole blocks
                            {static_cast<std::uint32_t>(B), last},                 // from a block's start
                            {last - 10, 3}}) {                                     // reversed
        plain.CalcRange(from, to, false);
        paged.CalcRange(from, to, false);
        ExpectSameStatistics(plain, paged, "range");
    }

    // The statistics of every record are what a recompute walking every record in order gives,
    // bit for bit: a range from the first to the last record does that below the walking limit.
    const auto day = Records(20 * B + 5, 9);
    CDeviceData one, two;
    two.SetPageFile(file);
    one.AddSamples(day.data(), static_cast<int>(day.size()));
    for (const auto& r : day) two.AddSample(r);
    one.CalcRange(0, one.GetLastTime(), false);
    std::vector<double> fullWalk;
    for (int k = 1; k <= 10; ++k)
        for (int p = kStatFirstParam; p < kParamCount; ++p)
            fullWalk.push_back(one.GetStatValue(static_cast<StatKind>(k), p));
    for (CDeviceData* s : {&one, &two}) {
        s->CalcAll();
        std::size_t at = 0;
        for (int k = 1; k <= 10; ++k)
            for (int p = kStatFirstParam; p < kParamCount; ++p, ++at)
                ASSERT_TRUE(SameBits(s->GetStatValue(static_cast<StatKind>(k), p), fullWalk[at]))
                    << "kind " << k << " param " << p;
        EXPECT_FALSE(s->GetStatState().rangeMode);
        EXPECT_EQ(s->GetStatState().firstSecond, day.front().time);
    }
    // A parameter that was -0 throughout averages to +0, as a recompute sums it.
    EXPECT_FALSE(std::signbit(one.GetStatValue(StatKind::Average, param::kRes3)));
}

TEST(PagedStore, AllRecordsAfterARestartARangeAndAppendsInRangeMode) {
    CacheFolder folder;
    auto file = folder.Open();
    ASSERT_TRUE(file);
    const auto records = Records(6 * B, 21);
    CDeviceData plain, paged, reference;
    paged.SetPageFile(file);
    const int half = 3 * B + 50;
    for (CDeviceData* s : {&plain, &paged}) s->AddSamples(records.data(), half);
    for (CDeviceData* s : {&plain, &paged}) ASSERT_TRUE(s->RestartStats(true));
    for (CDeviceData* s : {&plain, &paged}) s->AddSamples(&records[half], 1000);
    ExpectSameStatistics(plain, paged, "after the restart");
    for (CDeviceData* s : {&plain, &paged}) s->CalcRange(2000, 3000, false);
    for (CDeviceData* s : {&plain, &paged})
        s->AddSamples(&records[half + 1000], static_cast<int>(records.size()) - half - 1000);
    ExpectSameStatistics(plain, paged, "range mode, appends frozen out");
    EXPECT_TRUE(paged.GetStatState().rangeMode);
    // Back to every record: the same as a store that never restarted or ranged.
    reference.AddSamples(records.data(), static_cast<int>(records.size()));
    reference.CalcAll();
    for (CDeviceData* s : {&plain, &paged}) {
        s->CalcAll();
        ExpectSameStatistics(reference, *s, "all records");
    }
    // Running on from there.
    CMeasRecord next = records.back();
    next.time += 1;
    next.cycle += 1;
    for (CDeviceData* s : {&plain, &paged, &reference}) s->AddSample(next);
    ExpectSameStatistics(reference, paged, "running on");
}

TEST(PagedStore, LongRangeFromBlockSummariesAgreesWithATwoPassComputation) {
    const auto records = Records(40 * B + 1000, 13);
    CDeviceData s;
    s.AddSamples(records.data(), static_cast<int>(records.size()));
    const int first = 1234, last = static_cast<int>(records.size()) - 77;
    s.CalcRange(records[first].time, records[static_cast<std::size_t>(last)].time, false);
    const int p = param::kUG2;
    double sum = 0, lo = 1e300, hi = -1e300, noise = 0, noiseE = 0, noiseO = 0;
    int nE = 0, lastE = -1, lastO = -1;
    for (int i = first; i <= last; ++i) {
        const double x = GetParam(records[static_cast<std::size_t>(i)], p);
        sum += x;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
        if (i > first) {
            const double d = x - GetParam(records[static_cast<std::size_t>(i - 1)], p);
            noise += d * d;
        }
        const bool even = (records[static_cast<std::size_t>(i)].cycle & 1) == 0;
        int& before = even ? lastE : lastO;
        if (before >= 0) {
            const double d = x - GetParam(records[static_cast<std::size_t>(before)], p);
            (even ? noiseE : noiseO) += d * d;
        }
        before = i;
        nE += even;
    }
    const int n = last - first + 1;
    const int nO = n - nE;
    EXPECT_EQ(s.GetStatState().n, n);
    EXPECT_EQ(s.GetStatState().nE, nE);
    EXPECT_EQ(s.GetStatValue(StatKind::Min, p), lo);
    EXPECT_EQ(s.GetStatValue(StatKind::Max, p), hi);
    EXPECT_NEAR(s.GetStatValue(StatKind::Average, p), sum / n, 1e-9);
    EXPECT_NEAR(s.GetStatValue(StatKind::Noise, p), std::sqrt(noise / (2.0 * n - 2)), 1e-9);
    EXPECT_NEAR(s.GetStatValue(StatKind::NoiseE, p), std::sqrt(noiseE / (2.0 * nE - 2)), 1e-9);
    EXPECT_NEAR(s.GetStatValue(StatKind::NoiseO, p), std::sqrt(noiseO / (2.0 * nO - 2)), 1e-9);
    // A NaN among the records makes the sums NaN, as walking them does.
    EXPECT_TRUE(std::isnan(s.GetStatValue(StatKind::Average, param::kT1)));
}

// A long range takes whole blocks from their summaries, so its sums are added in another order
// than record by record and may differ in the last bits. They must be no less accurate: against
// sums in extended precision, the average and the spread of every parameter are as close as
// those of the record-by-record order, or closer.
TEST(PagedStore, LongRangeFromBlockSummariesIsAsAccurateAsRecordByRecord) {
    const auto records = Records(60 * B, 29);
    CDeviceData s;
    s.AddSamples(records.data(), static_cast<int>(records.size()));
    const int first = 777, last = static_cast<int>(records.size()) - 333;
    s.CalcRange(records[first].time, records[static_cast<std::size_t>(last)].time, false);
    const int n = last - first + 1;
    ASSERT_EQ(s.GetStatState().n, n);
    double worstBlock[2] = {0, 0}, worstWalk[2] = {0, 0};  // [0] average, [1] sigma
    for (int p = kStatFirstParam; p < kParamCount; ++p) {
        if (p == param::kT1 || p == param::kRes3 || p == param::kGvEr) continue;  // NaN, -0, whole
        double sum = 0, sumSq = 0;
        long double exactSum = 0, exactSq = 0;
        for (int i = first; i <= last; ++i) {
            const double x = GetParam(records[static_cast<std::size_t>(i)], p);
            sum += x;
            sumSq += x * x;
            exactSum += x;
            exactSq += static_cast<long double>(x) * x;
        }
        const long double exactAverage = exactSum / n;
        const long double exactSigma =
            std::sqrt(std::fabs(exactSq - n * exactAverage * exactAverage) / (n - 1));
        const double walkAverage = sum / n;
        const double walkSigma = std::sqrt(std::fabs(sumSq - n * walkAverage * walkAverage) / (n - 1));
        auto off = [](long double got, long double exact) {
            return static_cast<double>(std::fabs(got - exact) / std::fabs(exact));
        };
        const double blockOff[2] = {off(s.GetStatValue(StatKind::Average, p), exactAverage),
                                    off(s.GetStatValue(StatKind::Sigma, p), exactSigma)};
        const double walkOff[2] = {off(walkAverage, exactAverage), off(walkSigma, exactSigma)};
        for (int k = 0; k < 2; ++k) {
            worstBlock[k] = std::max(worstBlock[k], blockOff[k]);
            worstWalk[k] = std::max(worstWalk[k], walkOff[k]);
        }
    }
    EXPECT_LE(worstBlock[0], worstWalk[0]);
    EXPECT_LE(worstBlock[1], worstWalk[1]);
    EXPECT_LT(worstBlock[1], 1e-9);
}

TEST(PagedStore, ABlockTheFileCannotTakeStaysInMemoryAndGoesWhenItCan) {
    CacheFolder folder;
    auto file = folder.Open();
    ASSERT_TRUE(file);
    const auto records = Records(6 * B + 9, 17);
    CDeviceData plain, paged;
    paged.SetPageFile(file);
    plain.AddSamples(records.data(), static_cast<int>(records.size()));
    paged.AddSamples(records.data(), B + 5);
    file->SetReserveBytes(~0ull >> 2);  // as good as a full disk
    paged.AddSamples(&records[B + 5], 3 * B);
    EXPECT_EQ(paged.PagedCount(), B);
    EXPECT_GE(paged.Capacity() - paged.PagedCount(), 3 * B + 5);
    for (int i = 0; i < paged.GetCount(); ++i) ExpectSameRecord(plain.GetSample(i), paged.GetSample(i), i);
    file->SetReserveBytes(0);
    const int rest = static_cast<int>(records.size()) - (4 * B + 5);
    for (int i = 0; i < rest; ++i) paged.AddSample(records[static_cast<std::size_t>(4 * B + 5 + i)]);
    EXPECT_EQ(paged.PagedCount(), 6 * B);
    for (int i = 0; i < plain.GetCount(); ++i) ExpectSameRecord(plain.GetSample(i), paged.GetSample(i), i);
    plain.CalcRange(3, plain.GetLastTime(), false);
    paged.CalcRange(3, plain.GetLastTime(), false);
    ExpectSameStatistics(plain, paged, "after the file took the blocks late");
    // Emptying the store gives the file back its blocks and the store its one-block memory.
    const std::uint64_t generation = paged.Generation();
    paged.ResetData();
    EXPECT_NE(paged.Generation(), generation);
    EXPECT_EQ(file->BytesInUse(), 0u);
    EXPECT_EQ(paged.GetCount(), 0);
    EXPECT_EQ(paged.GetLastSample().position, -1);
    EXPECT_LE(paged.AllocatedBytes(), static_cast<std::size_t>(B) * sizeof(CMeasRecord));
}

TEST(PagedStore, APageFileGivenToAStoreWithRecordsTakesOverAtTheNextReset) {
    CacheFolder folder;
    auto file = folder.Open();
    ASSERT_TRUE(file);
    const auto records = Records(2 * B, 3);
    CDeviceData store;
    store.AddSamples(records.data(), B + 1);
    store.SetPageFile(file);
    store.AddSamples(&records[B + 1], B - 1);
    EXPECT_EQ(store.PagedCount(), 0);
    store.ResetData();
    store.AddSamples(records.data(), 2 * B);
    EXPECT_EQ(store.PagedCount(), 2 * B);
    store.SetPageFile(nullptr);
    store.ResetData();
    store.AddSamples(records.data(), 2 * B);
    EXPECT_EQ(store.PagedCount(), 0);
    EXPECT_EQ(file->BytesInUse(), 0u);
}

TEST(PagedStore, AStoreThatKeepsNoRecordsHasTheStatisticsOfAllAndTheNewestRecord) {
    const auto records = Records(7 * B + 123, 31);
    CDeviceData kept, counted;
    counted.KeepRecords(false);
    kept.AddSamples(records.data(), 3 * B);
    counted.AddSamples(records.data(), 3 * B);
    for (std::size_t i = 3 * B; i < records.size(); ++i) {
        kept.AddSample(records[i]);
        counted.AddSample(records[i]);
        ASSERT_EQ(counted.GetLastSample().time, records[i].time);
    }
    ASSERT_EQ(counted.GetCount(), kept.GetCount());
    EXPECT_LE(counted.AllocatedBytes(), static_cast<std::size_t>(B) * sizeof(CMeasRecord));
    ExpectSameStatistics(kept, counted, "running");
    kept.CalcAll();
    counted.CalcAll();
    ExpectSameStatistics(kept, counted, "all");
    ExpectSameRecord(kept.GetLastSample(), counted.GetLastSample(), kept.GetCount() - 1);
    // What is no longer held reads as nothing.
    EXPECT_EQ(counted.GetSample(5).time, 0u);
    EXPECT_EQ(counted.GetSample(5).ug, 0);
    double value = 1;
    ASSERT_EQ(counted.CopyParam(param::kUG, 0, 1, &value, nullptr, nullptr), 1);
    EXPECT_EQ(value, 0);
    // Kept again after the next reset.
    counted.KeepRecords(true);
    counted.ResetData();
    counted.AddSamples(records.data(), 2 * B);
    EXPECT_EQ(counted.GetSample(5).time, records[5].time);
}

// Rows of parameters, as a loader that keeps no records hands them in: the statistics of every
// record to the last bit, whichever way the processor takes the rows.
TEST(PagedStore, RowsOfParametersGiveTheStatisticsOfTheirRecords) {
    auto records = Records(3 * B + 77, 37);
    // Values a float holds exactly, as a binary file's; a NaN and a -0 among them. The gain
    // bytes are no parameters: the base record gives them.
    for (auto& r : records) {
        for (int p = kStatFirstParam; p < kParamCount; ++p)
            if (p != param::kGvEr) SetParam(r, p, static_cast<float>(GetParam(r, p)));
        r.kg = 16;
        r.kr = 2;
    }
    std::vector<double> rows;
    std::vector<float> floats;
    for (const auto& r : records) {
        double v[kParamCount];
        GetAllParams(r, v);
        rows.insert(rows.end(), v, v + kParamCount);
        for (double x : v) floats.push_back(static_cast<float>(x));
    }
    CMeasRecord base;
    base.kg = 16;
    base.kr = 2;
    CDeviceData expected, fromRows, fromFloats, kept;
    fromRows.KeepRecords(false);
    fromFloats.KeepRecords(false);
    expected.AddSamples(records.data(), static_cast<int>(records.size()));
    // In runs of uneven length, as a file's blocks come.
    for (std::size_t at = 0; at < records.size();) {
        const int n = static_cast<int>(std::min<std::size_t>(at % 3 == 0 ? 761 : 1, records.size() - at));
        ASSERT_EQ(fromRows.AddParamRows(&rows[at * kParamCount], n, base), n);
        ASSERT_EQ(fromFloats.AddFloatRows(&floats[at * kParamCount], n, base), n);
        ASSERT_EQ(kept.AddFloatRows(&floats[at * kParamCount], n, base), n);
        at += static_cast<std::size_t>(n);
    }
    for (CDeviceData* s : {&fromRows, &fromFloats, &kept}) {
        ASSERT_EQ(s->GetCount(), expected.GetCount());
        ExpectSameStatistics(expected, *s, "running");
        ExpectSameRecord(expected.GetLastSample(), s->GetLastSample(), expected.GetCount() - 1);
    }
    for (int i = 0; i < kept.GetCount(); i += 101) ExpectSameRecord(expected.GetSample(i), kept.GetSample(i), i);
    // Records appended one by one afterwards carry on from the rows.
    CMeasRecord next = records.back();
    next.time += 1;
    next.cycle += 1;
    next.ug = 1234.5;
    for (CDeviceData* s : {&expected, &fromRows, &fromFloats}) s->AddSample(next);
    for (CDeviceData* s : {&fromRows, &fromFloats}) {
        ExpectSameStatistics(expected, *s, "after one more");
        s->CalcAll();
    }
    expected.CalcAll();
    ExpectSameStatistics(expected, fromFloats, "all");
}

// The counter of a row as its field holds it, whatever the row gives: counting up and wrapping
// past 255, skipping, standing still, and values no counter has (below 0, above 255, a
// fraction, NaN, -0), which the field takes as a record's SetParam does.
TEST(PagedStore, RowsTakeTheirCounterAsARecordsFieldHoldsIt) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double cycles[] = {253, 254, 255, 0,   1,   3,   4, -1, 5,   256, 6,  0.5, 7,   nan,
                             8,   -0.0, 9,  9,   10,  255, 0, 1,  300, 2,   3,  4.5, 5,   6};
    std::mt19937 rng(5);
    std::normal_distribution<double> value(100, 5);
    std::vector<double> rows;
    std::vector<CMeasRecord> records;
    CMeasRecord base;
    int second = 0;
    for (int pass = 0; pass < 40; ++pass)
        for (double cycle : cycles) {
            double v[kParamCount] = {};
            v[param::kTime] = ++second;
            v[param::kCycle] = cycle;
            for (int p = kStatFirstParam; p < kParamCount; ++p)
                if (p != param::kGvEr) v[p] = value(rng);
            rows.insert(rows.end(), v, v + kParamCount);
            CMeasRecord r = base;
            for (int p = 0; p < kParamCount; ++p) SetParam(r, p, v[p]);
            records.push_back(r);
        }
    CDeviceData expected, fromRows;
    fromRows.KeepRecords(false);
    expected.AddSamples(records.data(), static_cast<int>(records.size()));
    const int n = static_cast<int>(records.size());
    for (int at = 0; at < n;) {  // runs that start anywhere in the pattern
        const int step = std::min(n - at, at % 2 ? 13 : 101);
        ASSERT_EQ(fromRows.AddParamRows(&rows[static_cast<std::size_t>(at) * kParamCount], step, base), step);
        at += step;
    }
    ASSERT_EQ(fromRows.GetCount(), expected.GetCount());
    EXPECT_EQ(fromRows.GetStatState().nE, expected.GetStatState().nE);
    ExpectSameStatistics(expected, fromRows, "odd counters");
}

// The run of rows gives the same sums one, two and four parameters at a time.
TEST(PagedStore, EveryWidthOfTheRowRunGivesTheSameBits) {
    std::mt19937 rng(41);
    std::normal_distribution<double> value(0, 1000);
    constexpr int kRows = 500, kWidth = 8;
    std::vector<double> rows(kRows * kWidth);
    for (double& v : rows) v = value(rng);
    // NaN early and late (it must never take the place of an extreme), ties of -0 and +0.
    rows[17] = std::numeric_limits<double>::quiet_NaN();
    rows[(kRows - 2) * kWidth + 3] = std::numeric_limits<double>::quiet_NaN();
    rows[(kRows - 1) * kWidth + 5] = std::numeric_limits<double>::quiet_NaN();
    for (int r = 0; r < kRows; ++r) rows[static_cast<std::size_t>(r * kWidth + 6)] = r % 2 ? 0.0 : -0.0;
    std::vector<int> parityRows[2];
    for (int r = 0; r < kRows; ++r) parityRows[(r % 7 == 3) ? 0 : r % 2].push_back(r);
    batch::SRun run;
    run.n = kRows;
    run.stride = kWidth;
    for (int q = 0; q < 2; ++q) {
        run.parityRows[q] = parityRows[q].data();
        run.parityCount[q] = static_cast<int>(parityRows[q].size());
    }
    run.firstHasSame[0] = true;
    auto Sums = [&](auto runAll) {
        std::vector<double> a(12 * kWidth, 0.5);
        auto at = [&](int k) { return a.data() + k * kWidth; };
        const batch::SAccumulators acc{at(0), at(1), at(2), at(3), at(4),  at(5),
                                       at(6), at(7), at(8), at(9), at(10), at(11)};
        runAll(acc);
        return a;
    };
    const auto scalar = Sums([&](const batch::SAccumulators& acc) {
        batch::RunGroups<batch::SScalar, 1>(acc, 0, kWidth, rows.data(), run);
    });
    const auto scalarSideBySide = Sums([&](const batch::SAccumulators& acc) {
        batch::RunGroups<batch::SScalar, 3>(acc, 0, kWidth, rows.data(), run);
    });
    EXPECT_EQ(std::memcmp(scalar.data(), scalarSideBySide.data(), scalar.size() * sizeof(double)), 0);
#if defined(__SSE2__)
    const auto sse2 = Sums([&](const batch::SAccumulators& acc) {
        batch::RunGroups<batch::SSse2, 2>(acc, 0, kWidth, rows.data(), run);
    });
    EXPECT_EQ(std::memcmp(scalar.data(), sse2.data(), scalar.size() * sizeof(double)), 0);
#endif
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
        const auto avx2 = Sums([&](const batch::SAccumulators& acc) {
            batch::RunAvx2(acc, 0, kWidth, rows.data(), run);
        });
        EXPECT_EQ(std::memcmp(scalar.data(), avx2.data(), scalar.size() * sizeof(double)), 0);
    }
    if (__builtin_cpu_supports("avx512f")) {
        const auto avx512 = Sums([&](const batch::SAccumulators& acc) {
            batch::RunAvx512(acc, 0, kWidth, rows.data(), run);
        });
        EXPECT_EQ(std::memcmp(scalar.data(), avx512.data(), scalar.size() * sizeof(double)), 0);
    }
#endif
}

TEST(PagedStore, AStoreThatGoesGivesItsBlocksBack) {
    CacheFolder folder;
    auto file = folder.Open();
    ASSERT_TRUE(file);
    const auto records = Records(3 * B, 29);
    {
        CDeviceData store;
        store.SetPageFile(file);
        store.AddSamples(records.data(), 3 * B);
        EXPECT_EQ(file->BytesInUse(), 3 * file->SlotBytes());
    }
    EXPECT_EQ(file->BytesInUse(), 0u);
}

// The poll thread appends while the window reads records, parameters and statistics.
TEST(PagedStore, ReadersSeeWholeRecordsWhileBlocksMoveToTheFile) {
    CacheFolder folder;
    auto file = folder.Open();
    ASSERT_TRUE(file);
    const auto records = Records(8 * B, 23);
    CDeviceData store;
    store.SetPageFile(file);
    std::atomic<bool> done{false};
    // Joined however the test ends.
    std::jthread appender([&] {
        std::size_t i = 0;
        while (i < records.size()) {
            if (i % 3000 == 0) {
                const int n = static_cast<int>(std::min<std::size_t>(500, records.size() - i));
                store.AddSamples(&records[i], n);
                i += static_cast<std::size_t>(n);
            } else {
                store.AddSample(records[i++]);
            }
        }
        done = true;
    });
    int rounds = 0;
    std::vector<double> values(512);
    while (!done || rounds < 3) {
        const int n = store.GetCount();
        if (n > 0) {
            const int i = static_cast<int>(static_cast<std::uint64_t>(rounds) * 7919u %
                                           static_cast<std::uint64_t>(n));
            const CMeasRecord r = store.GetSample(i);
            ASSERT_EQ(r.position, i);
            ASSERT_EQ(r.time, records[static_cast<std::size_t>(i)].time);
            ASSERT_TRUE(SameBits(r.ug, records[static_cast<std::size_t>(i)].ug));
            const int got = store.CopyParam(param::kUG, std::max(0, i - 256), 512, values.data(),
                                            nullptr, nullptr);
            for (int k = 0; k < got; ++k)
                ASSERT_TRUE(SameBits(values[static_cast<std::size_t>(k)],
                                     records[static_cast<std::size_t>(std::max(0, i - 256) + k)].ug));
            ASSERT_LE(store.TimeToIndex(r.time), n);
            if (rounds % 50 == 0) store.CalcRange(r.time / 2, r.time, false);
            (void)store.GetStatValue(StatKind::Sigma, param::kUG);
        }
        ++rounds;
    }
    appender.join();
    EXPECT_EQ(store.GetCount(), static_cast<int>(records.size()));
    EXPECT_EQ(store.PagedCount(), 8 * B);
}

}  // namespace
}  // namespace dravmer
