#pragma once
// The statistics graph: the within-second profile UG[0]..UG[9] of the current device, averaged
// over odd and even records, with its tolerance verdict. Painted off-screen like the main graph.
#include <QWidget>

#include "graph/paint/graph_painter.h"

namespace dravmer {
class CDeviceData;
}

namespace dravmer::ui {

// What the statistics graph shows of one store.
graph::SStatGraphData StatGraphDataOf(const CDeviceData& store);

class CStatGraphCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CStatGraphCtrl(QWidget* parent = nullptr);
    void SetData(const graph::SStatGraphData& data);
    void SetStyle(const graph::SStatGraphStyle& style);
    void AutoRange() { m_painter.AutoRange(m_data); }
    const graph::CStatGraphPainter& Painter() const { return m_painter; }
    QImage Render(int width, int height, bool whiteBackground = false);

public slots:
    void CopyToClipboard();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    graph::SStatGraphData m_data;
    graph::SStatGraphStyle m_style;
    graph::CStatGraphPainter m_painter;
    QImage m_image;
};

}  // namespace dravmer::ui
