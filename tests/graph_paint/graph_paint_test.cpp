// The painted graph: curves in their slot colours at the rows the axis puts them, and the
// reduced drawing that paints what the full drawing paints.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>

#include "graph/day_data.h"
#include "graph/paint/graph_painter.h"
#include "measure/param_catalog.h"

namespace dravmer::graph {
namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "test_graph_paint";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv);
    return *app;
}

QImage Paint(const SGraphState& st, const std::vector<SCurveSpec>& curves, CSeriesCache& cache,
             bool reduce, int w = 1000, int h = 600) {
    App();
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    CGraphPainter painter;
    painter.Paint(p, w, h, st, curves, cache, reduce);
    return img;
}

// Rows of the plot painted in `color` in column x, or {-1, -1}.
std::pair<int, int> ColumnExtent(const QImage& img, int x, QRgb color, int top, int bottom) {
    int lo = -1, hi = -1;
    for (int y = top; y <= bottom; ++y)
        if (img.pixel(x, y) == color) {
            if (lo < 0) lo = y;
            hi = y;
        }
    return {lo, hi};
}

// The layout as the paint leaves it (no caption: the plot height is bottom - top).
SGraphLayout PaintedLayout(int w, int h, int curves) {
    SGraphLayout l = LayoutGraph(w, h, curves);
    ApplyCaptionHeight(l, 0);
    return l;
}

SGraphState PlainState() {
    SGraphState st;
    st.background = 0xFFFFFF;
    st.gridColor = 0xFFFFFF;  // grid lines vanish into the background
    st.window = MakeTimeWindow(0, 1000, st.vLines);
    return st;
}

TEST(GraphPaint, ConstantCurvesLieAtTheirAxisRowsInTheirSlotColours) {
    CDeviceData store;
    for (int i = 0; i < 1001; ++i) {
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(i);
        r.cycle = static_cast<std::uint8_t>(i);
        SetParam(r, 4, 2.0);   // a quarter up an axis from 0 to 8
        SetParam(r, 33, 6.0);  // three quarters up
        store.AddSample(r);
    }
    SGraphState st = PlainState();
    st.axes[0] = {0, 8, 1, 0};
    st.axes[1] = {0, 8, 1, 0};
    std::vector<SCurveSpec> curves = {{&store, 1, 4, 0, 0x0000FF}, {&store, 1, 33, 7, 0x00A000}};
    CSeriesCache cache;
    QImage img = Paint(st, curves, cache, true);
    SGraphLayout l = PaintedLayout(1000, 600, 2);
    const QRgb red = ToQColor(0x0000FF).rgb(), green = ToQColor(0x00A000).rgb();
    const int redRow = PointRow(l, st.axes[0], 2.0), greenRow = PointRow(l, st.axes[1], 6.0);
    EXPECT_NEAR(redRow, l.plot.bottom - l.plotHeight / 4, 1);
    for (int x = l.plot.left + 5; x < l.plot.right - 5; x += 37) {
        EXPECT_EQ(ColumnExtent(img, x, red, l.plot.top, l.plot.bottom),
                  std::make_pair(redRow, redRow))
            << x;
        EXPECT_EQ(ColumnExtent(img, x, green, l.plot.top, l.plot.bottom),
                  std::make_pair(greenRow, greenRow))
            << x;
    }
    // Each axis line stands in its curve's colour left of the plot.
    EXPECT_EQ(img.pixel(l.plot.left - 20, (l.plot.top + l.plot.bottom) / 2), red);
    EXPECT_EQ(img.pixel(l.plot.left - 40, (l.plot.top + l.plot.bottom) / 2), green);
}

TEST(GraphPaint, UgCurvesDrawOddAndEvenSecondsAsTwoLines) {
    CDeviceData store;
    for (int i = 0; i < 1001; ++i) {
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(i);
        r.cycle = static_cast<std::uint8_t>(i);
        SetParam(r, 3, (i & 1) ? 6.0 : 2.0);  // UG: odd and even half-cycles apart
        SetParam(r, 6, (i & 1) ? 6.0 : 2.0);  // t1 with the same values: one zigzag line
        store.AddSample(r);
    }
    SGraphState st = PlainState();
    st.window = MakeTimeWindow(0, 100, st.vLines);  // ten pixels a second
    st.axes[0] = st.axes[1] = {0, 8, 1, 0};
    CSeriesCache cache;
    SGraphLayout l = PaintedLayout(1000, 600, 1);
    const int hi = PointRow(l, st.axes[0], 6.0), lo = PointRow(l, st.axes[0], 2.0);
    const QRgb c = ToQColor(0x0000FF).rgb();
    QImage ug = Paint(st, {{&store, 1, 3, 0, 0x0000FF}}, cache, true);
    QImage t1 = Paint(st, {{&store, 1, 6, 0, 0x0000FF}}, cache, true);
    // Half-way between two seconds the UG lines are two flat lines; the t1 line is crossing.
    const int x = l.plot.left + static_cast<int>(l.plotWidth * 50.5 / 100);
    EXPECT_EQ(ug.pixel(x, hi), c);
    EXPECT_EQ(ug.pixel(x, lo), c);
    int ugBetween = 0, t1Between = 0;
    for (int y = hi + 2; y <= lo - 2; ++y) {
        ugBetween += ug.pixel(x, y) == c;
        t1Between += t1.pixel(x, y) == c;
    }
    EXPECT_EQ(ugBetween, 0);
    EXPECT_GT(t1Between, 5);
}

TEST(GraphPaint, ReducedDrawingPaintsTheSameColumnExtremesAsTheFullOne) {
    CDeviceData a, b;
    test::FillDay(a, 30000, 1);
    test::FillDay(b, 30000, 2);
    SGraphState st = PlainState();
    std::vector<SCurveSpec> curves = {{&a, 1, 3, 0, 0x0000FF}, {&a, 1, 9, 1, 0xFF0000},
                                      {&b, 2, 40, 2, 0x00A000}};
    for (std::size_t k = 0; k < curves.size(); ++k) {
        const double lo = test::DayValue(curves[k].param, 0, 1) - 8, hi = lo + 60;
        st.axes[k] = AxisFromRange(lo, hi, st.hLines - 1, 1.0);
    }
    // Many seconds a pixel (the whole range), then a window where pixels hold a few seconds
    // each and the window starts and ends inside the data.
    for (auto window : {MakeTimeWindow(0, 30000, 11), MakeTimeWindow(5000, 7500, 11)}) {
        st.window = window;
        CSeriesCache cache;
        QImage full = Paint(st, curves, cache, false, 900, 500);
        QImage reduced = Paint(st, curves, cache, true, 900, 500);
        SGraphLayout l = PaintedLayout(900, 500, 3);
        int painted = 0;
        for (const auto& c : curves) {
            const QRgb rgb = ToQColor(c.color).rgb();
            for (int x = l.plot.left; x <= l.plot.right; ++x) {
                auto f = ColumnExtent(full, x, rgb, l.plot.top, l.plot.bottom);
                auto r = ColumnExtent(reduced, x, rgb, l.plot.top, l.plot.bottom);
                ASSERT_EQ(f, r) << "column " << x << " colour " << std::hex << c.color;
                if (f.first >= 0) ++painted;
            }
        }
        EXPECT_GT(painted, 3 * 700);  // the curves really were drawn across the plot
    }
}

TEST(GraphPaint, ReducedPathKeepsTwoSegmentsPerColumnAndEverySpike) {
    CDeviceData a;
    test::FillDay(a, 86400, 3);
    CCurveSeries s;
    s.Sync(a, 5);
    ASSERT_EQ(s.Size(), 86400u);
    SGraphLayout l = LayoutGraph(1280, 800, 1);
    STimeWindow w = MakeTimeWindow(0, 86400, 11);
    SAxis axis = AxisFromRange(0, 120, 8, 1.0);
    for (Parity parity : {Parity::All, Parity::Odd}) {
        SCurvePath path = BuildPath(s, 0, parity, l, w, axis, true);
        EXPECT_LE(path.segments.size(), 2u * static_cast<std::size_t>(l.plotWidth + 2));
        // The spikes (value + 40) reach the same top row as every point drawn one by one.
        int top = l.plot.bottom, expectTop = l.plot.bottom;
        for (const auto& g : path.segments) top = std::min({top, g.a.y, g.b.y});
        for (std::size_t i = 0; i < s.Size(); ++i)
            if (parity == Parity::All || s.Odd()[i])
                expectTop = std::min(expectTop, PointRow(l, axis, s.Values()[i]));
        EXPECT_EQ(top, expectTop);
    }
}

TEST(GraphPaint, BlockExtremesMatchAPlainScanWithNaNOnTop) {
    CDeviceData a;
    for (int i = 0; i < 200; ++i) {
        CMeasRecord r = test::DayRecord(i, 9);
        if (i == 77) SetParam(r, 6, std::nan(""));
        a.AddSample(r);
    }
    CCurveSeries s;
    s.Sync(a, 6);
    for (auto [b, e] : {std::pair<std::size_t, std::size_t>{0, 200}, {3, 5}, {15, 49}, {70, 80},
                        {16, 32}, {100, 101}}) {
        for (int parity = 0; parity < 3; ++parity) {
            double lo, hi, elo = INFINITY, ehi = -INFINITY;
            bool any = s.Extremes(b, e, parity, lo, hi), eany = false;
            for (std::size_t i = b; i < e; ++i) {
                if ((parity == 1 && !s.Odd()[i]) || (parity == 2 && s.Odd()[i])) continue;
                double v = std::isnan(s.Values()[i]) ? INFINITY : s.Values()[i];
                elo = std::min(elo, v);
                ehi = std::max(ehi, v);
                eany = true;
            }
            EXPECT_EQ(any, eany);
            if (eany) {
                EXPECT_EQ(lo, elo) << b << ".." << e << " parity " << parity;
                EXPECT_EQ(hi, ehi) << b << ".." << e << " parity " << parity;
            }
        }
    }
}

// A curve copied in uneven steps, as a live graph copies what arrived since its last paint, has
// the extremes of one copied at once and of a plain scan, over blocks and big blocks alike.
TEST(GraphPaint, ExtremesOfACurveCopiedInStepsAreThoseOfAPlainScan) {
    CDeviceData a;
    CCurveSeries stepwise;
    int added = 0;
    for (int step : {1, 15, 1, 17, 255, 1, 600, 33, 2000, 3, 700}) {
        for (int i = 0; i < step; ++i, ++added) {
            CMeasRecord r = test::DayRecord(added, 9);
            if (added % 97 == 5) r.cycle += 1;  // now and then two of one parity in a row
            if (added % 1111 == 77) SetParam(r, 6, std::nan(""));
            if (added % 500 == 3) SetParam(r, 6, -0.0);
            a.AddSample(r);
        }
        stepwise.Sync(a, 6);
    }
    CCurveSeries atOnce;
    atOnce.Sync(a, 6);
    ASSERT_EQ(stepwise.Size(), static_cast<std::size_t>(added));
    ASSERT_EQ(atOnce.Size(), stepwise.Size());
    std::vector<std::pair<std::size_t, std::size_t>> ranges = {
        {0, stepwise.Size()}, {1, 16}, {15, 17}, {255, 257}, {256, 512}, {17, 3000}, {100, 101}};
    for (std::size_t b = 0; b < stepwise.Size(); b += 389) ranges.push_back({b, std::min(stepwise.Size(), b + 777)});
    for (auto [b, e] : ranges)
        for (int parity = 0; parity < 3; ++parity) {
            double lo, hi, lo2, hi2, elo = INFINITY, ehi = -INFINITY;
            const bool any = stepwise.Extremes(b, e, parity, lo, hi);
            const bool any2 = atOnce.Extremes(b, e, parity, lo2, hi2);
            bool eany = false;
            for (std::size_t i = b; i < e; ++i) {
                if ((parity == 1 && !stepwise.Odd()[i]) || (parity == 2 && stepwise.Odd()[i])) continue;
                const double v = std::isnan(stepwise.Values()[i]) ? INFINITY : stepwise.Values()[i];
                elo = std::min(elo, v);
                ehi = std::max(ehi, v);
                eany = true;
            }
            ASSERT_EQ(any, eany) << b << ".." << e << " parity " << parity;
            ASSERT_EQ(any2, eany) << b << ".." << e << " parity " << parity;
            if (!eany) continue;
            EXPECT_EQ(lo, elo) << b << ".." << e << " parity " << parity;
            EXPECT_EQ(hi, ehi) << b << ".." << e << " parity " << parity;
            EXPECT_EQ(lo2, elo) << b << ".." << e << " parity " << parity;
            EXPECT_EQ(hi2, ehi) << b << ".." << e << " parity " << parity;
        }
}

TEST(GraphPaint, SeriesFollowsAppendsAndAResetStore) {
    CDeviceData a;
    test::FillDay(a, 100, 4);
    CCurveSeries s;
    s.Sync(a, 7);
    EXPECT_EQ(s.Size(), 100u);
    a.AddSample(test::DayRecord(100, 4));
    s.Sync(a, 7);
    ASSERT_EQ(s.Size(), 101u);
    EXPECT_DOUBLE_EQ(s.Values()[100], GetParam(test::DayRecord(100, 4), 7));
    a.ResetData();
    test::FillDay(a, 150, 5, 1000);  // more records than before, other seconds
    s.Sync(a, 7);
    ASSERT_EQ(s.Size(), 150u);
    EXPECT_EQ(s.Times()[0], 1000u);
    EXPECT_EQ(s.FirstAtOrAfter(a, 1100), 100u);
    EXPECT_EQ(s.FirstAtOrAfter(a, 0), 0u);
    EXPECT_EQ(s.FirstAtOrAfter(a, 5000), 150u);
}

TEST(GraphPaint, ExportWritesPngAndSvgAndRefusesOtherNames) {
    App();
    CDeviceData a;
    test::FillDay(a, 500, 6);
    SGraphState st = PlainState();
    std::vector<SCurveSpec> curves = {{&a, 7, 3, 0, 0x0000FF}};
    CSeriesCache cache;
    QTemporaryDir dir;
    QString error;
    const QString png = dir.filePath("g.png"), svg = dir.filePath("g.svg");
    ASSERT_TRUE(SaveGraphFile(png, 640, 480, st, curves, cache, &error)) << error.toStdString();
    QImage back(png);
    EXPECT_EQ(back.size(), QSize(640, 480));
    ASSERT_TRUE(SaveGraphFile(svg, 640, 480, st, curves, cache, &error)) << error.toStdString();
    QFile f(svg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("polyline") || text.contains("path"));
    EXPECT_FALSE(SaveGraphFile(dir.filePath("g.bmp"), 640, 480, st, curves, cache, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(SaveGraphFile(dir.filePath("g.png"), 10, 480, st, curves, cache, &error));
    EXPECT_FALSE(SaveGraphFile("/nonexistent-dir/x.png", 640, 480, st, curves, cache, &error));
}

// The transform of the SVG group that holds the element starting at `at`.
QByteArray GroupTransformBefore(const QByteArray& svg, qsizetype at) {
    const qsizetype g = svg.lastIndexOf("<g ", at);
    if (g < 0) return {};
    const qsizetype t = svg.indexOf("transform=\"", g);
    if (t < 0 || t > at) return {};
    const qsizetype end = svg.indexOf('"', t + 11);
    return svg.mid(t + 11, end - t - 11);
}

TEST(GraphPaint, SvgKeepsAxisTextsAndCurveNamesAsTurnedText) {
    App();
    CDeviceData a;
    test::FillDay(a, 500, 6);
    SGraphState st = PlainState();
    st.gridColor = 0x000000;
    st.caption = "Опыт на стенде";
    st.captionOn = true;
    std::vector<SCurveSpec> curves = {{&a, 4321, 7, 0, 0x0000FF}, {&a, 4321, 3, 1, 0x00AA00}};
    CSeriesCache cache;
    QTemporaryDir dir;
    QString error;
    const QString path = dir.filePath("texts.svg");
    ASSERT_TRUE(SaveGraphFile(path, 900, 600, st, curves, cache, &error)) << error.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray svg = f.readAll();
    // No text reaches the file as a picture.
    EXPECT_FALSE(svg.contains("<image"));
    for (const SCurveSpec& c : curves) {
        const QByteArray name = CGraphPainter::CurveName(c).toUtf8();
        const qsizetype at = svg.indexOf(">" + name + "</text>");
        ASSERT_GE(at, 0) << name.constData();
        // Written bottom to top: the group turns it a quarter to the left (and narrows it
        // along the line as the narrow font of the picture does).
        const QByteArray transform = GroupTransformBefore(svg, at);
        EXPECT_TRUE(transform.startsWith("matrix(")) << transform.constData();
        const QList<QByteArray> m = transform.mid(7, transform.size() - 8).split(',');
        ASSERT_EQ(m.size(), 6) << transform.constData();
        EXPECT_NEAR(m[0].toDouble(), 0.0, 1e-6);
        EXPECT_LT(m[1].toDouble(), -0.5);
        EXPECT_GE(m[1].toDouble(), -1.0);
        EXPECT_NEAR(m[2].toDouble(), 1.0, 1e-6);
        EXPECT_NEAR(m[3].toDouble(), 0.0, 1e-6);
    }
    // The unit of an axis, the caption and the time labels are text as well.
    EXPECT_TRUE(
        svg.contains(">" + QByteArray(ParamUnit(7).data(), ParamUnit(7).size()) + "</text>"));
    EXPECT_TRUE(svg.contains(QByteArray("Опыт на стенде</text>")));
    EXPECT_TRUE(svg.contains(">t , c</text>"));
}

TEST(StatGraphPaint, AveragedProfilesAreDrawnAndTheAxesHoldThem) {
    App();
    SStatGraphData d;
    d.hasStats = true;
    for (int i = 0; i < 10; ++i) {
        d.averaged[0].values[static_cast<std::size_t>(i)] = 1.0 + 0.1 * i;
        d.averaged[1].values[static_cast<std::size_t>(i)] = 1.5 + 0.1 * i;
    }
    d.averaged[0].min = 1.0, d.averaged[0].max = 1.9;
    d.averaged[1].min = 1.5, d.averaged[1].max = 2.4;
    SStatGraphStyle style;
    style.background = 0xFFFFFF;
    CStatGraphPainter painter;
    QImage img(900, 500, QImage::Format_RGB32);
    {
        QPainter p(&img);
        painter.Paint(p, 900, 500, d, style);
    }
    for (int q = 0; q < 2; ++q) {
        const auto& a = painter.Axes()[static_cast<std::size_t>(q)];
        EXPECT_LE(a.min, d.averaged[static_cast<std::size_t>(q)].min);
        EXPECT_GE(a.max, d.averaged[static_cast<std::size_t>(q)].max);
        EXPECT_NEAR(a.max - a.min, 10 * a.step, 1e-9);
    }
    // The first point of profile 0 sits on the first inner grid line in its colour.
    SStatLayout l = LayoutStatGraph(900, 500, 2);
    const auto& a0 = painter.Axes()[0];
    int x = static_cast<int>(l.plot.left + l.plotWidth / 11);
    int y = static_cast<int>(l.plot.bottom - (1.0 - a0.min) / (a0.max - a0.min) * l.plotHeight);
    bool found = false;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            found = found || img.pixel(x + dx, y + dy) == ToQColor(style.colors[0]).rgb();
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace dravmer::graph
