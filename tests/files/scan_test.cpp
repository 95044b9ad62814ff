#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>

#include "files/experiment_files.h"
#include "files/experiment_scan.h"
#include "platform/cp1251.h"
#include "test_util.h"

namespace dravmer {
namespace {
using namespace testing_files;

std::string Adc(int records, float lastTime = -1) {
    CDeviceData s;
    Fill(s, records);
    TempDir d;
    SFileOptions o;
    SaveStoreAs(s, d / "x.adc", false, o.Columns(), o);
    std::string b = ReadAll(d / "x.adc");
    if (lastTime >= 0) std::memcpy(&b[b.size() - 43 * 4], &lastTime, 4);
    return b;
}

TEST(ExperimentScan, GroupsFilesOfOneExperimentAndReadsDurations) {
    TempDir dir;
    std::string adc = Adc(61);
    WriteAll(dir / "261206-007-000102.adc", adc);
    WriteAll(dir / "261206-007-000101.adc", adc);
    WriteAll(dir / "261206-008-000101.adc", adc);
    WriteAll(dir / "261206-007-000101-label .txt", "x");  // not an entry
    WriteAll(dir / "261206-007-label .txt", Utf8ToCp1251("Калибровка"));
    CExperimentList list;
    ASSERT_EQ(list.Scan(dir.path.string()), 3);
    ASSERT_EQ(list.GroupCount(), 2);
    SGroupDescription d = list.Describe(0);
    EXPECT_EQ(d.devices, 2);
    EXPECT_EQ(d.addressText, "101; 102");
    EXPECT_EQ(d.number, 7);
    EXPECT_EQ(d.duration, 60u);
    EXPECT_EQ(d.durationMinutes, "1.0");
    EXPECT_EQ(d.format, ".adc");
    EXPECT_EQ(d.label, "Калибровка");
    EXPECT_NE(d.comment.find(" - Exp: 7  Калибровка"), std::string::npos);
    EXPECT_EQ(list.Describe(1).comment, "");
    EXPECT_EQ(list.FindGroup("/else/where/261206-008-000101.adc"), 1);
    EXPECT_EQ(list.FindGroup("261206-009-000101.adc"), -1);
    SGroupLoadData ld = list.LoadData(0);
    EXPECT_EQ(ld.paths[0], dir / "261206-007-000101.adc");
}

TEST(ExperimentScan, RejectsBadNamesAndHeaders) {
    TempDir dir;
    std::string adc = Adc(5);
    WriteAll(dir / "261206-07-000101.adc", adc);    // 20 characters
    WriteAll(dir / "261206-007-0001012.adc", adc);  // seven digits, zero-padded
    WriteAll(dir / "2612X6-007-000101.adc", adc);   // not digits
    WriteAll(dir / "261206_007-000101.adc", adc);   // wrong separator
    std::string bad = adc;
    bad[0] = 'X';
    WriteAll(dir / "261206-001-000101.adc", bad);                // foreign header
    WriteAll(dir / "261206-002-000101.adc", Adc(5, 3600.5f));    // time not whole
    WriteAll(dir / "261206-003-000101.adc", Adc(5, 700000.0f));  // beyond seven days
    WriteAll(dir / "261206-004-000101.adc", adc.substr(0, 100));
    WriteAll(dir / "261206-005-000101.txt", "short");
    std::string many = adc;
    many[48] = 44;
    WriteAll(dir / "261206-006-000101.adc", many);
    std::string negative = adc;
    std::memset(&negative[48], 0xFF, 4);  // column count -1
    WriteAll(dir / "261206-009-000101.adc", negative);
    CExperimentList list;
    EXPECT_EQ(list.Scan(dir.path.string()), 0);
    EXPECT_EQ(list.GroupCount(), 0);
    // What is wrong with a file, in words for the operator.
    EXPECT_NE(ExperimentFileProblem(dir / "261206-009-000101.adc").find("column count"),
              std::string::npos);
    EXPECT_NE(ExperimentFileProblem(dir / "261206-002-000101.adc").find("time"), std::string::npos);
    EXPECT_NE(ExperimentFileProblem(dir / "261206-07-000101.adc").find("name"), std::string::npos);
    EXPECT_NE(ExperimentFileProblem(dir / "261206-005-000101.txt").find("1024"), std::string::npos);
    EXPECT_NE(ExperimentFileProblem(dir / "261206-001-000101.adc").find("header"),
              std::string::npos);
    WriteAll(dir / "261206-010-000101.adc", adc);
    EXPECT_EQ(ExperimentFileProblem(dir / "261206-010-000101.adc"), "");
    // The same as codes, which the front ends word in their language.
    const std::pair<const char*, ExperimentFileFault> faults[] = {
        {"261206-009-000101.adc", ExperimentFileFault::BadColumnCount},
        {"261206-006-000101.adc", ExperimentFileFault::BadColumnCount},
        {"261206-002-000101.adc", ExperimentFileFault::BadLastTime},
        {"261206-003-000101.adc", ExperimentFileFault::BadLastTime},
        {"261206-07-000101.adc", ExperimentFileFault::BadName},
        {"261206-005-000101.txt", ExperimentFileFault::TextTooShort},
        {"261206-004-000101.adc", ExperimentFileFault::ShortHeader},
        {"261206-001-000101.adc", ExperimentFileFault::BadSignature},
        {"261206-011-000101.adc", ExperimentFileFault::NoSuchFile},
        {"261206-010-000101.adc", ExperimentFileFault::None},
    };
    for (const auto& [name, fault] : faults) {
        const SExperimentFileProblem problem = FindExperimentFileProblem(dir / name);
        EXPECT_EQ(problem.fault, fault) << name;
        EXPECT_EQ(DescribeExperimentFileProblem(problem).empty(), fault == ExperimentFileFault::None)
            << name;
    }
    EXPECT_EQ(FindExperimentFileProblem(dir / "261206-009-000101.adc").value, -1);
    EXPECT_EQ(FindExperimentFileProblem(dir / "261206-006-000101.adc").value, 44);
}

TEST(ExperimentScan, AddressesOfSevenToTenDigitsAreListedAndParsed) {
    TempDir dir;
    std::string adc = Adc(5);
    WriteAll(dir / "261206-007-4000001.adc", adc);
    WriteAll(dir / "261206-007-4294967295.adc", adc);
    WriteAll(dir / "261206-007-000101.adc", adc);
    WriteAll(dir / "261206-007-4294967296.adc", adc);  // beyond 32 bits
    WriteAll(dir / "261206-007-12345678901.adc", adc);  // eleven digits
    CExperimentList list;
    ASSERT_EQ(list.Scan(dir.path.string()), 3);
    ASSERT_EQ(list.GroupCount(), 1);
    const SGroupDescription d = list.Describe(0);
    EXPECT_EQ(d.addresses, (std::vector<std::uint32_t>{101, 4000001, 4294967295u}));
    EXPECT_EQ(d.files[1], dir / "261206-007-4000001.adc");
    EXPECT_EQ(list.FindGroup("261206-007-4294967295.adc"), 0);
    SExperimentEntry entry;
    ASSERT_TRUE(ParseExperimentName(ExperimentFileName("261207", 3, 4000001, true), entry));
    EXPECT_EQ(entry.address, 4000001u);
    EXPECT_EQ(entry.name, "261207-003-4000001");
    EXPECT_EQ(entry.number, 3);
}

TEST(ExperimentScan, TextAndBinaryOfOneDeviceAreTwoEntriesOfOneGroup) {
    TempDir dir;
    CDeviceData s;
    Fill(s, 30);
    // The binary's entry time is its header's start time; the text file's (written today) is
    // the named day at noon: the same calendar day.
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 6;
    tm.tm_hour = 9;
    tm.tm_isdst = -1;
    s.SetStartTime(std::mktime(&tm));
    SFileOptions o;
    SaveStoreAs(s, dir / "261206-007-000101.txt", true, o.Columns(), o);
    SaveStoreAs(s, dir / "261206-007-000101.adc", false, o.Columns(), o);
    CExperimentList list;
    ASSERT_EQ(list.Scan(dir.path.string()), 2);
    ASSERT_EQ(list.GroupCount(), 1);
    EXPECT_EQ(list.Describe(0).devices, 2);
    for (const auto& e : list.Entries()) EXPECT_EQ(e.duration, 29u) << e.text;
}

struct Recorder : ILoadListener {
    std::vector<std::string> events;
    void OnFileStarted(int i, int n, const std::string&) override {
        events.push_back("start " + std::to_string(i) + "/" + std::to_string(n));
    }
    void OnFileProgress(int, int) override {}
    void OnFileLoaded(int i, int r, const SLoadReport&) override {
        events.push_back("loaded " + std::to_string(i) + " " + std::to_string(r));
    }
    void OnAllLoaded(bool c) override { events.push_back(c ? "cancelled" : "done"); }
};

TEST(GroupLoader, LoadsEveryFileAndGoesOnAfterAFailure) {
    TempDir dir;
    WriteAll(dir / "a.adc", Adc(20));
    WriteAll(dir / "b.adc", "broken");
    WriteAll(dir / "c.adc", Adc(7));
    SGroupLoadData g;
    g.paths = {dir / "a.adc", dir / "b.adc", dir / "c.adc"};
    CDeviceData s0, s1, s2;
    Recorder rec;
    CExperimentLoader loader(g, {&s0, &s1, &s2}, &rec);
    ASSERT_TRUE(loader.Start());
    while (loader.IsRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(loader.Loaded(), 2);
    EXPECT_EQ(s0.GetCount(), 20);
    EXPECT_EQ(s2.GetCount(), 7);
    EXPECT_EQ(rec.events,
              (std::vector<std::string>{"start 0/3", "loaded 0 1", "start 1/3", "loaded 1 0",
                                        "start 2/3", "loaded 2 1", "done"}));
}

TEST(GroupLoader, CancelStopsAfterTheCurrentBlock) {
    TempDir dir;
    WriteAll(dir / "a.adc", Adc(3000));
    WriteAll(dir / "b.adc", Adc(3000));
    SGroupLoadData g;
    g.paths = {dir / "a.adc", dir / "b.adc"};
    CDeviceData s0, s1;
    std::atomic<bool> cancel{true};
    Recorder rec;
    EXPECT_EQ(LoadGroup(g, {&s0, &s1}, &rec, &cancel), 0);
    EXPECT_EQ(rec.events.back(), "cancelled");
    EXPECT_EQ(s1.GetCount(), 0);
}

// What a listener hears of a group load, checked as it comes: one file at a time, in order, its
// percentages between its start and its end.
struct OrderChecker : ILoadListener {
    std::vector<std::string> problems;
    std::vector<int> results;  // of each file told, in order
    int current = -1;
    bool all = false, cancelled = false;
    std::function<void(int, int)> onProgress;
    void OnFileStarted(int i, int, const std::string&) override {
        if (current != -1 || i != static_cast<int>(results.size()))
            problems.push_back("start " + std::to_string(i) + " out of turn");
        current = i;
    }
    void OnFileProgress(int i, int percent) override {
        if (i != current) problems.push_back("progress of " + std::to_string(i) + " out of turn");
        if (percent < 0 || percent > 100) problems.push_back("percent " + std::to_string(percent));
        if (onProgress) onProgress(i, percent);
    }
    void OnFileLoaded(int i, int r, const SLoadReport&) override {
        if (i != current) problems.push_back("end of " + std::to_string(i) + " out of turn");
        current = -1;
        results.push_back(r);
    }
    void OnAllLoaded(bool c) override {
        if (all) problems.push_back("told twice that all ended");
        all = true;
        cancelled = c;
    }
};

// Files of very different lengths, read side by side, finish out of order; the listener still
// hears of them one after the other and every store gets its own file.
TEST(GroupLoader, FilesReadSideBySideAreToldInOrder) {
    TempDir dir;
    const int sizes[] = {40000, 5, 17, 25000, 1, 3000, 60000, 2, 9000, 11};
    constexpr int kFiles = 10;
    SGroupLoadData g;
    for (int i = 0; i < kFiles; ++i) {
        const auto path = dir / ("f" + std::to_string(i) + ".adc");
        WriteAll(path, i == 4 ? std::string("broken") : Adc(sizes[i]));
        g.paths.push_back(path);
    }
    std::vector<CDeviceData> stores(kFiles);
    std::vector<CDeviceData*> to;
    for (auto& s : stores) to.push_back(&s);
    OrderChecker checker;
    EXPECT_EQ(LoadGroup(g, to, &checker), kFiles - 1);
    EXPECT_TRUE(checker.problems.empty()) << checker.problems.front();
    EXPECT_TRUE(checker.all);
    EXPECT_FALSE(checker.cancelled);
    ASSERT_EQ(checker.results.size(), static_cast<std::size_t>(kFiles));
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_EQ(checker.results[static_cast<std::size_t>(i)], i == 4 ? 0 : 1) << i;
        if (i != 4) {
            EXPECT_EQ(stores[static_cast<std::size_t>(i)].GetCount(), sizes[i]) << i;
        }
    }
}

// A cancel while files are read side by side: the listener hears of files up to the first one
// cancelled and no further, and every store after it is empty, as if the files had been read
// one after the other.
TEST(GroupLoader, ACancelAmidFilesReadSideBySideLeavesTheRestEmpty) {
    TempDir dir;
    constexpr int kFiles = 8;
    SGroupLoadData g;
    for (int i = 0; i < kFiles; ++i) {
        const auto path = dir / ("f" + std::to_string(i) + ".adc");
        WriteAll(path, Adc(i % 2 ? 60000 : 50000));
        g.paths.push_back(path);
    }
    std::vector<CDeviceData> stores(kFiles);
    std::vector<CDeviceData*> to;
    for (auto& s : stores) to.push_back(&s);
    std::atomic<bool> cancel{false};
    OrderChecker checker;
    // Late in file 2, while the file after it is being read beside it.
    checker.onProgress = [&](int i, int percent) {
        if (i == 2 && percent >= 90) cancel = true;
    };
    const int loaded = LoadGroup(g, to, &checker, &cancel);
    EXPECT_TRUE(checker.problems.empty()) << checker.problems.front();
    EXPECT_TRUE(checker.cancelled);
    const int told = static_cast<int>(checker.results.size());
    ASSERT_GE(told, 3);  // 0 and 1 loaded, then the first one cancelled
    EXPECT_LT(told, kFiles);
    EXPECT_EQ(checker.results.back(), 0);
    int whole = 0;
    for (int r : checker.results) whole += r;
    EXPECT_EQ(loaded, whole);
    for (int i = 0; i < told - 1; ++i)
        EXPECT_EQ(stores[static_cast<std::size_t>(i)].GetCount(), i % 2 ? 60000 : 50000) << i;
    for (int i = told; i < kFiles; ++i) EXPECT_EQ(stores[static_cast<std::size_t>(i)].GetCount(), 0) << i;
}

// What the listener throws reaches the caller, from whichever thread called it, once every
// reader has stopped.
TEST(GroupLoader, AnExceptionOfTheListenerReachesTheCaller) {
    TempDir dir;
    SGroupLoadData g;
    for (int i = 0; i < 6; ++i) {
        const auto path = dir / ("f" + std::to_string(i) + ".adc");
        WriteAll(path, Adc(i % 2 ? 4000 : 300));
        g.paths.push_back(path);
    }
    std::vector<CDeviceData> stores(6);
    std::vector<CDeviceData*> to;
    for (auto& s : stores) to.push_back(&s);
    struct Thrower : ILoadListener {
        void OnFileStarted(int, int, const std::string&) override {}
        void OnFileProgress(int, int) override {}
        void OnFileLoaded(int i, int, const SLoadReport&) override {
            if (i == 1) throw std::runtime_error("listener gave up");
        }
        void OnAllLoaded(bool) override {}
    } thrower;
    EXPECT_THROW(LoadGroup(g, to, &thrower), std::runtime_error);
}

}  // namespace
}  // namespace dravmer
