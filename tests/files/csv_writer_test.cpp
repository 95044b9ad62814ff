#include "files/csv_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

#include "files/experiment_time.h"
#include "files/file_format.h"
#include "test_util.h"

namespace dravmer {
namespace {
using namespace testing_files;

// Sets TZ for one test and puts the old value back.
class ScopedTz {
public:
    explicit ScopedTz(const char* tz) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old) m_old = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTz() {
        if (m_had)
            ::setenv("TZ", m_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

std::vector<std::string> Lines(const std::string& text, const std::string& end = "\n") {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t e = text.find(end, at);
        if (e == std::string::npos) e = text.size();
        lines.push_back(text.substr(at, e - at));
        at = e + end.size();
    }
    return lines;
}

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, sep);) cells.push_back(cell);
    if (!line.empty() && line.back() == sep) cells.push_back("");
    return cells;
}

TEST(CsvValues, FloatsAndDecimalsGetTheShortestTextThatReadsBack) {
    // The float an .adc holds for 29.956556: widened to double it would print 29.95655632019043.
    const double stored = static_cast<double>(29.956556f);
    EXPECT_EQ(CCsvWriter::FormatValue(stored, 3, CsvValues::kFloat, false), "29.956556");
    EXPECT_EQ(CCsvWriter::FormatValue(stored, 3, CsvValues::kFloat, true), "29,956556");
    // A .txt value of six decimals: trailing zeros go, nothing else changes.
    EXPECT_EQ(CCsvWriter::FormatValue(19.93, 3, CsvValues::kDouble, false), "19.93");
    EXPECT_EQ(CCsvWriter::FormatValue(-0.000123, 3, CsvValues::kDouble, false), "-0.000123");
    EXPECT_EQ(CCsvWriter::FormatValue(1234567.125, 3, CsvValues::kDouble, false), "1234567.125");
    // The integer parameters as plain integers (Cст too: pandas reads it as a number).
    EXPECT_EQ(CCsvWriter::FormatValue(0xA3F1, 2, CsvValues::kFloat, false), "41969");
    EXPECT_EQ(CCsvWriter::FormatValue(86399, 0, CsvValues::kFloat, false), "86399");
    EXPECT_EQ(CCsvWriter::FormatValue(std::nan(""), 3, CsvValues::kFloat, false), "");
    EXPECT_EQ(CCsvWriter::FormatValue(-INFINITY, 3, CsvValues::kDouble, false), "-inf");

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> small(-1000.0f, 1000.0f);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int i = 0; i < 20000; ++i) {
        float f = small(rng);
        if (i % 2) {  // any finite float, however large or tiny
            std::uint32_t b = bits(rng);
            std::memcpy(&f, &b, 4);
            if (!std::isfinite(f)) continue;
        }
        const std::string text =
            CCsvWriter::FormatValue(static_cast<double>(f), 3, CsvValues::kFloat, false);
        ASSERT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
        // Never longer than the nine significant digits a float needs.
        ASSERT_LE(text.size(), 15u) << text;
    }
}

// ISO 8601 with the offset for the tools that keep it; local time alone for a spreadsheet, which
// takes a time with an offset for text.
TEST(CsvDateTime, IsLocalTimeWithItsOffsetFromUtcOrAloneForASpreadsheet) {
    const std::time_t t = 1796540703;  // 2026-12-06 07:05:03 UTC
    {
        ScopedTz tz("MSK-3");
        EXPECT_EQ(IsoLocalDateTime(t), "2026-12-06T10:05:03+03:00");
        EXPECT_EQ(SpreadsheetLocalDateTime(t), "2026-12-06 10:05:03");
    }
    {
        ScopedTz tz("UTC0");
        EXPECT_EQ(IsoLocalDateTime(t), "2026-12-06T07:05:03+00:00");
        EXPECT_EQ(SpreadsheetLocalDateTime(t), "2026-12-06 07:05:03");
    }
    {
        ScopedTz tz("NST3:30");  // west of Greenwich, half an hour in the offset
        EXPECT_EQ(IsoLocalDateTime(t), "2026-12-06T03:35:03-03:30");
        EXPECT_EQ(SpreadsheetLocalDateTime(t), "2026-12-06 03:35:03");
    }
}

// The start a .txt file's rows take: its last write less the last record's время on the day its
// name gives, else that day at noon.
TEST(CsvTxtStart, LastWriteLessTheLastSecondOnTheNamedDayElseNoon) {
    ScopedTz tz("MSK-3");
    const std::time_t written = 1796542200;  // 2026-12-06 10:30:00 in Moscow
    EXPECT_EQ(IsoLocalDateTime(TxtStartTime(written, 1800, "261206-007-000101.txt")),
              "2026-12-06T10:00:00+03:00");
    // Copied a day later: the named day at noon.
    EXPECT_EQ(IsoLocalDateTime(TxtStartTime(written + 86400, 1800, "261206-007-000101.txt")),
              "2026-12-06T12:00:00+03:00");
    // Started before midnight of the day before its name: noon of the named day too.
    EXPECT_EQ(IsoLocalDateTime(TxtStartTime(written, 40000, "261206-007-000101.txt")),
              "2026-12-06T12:00:00+03:00");
}

class CsvWriterTest : public ::testing::Test {
protected:
    std::string Write(const SCsvOptions& options, const std::vector<int>& columns,
                      const std::vector<SCsvSource>& sources) {
        std::string text;
        CCsvWriter w(columns, options, [&](std::string_view s) {
            text.append(s);
            return true;
        });
        EXPECT_TRUE(w.WriteHeader());
        for (const auto& s : sources) EXPECT_TRUE(w.WriteRows(s));
        rows = w.Rows();
        return text;
    }
    std::uint64_t rows = 0;
};

TEST_F(CsvWriterTest, RowsCarryDatetimeAddressAndTheColumnsOfTheirSource) {
    ScopedTz tz("MSK-3");
    CDeviceData a, b;
    Fill(a, 3);
    Fill(b, 2);
    SCsvSource sa{&a, 12345u, 1796540703, CsvValues::kDouble};
    SCsvSource sb{&b, std::nullopt, 1796540703 + 3600, CsvValues::kDouble};
    sb.has[0] = sb.has[3] = true;  // the second file holds время and UG only
    const std::string text = Write({}, {0, 2, 3, 7}, {sa, sb});
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "datetime,address,время,Cст,UG,IG");
    auto first = Split(lines[1], ',');
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(first[0], "2026-12-06T10:05:03+03:00");
    EXPECT_EQ(first[1], "12345");
    EXPECT_EQ(first[2], "0");
    EXPECT_EQ(first[3], "41969");
    EXPECT_EQ(std::strtod(first[4].c_str(), nullptr), a.GetSample(0).ug);
    EXPECT_EQ(Split(lines[3], ',')[0], "2026-12-06T10:05:05+03:00");  // start + время 2
    auto other = Split(lines[5], ',');
    ASSERT_EQ(other.size(), 6u);
    EXPECT_EQ(other[0], "2026-12-06T11:05:04+03:00");
    EXPECT_EQ(other[1], "") << "no address known";
    EXPECT_EQ(other[3], "") << "Cст is not in the second source";
    EXPECT_NE(other[4], "");
    EXPECT_EQ(other[5], "");
    EXPECT_EQ(rows, 5u);
}

TEST_F(CsvWriterTest, ExcelGetsBomSemicolonsDecimalCommaLocalTimeAndUnitsRow) {
    ScopedTz tz("MSK-3");
    CDeviceData a;
    CMeasRecord r;
    r.time = 5;
    r.ug = static_cast<double>(29.956556f);
    r.tempProc = 21.5;
    a.AddSample(r);
    SCsvOptions o;
    o.excel = true;
    o.units = true;
    const std::string text = Write(o, {0, 3, 33}, {{&a, 7u, 1796540703, CsvValues::kFloat}});
    ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
    const auto lines = Lines(text.substr(3), "\r\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "datetime;address;время;UG;Temp пр");
    EXPECT_EQ(lines[1], ";;;мкВ;°С");
    const auto cells = Split(lines[2], ';');
    ASSERT_EQ(cells.size(), 5u);
    EXPECT_EQ(cells[0], "2026-12-06 10:05:08") << "local time without its offset";
    EXPECT_EQ(cells[1], "7");
    EXPECT_EQ(cells[2], "5");
    EXPECT_EQ(cells[3], "29,956556");
    EXPECT_EQ(cells[4], "21,5");
    EXPECT_EQ(text.find('.'), std::string::npos) << "no decimal point anywhere";
}

TEST_F(CsvWriterTest, ARangeWritesOnlyItsRecordsAndASinkFailureStops) {
    CDeviceData a;
    Fill(a, 10);
    SCsvSource s{&a, 1u, 0, CsvValues::kDouble};
    s.first = 4;
    s.last = 7;
    auto lines = Lines(Write({}, {0}, {s}));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Split(lines[1], ',')[2], "4");
    EXPECT_EQ(Split(lines[3], ',')[2], "6");

    int calls = 0;
    CCsvWriter failing({0}, {}, [&](std::string_view) { return ++calls == 1; });
    EXPECT_TRUE(failing.WriteHeader());
    EXPECT_FALSE(failing.WriteRows({&a, 1u, 0, CsvValues::kDouble}));

    CCsvWriter cancelled({0}, {}, [](std::string_view) { return true; });
    EXPECT_FALSE(cancelled.WriteRows({&a, 1u, 0, CsvValues::kDouble}, [](int) { return false; }));
    EXPECT_TRUE(cancelled.Cancelled());
}

TEST(CsvColumns, UnionKeepsCatalogueOrderAndHeadersAreReadAlone) {
    EXPECT_EQ(UnionOfColumns({{0, 3, 7}, {0, 1, 3, -1, 50}, {}}), (std::vector<int>{0, 1, 3, 7}));
    TempDir dir;
    CDeviceData store;
    Fill(store, 5);
    SFileOptions options;
    const std::vector<int> columns{0, 1, 2, 3, 12, 33};
    ASSERT_EQ(SaveStoreAs(store, dir / "a.adc", false, columns, options), 0);
    // A text file needs 1024 bytes to be an experiment file; the header alone is enough here.
    ASSERT_EQ(SaveStoreAs(store, dir / "a.txt", true, columns, options), 0);
    std::vector<int> read;
    std::string error;
    ASSERT_TRUE(ReadFileColumns(dir / "a.adc", read, error)) << error;
    EXPECT_EQ(read, columns);
    ASSERT_TRUE(ReadFileColumns(dir / "a.txt", read, error)) << error;
    EXPECT_EQ(read, columns) << "names with one inner blank (t пр, Temp пр) stay whole";
    WriteAll(dir / "bad.adc", "short");
    EXPECT_FALSE(ReadFileColumns(dir / "bad.adc", read, error));
    EXPECT_NE(error.find("124-byte"), std::string::npos);
    EXPECT_FALSE(ReadFileColumns(dir / "none.txt", read, error));
}

TEST(NewFile, AppearsOnlyWhenWholeAndNeverReplacesAFile) {
    TempDir dir;
    const std::string path = dir / "out.csv";
    std::string error;
    {
        CNewFile f;
        ASSERT_TRUE(f.Open(path, error)) << error;
        ASSERT_TRUE(f.Write("a,b\n"));
        EXPECT_FALSE(std::filesystem::exists(path)) << "not visible before it is whole";
    }  // abandoned: nothing left behind
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                            std::filesystem::directory_iterator()),
              0);
    CNewFile f;
    ASSERT_TRUE(f.Open(path, error));
    ASSERT_TRUE(f.Write("a,b\n1,2\n"));
    ASSERT_TRUE(f.Commit(error)) << error;
    EXPECT_EQ(ReadAll(path), "a,b\n1,2\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0044, 0u) << "made like any new file, not owner-only";

    CNewFile again;
    EXPECT_FALSE(again.Open(path, error));
    EXPECT_NE(error.find("exists"), std::string::npos);
    // A file that appears under the name while the export runs is not replaced either.
    CNewFile race;
    const std::string other = dir / "other.csv";
    ASSERT_TRUE(race.Open(other, error));
    race.Write("mine");
    WriteAll(other, "theirs");
    EXPECT_FALSE(race.Commit(error));
    EXPECT_EQ(ReadAll(other), "theirs");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                            std::filesystem::directory_iterator()),
              2);
}

}  // namespace
}  // namespace dravmer
