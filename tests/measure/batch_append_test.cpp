// Loaders append whole blocks at once; the store must come out exactly as from single appends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "measure/device_data.h"
#include "measure/meas_record.h"

namespace dravmer {
namespace {

std::vector<CMeasRecord> Records(int n) {
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, 3);
    std::vector<CMeasRecord> out;
    std::uint32_t t = 0;
    std::uint8_t cycle = 0;
    for (int k = 0; k < n; ++k) {
        CMeasRecord r;
        t += (k % 17 == 5) ? 3 : 1;  // gaps
        cycle = static_cast<std::uint8_t>(cycle + ((k % 13 == 4) ? 2 : 1));  // parity runs
        r.time = t;
        r.cycle = cycle;
        r.gvEr = static_cast<std::uint8_t>(k % 7 == 0 ? 3 : 0);
        for (int i = 3; i < CMeasRecord::kParamCount; ++i)
            if (i != 15) SetParam(r, i, 100 + i + noise(rng) + (i >= 23 && i <= 32 ? (i - 23) * (cycle & 1) : 0));
        out.push_back(r);
    }
    return out;
}

void ExpectSameStatistics(const CDeviceData& a, const CDeviceData& b) {
    ASSERT_EQ(a.GetCount(), b.GetCount());
    SStatState sa = a.GetStatState(), sb = b.GetStatState();
    EXPECT_EQ(sa.n, sb.n);
    EXPECT_EQ(sa.nE, sb.nE);
    EXPECT_EQ(sa.nO, sb.nO);
    EXPECT_EQ(sa.firstSecond, sb.firstSecond);
    EXPECT_EQ(sa.lastSecond, sb.lastSecond);
    for (int k = 0; k < 11; ++k)
        for (int i = 3; i < CMeasRecord::kParamCount; ++i)
            EXPECT_EQ(a.GetStatValue(static_cast<StatKind>(k), i),
                      b.GetStatValue(static_cast<StatKind>(k), i))
                << "kind " << k << " param " << i;
    STrendResult ta = a.GetTrend(), tb = b.GetTrend();
    EXPECT_EQ(ta.upper, tb.upper);
    EXPECT_EQ(ta.lower, tb.lower);
    EXPECT_EQ(ta.ratio, tb.ratio);
    for (int r = 0; r < a.GetCount(); r += 97) {
        CMeasRecord x = a.GetSample(r), y = b.GetSample(r);
        EXPECT_EQ(x.position, y.position);
        EXPECT_EQ(x.time, y.time);
        EXPECT_EQ(GetParam(x, 30), GetParam(y, 30));
    }
}

TEST(BatchAppend, BlocksGiveTheSameStoreAsSingleAppendsAcrossGrowthAndRanges) {
    const auto records = Records(5000);
    CDeviceData single, batched, reserved;
    for (const auto& r : records) ASSERT_EQ(single.AddSample(r), 0);
    // Uneven blocks, the first of one record, across several doublings of the block.
    int at = 0, size = 1;
    while (at < static_cast<int>(records.size())) {
        int n = std::min(size, static_cast<int>(records.size()) - at);
        ASSERT_EQ(batched.AddSamples(records.data() + at, n), n);
        at += n;
        size = size * 3 + 1;
    }
    ExpectSameStatistics(single, batched);

    ASSERT_TRUE(reserved.Reserve(5000));
    EXPECT_EQ(reserved.Capacity(), 5000);
    ASSERT_EQ(reserved.AddSamples(records.data(), 5000), 5000);
    EXPECT_EQ(reserved.Capacity(), 5000);  // no growth after an exact reservation
    ExpectSameStatistics(single, reserved);
    ASSERT_EQ(reserved.AddSample(records[0]), 0);  // growth goes on past the reservation
    EXPECT_EQ(reserved.GetCount(), 5001);

    // In range mode appends leave the statistics alone, in both ways.
    single.CalcRange(100, 900, false);
    batched.CalcRange(100, 900, false);
    for (int k = 0; k < 50; ++k) {
        single.AddSample(records[static_cast<std::size_t>(k)]);
        batched.AddSamples(&records[static_cast<std::size_t>(k)], 1);
    }
    ExpectSameStatistics(single, batched);
    // And back to running mode after a whole recompute, the noise sums continue from the newest.
    single.CalcAll();
    batched.CalcAll();
    for (int k = 0; k < 50; ++k) single.AddSample(records[static_cast<std::size_t>(k + 60)]);
    batched.AddSamples(&records[60], 50);
    ExpectSameStatistics(single, batched);
}

TEST(BatchAppend, ReserveKeepsStoredRecordsAndNeverShrinks) {
    const auto records = Records(10);
    CDeviceData store;
    store.AddSamples(records.data(), 10);
    ASSERT_TRUE(store.Reserve(1000));
    EXPECT_EQ(store.Capacity(), 1000);
    EXPECT_EQ(store.GetSample(9).time, records[9].time);
    ASSERT_TRUE(store.Reserve(20));
    EXPECT_EQ(store.Capacity(), 1000);
    EXPECT_EQ(store.AddSamples(records.data(), 0), 0);
    EXPECT_EQ(store.GetCount(), 10);

    struct SCount : ISampleSink {
        int calls = 0;
        void OnSamplesAdded(CDeviceData&) override { ++calls; }
    } sink;
    store.SetSampleSink(&sink);
    store.AddSamples(records.data(), 10);
    EXPECT_EQ(sink.calls, 1);  // the writer follows a block in one go
    EXPECT_EQ(store.GetCount(), 20);
}

// A recompute over a range walks its records a run of rows at a time: every statistic must be
// what the running update makes of the same records from the range's first one, to the bit,
// for ranges of one record, of two, shorter than a run and across many runs, starting and
// ending anywhere, with parity runs and a NaN among the records.
TEST(BatchAppend, ARangeRecomputeGivesTheBitsOfTheRunningUpdate) {
    std::vector<CMeasRecord> records = Records(3000);
    records[1500].t1 = std::numeric_limits<double>::quiet_NaN();
    CDeviceData all;
    all.AddSamples(records.data(), static_cast<int>(records.size()));
    auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (auto [first, last] : {std::pair{0, 2999},
                               {301, 2777},
                               {1499, 1501},
                               {7, 7},
                               {8, 9},
                               {255, 511},
                               {1000, 1200},
                               {2990, 2999}}) {
        all.CalcRange(records[static_cast<std::size_t>(first)].time,
                      records[static_cast<std::size_t>(last)].time, false);
        CDeviceData part;
        part.AddSamples(&records[static_cast<std::size_t>(first)], last - first + 1);
        part.CalcAll();
        const SStatState a = all.GetStatState(), b = part.GetStatState();
        ASSERT_EQ(a.n, b.n) << first << ".." << last;
        ASSERT_EQ(a.nE, b.nE) << first << ".." << last;
        for (int k = 1; k <= 10; ++k)
            for (int i = 3; i < CMeasRecord::kParamCount; ++i) {
                const double x = all.GetStatValue(static_cast<StatKind>(k), i);
                const double y = part.GetStatValue(static_cast<StatKind>(k), i);
                EXPECT_TRUE(same(x, y)) << first << ".." << last << " kind " << k << " param " << i
                                        << ": " << x << " vs " << y;
            }
    }
}

TEST(MeasRecord, DoubleOffsetsAddressTheFieldsSetParamWrites) {
    for (int i = 0; i < CMeasRecord::kParamCount; ++i) {
        std::ptrdiff_t off = DoubleParamOffset(i);
        if (i == 0 || i == 1 || i == 2 || i == 15) {
            EXPECT_EQ(off, -1) << i;
            continue;
        }
        ASSERT_GE(off, 0) << i;
        CMeasRecord r;
        SetParam(r, i, 1234.5 + i);
        double d;
        std::memcpy(&d, reinterpret_cast<const char*>(&r) + off, sizeof d);
        EXPECT_EQ(d, 1234.5 + i) << i;
    }
    EXPECT_EQ(DoubleParamOffset(43), -1);
    EXPECT_EQ(DoubleParamOffset(-1), -1);
}

}  // namespace
}  // namespace dravmer
