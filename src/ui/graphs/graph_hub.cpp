#include "ui/graphs/graph_hub.h"

#include <QWidget>

#include "ui/view_state.h"

#include <algorithm>

namespace dravmer::ui {

CGraphHub& CGraphHub::For(SUiContext& ctx) {
    if (auto* hub = ctx.events.findChild<CGraphHub*>(QString(), Qt::FindDirectChildrenOnly))
        return *hub;
    return *new CGraphHub(ctx);
}

CGraphHub::CGraphHub(SUiContext& ctx) : QObject(&ctx.events), m_ctx(ctx) {
    m_settings = graph::LoadGraphSettings(ctx.settings, DeviceCount(), graph::GraphList());
    m_colors = graph::LoadColorTable(ctx.settings);
    caption = QString::fromStdString(m_settings.comments);
}

void CGraphHub::Save() {
    graph::SaveGraphSettings(m_ctx.settings, m_settings, graph::GraphList());
    graph::SaveColorTable(m_ctx.settings, m_colors);
    m_ctx.settings.Flush();
}

int CGraphHub::DeviceCount() const {
    // The stores follow the active list; the smaller of the two is what both can show.
    return static_cast<int>(std::min(m_ctx.bench.ActiveCount(),
                                     m_ctx.bench.StoreCount()));
}

std::vector<std::uint32_t> CGraphHub::Addresses() const {
    std::vector<std::uint32_t> out;
    const auto active = m_ctx.bench.ActiveDevices();
    const std::size_t count = static_cast<std::size_t>(DeviceCount());
    for (std::size_t i = 0; i < count && i < active.size(); ++i) out.push_back(active[i].address);
    return out;
}

std::vector<graph::SCurveSpec> CGraphHub::Curves() const {
    std::vector<graph::SCurveSpec> curves;
    const auto& list = graph::GraphList();
    const auto addresses = Addresses();
    for (int pos = 0; pos < list.Count(); ++pos) {
        graph::SCurveRef r = list.At(pos);
        graph::SCurveSpec c;
        c.param = r.param;
        c.slot = r.slot;
        c.color = list.SlotColor(r.slot);
        // A curve of a device the list no longer holds draws no records of whoever was there.
        auto dev = static_cast<std::size_t>(r.device);
        c.store = dev < addresses.size() ? &m_ctx.bench.Data(dev) : nullptr;
        c.address = dev < addresses.size() ? addresses[dev] : 0;
        curves.push_back(c);
    }
    return curves;
}

void CGraphHub::RecomputeStatistics() {
    int first = 0, last = 0;
    m_recomputeRange.reset();
    if (graph::GraphList().Selection(&first, &last))
        m_recomputeRange = CBench::SSecondRange{static_cast<std::uint32_t>(std::max(0, first)),
                                                static_cast<std::uint32_t>(std::max(0, last))};
    if (m_recompute.IsRunning()) {
        m_recomputeAgain = true;
        m_recompute.Cancel();
        return;
    }
    RunRecompute();
}

void CGraphHub::RunRecompute() {
    m_recomputeAgain = false;
    CBench& bench = m_ctx.bench;
    m_recompute.Start(
        [&bench, range = m_recomputeRange](CJobContext& job) {
            bench.RecomputeStatistics(range, {}, job.StopFlag());
        },
        [this] {
            if (m_recomputeAgain) {
                RunRecompute();
                return;
            }
            if (m_ctx.view) m_ctx.view->NotifyStatisticsChanged();
            emit statisticsRecomputed();
        });
}

}  // namespace dravmer::ui
