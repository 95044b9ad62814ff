#include "files/file_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "files/experiment_files.h"
#include "platform/cp1251.h"
#include "test_util.h"

namespace dravmer {
namespace {
using namespace testing_files;

std::string WriteThrough(CDeviceData& store, const TempDir& dir, bool text,
                         const SFileOptions& options = SFileOptions()) {
    std::string path = dir / (text ? "out.txt" : "out.adc");
    EXPECT_EQ(SaveStoreAs(store, path, text, options.Columns(), options), 0);
    return path;
}

TEST(AdcFile, HeaderIsByteExact) {
    std::string h = AdcHeader({0, 1, 3}, 1, 2, 1733400000);
    ASSERT_EQ(h.size(), 124u);
    EXPECT_EQ(std::string(h.data()), "Dravmer format .adc ; Firmware version: 01.02 ;");
    EXPECT_EQ(h[47], '\0');
    const unsigned char* u = reinterpret_cast<const unsigned char*>(h.data());
    EXPECT_EQ(u[48], 3);
    EXPECT_EQ(u[52] | u[53] << 8 | u[54] << 16 | u[55] << 24, 1733400000);
    EXPECT_EQ(u[60], 0);
    EXPECT_EQ(u[61], 1);
    EXPECT_EQ(u[62], 3);
    EXPECT_EQ(u[63], 0);
}

TEST(TxtFile, HeaderAndLinesAreByteExact) {
    CMeasRecord r;
    r.time = 12;
    r.cycle = 200;
    r.state = 0xA3;
    r.ug = -1.5;
    r.gvEr = 5;
    SFileOptions o;
    std::vector<int> cols{0, 1, 2, 3, 15};
    std::string h = TxtHeader(16, 1, 19.93, cols);
    EXPECT_EQ(h, "KG=16   KR=1   Ky=19.930000\r\n" +
                     Utf8ToCp1251("время Цикл  Cст          UG        GvEr") + "\r\n");
    std::string line;
    AppendTxtRecord(line, r, cols, o.fileDecimals);
    EXPECT_EQ(line, "   12  200 00A3   -1.500000    5\r\n");
}

TEST(AdcFile, RoundTripsByteForByte) {
    TempDir dir;
    CDeviceData a;
    a.SetFirmwareVersion(3, 14);
    Fill(a, 300);
    std::string first = WriteThrough(a, dir, false);
    CDeviceData b;
    SLoadReport rep;
    ASSERT_EQ(LoadExperimentFile(b, first, nullptr, &rep), 1) << rep.Summary();
    EXPECT_EQ(rep.records, 300);
    EXPECT_EQ(b.FirmwareMajor(), 3);
    EXPECT_EQ(b.StartTime(), a.StartTime());
    EXPECT_TRUE(b.IsLoadedFromFile());
    EXPECT_EQ(b.Title(), "out");
    TempDir dir2;
    std::string second = WriteThrough(b, dir2, false);
    EXPECT_EQ(ReadAll(first), ReadAll(second));
}

TEST(TxtFile, RoundTripsByteForByteIncludingStateWordAndGains) {
    TempDir dir;
    CDeviceData a;
    Fill(a, 300);
    std::string first = WriteThrough(a, dir, true);
    CDeviceData b;
    SLoadReport rep;
    ASSERT_EQ(LoadExperimentFile(b, first, nullptr, &rep), 1) << rep.Summary();
    EXPECT_EQ(rep.records, 300);
    EXPECT_EQ(rep.skippedLines, 0);
    EXPECT_EQ(b.GetSample(5).state, 0xA3F1);  // hex read back as hex
    EXPECT_EQ(b.GetSample(5).kg, 16);
    EXPECT_EQ(b.GetSample(9).gvEr, 1);
    EXPECT_NEAR(b.GetSample(9).ug, a.GetSample(9).ug, 5e-7);
    TempDir dir2;
    std::string second = WriteThrough(b, dir2, true);
    EXPECT_EQ(ReadAll(first), ReadAll(second));
}

TEST(TxtFile, WideValuesKeepTheirColumnsApart) {
    TempDir dir;
    CDeviceData a;
    for (int t = 0; t < 40; ++t) {
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(t);
        r.ug = -12345.678;  // 13 characters with six decimals
        r.ug2 = 98765.4321;
        a.AddSample(r);
    }
    std::string p = WriteThrough(a, dir, true);
    CDeviceData b;
    SLoadReport rep;
    ASSERT_EQ(LoadExperimentFile(b, p, nullptr, &rep), 1) << rep.Summary();
    EXPECT_EQ(rep.records, 40);
    EXPECT_DOUBLE_EQ(b.GetSample(3).ug, -12345.678);
    EXPECT_DOUBLE_EQ(b.GetSample(3).ug2, 98765.4321);
}

TEST(AdcFile, TruncatedAndDegenerateFilesLoadWhatIsWhole) {
    TempDir dir;
    CDeviceData a;
    Fill(a, 10);
    std::string p = WriteThrough(a, dir, false);
    std::string bytes = ReadAll(p);
    CDeviceData b;
    SLoadReport rep;

    WriteAll(dir / "cut.adc", bytes.substr(0, bytes.size() - 5));
    ASSERT_EQ(LoadExperimentFile(b, dir / "cut.adc", nullptr, &rep), 1);
    EXPECT_EQ(rep.records, 9);
    EXPECT_EQ(rep.ignoredBytes, 43u * 4 - 5);
    EXPECT_NE(rep.Summary().find("incomplete"), std::string::npos);

    WriteAll(dir / "empty.adc", bytes.substr(0, 124));
    ASSERT_EQ(LoadExperimentFile(b, dir / "empty.adc", nullptr, &rep), 1);
    EXPECT_EQ(b.GetCount(), 0);

    WriteAll(dir / "short.adc", bytes.substr(0, 123));
    EXPECT_EQ(LoadExperimentFile(b, dir / "short.adc", nullptr, &rep), 0);
    EXPECT_FALSE(rep.error.empty());

    std::string bad = bytes;
    bad[48] = 44;  // more columns than the identifier table can describe
    WriteAll(dir / "bad.adc", bad);
    EXPECT_EQ(LoadExperimentFile(b, dir / "bad.adc", nullptr, &rep), 0);
    EXPECT_NE(rep.error.find("column count"), std::string::npos);

    std::string none = bytes;
    std::memset(&none[48], 0, 4);  // no columns at all: nothing to divide records by
    WriteAll(dir / "none.adc", none);
    ASSERT_EQ(LoadExperimentFile(b, dir / "none.adc", nullptr, &rep), 1);
    EXPECT_EQ(b.GetCount(), 0);

    EXPECT_EQ(LoadExperimentFile(b, dir / "missing.adc", nullptr, &rep), 0);
    EXPECT_EQ(LoadExperimentFile(b, dir / "x.csv", nullptr, &rep), 0);
}

std::string TxtWith(const std::string& header, const std::vector<std::string>& lines) {
    std::string s = "KG=16   KR=1   Ky=19.930000\r\n" + Utf8ToCp1251(header) + "\r\n";
    for (const auto& l : lines) s += l + "\r\n";
    while (s.size() < 1100) s += "   99    1 0000    1.000000\r\n";  // keep it over 1024 bytes
    return s;
}

TEST(TxtFile, HeaderNamesMapOldAliasesAndSkipUnknownColumns) {
    TempDir dir;
    // "Флаг сост" is GvEr, "Рез4" is Рез3, "Bogus" is nobody and must not overwrite время.
    std::string head = "время Цикл  Cст   Флаг сост        Рез4       Bogus";
    WriteAll(dir / "a.txt", TxtWith(head, {"    7    3 00FF    4    2.500000   77.000000"}));
    CDeviceData s;
    SLoadReport rep;
    ASSERT_EQ(LoadExperimentFile(s, dir / "a.txt", nullptr, &rep), 1) << rep.Summary();
    EXPECT_EQ(rep.unknownColumns, 1);
    CMeasRecord r = s.GetSample(0);
    EXPECT_EQ(r.time, 7u);
    EXPECT_EQ(r.state, 0xFF);
    EXPECT_EQ(r.gvEr, 4);
    EXPECT_EQ(r.res3, 2.5);
    // Lines with another number of values than columns are reported, not half-loaded.
    EXPECT_GT(rep.skippedLines, 0);
}

TEST(TxtFile, RefusesShortFilesAndFilesWithoutTimeColumn) {
    TempDir dir;
    CDeviceData s;
    SLoadReport rep;
    std::string small =
        "KG=16   KR=1   Ky=19.930000\r\n" + Utf8ToCp1251("время Цикл") + "\r\n    1    1\r\n";
    WriteAll(dir / "small.txt", small);
    EXPECT_EQ(LoadExperimentFile(s, dir / "small.txt", nullptr, &rep), 0);
    EXPECT_NE(rep.error.find("1024"), std::string::npos);

    std::string noTime = TxtWith("Цикл  Cст", {"    1 0000"});
    WriteAll(dir / "notime.txt", noTime);
    EXPECT_EQ(LoadExperimentFile(s, dir / "notime.txt", nullptr, &rep), 0);
}

TEST(TxtFile, TruncatedLastLineAndGarbageLinesAreReported) {
    TempDir dir;
    CDeviceData a;
    Fill(a, 20);
    SFileOptions o;
    std::string p = dir / "a.txt";
    SaveStoreAs(a, p, true, o.Columns(), o);
    std::string bytes = ReadAll(p);
    std::string cut = bytes.substr(0, bytes.size() - 30);  // the last line loses its end
    std::size_t third = cut.find("\r\n", cut.find("\r\n", cut.find("\r\n") + 2) + 2);
    cut.insert(third + 2, "this is not a record\r\n");
    WriteAll(dir / "cut.txt", cut);
    CDeviceData b;
    SLoadReport rep;
    ASSERT_EQ(LoadExperimentFile(b, dir / "cut.txt", nullptr, &rep), 1);
    EXPECT_EQ(rep.records, 19);
    EXPECT_EQ(rep.skippedLines, 2);
    EXPECT_EQ(b.GetSample(18).time, 18u);
}

// The tokens of a line, and a line made of tokens again (columns are runs of blanks apart).
std::vector<std::string> Tokens(const std::string& line) {
    std::vector<std::string> out;
    std::size_t p = 0;
    while ((p = line.find_first_not_of(' ', p)) != std::string::npos) {
        std::size_t e = line.find(' ', p);
        if (e == std::string::npos) e = line.size();
        out.push_back(line.substr(p, e - p));
        p = e;
    }
    return out;
}

std::string Line(const std::vector<std::string>& tokens) {
    std::string s;
    for (const auto& t : tokens) s += "  " + t;
    return s;
}

TEST(TxtFile, LinesThatDoNotHoldTheHeadersNumbersAreSkippedAndCounted) {
    TempDir dir;
    CDeviceData a;
    Fill(a, 30);
    SFileOptions o;
    const std::string p = dir / "a.txt";
    ASSERT_EQ(SaveStoreAs(a, p, true, o.Columns(), o), 0);
    std::string bytes = ReadAll(p);
    // The fourth line is the record of second 1; variants of it go after the last record.
    std::size_t start = 0;
    for (int k = 0; k < 3; ++k) start = bytes.find("\r\n", start) + 2;
    const std::vector<std::string> good =
        Tokens(bytes.substr(start, bytes.find("\r\n", start) - start));
    ASSERT_EQ(good.size(), 43u);
    ASSERT_EQ(good[0], "1");
    auto variant = [&](std::size_t column, const std::string& token) {
        std::vector<std::string> t = good;
        t[column] = token;
        return Line(t) + "\r\n";
    };
    const std::vector<std::string> bad = {
        variant(0, "-5"),   // a negative time
        variant(0, "3.5"),  // a fraction of a second
        variant(0, "4294967296"),
        variant(1, "421"),    // a cycle counter beyond its byte
        variant(2, "1FFFF"),  // a state word beyond its 16 bits
        variant(2, "zz"),
        variant(5, "12abc"),  // a number with a tail
        variant(5, "--1"),
        variant(15, "-1"),  // GvEr
        Line(std::vector<std::string>(43, "word")) + "\r\n",
    };
    for (const auto& line : bad) bytes += line;
    bytes += variant(0, "30");  // a sound record after them still loads
    WriteAll(dir / "bad.txt", bytes);

    CDeviceData b;
    SLoadReport rep;
    ASSERT_EQ(LoadExperimentFile(b, dir / "bad.txt", nullptr, &rep), 1) << rep.Summary();
    EXPECT_EQ(rep.skippedLines, static_cast<int>(bad.size()));
    EXPECT_EQ(rep.records, 31);
    ASSERT_EQ(b.GetCount(), 31);
    for (int i = 0; i < b.GetCount(); ++i) EXPECT_LE(b.GetSample(i).time, 30u) << i;
    EXPECT_EQ(b.GetSample(30).time, 30u);
    EXPECT_NE(rep.Summary().find("10 lines that were not whole records skipped"), std::string::npos)
        << rep.Summary();
    // Signs, exponents and nan are numbers as the C library reads them.
    bytes = ReadAll(p) + variant(5, "+1.5e2") + variant(6, "nan");
    WriteAll(dir / "odd.txt", bytes);
    ASSERT_EQ(LoadExperimentFile(b, dir / "odd.txt", nullptr, &rep), 1);
    EXPECT_EQ(rep.skippedLines, 0);
    EXPECT_EQ(rep.records, 32);
}

// The reader converts fixed-point text itself and hands the rest to the C library: every shape
// of number reads as strtod reads it, to the bit, and a token that is no whole number is a line
// skipped, wherever the conversion stops.
TEST(TxtFile, NumbersOfEveryShapeReadAsTheCLibraryReadsThem) {
    TempDir dir;
    CDeviceData a;
    Fill(a, 3);
    SFileOptions o;
    const std::string p = dir / "a.txt";
    ASSERT_EQ(SaveStoreAs(a, p, true, o.Columns(), o), 0);
    std::string bytes = ReadAll(p);
    std::size_t start = 0;
    for (int k = 0; k < 3; ++k) start = bytes.find("\r\n", start) + 2;
    const std::vector<std::string> good =
        Tokens(bytes.substr(start, bytes.find("\r\n", start) - start));
    ASSERT_EQ(good.size(), 43u);
    const std::vector<std::string> numbers = {"0",
                                              "-0",
                                              "7",
                                              "12.",
                                              "-12.5",
                                              "0.000001",
                                              "-0.000001",
                                              "123456.789012",
                                              "999999999999999",
                                              "99999999999999.9",
                                              "1234567890123456",
                                              "0.1234567890123456789",
                                              "-98765432109876543210",
                                              ".5",
                                              "-.5",
                                              "+1.5",
                                              "1e3",
                                              "-2.5E-3",
                                              "12.5e1",
                                              "inf",
                                              "0x10",
                                              "3.14159265358979",
                                              "1000000000000000000000000000000.0001"};
    const std::vector<std::string> words = {"1.2.3", "-",  ".",    "-.", "1-2", "12a",
                                            "--1",   "1e", "0.5x", "+",  "e5",  "1..2"};
    std::string lines;
    std::uint32_t second = 100;
    auto line = [&](const std::string& token) {
        std::vector<std::string> t = good;
        t[0] = std::to_string(second++);
        t[3] = token;  // UG
        lines += Line(t) + "\r\n";
    };
    for (const auto& n : numbers) line(n);
    for (const auto& w : words) line(w);
    WriteAll(dir / "shapes.txt", bytes + lines);

    CDeviceData b;
    SLoadReport rep;
    ASSERT_EQ(LoadExperimentFile(b, dir / "shapes.txt", nullptr, &rep), 1) << rep.Summary();
    EXPECT_EQ(rep.skippedLines, static_cast<int>(words.size()));
    ASSERT_EQ(b.GetCount(), static_cast<int>(3 + numbers.size()));
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        const double want = std::strtod(numbers[k].c_str(), nullptr);
        const double got = GetParam(b.GetSample(static_cast<int>(3 + k)), param::kUG);
        EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0)
            << numbers[k] << ": " << got << " instead of " << want;
    }
}

TEST(AdcFile, RecordsWithImpossibleIntegerValuesAreSkippedAndCounted) {
    TempDir dir;
    CDeviceData a;
    Fill(a, 10);
    std::string bytes = ReadAll(WriteThrough(a, dir, false));
    // Columns 0 (время) and 1 (Цикл) of records 2, 4 and 6.
    auto put = [&](int record, int column, float v) {
        std::memcpy(&bytes[124 + static_cast<std::size_t>(record * 43 + column) * 4], &v, 4);
    };
    put(2, 0, -5.0f);
    put(4, 1, 421.0f);
    put(6, 0, 2.5f);
    WriteAll(dir / "bad.adc", bytes);
    CDeviceData b;
    SLoadReport rep;
    ASSERT_EQ(LoadExperimentFile(b, dir / "bad.adc", nullptr, &rep), 1);
    EXPECT_EQ(rep.records, 7);
    EXPECT_EQ(rep.skippedRecords, 3);
    for (int i = 0; i < b.GetCount(); ++i) EXPECT_LT(b.GetSample(i).time, 10u);
    EXPECT_NE(rep.Summary().find("3 records with impossible values skipped"), std::string::npos);
}

TEST(Loading, ReportsProgressAndStopsOnCancel) {
    TempDir dir;
    CDeviceData a;
    Fill(a, 2000);  // over one 128 KB block in either format
    SFileOptions o;
    SaveStoreAs(a, dir / "a.adc", false, o.Columns(), o);
    std::vector<int> seen;
    CDeviceData b;
    ASSERT_EQ(LoadExperimentFile(b, dir / "a.adc",
                                 [&](int p) {
                                     seen.push_back(p);
                                     return true;
                                 }),
              1);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    // The running statistics come with the load.
    EXPECT_EQ(b.GetStatState().n, 2000);
    EXPECT_NEAR(b.GetStatValue(StatKind::Average, 3), a.GetStatValue(StatKind::Average, 3), 1e-4);

    SLoadReport rep;
    int calls = 0;
    EXPECT_EQ(LoadExperimentFile(
                  b, dir / "a.adc", [&](int) { return ++calls < 2; }, &rep),
              0);
    EXPECT_TRUE(rep.cancelled);
    EXPECT_GT(b.GetCount(), 0);
    EXPECT_LT(b.GetCount(), 2000);
}

}  // namespace
}  // namespace dravmer
