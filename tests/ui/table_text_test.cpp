// The widget-free texts of the table pages and the debug window's scan.
#include <gtest/gtest.h>

#include "ui/tables/table_text.h"

namespace dravmer::ui {
namespace {

TEST(TableText, AddressesAreGroupedInThreesFromTheRight) {
    EXPECT_EQ(GroupedAddress(0), "0");
    EXPECT_EQ(GroupedAddress(101), "101");
    EXPECT_EQ(GroupedAddress(1234), "1 234");
    EXPECT_EQ(GroupedAddress(12345), "12 345");
    EXPECT_EQ(GroupedAddress(123456), "123 456");
    EXPECT_EQ(GroupedAddress(4294967295u), "4 294 967 295");
    EXPECT_EQ(ReceivedShareText(99.5), "100%");
    EXPECT_EQ(ReceivedShareText(0), "0%");
}

std::vector<std::string> Scan(std::initializer_list<std::pair<int, int>> cycleAndGvEr) {
    CDeviceData store;
    std::uint32_t t = 0;
    for (auto [cycle, gv] : cycleAndGvEr) {
        CMeasRecord r;
        r.time = t++;
        r.cycle = static_cast<std::uint8_t>(cycle);
        r.gvEr = static_cast<std::uint8_t>(gv);
        store.AddSample(r);
    }
    std::vector<std::string> lines;
    ScanForErrors(store, 12345, [&](const std::string& s) { lines.push_back(s); });
    return lines;
}

TEST(DebugScan, ResetLinesOnlyForARealFallOfTheCycleCounter) {
    // 240 -> 5 is the counter wrapping round; 100 -> 8 ends at or below 10: neither is a reset.
    EXPECT_EQ(Scan({{239, 0}, {240, 0}, {5, 0}, {6, 0}}).size(), 1u);
    EXPECT_EQ(Scan({{99, 0}, {100, 0}, {8, 0}}).size(), 1u);
    auto lines = Scan({{99, 0}, {100, 0}, {50, 0}, {51, 0}});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Прибор № 12345. Количество записей: 4\r\n");
    EXPECT_EQ(lines[1], "Reset event: 100-50   Time=2 c\r\n");
    // The previous value starts at 0: a first record never reads as a reset.
    EXPECT_EQ(Scan({{200, 0}}).size(), 1u);
    // At 250 and above the fall is not checked.
    EXPECT_EQ(Scan({{250, 0}, {100, 0}}).size(), 1u);
}

TEST(DebugScan, EveryNonZeroGvErIsListedWithItsSecond) {
    auto lines = Scan({{1, 0}, {2, 3}, {3, 0}, {4, 255}});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "GvErr=3   Time=1 c\r\n");
    EXPECT_EQ(lines[2], "GvErr=255   Time=3 c\r\n");
    std::atomic<bool> stop{true};
    CDeviceData store;
    std::vector<std::string> out;
    ScanForErrors(store, 1, [&](const std::string& s) { out.push_back(s); }, &stop);
    EXPECT_EQ(out.size(), 1u);
}

}  // namespace
}  // namespace dravmer::ui
