#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include "platform/cp1251.h"

namespace dravmer {
namespace {

TEST(CNumberParsing, MalformedTextGivesZeroAndPrefixesCount) {
    EXPECT_EQ(ParseCInt("abc"), 0);
    EXPECT_EQ(ParseCInt(" 42xyz"), 42);
    EXPECT_DOUBLE_EQ(ParseCDouble("19.93"), 19.93);
    EXPECT_DOUBLE_EQ(ParseCDouble("1,5"), 1.0) << "comma is not a decimal point";
    EXPECT_DOUBLE_EQ(ParseCDouble(""), 0.0);
    EXPECT_EQ(ParseCUnsigned("4294967295"), 4294967295u);
}

TEST(MemorySettingsStore, MissingValuesGiveDefaultsAndTextReadsAsNumberLikeC) {
    CMemorySettingsStore s;
    EXPECT_EQ(s.GetInt("A", "x", 17), 17);
    EXPECT_EQ(s.GetString("A", "y", "d"), "d");
    s.SetString("A", "x", "12abc");
    EXPECT_EQ(s.GetInt("A", "x", 17), 12);
    s.SetBinary("A", "b", {0, 255, 10});
    EXPECT_EQ(s.GetBinary("A", "b"), (Bytes{0, 255, 10}));
    EXPECT_TRUE(s.Contains("A", "b"));
    EXPECT_FALSE(s.Contains("B", "b"));
}

TEST(HexBytes, RoundTripsAndRejectsOddOrNonHexText) {
    EXPECT_EQ(BytesToHex({0x0A, 0xFF}), "0AFF");
    EXPECT_EQ(*HexToBytes("0aff"), (Bytes{0x0A, 0xFF}));
    EXPECT_FALSE(HexToBytes("ABC"));
    EXPECT_FALSE(HexToBytes("zz"));
}

TEST(Cp1251, RoundTripsCyrillicAndMarksWhatItCannotCarry) {
    const std::string utf8 = "Температура °С, время №1";
    const std::string cp = Utf8ToCp1251(utf8);
    EXPECT_EQ(static_cast<unsigned char>(cp[0]), 0xD2);  // Т
    EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
    EXPECT_EQ(Utf8ToCp1251("中"), "?");
    EXPECT_EQ(Utf8ToCp1251(std::string("\xD0", 1)), "?") << "a cut sequence does not read past the end";
    EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace dravmer
