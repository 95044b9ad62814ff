#include "graph/paint/graph_painter.h"

#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPaintEngine>
#include <QPainter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "measure/param_catalog.h"

namespace dravmer::graph {

QColor ToQColor(std::uint32_t c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

std::uint32_t FromQColor(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The narrow bold font of the axis texts, written bottom to top.
QFont VerticalFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    f.setBold(true);
    f.setStretch(QFont::Condensed);
    return f;
}

QFont LabelFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    return f;
}

}  // namespace

namespace {

// Straight into the pixels of an image (the off-screen picture of the window and the exported
// PNG): a repaint draws some hundred thousand short segments, and the general line drawing
// spends more on each call than on its pixels. Both ends of a segment are painted; a pen of
// width 2 adds the neighbouring pixel across the line. False when the target is not a plain
// image, so the caller draws through QPainter (SVG, scaled screens).
bool RasterSegments(QPainter& p, const std::vector<SSegment>& segments, QRgb color, int width) {
    QPaintDevice* dev = p.device();
    if (!dev || dev->devType() != QInternal::Image || !p.transform().isIdentity()) return false;
    auto* img = static_cast<QImage*>(dev);
    if (img->devicePixelRatio() != 1.0 ||
        (img->format() != QImage::Format_RGB32 && img->format() != QImage::Format_ARGB32 &&
         img->format() != QImage::Format_ARGB32_Premultiplied))
        return false;
    const int w = img->width(), h = img->height();
    const qsizetype stride = img->bytesPerLine() / 4;
    auto* bits = reinterpret_cast<QRgb*>(img->bits());
    const QRgb c = color | 0xFF000000u;
    auto plot = [&](int x, int y) {
        if (static_cast<unsigned>(x) < static_cast<unsigned>(w) &&
            static_cast<unsigned>(y) < static_cast<unsigned>(h))
            bits[y * stride + x] = c;
    };
    for (const SSegment& g : segments) {
        int x0 = g.a.x, y0 = g.a.y;
        const int x1 = g.b.x, y1 = g.b.y;
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        const bool steep = -dy > dx;
        int err = dx + dy;
        for (;;) {
            plot(x0, y0);
            if (width > 1) steep ? plot(x0 + 1, y0) : plot(x0, y0 + 1);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }
    return true;
}

}  // namespace

// Text running upwards from (x, y), the glyphs standing right of x. Turned text is slow to
// rasterise, and the same few dozen labels come back every second, so on pixels each one is
// drawn once into a small image kept for the next paints. A vector target (an SVG file) gets the
// text itself, turned, so the file stays searchable and scales.
void CGraphPainter::DrawUpText(QPainter& p, int x, int y, const QString& text) {
    if (text.isEmpty()) return;
    const QPaintEngine* engine = p.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster) {
        // An SVG font names family, size and weight but no width: the narrow font would come
        // out at full width and run into its neighbours. The font actually used is named, at
        // its normal width, squeezed along the line to the length the narrow one has.
        const QFont narrow = p.font();
        QFont named = narrow;
        named.setFamily(QFontInfo(narrow).family());
        named.setStretch(QFont::Unstretched);
        const int wanted = QFontMetrics(narrow).horizontalAdvance(text);
        const int plain = QFontMetrics(named).horizontalAdvance(text);
        p.save();
        p.translate(x, y);
        p.rotate(-90);
        if (plain > 0 && wanted > 0 && plain != wanted)
            p.scale(static_cast<double>(wanted) / plain, 1.0);
        p.setFont(named);
        p.drawText(0, QFontMetrics(narrow).ascent(), text);
        p.restore();
        return;
    }
    const QColor color = p.pen().color();
    const QString key = text + QLatin1Char('\x1f') + QString::number(color.rgba(), 16) +
                        QLatin1Char('\x1f') + p.font().key();
    auto it = m_upText.find(key);
    if (it == m_upText.end()) {
        if (m_upText.size() > 4000) m_upText.clear();
        QFontMetrics fm(p.font());
        QImage flat(std::max(1, fm.horizontalAdvance(text)), std::max(1, fm.height()),
                    QImage::Format_ARGB32_Premultiplied);
        flat.fill(Qt::transparent);
        {
            QPainter tp(&flat);
            tp.setFont(p.font());
            tp.setPen(color);
            tp.drawText(0, fm.ascent(), text);
        }
        it = m_upText.insert(key, flat.transformed(QTransform().rotate(-90)));
    }
    p.drawImage(x, y - it->height(), *it);
}

QString CGraphPainter::CurveName(const SCurveSpec& c) {
    return QStringLiteral("%1 - %2 - %3")
        .arg(c.slot + 1)
        .arg(c.address)
        .arg(Q(std::string(ParamNameTrimmed(c.param))));
}

void CGraphPainter::Paint(QPainter& p, int width, int height, const SGraphState& st,
                          const std::vector<SCurveSpec>& curves, CSeriesCache& cache,
                          bool reduce) {
    const int count = std::min<int>(static_cast<int>(curves.size()), kMaxCurves);
    m_layout = LayoutGraph(width, height, count);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(0, 0, width, height, ToQColor(st.background));
    p.setFont(LabelFont());
    PaintCaption(p, st);
    if (st.selection.active) PaintSelection(p, st);
    PaintGrids(p, st);
    PaintAxes(p, st, curves);
    cache.BeginFrame();
    for (int k = 0; k < count; ++k)
        if (k != st.selectedCurve) PaintCurve(p, st, curves[static_cast<std::size_t>(k)], k, cache, reduce);
    if (st.selectedCurve >= 0 && st.selectedCurve < count)
        PaintCurve(p, st, curves[static_cast<std::size_t>(st.selectedCurve)], st.selectedCurve,
                   cache, reduce);
    cache.Prune();
    PaintTimeLabels(p, st);
}

void CGraphPainter::PaintCaption(QPainter& p, const SGraphState& st) {
    if (!st.captionOn) {
        ApplyCaptionHeight(m_layout, 0);
        return;
    }
    std::time_t when = st.captionDate ? st.captionDate : std::time(nullptr);
    std::tm tm{};
    localtime_r(&when, &tm);
    std::string text = ExpandCaption(st.caption, tm, st.experiment);
    QFontMetrics fm(p.font());
    auto lines = WrapCaption(
        text, [&](const std::string& s) { return fm.horizontalAdvance(Q(s)); },
        m_layout.plotWidth);
    const int lineHeight = fm.height();
    p.setPen(ToQColor(st.gridColor));
    for (std::size_t j = 0; j < lines.size(); ++j)
        p.drawText(m_layout.plot.left, m_layout.inner.top + static_cast<int>(j) * lineHeight + fm.ascent(),
                   Q(lines[j]));
    ApplyCaptionHeight(m_layout, static_cast<int>(lines.size()) * lineHeight);
}

void CGraphPainter::PaintSelection(QPainter& p, const SGraphState& st) {
    const auto& l = m_layout;
    const auto& s = st.selection;
    p.setPen(ToQColor(st.gridColor));
    p.drawText(l.plot.left - 30, l.plot.bottom + 15 + QFontMetrics(p.font()).ascent(),
               QStringLiteral("Sel: %1 - %2 (%3)").arg(s.Lower()).arg(s.Upper()).arg(s.Upper() - s.Lower()));
    int x1 = static_cast<int>(XOfSecond(l, st.window, s.Lower())) + 1;
    int x2 = static_cast<int>(XOfSecond(l, st.window, s.Upper())) + 1;
    if (x2 == x1) ++x2;
    QColor c = ToQColor(st.selectionColor);
    if (st.selectionBand) {
        p.fillRect(QRect(QPoint(x1, l.plot.top), QPoint(x2 - 1, l.plot.bottom - 1)), c);
    } else {
        p.setPen(QPen(c, 1, Qt::SolidLine));
        p.drawLine(x1, l.plot.top, x1, l.plot.bottom);
        p.drawLine(x2, l.plot.top, x2, l.plot.bottom);
    }
}

void CGraphPainter::PaintGrids(QPainter& p, const SGraphState& st) {
    const auto& l = m_layout;
    p.setPen(QPen(ToQColor(st.gridColor), 1, Qt::SolidLine));
    for (int i = 0; i < st.hLines; ++i) {
        int y = HorizontalLineY(l, i, st.hLines);
        p.drawLine(l.plot.left, y, l.plot.right, y);
    }
    for (int i = 0; i < st.vLines; ++i) {
        int x = VerticalLineX(l, i, st.vLines);
        p.drawLine(x, l.plot.top, x, l.plot.bottom);
    }
}

void CGraphPainter::PaintAxes(QPainter& p, const SGraphState& st,
                              const std::vector<SCurveSpec>& curves) {
    const auto& l = m_layout;
    const int count = std::min<int>(static_cast<int>(curves.size()), kMaxCurves);
    p.save();
    p.setFont(VerticalFont());
    QFontMetrics fm(p.font());
    const int n = st.hLines;
    for (int k = 0; k < count; ++k) {
        const SCurveSpec& c = curves[static_cast<std::size_t>(k)];
        QColor col = ToQColor(c.color);
        p.setPen(QPen(col, 2, Qt::SolidLine));
        const int xk = l.plot.left - 20 * k - 20;
        p.drawLine(xk, l.plot.top, xk, l.plot.bottom);
        auto labels = TickLabels(st.axes[static_cast<std::size_t>(k)], n);
        for (int i = 0; i < n; ++i) {
            int y = HorizontalLineY(l, i, n);
            p.drawLine(xk - 1, y, xk + 2, y);
        }
        p.setPen(col);
        for (int i = 2; i < n - 2; ++i) {
            QString text = Q(labels[static_cast<std::size_t>(i)]);
            int w = fm.horizontalAdvance(text);
            int y = HorizontalLineY(l, i, n) + w / 2;
            y = std::min(std::max(y, w), l.client.bottom);
            DrawUpText(p, xk - 18, y, text);
        }
        if (n >= 2) {
            QString unit = Q(std::string(ParamUnit(c.param, st.language)));
            int y0 = HorizontalLineY(l, 0, n), y1 = HorizontalLineY(l, 1, n);
            DrawUpText(p, xk - 18, (y0 + y1) / 2 + fm.horizontalAdvance(unit) / 2, unit);
        }
        DrawUpText(p, xk - 18, l.plot.bottom + 20, CurveName(c));
    }
    p.restore();
}

void CGraphPainter::PaintCurve(QPainter& p, const SGraphState& st, const SCurveSpec& c, int k,
                               CSeriesCache& cache, bool reduce) {
    if (!c.store) return;
    CCurveSeries& s = cache.Get(c.store, c.param);
    s.Sync(*c.store, c.param);
    if (s.Size() == 0 || st.window.Span() <= 0) return;
    const std::size_t begin =
        s.FirstAtOrAfter(*c.store, static_cast<std::uint32_t>(std::max<std::int64_t>(0, st.window.first)));
    const SAxis& axis = st.axes[static_cast<std::size_t>(k)];
    p.setPen(QPen(ToQColor(c.color), k == st.selectedCurve ? 2 : 1, Qt::SolidLine, Qt::SquareCap,
                  Qt::MiterJoin));
    bool labelled = false;
    auto draw = [&](Parity parity) {
        SCurvePath path = BuildPath(s, begin, parity, m_layout, st.window, axis, reduce);
        if (!path.any) return;
        // Separate segments with both ends painted: a joined polyline leaves out pixels at some
        // joins depending on the turn, which would make the reduced path differ from the full one.
        if (!RasterSegments(p, path.segments, ToQColor(c.color).rgb(), p.pen().width())) {
            m_lines.resize(path.segments.size());
            for (std::size_t i = 0; i < path.segments.size(); ++i) {
                const SSegment& g = path.segments[i];
                m_lines[i] = QLine(g.a.x, g.a.y, g.b.x, g.b.y);
            }
            p.drawLines(m_lines.data(), static_cast<int>(m_lines.size()));
        }
        if (!labelled) {
            labelled = true;
            p.save();
            p.setFont(LabelFont());
            p.drawText(m_layout.plot.left - 16, path.first.y - 6 + QFontMetrics(p.font()).ascent(),
                       QString::number(k));
            p.restore();
        }
    };
    if (IsParityParam(c.param)) {
        draw(Parity::Odd);
        draw(Parity::Even);
    } else {
        draw(Parity::All);
    }
}

void CGraphPainter::PaintTimeLabels(QPainter& p, const SGraphState& st) {
    const auto& l = m_layout;
    STimeLabels labels = MakeTimeLabels(st.window, st.vLines, st.startTime);
    p.setPen(ToQColor(st.gridColor));
    QFontMetrics fm(p.font());
    auto place = [&](const QString& text, int centreX, int top) {
        int w = fm.horizontalAdvance(text);
        int x = centreX - w / 2;
        x = std::max(x, l.plot.left - 15);
        if (x + w > l.plot.right) x = l.client.right - w;
        p.drawText(x, top + fm.ascent(), text);
    };
    const int n = std::min<int>(st.vLines, static_cast<int>(labels.seconds.size()));
    for (int i = 0; i < n; ++i) {
        int x = VerticalLineX(l, i, st.vLines);
        if (i < n - 1) place(Q(labels.seconds[static_cast<std::size_t>(i)]), x, l.plot.bottom + 3);
        if (!st.timeAxes) continue;
        if (st.selection.active && i < 2) continue;
        if (i % 2 != 0 && l.plot.Width() <= 740) continue;
        place(Q(labels.times[static_cast<std::size_t>(i)]), x, l.plot.bottom + 16);
    }
    if (st.vLines >= 2) {
        int x = (VerticalLineX(l, st.vLines - 2, st.vLines) + VerticalLineX(l, st.vLines - 1, st.vLines)) / 2;
        place(QStringLiteral("t , c"), x, l.plot.bottom + 3);
    }
}

QImage RenderGraphImage(int width, int height, const SGraphState& st,
                        const std::vector<SCurveSpec>& curves, CSeriesCache& cache) {
    QImage img(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    QPainter p(&img);
    CGraphPainter painter;
    painter.Paint(p, img.width(), img.height(), st, curves, cache);
    return img;
}

bool SaveGraphFile(const QString& path, int width, int height, const SGraphState& st,
                   const std::vector<SCurveSpec>& curves, CSeriesCache& cache, QString* error,
                   Language language) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    const bool en = language == Language::English;
    auto say = [en](const char* russian, const char* english) {
        return QString::fromUtf8(en ? english : russian);
    };
    if (width < 100 || height < 100 || width > 20000 || height > 20000)
        return fail(say("размер изображения вне пределов 100..20000",
                        "the image size is outside 100..20000"));
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("svg")) {
        QSvgGenerator gen;
        gen.setFileName(path);
        gen.setSize(QSize(width, height));
        gen.setViewBox(QRect(0, 0, width, height));
        gen.setTitle(QStringLiteral("Dravmer"));
        QPainter p;
        if (!p.begin(&gen))
            return fail(say("не удалось создать файл ", "cannot create the file ") + path);
        CGraphPainter painter;
        painter.Paint(p, width, height, st, curves, cache);
        if (!p.end()) return fail(say("ошибка записи ", "error writing ") + path);
        if (!QFileInfo::exists(path))
            return fail(say("не удалось создать файл ", "cannot create the file ") + path);
        return true;
    }
    if (ext != QLatin1String("png"))
        return fail(say("поддерживаются только .png и .svg", "only .png and .svg are supported"));
    QImage img = RenderGraphImage(width, height, st, curves, cache);
    if (!img.save(path, "PNG")) return fail(say("не удалось записать ", "cannot write ") + path);
    return true;
}

// ---- statistics graph ----

void CStatGraphPainter::AutoRange(const SStatGraphData& d) {
    if (!d.hasStats) return;
    m_axes = StatAutoRange(d.averaged[0].min, d.averaged[0].max, d.averaged[1].min,
                           d.averaged[1].max);
}

void CStatGraphPainter::Paint(QPainter& p, int width, int height, const SStatGraphData& d,
                              const SStatGraphStyle& style) {
    for (int q = 0; q < 2; ++q) {
        const auto& a = m_axes[static_cast<std::size_t>(q)];
        const auto& prof = d.averaged[static_cast<std::size_t>(q)];
        if (d.hasStats && (prof.min < a.min || prof.max > a.max)) {
            AutoRange(d);
            break;
        }
    }
    const SStatLayout l = LayoutStatGraph(width, height, 2);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(0, 0, width, height, ToQColor(style.background));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    p.setFont(font);
    QFontMetrics fm(font);

    // Text block.
    const int tx = l.inner.left + 20;
    const int headerY = std::max(2, l.inner.top - 15);
    SStatText text = StatGraphText(d.deviceName, d.ratio, d.averaged, d.firstSecond, d.lastSecond,
                                   d.upper, d.lower, d.language);
    p.setPen(ToQColor(style.text));
    p.drawText(tx, headerY + fm.ascent(), Q(text.header));
    for (int q = 0; q < 2; ++q) {
        const int y = headerY + 5 + 18 * (q + 1);  // the legend strokes; texts 8 above
        p.setPen(QPen(ToQColor(style.colors[static_cast<std::size_t>(q)]), 2));
        p.drawLine(tx, y, tx + 50, y);
        if (q == 1) {
            p.setBrush(ToQColor(style.colors[1]));
            p.drawEllipse(QPoint(tx + 25, y), 3, 3);
            p.setBrush(Qt::NoBrush);
        }
        p.setPen(ToQColor(style.text));
        p.drawText(tx + 70, y - 8 + fm.ascent(), Q(text.lines[static_cast<std::size_t>(q)]));
    }

    // Grids: 11 horizontal, 12 vertical.
    p.setPen(QPen(ToQColor(style.grid), 1));
    for (int i = 0; i < 11; ++i) {
        int y = static_cast<int>(l.plot.top + i * static_cast<double>(l.plot.Height()) / 10);
        p.drawLine(l.plot.left, y, l.plot.right, y);
    }
    for (int i = 0; i < 12; ++i) {
        int x = static_cast<int>(l.plot.left + i * static_cast<double>(l.plot.Width()) / 11);
        p.drawLine(x, l.plot.top, x, l.plot.bottom);
    }

    // Axes with their labels.
    for (int q = 0; q < 2; ++q) {
        const auto& a = m_axes[static_cast<std::size_t>(q)];
        QColor col = ToQColor(style.colors[static_cast<std::size_t>(q)]);
        int x = l.plot.left - 64 * q;
        p.setPen(QPen(col, 2));
        p.drawLine(x, l.plot.top, x, l.plot.bottom);
        auto labels = StatLabels(a, 11);
        for (int i = 0; i < 11; ++i) {
            int y = static_cast<int>(l.plot.bottom - i * static_cast<double>(l.plot.Height()) / 10);
            p.setPen(QPen(col, 2));
            if (q == 0) p.drawLine(x - 3, y, x + 3, y);
            else p.drawEllipse(QPoint(x, y), 2, 2);
            QString s = Q(labels[static_cast<std::size_t>(i)]);
            p.setPen(col);
            p.drawText(x - 6 - fm.horizontalAdvance(s), y - 8 + fm.ascent(), s);
        }
    }

    // Horizontal labels under the inner ten vertical lines.
    p.setPen(ToQColor(style.grid));
    for (int i = 0; i < 10; ++i) {
        QString s = QStringLiteral("UG[%1]").arg(i);
        int x = static_cast<int>(l.plot.left + (i + 1) * static_cast<double>(l.plot.Width()) / 11) -
                fm.horizontalAdvance(s) / 2;
        x = std::clamp(x, l.plot.left, l.plot.right - fm.horizontalAdvance(s));
        p.drawText(x, l.plot.bottom + 3 + fm.ascent(), s);
    }

    // Curves: the averaged profiles, and the latest values when asked for.
    const int shown = style.showLatest ? 4 : 2;
    for (int q = 0; q < shown; ++q) {
        const SStatProfile& prof = q < 2 ? d.averaged[static_cast<std::size_t>(q)]
                                         : d.latest[static_cast<std::size_t>(q - 2)];
        // A profile that never got a value (NaN, infinite or denormal garbage) is left out.
        const double v0 = prof.values[0];
        if (!d.hasStats || !std::isfinite(v0) || std::fpclassify(v0) == FP_SUBNORMAL) continue;
        const SStatAxis& a = m_axes[static_cast<std::size_t>(q % 2)];
        QColor col = ToQColor(style.colors[static_cast<std::size_t>(q)]);
        QPolygon poly;
        for (int i = 0; i < 10; ++i) {
            double x = l.plot.left + (i + 1) / 11.0 * l.plotWidth;
            double range = a.max - a.min;
            double y = range != 0 ? l.plot.bottom - (prof.values[static_cast<std::size_t>(i)] - a.min) / range * l.plotHeight
                                  : l.plot.bottom;
            if (!(y >= l.plot.top)) y = l.plot.top;
            y = std::min<double>(y, l.plot.bottom);
            poly << QPoint(static_cast<int>(x), static_cast<int>(y));
        }
        p.setPen(QPen(col, 2));
        p.drawPolyline(poly);
        if (q % 2 == 1) {
            p.setBrush(col);
            for (const QPoint& pt : poly) p.drawEllipse(pt, 3, 3);
            p.setBrush(Qt::NoBrush);
        }
    }
}

}  // namespace dravmer::graph
