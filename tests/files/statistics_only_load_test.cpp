// A file read only for its statistics (a store that keeps no records): the same statistics, count
// and newest record as a load that keeps every record, whatever the columns and the format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "files/file_format.h"
#include "files/file_reader_detail.h"
#include "test_util.h"

namespace dravmer::testing_files {
namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectSameLoad(const std::string& path) {
    SCOPED_TRACE(path);
    CDeviceData kept, counted;
    counted.KeepRecords(false);
    SLoadReport a, b;
    ASSERT_EQ(LoadExperimentFile(kept, path, nullptr, &a), 1) << a.Summary();
    ASSERT_EQ(LoadExperimentFile(counted, path, nullptr, &b), 1) << b.Summary();
    EXPECT_EQ(a.records, b.records);
    EXPECT_EQ(a.skippedRecords, b.skippedRecords);
    EXPECT_EQ(a.skippedLines, b.skippedLines);
    ASSERT_EQ(counted.GetCount(), kept.GetCount());
    for (int k = 1; k <= 10; ++k)
        for (int p = kStatFirstParam; p < kParamCount; ++p)
            ASSERT_TRUE(SameBits(kept.GetStatValue(static_cast<StatKind>(k), p),
                                 counted.GetStatValue(static_cast<StatKind>(k), p)))
                << "kind " << k << " param " << p;
    const SStatState sa = kept.GetStatState(), sb = counted.GetStatState();
    EXPECT_EQ(sa.n, sb.n);
    EXPECT_EQ(sa.nE, sb.nE);
    EXPECT_EQ(sa.firstSecond, sb.firstSecond);
    EXPECT_EQ(sa.lastSecond, sb.lastSecond);
    const CMeasRecord x = kept.GetLastSample(), y = counted.GetLastSample();
    for (int p = 0; p < kParamCount; ++p) EXPECT_TRUE(SameBits(GetParam(x, p), GetParam(y, p))) << p;
    EXPECT_EQ(x.kg, y.kg);
    EXPECT_EQ(counted.StartTime(), kept.StartTime());
    EXPECT_LE(counted.AllocatedBytes(), static_cast<std::size_t>(CDeviceData::kPageRecords) *
                                            sizeof(CMeasRecord));
}

TEST(StatisticsOnlyLoad, EveryColumnAndSomeColumnsBinaryAndText) {
    TempDir dir;
    CDeviceData store;
    Fill(store, 3 * CDeviceData::kPageRecords + 211, 19);
    SFileOptions all, some;
    some.toFile[20] = false;  // columns left out, as operators do
    some.toFile[33] = false;
    for (bool text : {false, true})
        for (const SFileOptions* options : {&all, &some}) {
            const std::string path = dir / (std::string(text ? "t" : "b") +
                                            (options == &all ? "all" : "some") + (text ? ".txt" : ".adc"));
            ASSERT_EQ(SaveStoreAs(store, path, text, options->Columns(), *options), 0);
            ExpectSameLoad(path);
        }
}

TEST(StatisticsOnlyLoad, RecordsThatAreNoRecordsOfABenchAreSkippedAlike) {
    TempDir dir;
    CDeviceData store;
    Fill(store, 5000, 23);
    SFileOptions options;
    const std::string path = dir / "bad.adc";
    ASSERT_EQ(SaveStoreAs(store, path, false, options.Columns(), options), 0);
    std::string bytes = ReadAll(path);
    // A negative time in record 10, a cycle counter of 300 in record 4000.
    const std::size_t record = 4 * options.Columns().size();
    const float negative = -1, tooLarge = 300;
    std::memcpy(&bytes[kAdcHeaderSize + 10 * record], &negative, 4);
    std::memcpy(&bytes[kAdcHeaderSize + 4000 * record + 4], &tooLarge, 4);
    WriteAll(path, bytes);
    ExpectSameLoad(path);
    CDeviceData counted;
    counted.KeepRecords(false);
    SLoadReport report;
    ASSERT_EQ(LoadExperimentFile(counted, path, nullptr, &report), 1);
    EXPECT_EQ(report.skippedRecords, 2);
    EXPECT_EQ(counted.GetCount(), 4998);
}

// The file of catalogue columns checks its four integer fields side by side; it must take and
// refuse exactly the records the one-at-a-time check does, at every edge of every field.
TEST(StatisticsOnlyLoad, SideBySideCheckOfTheIntegerFieldsAgreesWithTheOneAtATime) {
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f, -0.0f, 1.0f, 0.5f, -1.0f, 1e-45f, -1e-45f, 254.5f, 255.0f,
                            255.5f, 256.0f, 65535.0f, 65535.5f, 65536.0f, 8388607.5f, 8388608.0f,
                            16777216.0f, 4294967040.0f, 4294967296.0f, 1e30f, inf, -inf,
                            std::nanf(""), 3.999999f, 100.25f};
    const int fields[] = {0, 1, 2, 15};
    unsigned char record[4 * kParamCount] = {};
    int refused = 0;
    for (int at = 0; at < 4; ++at)
        for (float v : values) {
            float f[kParamCount] = {};
            f[3] = -7.5f;  // a parameter that is no integer one takes any value
            f[fields[at]] = v;
            std::memcpy(record, f, sizeof record);
            const bool expected = reader_detail::FitsParam(fields[at], v);
            refused += expected ? 0 : 1;
            EXPECT_EQ(reader_detail::CatalogueIntegersFit(record), expected)
                << "field " << fields[at] << " value " << v;
        }
    EXPECT_GT(refused, 40);
}

}  // namespace
}  // namespace dravmer::testing_files
