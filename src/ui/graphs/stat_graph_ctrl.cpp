#include "ui/graphs/stat_graph_ctrl.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <algorithm>

#include "measure/device_data.h"
#include "measure/param_index.h"
#include "ui/qt_translations.h"

namespace dravmer::ui {

using namespace graph;

namespace {
constexpr int kFirstUg = param::kUG0;

SStatProfile ProfileOf(const CMeasRecord& r) {
    SStatProfile p;
    for (int i = 0; i < 10; ++i) p.values[static_cast<std::size_t>(i)] = GetParam(r, kFirstUg + i);
    p.min = *std::min_element(p.values.begin(), p.values.end());
    p.max = *std::max_element(p.values.begin(), p.values.end());
    return p;
}
}  // namespace

SStatGraphData StatGraphDataOf(const CDeviceData& store) {
    SStatGraphData d;
    d.deviceName = store.Title();
    d.language = UiLanguage();
    const int count = store.GetCount();
    d.hasStats = count > 0;
    const SStatState st = store.GetStatState();
    d.firstSecond = st.firstSecond;
    d.lastSecond = std::max<std::int64_t>(0, st.lastSecond);
    const STrendResult trend = store.GetTrend();
    d.ratio = trend.ratio;
    d.upper = trend.upper;
    d.lower = trend.lower;
    if (!d.hasStats) {
        for (auto& p : d.averaged) p.min = 0, p.max = 1;
        for (auto& p : d.latest) p.min = 0, p.max = 1;
        return d;
    }
    d.averaged[0] = ProfileOf(store.GetStat(StatKind::AverageO));
    d.averaged[1] = ProfileOf(store.GetStat(StatKind::AverageE));
    // The newest record of each parity; the first record when none has it. A few records back
    // are enough in practice, so the walk is bounded.
    for (int parity = 0; parity < 2; ++parity) {
        const bool wantOdd = parity == 0;
        CMeasRecord found = store.GetSample(0);
        for (int i = count - 1; i >= 0 && i >= count - 64; --i) {
            CMeasRecord r = store.GetSample(i);
            if (((r.cycle & 1) != 0) == wantOdd) {
                found = r;
                break;
            }
        }
        d.latest[static_cast<std::size_t>(parity)] = ProfileOf(found);
    }
    return d;
}

CStatGraphCtrl::CStatGraphCtrl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(300, 200);
    setAccessibleName(tr("График среднее UG0-9"));
}

void CStatGraphCtrl::SetData(const SStatGraphData& data) {
    m_data = data;
    update();
}

void CStatGraphCtrl::SetStyle(const SStatGraphStyle& style) {
    m_style = style;
    update();
}

QImage CStatGraphCtrl::Render(int width, int height, bool whiteBackground) {
    QImage img(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    QPainter p(&img);
    SStatGraphStyle style = m_style;
    if (whiteBackground) style.background = 0xFFFFFF;
    m_painter.Paint(p, img.width(), img.height(), m_data, style);
    return img;
}

void CStatGraphCtrl::CopyToClipboard() {
    if (auto* cb = QGuiApplication::clipboard()) cb->setImage(Render(width(), height(), true));
}

void CStatGraphCtrl::paintEvent(QPaintEvent*) {
    if (m_image.size() != size()) m_image = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    {
        QPainter ip(&m_image);
        m_painter.Paint(ip, m_image.width(), m_image.height(), m_data, m_style);
    }
    QPainter p(this);
    p.drawImage(0, 0, m_image);
}

}  // namespace dravmer::ui
