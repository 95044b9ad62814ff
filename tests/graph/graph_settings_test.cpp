#include "graph/graph_settings.h"

#include <gtest/gtest.h>

namespace dravmer::graph {
namespace {

TEST(GraphList, ToggleFillsTheFirstFreeSlotAndRemovesByPosition) {
    CGraphList list;
    EXPECT_EQ(list.Toggle(0, 3), 0);
    EXPECT_EQ(list.Toggle(1, 3), 1);
    EXPECT_EQ(list.Toggle(0, 9), 2);
    EXPECT_EQ(list.Toggle(1, 3), 1 + kRemovedBase);
    EXPECT_EQ(list.LastRemovedPosition(), 1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.At(1).param, 9);
    // The freed slot is taken again, at the end of the order.
    EXPECT_EQ(list.Toggle(2, 4), 1);
    EXPECT_EQ(list.At(2).slot, 1);
    EXPECT_EQ(list.ColorAt(2), DefaultSlotColors()[1]);
}

TEST(GraphList, FullListRefusesAndDroppedDevicesKeepTheOthersInOrder) {
    CGraphList list;
    for (int i = 0; i < kSlotCount; ++i) ASSERT_EQ(list.Toggle(i % 5, 3 + i / 5), i);
    EXPECT_EQ(list.Toggle(9, 40), kToggleFull);
    list.DropDevicesFrom(3);
    EXPECT_EQ(list.Count(), 30);
    for (int pos = 0; pos < list.Count(); ++pos) EXPECT_LT(list.At(pos).device, 3);
    EXPECT_EQ(list.At(3).slot, 5);  // device 0 of the second group, its slot kept
}

TEST(GraphList, SelectionIsReadAsAnOrderedRangeOrZero) {
    CGraphList list;
    int a = -1, b = -1;
    EXPECT_FALSE(list.Selection(&a, &b));
    EXPECT_EQ(a, 0);
    list.SetSelection(true, 500, 200);
    EXPECT_TRUE(list.Selection(&a, &b));
    EXPECT_EQ(a, 200);
    EXPECT_EQ(b, 500);
    list.SetSelection(false, 1, 2);
    EXPECT_FALSE(list.Selection(&a, &b));
    EXPECT_EQ(b, 0);
}

TEST(GraphSettingsStore, RoundTripKeepsSlotsColoursAndOptions) {
    CMemorySettingsStore store;
    CGraphList list;
    list.Toggle(0, 3);
    list.Toggle(2, 7);
    list.Toggle(1, 40);
    list.Toggle(2, 7);  // slot 1 freed: the next curve takes it
    list.Toggle(1, 5);
    list.SetSlotColor(1, 0x123456);
    SGraphSettings s;
    s.cellsHoriz = 12;
    s.selectionBand = true;
    s.timeAxes = true;
    s.background = 0x010203;
    s.statMomEnable = true;
    SaveGraphSettings(store, s, list);

    CGraphList back;
    SGraphSettings got = LoadGraphSettings(store, 3, back);
    EXPECT_EQ(got, s);
    ASSERT_EQ(back.Count(), 3);
    for (int pos = 0; pos < 3; ++pos) {
        EXPECT_EQ(back.At(pos).slot, list.At(pos).slot);
        EXPECT_EQ(back.At(pos).param, list.At(pos).param);
    }
    EXPECT_EQ(back.SlotColor(1), 0x123456u);
}

TEST(GraphSettingsStore, StoredCurvesOfMissingDevicesOrBadParametersAreDropped) {
    CMemorySettingsStore store;
    auto put = [&](int pos, int dev, int par, int slot) {
        store.SetInt(kGraphSection, "GrInfoDeviceID" + std::to_string(pos), dev);
        store.SetInt(kGraphSection, "GrInfoParameter" + std::to_string(pos), par);
        store.SetInt(kGraphSection, "GrInfoGraphID" + std::to_string(pos), slot);
    };
    store.SetInt(kGraphSection, "NumOfGraph", 4);
    put(0, 0, 3, 0);
    put(1, 5, 3, 1);   // device 5 of 2: dropped
    put(2, 1, 43, 2);  // parameter 43: dropped
    put(3, 1, 42, 3);
    store.SetInt(kGraphSection, "m_crGraphNColor3", 0xABCDEF);
    CGraphList list;
    LoadGraphSettings(store, 2, list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.At(1).slot, 3);
    EXPECT_EQ(list.At(1).param, 42);
    EXPECT_EQ(list.ColorAt(1), 0xABCDEFu);
}

TEST(GraphSettingsStore, DefaultsAndARefusedCellCount) {
    CMemorySettingsStore store;
    CGraphList list;
    SGraphSettings s = LoadGraphSettings(store, 0, list);
    EXPECT_EQ(s, SGraphSettings{});
    EXPECT_EQ(s.comments, "{Date}  -  Experiment: {Experiment}   ");
    store.SetInt(kGraphSection, "m_nNumOfCellHoriz", 1);
    EXPECT_EQ(LoadGraphSettings(store, 0, list).cellsHoriz, 8);
    store.SetInt(kGraphSection, "m_nNumOfCellHoriz", 20);
    EXPECT_EQ(LoadGraphSettings(store, 0, list).cellsHoriz, 20);
}

TEST(AxisSets, SavedSlotsRoundTripAsFloatsAndOthersAreIgnored) {
    CMemorySettingsStore store;
    EXPECT_FALSE(LoadAxisSet(store, 2).has_value());  // never saved
    SAxisSet set;
    for (int k = 0; k < kMaxCurves; ++k) {
        set.min[static_cast<std::size_t>(k)] = -k - 0.5;
        set.max[static_cast<std::size_t>(k)] = k * 2.25;
    }
    SaveAxisSet(store, 2, set);
    EXPECT_EQ(store.GetBinary(kGraphSection, "m_fMinMax2").size(), 400u);
    auto back = LoadAxisSet(store, 2);
    ASSERT_TRUE(back.has_value());
    EXPECT_DOUBLE_EQ(back->min[49], -49.5);
    EXPECT_DOUBLE_EQ(back->max[3], 6.75);
    store.SetBinary(kGraphSection, "m_fMinMax3", Bytes(399, 0));
    EXPECT_FALSE(LoadAxisSet(store, 3).has_value());
    store.SetBinary(kGraphSection, "m_fMinMax4", Bytes(800, 0));
    EXPECT_FALSE(LoadAxisSet(store, 4).has_value());
    EXPECT_FALSE(LoadAxisSet(store, 5).has_value());
}

TEST(ColorTable, ChoosingMovesTheEntryToRankOneAndReplacesTheOldest) {
    SColorTable t = SColorTable::Defaults();
    EXPECT_EQ(t.ranks[0], 1);
    EXPECT_EQ(t.ranks[9], 19);
    EXPECT_EQ(t.ranks[10], 20);
    EXPECT_EQ(t.ranks[19], 2);
    // An existing colour: ranks below its old rank move down by one.
    int idx = t.Choose(0xFFFFFF);  // entry 19, rank 2
    EXPECT_EQ(idx, 19);
    EXPECT_EQ(t.ranks[19], 1);
    EXPECT_EQ(t.ranks[0], 2);
    EXPECT_EQ(t.ranks[1], 3);  // rank above the old one: unchanged
    // A new colour replaces the entry of rank 20 (entry 10).
    idx = t.Choose(0x123456);
    EXPECT_EQ(idx, 10);
    EXPECT_EQ(t.colors[10], 0x123456u);
    EXPECT_EQ(t.ranks[10], 1);
    EXPECT_EQ(t.ranks[19], 2);
    std::array<bool, 21> seen{};
    for (auto r : t.ranks) {
        ASSERT_GE(r, 1);
        ASSERT_LE(r, 20);
        EXPECT_FALSE(seen[r]);
        seen[r] = true;
    }
}

TEST(ColorTable, RoundTripAndDamagedValuesFallBack) {
    CMemorySettingsStore store;
    SColorTable t = SColorTable::Defaults();
    t.Choose(0xABCDEF);
    SaveColorTable(store, t);
    SColorTable back = LoadColorTable(store);
    EXPECT_EQ(back.colors, t.colors);
    EXPECT_EQ(back.ranks, t.ranks);
    store.SetBinary(kColorSection, "MRU", Bytes(20, 1));  // not a ranking
    EXPECT_EQ(LoadColorTable(store).ranks, SColorTable::Defaults().ranks);
    store.SetBinary(kColorSection, "ColorTable", Bytes(12, 0));
    EXPECT_EQ(LoadColorTable(store).colors, SColorTable::Defaults().colors);
    EXPECT_EQ(StandardColorName(0x0000FF), "Red");
    EXPECT_EQ(StandardColorName(0x123456), "");
}

}  // namespace
}  // namespace dravmer::graph
