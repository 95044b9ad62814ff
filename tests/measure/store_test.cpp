#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "measure/device_data.h"

namespace dravmer {
namespace {

CMeasRecord At(std::uint32_t second, int cycle, double ug = 0) {
    CMeasRecord r;
    r.time = second;
    r.cycle = static_cast<std::uint8_t>(cycle);
    r.ug = ug;
    return r;
}

TEST(DeviceData, EmptyStoreAnswersWithPlaceholderAndZeros) {
    CDeviceData store;
    CMeasRecord last = store.GetLastSample();
    EXPECT_EQ(last.position, -1);
    EXPECT_EQ(last.time, 0xFFFFFFFFu);
    EXPECT_EQ(store.GetSample(0).position, 0);
    EXPECT_EQ(store.GetLastTime(), 0u);
    EXPECT_EQ(store.TimeToIndex(50), 0);
    EXPECT_EQ(store.GetReceivedPercent(), 0);
    std::uint32_t t;
    double v;
    EXPECT_EQ(store.GetNextValue(3, t, v), -1);
}

TEST(DeviceData, GrowsFromThreeRecordsTo48ThenDoubles) {
    CDeviceData store;
    EXPECT_EQ(store.Capacity(), 3);
    EXPECT_EQ(store.AllocatedBytes(), 1024u);
    for (int i = 0; i < 3; ++i) store.AddSample(At(i + 1, i + 1, i));
    EXPECT_EQ(store.Capacity(), 3);
    store.AddSample(At(4, 4, 3));
    EXPECT_EQ(store.Capacity(), 48);
    EXPECT_EQ(store.AllocatedBytes(), 16384u);
    for (int i = 4; i < 49; ++i) store.AddSample(At(i + 1, i + 1, i));
    EXPECT_EQ(store.Capacity(), 32768 / 336);
    for (int i = 0; i < 49; ++i) {
        EXPECT_EQ(store.GetSample(i).position, i);
        EXPECT_EQ(store.GetSample(i).ug, i);  // growth kept every record
    }
    EXPECT_EQ(store.GetSample(49).time, 0u);  // beyond the count: zeroed
}

TEST(DeviceData, AppendStampsPositionAndStartTime) {
    CDeviceData store;
    CMeasRecord r = At(7, 1, 2.5);
    r.position = 99;
    std::time_t before = std::time(nullptr);
    store.AddSample(r);
    EXPECT_GE(store.StartTime(), before);
    EXPECT_EQ(store.GetLastSample().position, 0);
    EXPECT_EQ(store.GetLastTime(), 7u);
    EXPECT_DOUBLE_EQ(store.GetReceivedPercent(), 100.0 / 8);
}

TEST(DeviceData, TimeToIndexFindsSecondsAcrossGaps) {
    CDeviceData store;
    // Seconds 0..9, then a gap to 20..29, then 100.
    for (int s = 0; s < 10; ++s) store.AddSample(At(s, s));
    for (int s = 20; s < 30; ++s) store.AddSample(At(s, s));
    store.AddSample(At(100, 100));
    EXPECT_EQ(store.TimeToIndex(0), 0);
    EXPECT_EQ(store.TimeToIndex(5), 5);
    EXPECT_EQ(store.TimeToIndex(25), 15);
    EXPECT_EQ(store.TimeToIndex(100), 20);
    EXPECT_EQ(store.TimeToIndex(5000), 20);  // clamped to the newest
    // A second inside a gap lands on the nearest record reached by the walk.
    int i = store.TimeToIndex(15);
    EXPECT_TRUE(i == 9 || i == 10) << i;
    i = store.TimeToIndex(60);
    EXPECT_TRUE(i == 19 || i == 20) << i;
}

TEST(DeviceData, ReaderPositionsWalkOneParameter) {
    CDeviceData store;
    for (int s = 0; s < 5; ++s) store.AddSample(At(s * 2, s, s * 10.0));
    store.SetReadPosition(3, 4);
    std::uint32_t t;
    double v;
    ASSERT_EQ(store.GetNextValue(3, t, v), 0);
    EXPECT_EQ(t, 4u);
    EXPECT_EQ(v, 20);
    ASSERT_EQ(store.GetNextValue(3, t, v), 0);
    ASSERT_EQ(store.GetNextValue(3, t, v), 0);
    EXPECT_EQ(store.GetNextValue(3, t, v), -1);
    store.SetReadPosition(1, 0);
    ASSERT_EQ(store.GetNextValue(1, t, v), 0);
    EXPECT_EQ(t, 0u);
    EXPECT_EQ(store.GetNextValue(43, t, v), -1);
}

TEST(DeviceData, ResetDataEmptiesTheStoreButKeepsItsBlock) {
    CDeviceData store;
    for (int s = 0; s < 10; ++s) store.AddSample(At(s, s, 1));
    store.SetWritten();
    store.SetSuppressWrites(true);
    store.SetLoadedFrom("/x/261206-007-012345.adc", "261206-007-012345");
    store.CalcRange(2, 5, false);
    store.ResetData();
    EXPECT_EQ(store.GetCount(), 0);
    EXPECT_EQ(store.GetLastSample().position, -1);
    EXPECT_FALSE(store.IsWritten());
    EXPECT_FALSE(store.SuppressWrites());
    EXPECT_FALSE(store.IsLoadedFromFile());
    EXPECT_FALSE(store.GetStatState().rangeMode);
    EXPECT_EQ(store.GetStatState().n, 0);
    EXPECT_EQ(store.GetStatValue(StatKind::Average, 3), 0);
    EXPECT_EQ(store.Capacity(), 48);
}

struct CountingSink : ISampleSink {
    int calls = 0;
    int lastCount = 0;
    void OnSamplesAdded(CDeviceData& store) override {
        ++calls;
        lastCount = store.GetCount();
    }
};

TEST(DeviceData, SinkSeesEveryAppendUnlessWritesAreSuppressed) {
    CDeviceData store;
    CountingSink sink;
    store.SetSampleSink(&sink);
    store.AddSample(At(0, 0));
    store.AddSample(At(1, 1));
    EXPECT_EQ(sink.calls, 2);
    EXPECT_EQ(sink.lastCount, 2);
    store.SetSuppressWrites(true);
    store.AddSample(At(2, 2));
    EXPECT_EQ(sink.calls, 2);
    store.SetSampleSink(nullptr);
}

// One thread appends while another reads: positions must always match indices and statistics
// getters must never see a half-updated block.
TEST(DeviceData, ReadersNeverSeeAGrowthUnderThem) {
    CDeviceData store;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int s = 0; s < 20000; ++s) store.AddSample(At(s, s & 0xFF, s % 7));
        done = true;
    });
    int checks = 0;
    while (!done || checks < 10) {
        int count = store.GetCount();
        if (count > 0) {
            int i = count / 2;
            EXPECT_EQ(store.GetSample(i).position, i);
            EXPECT_EQ(store.GetSample(i).time, static_cast<std::uint32_t>(i));
            EXPECT_GE(store.GetLastSample().position, count - 1);
            EXPECT_EQ(store.TimeToIndex(static_cast<std::uint32_t>(i)), i);
            double mn = store.GetStatValue(StatKind::Min, 3);
            double mx = store.GetStatValue(StatKind::Max, 3);
            EXPECT_LE(mn, mx);
        }
        ++checks;
    }
    writer.join();
    EXPECT_EQ(store.GetCount(), 20000);
}

}  // namespace
}  // namespace dravmer
