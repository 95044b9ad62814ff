#pragma once
// What the operator sets about the graphs, kept in the "GraphSettings" section, and the colour
// buttons' table with its most-recently-used ranks in "ColorData". Colours are 0x00BBGGRR.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "graph/graph_list.h"
#include "graph/graph_math.h"
#include "platform/settings_store.h"

namespace dravmer::graph {

inline constexpr const char* kGraphSection = "GraphSettings";
inline constexpr const char* kColorSection = "ColorData";
inline constexpr int kAxisSets = 5;
inline constexpr std::size_t kAxisSetBytes = kMaxCurves * 2 * sizeof(float);  // 400

struct SGraphSettings {
    std::uint32_t statBackground = 0xB8C5A9;
    std::uint32_t statAvg0 = 0xFF0000;
    std::uint32_t statAvg1 = 0x005500;
    std::uint32_t statMom0 = 0xFF8000;
    std::uint32_t statMom1 = 0x00A400;
    std::uint32_t gridColor = 0x000000;
    bool statMomEnable = false;
    std::uint32_t background = 0x8CB4D2;
    int cellsHoriz = 8;  // horizontal lines = cells + 1
    bool autoPlace = true;
    std::uint32_t selectionColor = 0xFFFFFF;
    bool selectionBand = false;
    bool timeAxes = false;
    std::string comments = kDefaultCaption;

    bool operator==(const SGraphSettings&) const = default;
};

inline constexpr int kMinCells = 2;
inline constexpr int kMaxCells = 20;

// Reads every value with its default. The curve list is rebuilt from the stored triples: a
// device index not below deviceCount or a parameter of 43 or more is skipped; the others keep
// their slots. The 50 slot colours go into the list.
SGraphSettings LoadGraphSettings(const ISettingsStore& store, int deviceCount, CGraphList& list);
void SaveGraphSettings(ISettingsStore& store, const SGraphSettings& s, const CGraphList& list);
// The caption text saved and loaded by the comment dialog's buttons.
std::string LoadComments(const ISettingsStore& store);
void SaveComments(ISettingsStore& store, const std::string& text);

// Stored value axes (slot 0..4): 50 pairs of 32-bit floats (min, max).
struct SAxisSet {
    std::array<double, kMaxCurves> min{}, max{};
};
void SaveAxisSet(ISettingsStore& store, int slot, const SAxisSet& set);
// nullopt when the slot was never saved or holds a value of another length than 400 bytes.
std::optional<SAxisSet> LoadAxisSet(const ISettingsStore& store, int slot);

// ---- colour button table ----
inline constexpr int kTableColors = 20;
struct SColorTable {
    std::array<std::uint32_t, kTableColors> colors{};
    std::array<std::uint8_t, kTableColors> ranks{};  // 1 = most recently chosen

    static SColorTable Defaults();
    // Makes a colour the most recently chosen: an entry that holds it, or the entry of rank 20
    // replaced by it. Returns the entry's index.
    int Choose(std::uint32_t color);
    // The entry of a colour, or -1.
    int IndexOf(std::uint32_t color) const;
};
SColorTable LoadColorTable(const ISettingsStore& store);
void SaveColorTable(ISettingsStore& store, const SColorTable& t);
// The name of one of the 16 standard colours, or empty.
std::string StandardColorName(std::uint32_t color);

}  // namespace dravmer::graph
