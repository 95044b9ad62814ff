#pragma once
// Painting of the time-series graph and the statistics graph with QPainter (QtGui only, so the
// command-line plotter draws exactly what the window shows without needing the widgets).
#include <QColor>
#include <QHash>
#include <QImage>
#include <QLine>
#include <QString>
#include <array>
#include <vector>

#include "graph/curve_series.h"
#include "graph/graph_math.h"
#include "graph/graph_state.h"
#include "platform/language.h"

class QPainter;
class QPaintDevice;

namespace dravmer::graph {

// 0x00BBGGRR as the settings keep it.
QColor ToQColor(std::uint32_t c);
std::uint32_t FromQColor(const QColor& c);

class CGraphPainter {
public:
    // Paints the whole control of width x height. `reduce` draws each polyline from its
    // per-column extremes (the fast path); false draws every point.
    void Paint(QPainter& p, int width, int height, const SGraphState& st,
               const std::vector<SCurveSpec>& curves, CSeriesCache& cache, bool reduce = true);
    // The layout of the last paint (for the pointer's seconds and the axis band).
    const SGraphLayout& Layout() const { return m_layout; }
    // The unit text and the axis name a curve shows.
    static QString CurveName(const SCurveSpec& c);

private:
    void PaintCaption(QPainter& p, const SGraphState& st);
    void PaintSelection(QPainter& p, const SGraphState& st);
    void PaintGrids(QPainter& p, const SGraphState& st);
    void PaintAxes(QPainter& p, const SGraphState& st, const std::vector<SCurveSpec>& curves);
    void PaintCurve(QPainter& p, const SGraphState& st, const SCurveSpec& c, int k,
                    CSeriesCache& cache, bool reduce);
    void PaintTimeLabels(QPainter& p, const SGraphState& st);

    void DrawUpText(QPainter& p, int x, int y, const QString& text);

    SGraphLayout m_layout;
    QHash<QString, QImage> m_upText;
    std::vector<QLine> m_lines;  // reused between curves
};

// Renders the graph into an image of the given size (the copy to the clipboard and the export).
QImage RenderGraphImage(int width, int height, const SGraphState& st,
                        const std::vector<SCurveSpec>& curves, CSeriesCache& cache);
// Saves the graph as PNG or SVG by the file's extension; false with a reason on failure.
// `error` is worded in `language`.
bool SaveGraphFile(const QString& path, int width, int height, const SGraphState& st,
                   const std::vector<SCurveSpec>& curves, CSeriesCache& cache, QString* error,
                   Language language = Language::Russian);

// ---- statistics graph ----
struct SStatGraphData {
    bool hasStats = false;
    std::string deviceName;
    std::array<SStatProfile, 2> averaged;  // parity 0 (O), parity 1 (E)
    std::array<SStatProfile, 2> latest;
    std::int64_t firstSecond = 0, lastSecond = 0;
    double ratio = 0;
    bool upper = false, lower = false;
    Language language = Language::Russian;  // of the texts above the graph
};

struct SStatGraphStyle {
    std::uint32_t background = 0xB8C5A9, grid = 0x000000, text = 0x000000;
    std::array<std::uint32_t, 4> colors = {0xFF0000, 0x005500, 0xFF8000, 0x00A400};
    bool showLatest = false;
};

class CStatGraphPainter {
public:
    // Widens the axes when a profile left them, then paints.
    void Paint(QPainter& p, int width, int height, const SStatGraphData& d,
               const SStatGraphStyle& style);
    void AutoRange(const SStatGraphData& d);
    const std::array<SStatAxis, 2>& Axes() const { return m_axes; }

private:
    std::array<SStatAxis, 2> m_axes{};
};

}  // namespace dravmer::graph
