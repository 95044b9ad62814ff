#include "files/experiment_files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "files/file_format.h"
#include "files/stats_report.h"
#include "platform/cp1251.h"
#include "test_util.h"

namespace dravmer {
namespace {
using namespace testing_files;

std::time_t Dec6At(int hour) {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 6;
    tm.tm_hour = hour;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

TEST(ExperimentNames, FollowTheDateNumberAddressPattern) {
    std::time_t t = Dec6At(10);
    EXPECT_EQ(DateText(t), "261206");
    EXPECT_EQ(ExperimentFileName("261206", 7, 12345, true), "261206-007-012345.txt");
    EXPECT_EQ(ExperimentFileName("261206", 7, 12345, false), "261206-007-012345.adc");
    EXPECT_EQ(LabelFileName("261206", 7), "261206-007-label .txt");
    EXPECT_EQ(DatedSubfolder(t), "2612 - Файлы ADC/261206");
    EXPECT_EQ(LabelTextFromComment("{Date}  -  Experiment: {Experiment}   Calibration run"),
              "Calibration run");
    EXPECT_EQ(LabelTextFromComment("plain"), "plain");
}

struct Fixture : ::testing::Test {
    TempDir dir;
    CDeviceData store;
    std::unique_ptr<CExperimentFiles> files;
    void SetUp() override {
        files = std::make_unique<CExperimentFiles>(store);
        files->SetClock([] { return Dec6At(10); });
    }
};

TEST_F(Fixture, WritesEachRecordAsItIsAppendedWithTheHeaderFirst) {
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 12345, 7, true, false, true), kFilesOpenOk);
    EXPECT_EQ(files->FilePath(), dir / "261206-007-012345.txt");
    EXPECT_EQ(store.Title(), "261206-007-012345");
    EXPECT_EQ(store.FileName(), "261206-007-012345.txt");
    EXPECT_EQ(ReadAll(files->FilePath()), "");  // lazy header
    Fill(store, 3);
    EXPECT_EQ(files->WrittenCount(), 3);
    EXPECT_TRUE(store.IsWritten());
    std::string text = ReadAll(files->FilePath());
    EXPECT_EQ(text.rfind("KG=16   KR=1   Ky=19.930000\r\n", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    // A written store refuses a second opening until it is reset.
    EXPECT_EQ(files->OpenExperimentFiles(save, 12345, 8, true, false, true), kFilesAlreadyWritten);
    files->CloseExperimentFiles();
    EXPECT_FALSE(files->IsOpen());
    EXPECT_EQ(files->WrittenCount(), 0);
}

TEST_F(Fixture, NeverTruncatesAnExistingExperimentFile) {
    std::string save = dir.Folder();
    WriteAll(dir / "261206-007-012345.adc", "old data");
    EXPECT_EQ(files->OpenExperimentFiles(save, 12345, 7, false, false, true), kFilesNameTaken);
    EXPECT_EQ(ReadAll(dir / "261206-007-012345.adc"), "old data");
    EXPECT_EQ(FindFreeExperimentNumber(save, false, 7, Dec6At(10)), 8);
    WriteAll(dir / "261206-008-012345.adc", "");  // an empty file loses nothing when reused
    EXPECT_EQ(files->OpenExperimentFiles(save, 12345, 8, false, false, true), kFilesOpenOk);
    Fill(store, 2);
    EXPECT_EQ(ReadAll(dir / "261206-008-012345.adc").size(), 124u + 2 * 43 * 4);
}

TEST_F(Fixture, TheFreeNumberSearchGoesRoundWithinThreeDigits) {
    std::string save = dir.Folder();
    WriteAll(dir / "261206-999-012345.adc", "x");
    WriteAll(dir / "261206-001-012345.adc", "x");
    EXPECT_EQ(FindFreeExperimentNumber(save, false, 999, Dec6At(10)), 2);
    EXPECT_EQ(FindFreeExperimentNumber(save, false, 2147483647, Dec6At(10)), 2);
    EXPECT_EQ(FindFreeExperimentNumber(save, false, -3, Dec6At(10)), 2);
    for (int n = 1; n <= 999; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "261206-%3.3d-012345.adc", n);
        WriteAll(dir / name, "x");
    }
    EXPECT_EQ(FindFreeExperimentNumber(save, false, 500, Dec6At(10)), 500) << "a full day";
}

TEST_F(Fixture, DatedFoldersAreCreatedAndAMissingFolderFallsBackToTheDataFolder) {
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 12345, 7, true, true, true), kFilesOpenOk);
    EXPECT_EQ(files->FilePath(), dir / "2612 - Файлы ADC/261206/261206-007-012345.txt");
    EXPECT_EQ(files->LabelPath(), dir / "2612 - Файлы ADC/261206/261206-007-label .txt");
    files->CloseExperimentFiles();

    TempDir data;
    ::setenv("DRAVMER_DATA_DIR", data.path.c_str(), 1);
    std::string bad = "/proc/no-such-folder/";
    CDeviceData other;
    CExperimentFiles f2(other);
    f2.SetClock([] { return Dec6At(10); });
    ASSERT_EQ(f2.OpenExperimentFiles(bad, 1, 1, false, false, true), kFilesOpenOk);
    EXPECT_EQ(bad, data.Folder());  // written back for the caller to keep
    EXPECT_EQ(f2.FilePath(), data / "261206-001-000001.adc");
    ::unsetenv("DRAVMER_DATA_DIR");
}

TEST_F(Fixture, NothingToOpenWithoutRecordsOrWhenWritingIsOff) {
    std::string save = dir.Folder();
    EXPECT_EQ(files->OpenExperimentFiles(save, 5, 1, true, false, false), kFilesOpenOk);
    EXPECT_FALSE(files->IsOpen());
    SFileOptions off;
    off.writeToFile = false;
    files->SetOptions(off);
    EXPECT_EQ(files->OpenExperimentFiles(save, 5, 1, true, false, true), kFilesOpenOk);
    EXPECT_FALSE(files->IsOpen());
    EXPECT_EQ(store.Title().size(), 22u);  // "261206-10:05:09-000005"
    EXPECT_EQ(store.Title().substr(6), "-10:05:09-000005");
}

TEST_F(Fixture, SwitchingWritingOnLaterFlushesEverythingRecordedSoFar) {
    Fill(store, 50);  // recorded without a file
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 9, 2, false, false, false), kFilesOpenOk);
    store.SetSuppressWrites(true);
    EXPECT_EQ(files->FlushSamples(), 50);
    EXPECT_FALSE(store.SuppressWrites());
    files->CloseExperimentFiles();
    EXPECT_EQ(ReadAll(dir / "261206-002-000009.adc").size(), 124u + 50 * 43 * 4);
}

TEST_F(Fixture, APauseInWritingLeavesAGapAndTheSameFileGoesOn) {
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 9, 2, false, false, true), kFilesOpenOk);
    Fill(store, 3);
    SFileOptions options;
    files->PauseWriting(options);
    Fill(store, 4);  // recorded while writing is off
    EXPECT_EQ(ReadAll(files->FilePath()).size(), 124u + 3 * 43 * 4);
    ASSERT_TRUE(files->ResumeWriting(options));
    Fill(store, 2, 11);
    files->CloseExperimentFiles();
    EXPECT_TRUE(files->RescuedPath().empty());
    const std::string path = (dir / "261206-002-000009.adc");
    ASSERT_EQ(ReadAll(path).size(), 124u + 5 * 43 * 4) << "one header, the records before and after";
    CDeviceData back;
    SLoadReport report;
    ASSERT_EQ(LoadExperimentFile(back, path, nullptr, &report), 1) << report.error;
    ASSERT_EQ(back.GetCount(), 5);
    // The file's fourth record is the eighth recorded: the four of the pause stay out.
    for (int i = 3; i < 43; ++i)
        EXPECT_FLOAT_EQ(static_cast<float>(GetParam(back.GetSample(3), i)),
                        static_cast<float>(GetParam(store.GetSample(7), i)))
            << i;
}

TEST_F(Fixture, APauseBeforeTheFirstRecordStillWritesTheHeader) {
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 9, 2, true, false, true), kFilesOpenOk);
    SFileOptions options;
    files->PauseWriting(options);
    Fill(store, 2);
    ASSERT_TRUE(files->ResumeWriting(options));
    Fill(store, 1);
    files->CloseExperimentFiles();
    const std::string text = ReadAll(dir / "261206-002-000009.txt");
    EXPECT_EQ(text.rfind("KG=", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << "header, names, one record";
    EXPECT_FALSE(files->ResumeWriting(options)) << "nothing paused once closed";
}

TEST_F(Fixture, FileColumnsFollowTheSelectionAndStayFixedWhileOpen) {
    SFileOptions o;
    o.toFile.fill(false);
    o.toFile[0] = o.toFile[3] = true;
    files->SetOptions(o);
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 9, 2, false, false, true), kFilesOpenOk);
    Fill(store, 1);
    o.toFile[4] = true;  // a change while the file is open must not break its records
    files->SetOptions(o);
    Fill(store, 1);
    EXPECT_EQ(ReadAll(files->FilePath()).size(), 124u + 2 * 2 * 4);
}

TEST_F(Fixture, LabelIsWrittenInWindows1251WithoutLineEnd) {
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 1, 3, true, false, true), kFilesOpenOk);
    ASSERT_EQ(files->WriteLabel("Калибровка"), 0);
    EXPECT_EQ(ReadAll(dir / "261206-003-label .txt"), Utf8ToCp1251("Калибровка"));
}

TEST(StatisticsText, ListsRangeNamesAndTenStatisticRows) {
    CDeviceData s;
    CMeasRecord a, b;
    a.time = 2;
    a.cycle = 4;
    a.ug = 10;
    b.time = 3;
    b.cycle = 5;
    b.ug = 14;
    s.AddSample(a);
    s.AddSample(b);
    std::array<bool, 43> cols{};
    cols[3] = cols[15] = true;
    std::array<int, 43> dec{};
    dec.fill(3);
    std::string t = StatisticsText(s, cols, dec);
    EXPECT_EQ(t.substr(0, t.find("\r\n") + 2), "(2 - 3)\tUG\tGvEr\t\r\n");
    EXPECT_NE(t.find("averageE (2-3)\t 10.000\t0\t\r\n"), std::string::npos);
    EXPECT_NE(t.find("\r\naverage\t 12.000\t0\t\r\n"), std::string::npos);
    EXPECT_NE(t.find("\r\nsigma  \t 2.828\t0\t\r\n"), std::string::npos);
    EXPECT_EQ(t.substr(t.size() - 4), "\r\n\r\n");
    EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 12);

    nlohmann::json j = DeviceStatsJson(s, 101);
    EXPECT_EQ(j["address"], 101);
    EXPECT_EQ(j["records"], 2);
    EXPECT_EQ(j["range"][1], 3);
    EXPECT_DOUBLE_EQ(j["stats"]["Delta"]["UG"].get<double>(), 4);
    EXPECT_EQ(j["stats"]["Average"].size(), 40u);
    EXPECT_TRUE(j["stats"]["NoiseO"].contains("t пр"));
}

}  // namespace
}  // namespace dravmer

namespace dravmer {
namespace {

// A write cut short by the file size limit is undone, so the file never holds half a record and
// the retry after the limit is lifted gives a file that loads whole.
TEST_F(Fixture, AWriteCutShortIsUndoneAndRetriedOnARecordBoundary) {
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 12345, 7, false, false, true), kFilesOpenOk);
    auto add = [&](int from, int count) {
        for (int t = from; t < from + count; ++t) {
            CMeasRecord r;
            for (int i = 3; i < 43; ++i) SetParam(r, i, 100.0 + t + i);
            r.time = static_cast<std::uint32_t>(t);
            r.cycle = static_cast<std::uint8_t>(t);
            r.kg = 16;
            r.kr = 1;
            store.AddSample(r);
        }
    };
    add(0, 5);
    const auto whole = ReadAll(files->FilePath()).size();
    ASSERT_GT(whole, 0u);

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = whole + 100;  // room for part of one record only
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    add(5, 1);
    EXPECT_EQ(files->WriteErrors(), 1);
    EXPECT_EQ(ReadAll(files->FilePath()).size(), whole) << "the partial record was taken back";
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);

    add(6, 2);  // the next append writes the one that failed too
    EXPECT_EQ(files->WrittenCount(), 8);
    files->CloseExperimentFiles();
    CDeviceData back;
    SLoadReport report;
    ASSERT_EQ(LoadExperimentFile(back, dir / "261206-007-012345.adc", nullptr, &report), 1);
    EXPECT_EQ(back.GetCount(), 8);
    EXPECT_EQ(report.ignoredBytes, 0u);
    EXPECT_EQ(back.GetSample(5).time, 5u);
    EXPECT_EQ(back.GetSample(7).time, 7u);
}

}  // namespace
}  // namespace dravmer
