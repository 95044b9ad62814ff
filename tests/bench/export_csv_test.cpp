// The experiment on screen as one CSV table: loaded .adc and .txt files keep their own columns,
// values and start times; a range, a cancel and an existing file.
#include <gtest/gtest.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench/bench.h"
#include "bench/bench_export.h"
#include "files/file_format.h"
#include "measure/param_catalog.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
    std::ifstream f(path);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(f, line);) {
        std::vector<std::string> cells;
        std::size_t at = 0;
        for (;;) {
            const std::size_t e = line.find(',', at);
            cells.push_back(line.substr(at, e == std::string::npos ? e : e - at));
            if (e == std::string::npos) break;
            at = e + 1;
        }
        rows.push_back(cells);
    }
    return rows;
}

class ExportCsv : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-export-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        ::setenv("TZ", "MSK-3", 1);
        ::tzset();
        for (int p = 0; p < kPortCount; ++p)
            settings.SetInt("ComSettingsPort" + std::to_string(p), "UseLink", 0);
        bench = std::make_unique<CBench>(settings);
        bench->LoadSettings();
    }
    void TearDown() override {
        bench.reset();
        fs::remove_all(dir);
        ::unsetenv("TZ");
        ::tzset();
    }
    // A file of 30 seconds; its UG holds a value no float nor six decimals keep exactly.
    std::string Write(const std::string& name, bool text, std::vector<int> columns) {
        CDeviceData store;
        for (int s = 0; s < 30; ++s) {
            CMeasRecord r = EmptyRecord();
            SetParam(r, 0, s);
            SetParam(r, 1, s);
            for (int i = 3; i < 43; ++i)
                if (!IsIntegerParam(i)) SetParam(r, i, 29.95655632 + s);
            store.AddSample(r);
        }
        store.SetStartTime(1796540703);  // 10:05:03 in Moscow
        SFileOptions options;
        const std::string path = (dir / name).string();
        EXPECT_EQ(SaveStoreAs(store, path, text, columns, options), 0);
        return path;
    }
    void Load(const std::vector<std::string>& paths, std::vector<std::uint32_t> addresses) {
        SGroupLoadData group;
        group.paths = paths;
        group.addresses = std::move(addresses);
        ASSERT_EQ(bench->LoadExperiment(group), static_cast<int>(paths.size()));
    }

    fs::path dir;
    CMemorySettingsStore settings;
    std::unique_ptr<CBench> bench;
};

TEST_F(ExportCsv, LoadedFilesKeepTheirColumnsValuesAndStartTimes) {
    const auto adc = Write("261206-002-000101.adc", false, {0, 1, 3});
    const auto txt = Write("261206-002-000102.txt", true, {0, 3, 7, 8, 9, 10, 11, 12, 13, 14});
    // The text file was last written with its record of second 29 at 10:30:29.
    const std::time_t lastWrite = 1796542229;
    utimbuf times{lastWrite, lastWrite};
    ASSERT_EQ(::utime(txt.c_str(), &times), 0);
    Load({adc, txt}, {101, 102});
    const std::string out = (dir / "all.csv").string();
    const SCsvExportReport r = ExportBenchCsv(*bench, out, {});
    ASSERT_EQ(r.result, CsvExportResult::Written) << r.error;
    EXPECT_EQ(r.rows, 60u);
    EXPECT_EQ(r.devices, 2);
    const auto rows = ReadCsv(out);
    ASSERT_EQ(rows.size(), 61u);
    EXPECT_EQ(rows[0][0], "datetime");
    EXPECT_EQ(rows[0][2], "время");
    EXPECT_EQ(rows[0][4], "UG");
    EXPECT_EQ(rows[0].size(), 2u + 11u) << "the columns of both files";
    // The .adc: its float, shortest; its header's start.
    EXPECT_EQ(rows[1][0], "2026-12-06T10:05:03+03:00");
    EXPECT_EQ(rows[1][1], "101");
    EXPECT_EQ(rows[1][4], "29.956556");
    EXPECT_EQ(rows[1][5], "") << "IG is not in the .adc";
    // The .txt: its six decimals; the start from its last write.
    EXPECT_EQ(rows[31][0], "2026-12-06T10:30:00+03:00");
    EXPECT_EQ(rows[31][1], "102");
    EXPECT_EQ(rows[31][3], "") << "Цикл is not in the .txt";
    EXPECT_EQ(rows[31][4], "29.956556");
}

TEST_F(ExportCsv, TheRangeOnlyCancelAndAnExistingFileLeaveNothingHalfDone) {
    Load({Write("261206-002-000101.adc", false, {0, 3})}, {101});
    const std::string out = (dir / "range.csv").string();
    SCsvExportOptions range;
    range.rangeOnly = true;
    range.from = 20;
    range.to = 10;  // given backwards: still seconds 10..20
    SCsvExportReport r = ExportBenchCsv(*bench, out, range);
    ASSERT_EQ(r.result, CsvExportResult::Written) << r.error;
    const auto rows = ReadCsv(out);
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[1][2], "10");
    EXPECT_EQ(rows[11][2], "20");

    std::ofstream(dir / "taken.csv") << "keep";
    r = ExportBenchCsv(*bench, (dir / "taken.csv").string(), {});
    EXPECT_EQ(r.result, CsvExportResult::Failed);
    EXPECT_NE(r.error.find("exists"), std::string::npos) << r.error;

    std::atomic<bool> cancel{true};
    r = ExportBenchCsv(*bench, (dir / "cancelled.csv").string(), {}, nullptr, &cancel);
    EXPECT_EQ(r.result, CsvExportResult::Cancelled);
    EXPECT_FALSE(fs::exists(dir / "cancelled.csv"));

    range.from = 100;
    range.to = 200;
    r = ExportBenchCsv(*bench, (dir / "empty.csv").string(), range);
    EXPECT_EQ(r.result, CsvExportResult::NoData);
    EXPECT_FALSE(fs::exists(dir / "empty.csv"));
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 3) << "the input, range.csv and taken.csv: no temporary file left";
}

}  // namespace
}  // namespace dravmer
