#include "files/experiment_time.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "files/experiment_scan.h"
#include "files/file_format.h"
#include "test_util.h"

namespace dravmer {
namespace {
using namespace testing_files;

std::time_t Local(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void Stamp(const std::string& path, std::time_t t) {
    utimbuf times{t, t};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

TEST(TxtStartTime, IsTheLastWriteLessTheLastSecondWhenThatLandsOnTheNamedDate) {
    const std::string name = "261206-007-000101.txt";
    // Written at 10:30:00 with its last record at second 1800: started at 10:00:00.
    EXPECT_EQ(TxtStartTime(Local(2026, 12, 6, 10, 30, 0), 1800, name),
              Local(2026, 12, 6, 10, 0, 0));
    // Run over midnight: written on the 7th, but started on the named day.
    EXPECT_EQ(TxtStartTime(Local(2026, 12, 7, 0, 30, 0), 3600, name),
              Local(2026, 12, 6, 23, 30, 0));
    // A file copied (or touched) on another day: the named day at noon.
    EXPECT_EQ(TxtStartTime(Local(2027, 3, 1, 8, 0, 0), 60, name), Local(2026, 12, 6, 12, 0, 0));
    // Started the day before its name says (a clock set wrong): the named day at noon too.
    EXPECT_EQ(TxtStartTime(Local(2026, 12, 6, 0, 10, 0), 3600, name), Local(2026, 12, 6, 12, 0, 0));
    // A name without a date keeps the last write less the seconds.
    EXPECT_EQ(TxtStartTime(Local(2027, 3, 1, 8, 0, 0), 60, "run.txt"), Local(2027, 3, 1, 7, 59, 0));
}

TEST(TxtStartTime, OnlyRealDatesCountAsTheNamedDate) {
    EXPECT_EQ(NamedDateNoon("261206-007-000101.txt"), Local(2026, 12, 6, 12, 0, 0));
    EXPECT_EQ(NamedDateNoon("240229-001-000101.txt"), Local(2024, 2, 29, 12, 0, 0));
    EXPECT_EQ(NamedDateNoon("260229-001-000101.txt"), 0);  // 2026 is no leap year
    EXPECT_EQ(NamedDateNoon("261306-001-000101.txt"), 0);
    EXPECT_EQ(NamedDateNoon("261200-001-000101.txt"), 0);
    EXPECT_EQ(NamedDateNoon("2612"), 0);
    EXPECT_EQ(NamedDateNoon("copy.txt"), 0);
}

// The list and the loader (which gives the graph its wall-clock labels) read the same start.
TEST(TxtStartTime, TheListAndTheLoadedStoreAgreeOnIt) {
    TempDir dir;
    CDeviceData s;
    Fill(s, 30);  // seconds 0..29
    SFileOptions o;
    const std::string path = dir / "261206-007-000101.txt";
    ASSERT_EQ(SaveStoreAs(s, path, true, o.Columns(), o), 0);
    Stamp(path, Local(2026, 12, 6, 10, 0, 29));
    const std::string copied = dir / "261206-008-000101.txt";
    ASSERT_EQ(SaveStoreAs(s, copied, true, o.Columns(), o), 0);
    Stamp(copied, Local(2027, 1, 15, 9, 0, 0));

    CExperimentList list;
    ASSERT_EQ(list.Scan(dir.Folder()), 2);
    ASSERT_EQ(list.GroupCount(), 2);
    EXPECT_EQ(list.Describe(0).time, Local(2026, 12, 6, 10, 0, 0));
    EXPECT_EQ(list.Describe(0).dateTimeText, "06-12-2026     10:00");
    EXPECT_EQ(list.LoadData(0).time, Local(2026, 12, 6, 10, 0, 0));
    EXPECT_EQ(list.Describe(1).time, Local(2026, 12, 6, 12, 0, 0));

    CDeviceData loaded;
    ASSERT_EQ(LoadExperimentFile(loaded, path), 1);
    EXPECT_EQ(loaded.StartTime(), Local(2026, 12, 6, 10, 0, 0));
    ASSERT_EQ(LoadExperimentFile(loaded, copied), 1);
    EXPECT_EQ(loaded.StartTime(), Local(2026, 12, 6, 12, 0, 0));
    EXPECT_EQ(TxtStartTimeOfFile(path, 29), Local(2026, 12, 6, 10, 0, 0));
    EXPECT_EQ(TxtStartTimeOfFile(dir / "missing.txt", 29), 0);
}

}  // namespace
}  // namespace dravmer
