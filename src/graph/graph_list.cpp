#include "graph/graph_list.h"
#include "measure/param_index.h"

#include <algorithm>

namespace dravmer::graph {

std::array<std::uint32_t, kSlotCount> DefaultSlotColors() {
    return {0xFF0000, 0x0000FF, 0x00FF00, 0x800080, 0x2068FF, 0x005500, 0xC07B7B, 0xCB00FF,
            0xD0E040, 0x00FFFF, 0xFF8000, 0x804000, 0x8080FF, 0xFF80FF, 0xFF0080, 0x000080,
            0xFFFF80, 0x80FF00, 0x80FFFF, 0x808000, 0xC932CD, 0xAE9326, 0x9CB1E2, 0xA4DBC2,
            0x64639C, 0x7D1CB3, 0xF4958A, 0xE89A17, 0x8FEFDC, 0x4B0679, 0x15BF4D, 0xF2974D,
            0xC461C9, 0x41BE63, 0x9BBE10, 0xA65355, 0x5B07F8, 0x0EF18B, 0xCDF349, 0x1B4B65,
            0xB34D4F, 0x07CDB5, 0x964F9D, 0x447ED7, 0xCE0FF0, 0xCE5300, 0x207AD5, 0xFC0361,
            0xFE4755, 0x3E1BA5};
}

CGraphList::CGraphList() : m_colors(DefaultSlotColors()) {}

int CGraphList::Toggle(int device, int param) {
    for (std::size_t pos = 0; pos < m_order.size(); ++pos) {
        int slot = m_order[pos];
        const SSlot& s = m_slots[static_cast<std::size_t>(slot)];
        if (s.device == device && s.param == param) {
            m_slots[static_cast<std::size_t>(slot)].used = false;
            m_order.erase(m_order.begin() + static_cast<std::ptrdiff_t>(pos));
            m_lastRemoved = static_cast<int>(pos);
            return slot + kRemovedBase;
        }
    }
    if (device < 0 || device > 255 || param < 0 || param >= kParamCount) return kToggleFull;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        SSlot& s = m_slots[static_cast<std::size_t>(slot)];
        if (s.used) continue;
        s = {static_cast<std::uint8_t>(device), static_cast<std::uint8_t>(param), true};
        m_order.push_back(slot);
        return slot;
    }
    return kToggleFull;
}

bool CGraphList::Put(int device, int param, int slot) {
    if (slot < 0 || slot >= kSlotCount || device < 0 || device > 255 || param < 0 || param >= kParamCount)
        return false;
    SSlot& s = m_slots[static_cast<std::size_t>(slot)];
    // A slot named twice in the stored list keeps its first curve.
    if (s.used || m_order.size() >= kSlotCount) return false;
    s = {static_cast<std::uint8_t>(device), static_cast<std::uint8_t>(param), true};
    m_order.push_back(slot);
    return true;
}

void CGraphList::Clear() {
    for (auto& s : m_slots) s.used = false;
    m_order.clear();
}

void CGraphList::DropDevicesFrom(int n) {
    std::vector<int> kept;
    for (int slot : m_order) {
        SSlot& s = m_slots[static_cast<std::size_t>(slot)];
        if (s.device >= n) s.used = false;
        else kept.push_back(slot);
    }
    m_order = std::move(kept);
}

SCurveRef CGraphList::At(int position) const {
    if (position < 0 || position >= Count()) return {};
    int slot = m_order[static_cast<std::size_t>(position)];
    const SSlot& s = m_slots[static_cast<std::size_t>(slot)];
    return {s.device, s.param, slot};
}

int CGraphList::Find(int device, int param) const {
    for (int pos = 0; pos < Count(); ++pos) {
        SCurveRef c = At(pos);
        if (c.device == device && c.param == param) return pos;
    }
    return -1;
}

std::uint32_t CGraphList::ColorAt(int position) const { return SlotColor(At(position).slot); }

std::uint32_t CGraphList::SlotColor(int slot) const {
    return slot >= 0 && slot < kSlotCount ? m_colors[static_cast<std::size_t>(slot)] : 0;
}

void CGraphList::SetSlotColor(int slot, std::uint32_t color) {
    if (slot >= 0 && slot < kSlotCount) m_colors[static_cast<std::size_t>(slot)] = color;
}

bool CGraphList::Selection(int* first, int* last) const {
    std::lock_guard lock(m_selMutex);
    if (first) *first = m_selActive ? m_selFirst : 0;
    if (last) *last = m_selActive ? m_selLast : 0;
    return m_selActive;
}

void CGraphList::SetSelection(bool active, int first, int last) {
    std::lock_guard lock(m_selMutex);
    m_selActive = active;
    m_selFirst = active ? std::min(first, last) : 0;
    m_selLast = active ? std::max(first, last) : 0;
}

CGraphList& GraphList() {
    static CGraphList list;
    return list;
}

}  // namespace dravmer::graph
