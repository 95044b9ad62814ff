#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <set>
#include <string_view>

#include "measure/meas_record.h"
#include "measure/param_catalog.h"

namespace dravmer {
namespace {

TEST(MeasRecord, IntegerParamsAreTruncatedTowardZeroAndCutToTheirWidth) {
    CMeasRecord r;
    SetParam(r, 0, 12.9);
    SetParam(r, 1, 257.7);  // byte: 257 -> 1
    SetParam(r, 2, 70000);  // 16 bits: 70000 -> 4464
    SetParam(r, 15, -3.9);  // byte: -3 -> 253
    EXPECT_EQ(GetParam(r, 0), 12);
    EXPECT_EQ(GetParam(r, 1), 1);
    EXPECT_EQ(GetParam(r, 2), 4464);
    EXPECT_EQ(GetParam(r, 15), 253);
    SetParam(r, 0, std::numeric_limits<double>::quiet_NaN());
    SetParam(r, 2, 1e300);  // out of every integer range: no undefined conversion
    EXPECT_EQ(GetParam(r, 0), 0);
}

TEST(MeasRecord, EveryDoubleIndexHasItsOwnFieldAndBadIndicesAreInert) {
    CMeasRecord r;
    for (int i = 0; i < 43; ++i) SetParam(r, i, 100 + i + (IsIntegerParam(i) ? 0 : 0.25));
    CMeasRecord before = r;
    SetParam(r, 43, 5);
    SetParam(r, -1, 5);
    EXPECT_EQ(GetParam(r, 43), 0);
    EXPECT_EQ(GetParam(r, -1), 0);
    double all[43];
    GetAllParams(r, all);
    for (int i = 0; i < 43; ++i) {
        EXPECT_EQ(GetParam(r, i), 100 + i + (IsIntegerParam(i) ? 0 : 0.25)) << i;
        EXPECT_EQ(all[i], GetParam(r, i)) << i;
        EXPECT_EQ(GetParam(before, i), GetParam(r, i));
    }
    EXPECT_EQ(r.ug2_2, 106.25);  // index 6
    EXPECT_EQ(r.t2, 116.25);     // index 16
    EXPECT_EQ(r.ugi[9], 132.25);
    EXPECT_EQ(r.tempProc, 133.25);
}

TEST(ParamCatalog, KeepsTheExactTexts) {
    EXPECT_EQ(ParamName(0), "время   ");
    EXPECT_EQ(ParamNameTrimmed(0), "время");
    EXPECT_EQ(ParamName(2), "C\xd1\x81\xd1\x82");  // Latin C, Cyrillic ст
    EXPECT_EQ(ParamUnit(33), "\xc2\xb0\xd0\xa1");  // degree sign, Cyrillic С
    EXPECT_EQ(ParamName(27), "UG[4]");
    EXPECT_EQ(ParamDescription(32), "Измерение №10 в секунде сигнала с электродов");
    EXPECT_EQ(ParamDescription(3),
              "Сигнал на электродах \"осредненный\" по 10 измерениям в секунде");
    EXPECT_EQ(ParamUnit(37), "единиц");
    EXPECT_EQ(ParamUnit(5), "");
    EXPECT_EQ(FindParamByName("t пр"), 12);
    EXPECT_EQ(FindParamByName("Temp пр"), 33);
    EXPECT_EQ(FindParamByName("время"), 0);
    EXPECT_EQ(FindParamByName("Рез4"), -1);
    EXPECT_EQ(ParamName(43), "");
}

TEST(ParamCatalog, AliasesArePlainAsciiUniqueAndFoundLikeNames) {
    std::set<std::string_view> seen;
    for (int i = 0; i < 43; ++i) {
        const std::string_view alias = ParamAlias(i);
        ASSERT_FALSE(alias.empty()) << i;
        for (char c : alias)
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '_')
                << i << " " << alias;
        EXPECT_TRUE(seen.insert(alias).second) << "duplicate alias " << alias;
        EXPECT_EQ(FindParam(alias), i) << alias;
        EXPECT_EQ(FindParam(ParamNameTrimmed(i)), i) << i;
        // An alias must never name another parameter by its short name.
        const int byName = FindParamByName(alias);
        EXPECT_TRUE(byName < 0 || byName == i) << alias;
    }
    EXPECT_EQ(ParamAlias(2), "Cst");
    EXPECT_EQ(ParamAlias(8), "t_op");
    EXPECT_EQ(ParamAlias(25), "UG_2");  // not UG2, which is index 4
    EXPECT_EQ(FindParam("UG2"), 4);
    EXPECT_EQ(FindParam("Gi_20"), 37);
    EXPECT_EQ(FindParam("cst"), -1);  // aliases are matched exactly
    EXPECT_EQ(FindParam(""), -1);
    EXPECT_EQ(ParamAlias(43), "");
    // The reader of file headers keeps to the short names.
    EXPECT_EQ(FindParamByName("t_op"), -1);
}

TEST(ParamCatalog, FormatsTableCells) {
    EXPECT_EQ(FormatTableValue(0, 86399, 3), "86399");
    EXPECT_EQ(FormatTableValue(2, 0xA3, 3), "00A3");
    EXPECT_EQ(FormatTableValue(15, 7, 3), "7");
    EXPECT_EQ(FormatTableValue(3, 12.3456, 3), " 12.346");
    EXPECT_EQ(FormatTableValue(3, -12.3456, 0), "-12");
}

TEST(ParamCatalog, FileHeaderStartsWithTimeCycleAndState) {
    std::string header;
    for (int i = 0; i < 4; ++i) header += FileHeaderCell(i);
    EXPECT_EQ(header, "время Цикл  Cст          UG");
    EXPECT_EQ(FileHeaderCell(12), "        t пр");
}

TEST(ParamCatalog, FileCellsKeepTheirWidthsAndNeverTouchTheirNeighbour) {
    std::string line;
    AppendFileValue(line, 0, 5, 0);
    AppendFileValue(line, 1, 17, 0);
    AppendFileValue(line, 2, 0xA3, 0);
    AppendFileValue(line, 3, 1.5, 6);
    AppendFileValue(line, 15, 5, 6);
    EXPECT_EQ(line, "    5   17 00A3    1.500000    5");
    line.clear();
    AppendFileValue(line, 0, 123456, 0);   // first column: no gap needed
    AppendFileValue(line, 3, -1234.5, 6);  // 12 characters: one blank keeps the columns apart
    AppendFileValue(line, 4, 12345.5, 6);
    EXPECT_EQ(line, "123456 -1234.500000 12345.500000");
}

}  // namespace
}  // namespace dravmer
