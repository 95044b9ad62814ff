// The engine's one recompute of the statistics: over a range of seconds or over all records,
// for the devices of the active list, store by store with progress, and cut short by a stop.
#include <gtest/gtest.h>

#include <atomic>
#include <utility>
#include <vector>

#include "bench/bench.h"

namespace dravmer {
namespace {

struct SBenchWithRecords {
    CMemorySettingsStore settings;
    CBench bench{settings};
    explicit SBenchWithRecords(std::initializer_list<std::uint32_t> addresses, int records) {
        CDeviceList& list = bench.Settings().devices;
        for (auto a : addresses) list.AddFound(a, 0, true);
        list.RebuildActive();
        bench.EnsureStores();
        for (std::size_t i = 0; i < bench.StoreCount(); ++i)
            for (int k = 0; k < records; ++k) {
                CMeasRecord r;
                r.time = static_cast<std::uint32_t>(k);
                r.cycle = static_cast<std::uint8_t>(k);
                bench.Data(i).AddSample(r);
            }
    }
};

TEST(BenchStatistics, ARangeRecomputesEveryActiveStoreOverItAndNoRangeGoesBackToAll) {
    SBenchWithRecords b({101, 102, 103}, 1000);
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    const auto report = [&](std::size_t done, std::size_t total) {
        progress.push_back({done, total});
    };
    EXPECT_EQ(b.bench.RecomputeStatistics(CBench::SSecondRange{100, 199}, report), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const SStatState st = b.bench.Data(i).GetStatState();
        EXPECT_TRUE(st.rangeMode) << i;
        EXPECT_EQ(st.firstSecond, 100) << i;
        EXPECT_EQ(st.lastSecond, 199) << i;
        EXPECT_EQ(st.n, 100) << i;
    }
    const std::vector<std::pair<std::size_t, std::size_t>> expected{{1, 3}, {2, 3}, {3, 3}};
    EXPECT_EQ(progress, expected);

    EXPECT_EQ(b.bench.RecomputeStatistics(std::nullopt), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const SStatState st = b.bench.Data(i).GetStatState();
        EXPECT_FALSE(st.rangeMode) << i;
        EXPECT_EQ(st.n, 1000) << i;
    }
}

TEST(BenchStatistics, AStopEndsTheRecomputeBetweenTwoStores) {
    SBenchWithRecords b({101, 102, 103}, 200);
    std::atomic<bool> stop{true};
    EXPECT_EQ(b.bench.RecomputeStatistics(CBench::SSecondRange{10, 19}, {}, &stop), 0u);
    EXPECT_FALSE(b.bench.Data(0).GetStatState().rangeMode);

    stop = false;
    const std::size_t done = b.bench.RecomputeStatistics(
        CBench::SSecondRange{10, 19}, [&](std::size_t, std::size_t) { stop = true; }, &stop);
    EXPECT_EQ(done, 1u);
    EXPECT_TRUE(b.bench.Data(0).GetStatState().rangeMode);
    EXPECT_FALSE(b.bench.Data(1).GetStatState().rangeMode);
    EXPECT_FALSE(b.bench.Data(2).GetStatState().rangeMode);
}

TEST(BenchStatistics, OnlyTheDevicesOfTheActiveListAreRecomputed) {
    SBenchWithRecords b({101, 102}, 100);
    ASSERT_TRUE(b.bench.SetDeviceEnabled(1, false));  // 102 leaves the list, its store stays
    ASSERT_EQ(b.bench.StoreCount(), 1u);
    EXPECT_EQ(b.bench.RecomputeStatistics(CBench::SSecondRange{5, 9}), 1u);
    ASSERT_TRUE(b.bench.SetDeviceEnabled(1, true));
    ASSERT_EQ(b.bench.StoreCount(), 2u);
    EXPECT_TRUE(b.bench.Data(0).GetStatState().rangeMode);
    EXPECT_FALSE(b.bench.Data(1).GetStatState().rangeMode);
}

}  // namespace
}  // namespace dravmer
