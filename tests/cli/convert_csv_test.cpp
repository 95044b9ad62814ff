// convert to CSV: the table the lab's tools read, from .adc and .txt files, to a file or to
// standard output.
#include <gtest/gtest.h>
#include <utime.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "files/csv_writer.h"
#include "files/file_format.h"
#include "measure/device_data.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

struct Result {
    int code;
    std::string out, err;
};

Result Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = RunCli(args, out, err, std::make_unique<CMemorySettingsStore>(), Language::English);
    return {code, out.str(), err.str()};
}

std::string ReadAll(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> cells;
    std::size_t at = 0;
    for (;;) {
        std::size_t e = line.find(sep, at);
        cells.push_back(line.substr(at, e == std::string::npos ? e : e - at));
        if (e == std::string::npos) break;
        at = e + 1;
    }
    return cells;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

class ConvertCsv : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-csv-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        const char* tz = std::getenv("TZ");
        hadTz = tz != nullptr;
        if (tz) oldTz = tz;
        ::setenv("TZ", "MSK-3", 1);
        ::tzset();
    }
    void TearDown() override {
        fs::remove_all(dir);
        if (hadTz)
            ::setenv("TZ", oldTz.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

    // Twenty seconds of one device with values no float or six decimals hold exactly.
    std::string Write(const std::string& name, bool text, std::vector<int> columns = {},
                      std::time_t start = 1796540703) {
        CDeviceData store;
        for (int s = 0; s < 20; ++s) {
            CMeasRecord r = EmptyRecord();
            SetParam(r, 0, s);
            SetParam(r, 1, s + 100);
            SetParam(r, 2, 0x00A3);
            for (int i = 3; i < 43; ++i)
                if (!IsIntegerParam(i)) SetParam(r, i, 29.95655632 * i + s / 7.0);
            SetParam(r, 15, 5);
            store.AddSample(r);
        }
        store.SetStartTime(start);
        SFileOptions options;
        const std::string path = (dir / name).string();
        EXPECT_EQ(
            SaveStoreAs(store, path, text, columns.empty() ? options.Columns() : columns, options),
            0);
        return path;
    }

    fs::path dir;
    bool hadTz = false;
    std::string oldTz;
};

TEST_F(ConvertCsv, AnAdcGivesDatetimeAddressAndItsFloatsAsTheShortestText) {
    const auto adc = Write("261206-003-000042.adc", false);
    const auto csv = (dir / "day.csv").string();
    auto r = Cli({"convert", adc, csv});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.err.find("20 records of 1 file written to"), std::string::npos) << r.err;
    const auto lines = Lines(ReadAll(csv));
    ASSERT_EQ(lines.size(), 21u);
    const auto header = Split(lines[0], ',');
    ASSERT_EQ(header.size(), 45u);
    EXPECT_EQ(header[0], "datetime");
    EXPECT_EQ(header[1], "address");
    EXPECT_EQ(header[2 + 12], "t пр");
    // The header's start time (07:05:03 UTC) plus время 3, in local time with its offset.
    const auto row = Split(lines[4], ',');
    EXPECT_EQ(row[0], "2026-12-06T10:05:06+03:00");
    EXPECT_EQ(row[1], "42");
    EXPECT_EQ(row[2], "3");
    EXPECT_EQ(row[3], "103");
    EXPECT_EQ(row[4], "163");
    // Every value reads back to the very float in the file, and none is widened to double.
    CDeviceData store;
    ASSERT_EQ(LoadExperimentFile(store, adc), 1);
    const CMeasRecord rec = store.GetSample(3);
    for (int i = 3; i < 43; ++i) {
        const std::string& cell = row[static_cast<std::size_t>(2 + i)];
        if (IsIntegerParam(i)) continue;
        EXPECT_EQ(std::strtof(cell.c_str(), nullptr), static_cast<float>(GetParam(rec, i)))
            << i << " " << cell;
        EXPECT_LE(cell.size(), 10u) << i << " " << cell;
    }
    // A third smaller than the double text the writer used to print.
    EXPECT_LT(ReadAll(csv).size(), 20u * 43u * 14u);
}

TEST_F(ConvertCsv, ATxtKeepsItsSixDecimalsAndTakesTheStartFromItsLastWrite) {
    const auto txt = Write("261206-003-000042.txt", true);
    // Last written at 10:30:00 local with its last record at second 19: started at 10:29:41.
    const std::time_t lastWrite = 1796542200;
    utimbuf times{lastWrite, lastWrite};
    ASSERT_EQ(::utime(txt.c_str(), &times), 0);
    auto r = Cli({"convert", txt, "-"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 21u);
    const auto first = Split(lines[1], ',');
    EXPECT_EQ(first[0], "2026-12-06T10:29:41+03:00");
    const auto last = Split(lines[20], ',');
    EXPECT_EQ(last[0], "2026-12-06T10:30:00+03:00");
    // The file's own text: "%12.6f" of 29.95655632 * 3 + 0 is "89.869669"; as written, without
    // the zeros a six-decimal number may end in.
    EXPECT_EQ(first[2 + 3], "89.869669");
    EXPECT_EQ(first[4], "163") << "Cст, written in hexadecimal, as a number";
}

TEST_F(ConvertCsv, SeveralFilesMakeOneLongTableWithTheColumnsOfAll) {
    const auto a = Write("261206-003-000042.adc", false, {0, 1, 3});
    const auto b = Write("261206-003-000043.adc", false, {0, 3, 7}, 1796540703 + 60);
    auto r = Cli({"convert", a, b, "-"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[0], "datetime,address,время,Цикл,UG,IG");
    const auto fromA = Split(lines[20], ',');
    EXPECT_EQ(fromA[1], "42");
    EXPECT_EQ(fromA[3], "119");
    EXPECT_EQ(fromA[5], "") << "the first file holds no IG";
    const auto fromB = Split(lines[21], ',');
    EXPECT_EQ(fromB[0], "2026-12-06T10:06:03+03:00");
    EXPECT_EQ(fromB[1], "43");
    EXPECT_EQ(fromB[3], "") << "the second file holds no Цикл";
    EXPECT_NE(fromB[5], "");
    // Only CSV takes several inputs.
    EXPECT_EQ(Cli({"convert", a, b, (dir / "x.adc").string()}).code, kExitUsage);
}

TEST_F(ConvertCsv, ExcelAndUnitsOptionsShapeTheBytes) {
    const auto adc = Write("261206-003-000042.adc", false, {0, 3, 33});
    auto r = Cli({"convert", adc, "-", "--excel", "--units"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    ASSERT_EQ(r.out.rfind("\xEF\xBB\xBF"
                          "datetime;address;время;UG;Temp пр\r\n;;;мкВ;°С\r\n",
                          0),
              0u)
        << r.out.substr(0, 80);
    const std::string body = r.out.substr(r.out.find("°С\r\n") + 6);
    EXPECT_EQ(body.find('.'), std::string::npos);
    const auto cells = Split(body.substr(0, body.find("\r\n")), ';');
    ASSERT_EQ(cells.size(), 5u);
    EXPECT_EQ(cells[0], "2026-12-06 10:05:03") << "local time as a spreadsheet reads it";
    EXPECT_EQ(cells[3], "89,86967") << "UG with a decimal comma";
    EXPECT_EQ(Cli({"convert", adc, (dir / "x.txt").string(), "--excel"}).code, kExitUsage);
}

TEST_F(ConvertCsv, NothingIsOverwrittenAndAFailedInputLeavesNoTable) {
    const auto adc = Write("261206-003-000042.adc", false);
    const auto csv = (dir / "day.csv").string();
    std::ofstream(csv) << "keep me";
    auto r = Cli({"convert", adc, csv});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(csv), "keep me");

    const auto bad = (dir / "261206-003-000043.adc").string();
    std::ofstream(bad) << "not an experiment";
    const auto out = (dir / "two.csv").string();
    r = Cli({"convert", adc, bad, out});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("124-byte"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3)
        << "no temporary file left behind";
}

TEST_F(ConvertCsv, AFileWithoutAnAddressInItsNameLeavesTheAddressEmpty) {
    const auto adc = Write("calibration.adc", false, {0, 3});
    auto r = Cli({"convert", adc, "-"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.err.find("no device address"), std::string::npos) << r.err;
    EXPECT_EQ(Split(Lines(r.out)[1], ',')[1], "");
}

// What a lab engineer types: the CSV on standard output straight into pandas.
TEST_F(ConvertCsv, PandasReadsTheTableFromAPipeWithItsDatetimeAndAddress) {
    const auto adc = Write("261206-003-000042.adc", false);
    const std::string script =
        "import pandas, sys\n"
        "t = pandas.read_csv(sys.stdin, parse_dates=['datetime'])\n"
        "assert list(t.columns[:4]) == ['datetime', 'address', 'время', 'Цикл'], t.columns\n"
        "assert len(t) == 20 and (t['address'] == 42).all()\n"
        "assert str(t['datetime'][0]) == '2026-12-06 10:05:03+03:00', t['datetime'][0]\n"
        "assert abs(t['UG'][0] - 89.86967) < 1e-4, t['UG'][0]\n"
        "print('ok', t.shape[1])\n";
    std::ofstream(dir / "check.py") << script;
    const std::string cmd = std::string("TZ=MSK-3 '") + DRAVMER_CLI_PROGRAM + "' convert '" + adc +
                            "' - 2>/dev/null | /usr/bin/python3 '" + (dir / "check.py").string() +
                            "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[256] = {};
    std::string said;
    while (std::fgets(buf, sizeof buf, p)) said += buf;
    EXPECT_EQ(::pclose(p), 0) << said;
    EXPECT_EQ(said, "ok 45\n");
}

}  // namespace
}  // namespace dravmer::cli
