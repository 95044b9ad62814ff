#include "ui/graphs/graphic_ctrl.h"

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "graph/graph_list.h"
#include "measure/device_data.h"
#include "ui/qt_translations.h"

namespace dravmer::ui {

using namespace graph;

CGraphicCtrl::CGraphicCtrl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    setMouseTracking(false);
    setFocusPolicy(Qt::ClickFocus);
    setAccessibleName(tr("График показаний"));
    for (auto& a : m_state.axes) a = SAxis{-4.0, 2.66666666, 1.0, 0};
    m_state.window = MakeTimeWindow(0, 2000, m_state.vLines);
    m_state.language = UiLanguage();
}

void CGraphicCtrl::SetCurves(std::vector<SCurveSpec> curves) {
    if (curves.size() > static_cast<std::size_t>(kMaxCurves)) curves.resize(kMaxCurves);
    m_curves = std::move(curves);
    if (m_state.selectedCurve >= CurveCount()) m_state.selectedCurve = -1;
    update();
}

void CGraphicCtrl::SetHorizontalLines(int lines) {
    m_state.hLines = std::clamp(lines, 2, kMaxLabels + 1);
    update();
}

void CGraphicCtrl::SetVerticalLines(int lines) {
    m_state.vLines = std::clamp(lines, 2, 50);
    update();
}

void CGraphicCtrl::SetTimeWindow(std::int64_t first, std::int64_t last) {
    m_state.window = MakeTimeWindow(first, last, m_state.vLines);
    update();
}

void CGraphicCtrl::CurveRemoved(int position) {
    if (position < 0 || position >= kMaxCurves) return;
    std::copy(m_state.axes.begin() + position + 1, m_state.axes.end(),
              m_state.axes.begin() + position);
    if (m_state.selectedCurve == position) m_state.selectedCurve = -1;
    else if (m_state.selectedCurve > position) --m_state.selectedCurve;
    update();
}

void CGraphicCtrl::CurveAdded() {
    int k = CurveCount() - 1;
    if (k < 0) return;
    auto [lo, hi] = DataRange(k);
    double d = hi - lo;
    m_state.axes[static_cast<std::size_t>(k)].min = lo - 5 * d;
    m_state.axes[static_cast<std::size_t>(k)].max = hi + 5 * d;
    RescaleAll();
}

void CGraphicCtrl::RescaleAll() {
    for (int k = 0; k < kMaxCurves; ++k) {
        SAxis& a = m_state.axes[static_cast<std::size_t>(k)];
        a = AxisFromRange(a.min, a.max, Steps(), 1.0);
    }
    update();
}

std::int64_t CGraphicCtrl::LastSecond() const {
    for (const auto& c : m_curves)
        if (c.store) return c.store->GetLastTime();
    return 0;
}

void CGraphicCtrl::Tick() {
    if (m_autoPlace) {
        std::int64_t last = LastSecond();
        if (last < 10) {
            m_autoLatch = false;
        } else if (last > 10 && !m_autoLatch) {
            m_autoLatch = true;
            Fit();
        }
    }
    update();
}

QImage CGraphicCtrl::Render(int width, int height, bool whiteBackground) {
    SGraphState st = m_state;
    if (whiteBackground) st.background = 0xFFFFFF;
    return RenderGraphImage(width, height, st, m_curves, m_cache);
}

template <class Fn>
void CGraphicCtrl::ForTargets(Fn fn) {
    if (m_state.selectedCurve >= 0 && m_state.selectedCurve < CurveCount()) {
        fn(m_state.selectedCurve);
        return;
    }
    for (int k = 0; k < CurveCount(); ++k) fn(k);
}

std::pair<double, double> CGraphicCtrl::DataRange(int position) {
    double lo = 0, hi = 1;
    if (position < 0 || position >= CurveCount()) return {lo, hi};
    const SCurveSpec& c = m_curves[static_cast<std::size_t>(position)];
    if (!c.store) return {lo, hi};
    CCurveSeries& s = m_cache.Get(c.store, c.param);
    s.Sync(*c.store, c.param);
    const auto& sel = m_state.selection;
    SeriesRange(s, !sel.active, sel.Lower(), sel.Upper(), lo, hi);
    return {lo, hi};
}

void CGraphicCtrl::Redraw() { update(); }

void CGraphicCtrl::ZoomValueIn() {
    ForTargets([&](int k) {
        auto& a = m_state.axes[static_cast<std::size_t>(k)];
        a = ZoomAxis(a, Steps(), true);
    });
    Redraw();
}

void CGraphicCtrl::ZoomValueOut() {
    ForTargets([&](int k) {
        auto& a = m_state.axes[static_cast<std::size_t>(k)];
        a = ZoomAxis(a, Steps(), false);
    });
    Redraw();
}

void CGraphicCtrl::ShiftUp() {
    ForTargets([&](int k) { ShiftAxis(m_state.axes[static_cast<std::size_t>(k)], true); });
    Redraw();
}

void CGraphicCtrl::ShiftDown() {
    ForTargets([&](int k) { ShiftAxis(m_state.axes[static_cast<std::size_t>(k)], false); });
    Redraw();
}

void CGraphicCtrl::ZoomTimeIn() {
    if (ZoomTime(m_state.window, m_state.vLines, true)) Redraw();
}

void CGraphicCtrl::ZoomTimeOut() {
    if (ZoomTime(m_state.window, m_state.vLines, false)) Redraw();
}

void CGraphicCtrl::ScrollForward() {
    ScrollTime(m_state.window, true);
    Redraw();
}

void CGraphicCtrl::ScrollBack() {
    if (ScrollTime(m_state.window, false)) Redraw();
}

void CGraphicCtrl::ToStart() {
    TimeToStart(m_state.window, m_state.vLines);
    Redraw();
}

void CGraphicCtrl::ToEnd() {
    TimeToEnd(m_state.window, LastSecond());
    Redraw();
}

void CGraphicCtrl::Fit() {
    ForTargets([&](int k) {
        auto [lo, hi] = DataRange(k);
        m_state.axes[static_cast<std::size_t>(k)] = FitAxis(lo, hi, Steps());
    });
    Redraw();
}

void CGraphicCtrl::CommonScale() {
    if (CurveCount() == 0) return;
    std::vector<std::pair<double, double>> ranges;
    for (int k = 0; k < CurveCount(); ++k) ranges.push_back(DataRange(k));
    std::vector<SAxis> axes(m_state.axes.begin(), m_state.axes.end());
    graph::CommonScale(axes, ranges, Steps());
    std::copy(axes.begin(), axes.end(), m_state.axes.begin());
    Redraw();
}

void CGraphicCtrl::FitAllCommon() {
    if (CurveCount() == 0) return;
    std::vector<std::pair<double, double>> ranges;
    for (int k = 0; k < CurveCount(); ++k) ranges.push_back(DataRange(k));
    std::vector<SAxis> axes(m_state.axes.begin(), m_state.axes.end());
    graph::FitAllCommon(axes, ranges, Steps());
    std::copy(axes.begin(), axes.end(), m_state.axes.begin());
    Redraw();
}

void CGraphicCtrl::EmitSelection() {
    const auto& s = m_state.selection;
    GraphList().SetSelection(s.active, static_cast<int>(s.Lower()), static_cast<int>(s.Upper()));
    emit selectionChanged(s.active, static_cast<int>(s.Lower()), static_cast<int>(s.Upper()));
}

void CGraphicCtrl::MoveSelectionForward() {
    if (!m_state.selection.active) return;
    MoveSelection(m_state.selection, true);
    EmitSelection();
    Redraw();
}

void CGraphicCtrl::MoveSelectionBack() {
    if (!m_state.selection.active) return;
    MoveSelection(m_state.selection, false);
    EmitSelection();
    Redraw();
}

void CGraphicCtrl::ClearSelection() {
    if (!m_state.selection.active) return;
    m_state.selection = {};
    EmitSelection();
    Redraw();
}

void CGraphicCtrl::SelectCurve(int position) {
    if (position < -1 || position >= CurveCount()) position = -1;
    if (m_state.selectedCurve == position) return;
    m_state.selectedCurve = position;
    emit curveSelected(position);
    Redraw();
}

void CGraphicCtrl::CopyToClipboard() {
    QImage img = Render(width(), height(), true);
    if (auto* cb = QGuiApplication::clipboard()) cb->setImage(img);
}

void CGraphicCtrl::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    const QSize px(std::max(1, width()), std::max(1, height()));
    if (m_image.size() != px * dpr) {
        m_image = QImage(px * dpr, QImage::Format_RGB32);
        m_image.setDevicePixelRatio(dpr);
    }
    {
        QPainter ip(&m_image);
        m_painter.Paint(ip, px.width(), px.height(), m_state, m_curves, m_cache);
    }
    QPainter p(this);
    p.drawImage(0, 0, m_image);
}

void CGraphicCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}

void CGraphicCtrl::mousePressEvent(QMouseEvent* e) {
    // The layout of the last paint; before the first paint it is computed for the current size.
    SGraphLayout l = Layout();
    if (l.client.right == 0) l = LayoutGraph(width(), height(), CurveCount());
    const QPoint pt = e->position().toPoint();
    if (e->button() == Qt::RightButton && pt.x() >= l.plot.left) {
        std::int64_t s = SecondAtX(l, m_state.window, pt.x());
        m_state.selection = {true, s, s};
        GraphList().SetSelection(true, static_cast<int>(s), static_cast<int>(s));
        m_selecting = true;
        m_leftPlot = false;
        m_pressPoint = pt;
        setCursor(Qt::IBeamCursor);
        Redraw();
        return;
    }
    if (e->button() == Qt::LeftButton) {
        if (pt.x() < l.plot.left - 20) {
            int k = CurveAtX(l, pt.x(), CurveCount());
            if (k >= 0) SelectCurve(m_state.selectedCurve == k ? -1 : k);
            return;
        }
        m_panning = true;
        m_panLast = pt;
        setCursor(Qt::SizeAllCursor);
    }
}

void CGraphicCtrl::mouseMoveEvent(QMouseEvent* e) {
    const SGraphLayout& l = Layout();
    const QPoint pt = e->position().toPoint();
    if ((e->buttons() & Qt::RightButton) && m_selecting && m_state.selection.active) {
        m_state.selection.end = SecondAtX(l, m_state.window, pt.x());
        const auto& s = m_state.selection;
        GraphList().SetSelection(true, static_cast<int>(s.Lower()), static_cast<int>(s.Upper()));
        if (pt.x() >= l.plot.left && pt.x() <= l.plot.right) {
            m_leftPlot = false;
        } else if (!m_leftPlot) {
            m_leftPlot = true;
            EmitSelection();
        }
        Redraw();
        return;
    }
    if ((e->buttons() & Qt::LeftButton) && m_panning) {
        const int vSpacing = std::max(
            1, (l.plot.right - l.plot.left) / std::max(1, m_state.vLines - 1));
        const int hSpacing = std::max(
            1, (l.plot.bottom - l.plot.top) / std::max(1, m_state.hLines - 1));
        int dx = pt.x() - m_panLast.x(), dy = pt.y() - m_panLast.y();
        if (std::abs(dx) >= vSpacing) {
            if (dx < 0) ScrollForward();
            else ScrollBack();
            m_panLast.rx() += dx;
        }
        if (std::abs(dy) >= hSpacing) {
            if (dy < 0) ShiftUp();
            else ShiftDown();
            m_panLast.ry() += dy;
        }
    }
}

void CGraphicCtrl::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint pt = e->position().toPoint();
    if (e->button() == Qt::RightButton && m_selecting) {
        m_selecting = false;
        unsetCursor();
        if (pt == m_pressPoint) {
            m_state.selection = {};
            EmitSelection();
        } else if (m_state.selection.active) {
            EmitSelection();
        }
        Redraw();
        return;
    }
    if (e->button() == Qt::LeftButton && m_panning) {
        m_panning = false;
        unsetCursor();
    }
}

void CGraphicCtrl::wheelEvent(QWheelEvent* e) {
    const SGraphLayout& l = Layout();
    const QPoint pt = e->position().toPoint();
    if (pt.x() > l.plot.left && pt.x() < l.plot.right && pt.y() > l.plot.top &&
        pt.y() < l.plot.bottom) {
        if (e->angleDelta().y() <= 0) ScrollForward();
        else ScrollBack();
        e->accept();
    }
}

}  // namespace dravmer::ui
