#include "graph/graph_settings.h"
#include "measure/param_index.h"

#include <algorithm>
#include <cstring>

namespace dravmer::graph {

namespace {

std::uint32_t GetColor(const ISettingsStore& s, const char* name, std::uint32_t def) {
    return static_cast<std::uint32_t>(s.GetInt(kGraphSection, name, static_cast<int>(def))) &
           0xFFFFFFu;
}
void SetColor(ISettingsStore& s, const char* name, std::uint32_t c) {
    s.SetInt(kGraphSection, name, static_cast<int>(c));
}
std::string Indexed(const char* fmt, int i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, i);
    return buf;
}

}  // namespace

SGraphSettings LoadGraphSettings(const ISettingsStore& store, int deviceCount, CGraphList& list) {
    SGraphSettings s;
    s.statBackground = GetColor(store, "crGraph1ColorFon", s.statBackground);
    s.statAvg0 = GetColor(store, "crGraph1ColorGr0", s.statAvg0);
    s.statAvg1 = GetColor(store, "crGraph1ColorGr1", s.statAvg1);
    s.statMom0 = GetColor(store, "crGraph1ColorGr0Mom", s.statMom0);
    s.statMom1 = GetColor(store, "crGraph1ColorGr1Mom", s.statMom1);
    s.gridColor = GetColor(store, "crGraphGridColor", s.gridColor);
    s.statMomEnable = (store.GetInt(kGraphSection, "bStatGraphMomEnable", 0) & 0xFF) != 0;
    s.background = GetColor(store, "m_crGraph2ColorFon", s.background);
    s.cellsHoriz = store.GetInt(kGraphSection, "m_nNumOfCellHoriz", s.cellsHoriz);
    // A stored count the page would refuse falls back to the default rather than drawing a
    // graph without lines or with more labels than an axis holds.
    if (s.cellsHoriz < kMinCells || s.cellsHoriz > kMaxCells) s.cellsHoriz = 8;
    s.autoPlace = store.GetInt(kGraphSection, "m_bAutoPlace", 1) != 0;
    s.selectionColor = GetColor(store, "m_crSelectionLineColor", s.selectionColor);
    s.selectionBand = store.GetInt(kGraphSection, "m_bSelectionMode", 0) != 0;
    s.timeAxes = store.GetInt(kGraphSection, "m_bTimeAxes", 0) != 0;
    s.comments = LoadComments(store);

    list.Clear();
    auto defaults = DefaultSlotColors();
    for (int i = 0; i < kSlotCount; ++i)
        list.SetSlotColor(i, GetColor(store, Indexed("m_crGraphNColor%d", i).c_str(),
                                      defaults[static_cast<std::size_t>(i)]));
    int n = std::clamp(store.GetInt(kGraphSection, "NumOfGraph", 0), 0, kSlotCount);
    for (int pos = 0; pos < n; ++pos) {
        int dev = store.GetInt(kGraphSection, Indexed("GrInfoDeviceID%d", pos), 0);
        int par = store.GetInt(kGraphSection, Indexed("GrInfoParameter%d", pos), 3);
        int slot = store.GetInt(kGraphSection, Indexed("GrInfoGraphID%d", pos), pos);
        if (dev < 0 || dev >= deviceCount || par < 0 || par >= kParamCount) continue;
        list.Put(dev, par, slot);
    }
    return s;
}

void SaveGraphSettings(ISettingsStore& store, const SGraphSettings& s, const CGraphList& list) {
    SetColor(store, "crGraph1ColorFon", s.statBackground);
    SetColor(store, "crGraph1ColorGr0", s.statAvg0);
    SetColor(store, "crGraph1ColorGr1", s.statAvg1);
    SetColor(store, "crGraph1ColorGr0Mom", s.statMom0);
    SetColor(store, "crGraph1ColorGr1Mom", s.statMom1);
    SetColor(store, "crGraphGridColor", s.gridColor);
    store.SetInt(kGraphSection, "bStatGraphMomEnable", s.statMomEnable ? 1 : 0);
    SetColor(store, "m_crGraph2ColorFon", s.background);
    store.SetInt(kGraphSection, "m_nNumOfCellHoriz", s.cellsHoriz);
    store.SetInt(kGraphSection, "m_bAutoPlace", s.autoPlace ? 1 : 0);
    SetColor(store, "m_crSelectionLineColor", s.selectionColor);
    store.SetInt(kGraphSection, "m_bSelectionMode", s.selectionBand ? 1 : 0);
    store.SetInt(kGraphSection, "m_bTimeAxes", s.timeAxes ? 1 : 0);
    store.SetInt(kGraphSection, "NumOfGraph", list.Count());
    for (int pos = 0; pos < list.Count(); ++pos) {
        SCurveRef c = list.At(pos);
        store.SetInt(kGraphSection, Indexed("GrInfoDeviceID%d", pos), c.device);
        store.SetInt(kGraphSection, Indexed("GrInfoParameter%d", pos), c.param);
        store.SetInt(kGraphSection, Indexed("GrInfoGraphID%d", pos), c.slot);
    }
    for (int i = 0; i < kSlotCount; ++i)
        SetColor(store, Indexed("m_crGraphNColor%d", i).c_str(), list.SlotColor(i));
}

std::string LoadComments(const ISettingsStore& store) {
    return store.GetString(kGraphSection, "strComments", kDefaultCaption);
}

void SaveComments(ISettingsStore& store, const std::string& text) {
    store.SetString(kGraphSection, "strComments", text);
}

void SaveAxisSet(ISettingsStore& store, int slot, const SAxisSet& set) {
    if (slot < 0 || slot >= kAxisSets) return;
    Bytes b(kAxisSetBytes);
    for (int k = 0; k < kMaxCurves; ++k) {
        float pair[2] = {static_cast<float>(set.min[static_cast<std::size_t>(k)]),
                         static_cast<float>(set.max[static_cast<std::size_t>(k)])};
        std::memcpy(b.data() + k * 8, pair, 8);  // little-endian floats, as always stored
    }
    store.SetBinary(kGraphSection, Indexed("m_fMinMax%d", slot), b);
}

std::optional<SAxisSet> LoadAxisSet(const ISettingsStore& store, int slot) {
    if (slot < 0 || slot >= kAxisSets) return std::nullopt;
    std::string name = Indexed("m_fMinMax%d", slot);
    if (!store.Contains(kGraphSection, name)) return std::nullopt;
    Bytes b = store.GetBinary(kGraphSection, name);
    if (b.size() != kAxisSetBytes) return std::nullopt;
    SAxisSet set;
    for (int k = 0; k < kMaxCurves; ++k) {
        float pair[2];
        std::memcpy(pair, b.data() + k * 8, 8);
        set.min[static_cast<std::size_t>(k)] = pair[0];
        set.max[static_cast<std::size_t>(k)] = pair[1];
    }
    return set;
}

SColorTable SColorTable::Defaults() {
    SColorTable t;
    t.colors = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000,
                0xC0C0C0, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF,
                0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    for (int i = 0; i < 10; ++i) t.ranks[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(1 + 2 * i);
    for (int i = 10; i < 20; ++i)
        t.ranks[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(20 - 2 * (i - 10));
    return t;
}

int SColorTable::IndexOf(std::uint32_t color) const {
    for (int i = 0; i < kTableColors; ++i)
        if (colors[static_cast<std::size_t>(i)] == color) return i;
    return -1;
}

int SColorTable::Choose(std::uint32_t color) {
    int idx = IndexOf(color);
    if (idx < 0) {
        // The least recently chosen entry gives way; a table without rank 20 (damaged ranks)
        // gives up its highest rank instead.
        idx = static_cast<int>(std::max_element(ranks.begin(), ranks.end()) - ranks.begin());
        colors[static_cast<std::size_t>(idx)] = color;
    }
    std::uint8_t old = ranks[static_cast<std::size_t>(idx)];
    for (auto& r : ranks)
        if (r < old) ++r;
    ranks[static_cast<std::size_t>(idx)] = 1;
    return idx;
}

SColorTable LoadColorTable(const ISettingsStore& store) {
    SColorTable t = SColorTable::Defaults();
    Bytes c = store.GetBinary(kColorSection, "ColorTable");
    Bytes r = store.GetBinary(kColorSection, "MRU");
    if (c.size() != 80) return t;
    for (int i = 0; i < kTableColors; ++i) {
        std::uint32_t v;
        std::memcpy(&v, c.data() + 4 * i, 4);
        t.colors[static_cast<std::size_t>(i)] = v & 0xFFFFFFu;
    }
    if (r.size() == 20) {
        // Only a permutation of 1..20 is taken; anything else keeps the default ranks.
        std::array<bool, 21> seen{};
        bool ok = true;
        for (auto v : r) {
            if (v < 1 || v > 20 || seen[v]) ok = false;
            else seen[v] = true;
        }
        if (ok) std::copy(r.begin(), r.end(), t.ranks.begin());
    }
    return t;
}

void SaveColorTable(ISettingsStore& store, const SColorTable& t) {
    Bytes c(80);
    for (int i = 0; i < kTableColors; ++i) {
        std::uint32_t v = t.colors[static_cast<std::size_t>(i)];
        std::memcpy(c.data() + 4 * i, &v, 4);
    }
    store.SetBinary(kColorSection, "ColorTable", c);
    store.SetBinary(kColorSection, "MRU", Bytes(t.ranks.begin(), t.ranks.end()));
}

std::string StandardColorName(std::uint32_t color) {
    static const std::pair<std::uint32_t, const char*> kNames[] = {
        {0x000000, "Black"}, {0x000080, "Maroon"}, {0x008000, "Green"},  {0x008080, "Olive"},
        {0x800000, "Navy"},  {0x800080, "Purple"}, {0x808000, "Teal"},   {0x808080, "Grey"},
        {0xC0C0C0, "Silver"}, {0x0000FF, "Red"},   {0x00FF00, "Lime"},   {0x00FFFF, "Yellow"},
        {0xFF0000, "Blue"},  {0xFF00FF, "Fushcia"}, {0xFFFF00, "Aqua"},  {0xFFFFFF, "White"}};
    for (const auto& [c, n] : kNames)
        if (c == color) return n;
    return {};
}

}  // namespace dravmer::graph
