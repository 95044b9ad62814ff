#pragma once
// The time-series graph: up to 50 curves against the experiment's seconds, each with its own
// axis, drawn into an off-screen image that is put on the screen in one piece. The page feeds
// it the curves; the control keeps the axes, the time window and the selection, and answers the
// zoom, scroll and fit commands, the mouse and the wheel.
#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

#include "graph/curve_series.h"
#include "graph/graph_state.h"
#include "graph/paint/graph_painter.h"

namespace dravmer::ui {

class CGraphicCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CGraphicCtrl(QWidget* parent = nullptr);

    graph::SGraphState& State() { return m_state; }
    const graph::SGraphState& State() const { return m_state; }
    const graph::SGraphLayout& Layout() const { return m_painter.Layout(); }
    // The curves in display order; their axes stay with their positions.
    void SetCurves(std::vector<graph::SCurveSpec> curves);
    const std::vector<graph::SCurveSpec>& Curves() const { return m_curves; }
    int CurveCount() const { return static_cast<int>(m_curves.size()); }

    void SetHorizontalLines(int lines);
    void SetVerticalLines(int lines);
    void SetTimeWindow(std::int64_t first, std::int64_t last);
    void SetAutoPlace(bool on) { m_autoPlace = on; }
    // After a removal: the axes of later positions move down by one.
    void CurveRemoved(int position);
    // After an addition: the new last curve is fitted to its data, then all are rescaled.
    void CurveAdded();
    // Every axis from its own range, factor 1.
    void RescaleAll();
    // The latest second of the first curve's device (0 when none).
    std::int64_t LastSecond() const;
    // Runs the auto-place check (first data after the start fits the curves) and redraws.
    void Tick();
    // The picture as it is shown, at a given size (export, clipboard).
    QImage Render(int width, int height, bool whiteBackground = false);
    graph::CSeriesCache& Cache() { return m_cache; }

public slots:
    void ZoomValueIn();
    void ZoomValueOut();
    void ShiftUp();
    void ShiftDown();
    void ZoomTimeIn();
    void ZoomTimeOut();
    void ScrollForward();
    void ScrollBack();
    void ToStart();
    void ToEnd();
    void Fit();
    void CommonScale();
    void FitAllCommon();
    void MoveSelectionForward();
    void MoveSelectionBack();
    void SelectCurve(int position);  // -1: none
    void ClearSelection();
    void CopyToClipboard();

signals:
    void curveSelected(int position);
    // The selected range changed in a way that asks for the statistics: (active, lower, upper).
    void selectionChanged(bool active, int lower, int upper);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int Steps() const { return m_state.hLines - 1; }
    // The curves a value-axis command works on: the selected one, or all.
    template <class Fn>
    void ForTargets(Fn fn);
    std::pair<double, double> DataRange(int position);
    void Redraw();
    void EmitSelection();

    graph::SGraphState m_state;
    std::vector<graph::SCurveSpec> m_curves;
    graph::CSeriesCache m_cache;
    graph::CGraphPainter m_painter;
    QImage m_image;

    bool m_autoPlace = true;
    bool m_autoLatch = false;
    bool m_deferredFit = false;
    // Pointer state.
    bool m_selecting = false;
    bool m_leftPlot = false;
    QPoint m_pressPoint;
    bool m_panning = false;
    QPoint m_panLast;
};

}  // namespace dravmer::ui
