#include "ui/graphs/stat_graph_page.h"

#include <QTimer>
#include <QVBoxLayout>

#include "ui/graphs/graph_hub.h"
#include "ui/graphs/stat_graph_ctrl.h"
#include "ui/view_state.h"

namespace dravmer::ui {

CStatGraphPage::CStatGraphPage(SUiContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_hub(CGraphHub::For(ctx)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_graph = new CStatGraphCtrl(this);
    layout->addWidget(m_graph);
    ApplyColors();
    Refresh();
    m_graph->AutoRange();
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &CStatGraphPage::Refresh);
    connect(&m_hub, &CGraphHub::colorsChanged, this, &CStatGraphPage::ApplyColors);
    connect(&m_hub, &CGraphHub::statisticsRecomputed, this, &CStatGraphPage::Refresh);
    connect(&ctx.events, &CBenchEvents::experimentStarted, this,
            &CStatGraphPage::PrepareForExperiment);
    m_hub.statGraph = m_graph;
    if (ctx.view) {
        SetCurrentDevice(ctx.view->CurrentDevice());
        connect(ctx.view, &CViewState::currentDeviceChanged, this, &CStatGraphPage::SetCurrentDevice);
        connect(ctx.view, &CViewState::statisticsChanged, this, &CStatGraphPage::Refresh);
        connect(ctx.view, &CViewState::deviceListChanged, this, &CStatGraphPage::Refresh);
    }
}

void CStatGraphPage::SetCurrentDevice(int index) {
    m_device = std::max(0, index);
    Refresh();
    m_graph->AutoRange();
    m_graph->update();
}

void CStatGraphPage::ApplyColors() {
    const auto& s = m_hub.Settings();
    graph::SStatGraphStyle style;
    style.background = s.statBackground;
    style.grid = s.gridColor;
    style.text = s.gridColor;
    style.colors = {s.statAvg0, s.statAvg1, s.statMom0, s.statMom1};
    style.showLatest = s.statMomEnable;
    m_graph->SetStyle(style);
}

void CStatGraphPage::Refresh() {
    if (static_cast<std::size_t>(m_device) < m_ctx.bench.StoreCount())
        m_graph->SetData(StatGraphDataOf(m_ctx.bench.Data(static_cast<std::size_t>(m_device))));
    else
        m_graph->SetData({});
}

void CStatGraphPage::PrepareForExperiment() {
    m_graph->SetData({});
    m_timer->start();
}

void CStatGraphPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    m_timer->start();
}

void CStatGraphPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer->stop();
}

}  // namespace dravmer::ui
