#pragma once
// CGraphList: the curves of the time-series graph (up to 50 slots of device index, parameter
// and colour, shown in the order they were added) and the time range selected on the graph,
// which the statistics commands read. One instance for the program (GraphList()); it lives on
// the user-interface thread, but the selection may be read from anywhere.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace dravmer::graph {

inline constexpr int kSlotCount = 50;
inline constexpr int kToggleFull = -2;
inline constexpr int kRemovedBase = 100;  // toggle returns slot + 100 for a removed curve

struct SCurveRef {
    int device = 0;
    int param = 0;
    int slot = 0;
};

// Colours are stored as the settings keep them: red in the low byte (0x00BBGGRR).
std::array<std::uint32_t, kSlotCount> DefaultSlotColors();

class CGraphList {
public:
    CGraphList();

    // Removes the pair if it is shown (returns slot + 100), else adds it in the first free slot
    // (returns the slot) or returns kToggleFull.
    int Toggle(int device, int param);
    // Fills a given slot and appends it (loading the settings). False for a bad slot or param.
    bool Put(int device, int param, int slot);
    void Clear();
    // Drops every curve of a device index n or above, keeping the others in order.
    void DropDevicesFrom(int n);

    int Count() const { return static_cast<int>(m_order.size()); }
    SCurveRef At(int position) const;
    int Find(int device, int param) const;  // position, or -1
    std::uint32_t ColorAt(int position) const;
    std::uint32_t SlotColor(int slot) const;
    void SetSlotColor(int slot, std::uint32_t color);
    const std::array<std::uint32_t, kSlotCount>& SlotColors() const { return m_colors; }
    int LastRemovedPosition() const { return m_lastRemoved; }

    // ---- the selected time range (seconds of the experiment clock) ----
    // True with the range while a selection is active; (0, 0) otherwise.
    bool Selection(int* first, int* last) const;
    void SetSelection(bool active, int first, int last);

private:
    struct SSlot {
        std::uint8_t device = 0, param = 0;
        bool used = false;
    };
    std::array<SSlot, kSlotCount> m_slots{};
    std::array<std::uint32_t, kSlotCount> m_colors{};
    std::vector<int> m_order;
    int m_lastRemoved = -1;

    mutable std::mutex m_selMutex;
    bool m_selActive = false;
    int m_selFirst = 0, m_selLast = 0;
};

// The program's one list.
CGraphList& GraphList();

}  // namespace dravmer::graph
