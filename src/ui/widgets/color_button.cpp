#include "ui/widgets/color_button.h"

#include <QColorDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionButton>
#include <QToolButton>

#include "graph/paint/graph_painter.h"

namespace dravmer::ui {

namespace {
QIcon Swatch(std::uint32_t c) {
    QPixmap pm(18, 18);
    pm.fill(graph::ToQColor(c));
    QPainter p(&pm);
    p.setPen(Qt::gray);
    p.drawRect(0, 0, 17, 17);
    return QIcon(pm);
}
}  // namespace

CColorButton::CColorButton(graph::SColorTable& table, const QString& name, QWidget* parent)
    : QPushButton(parent), m_table(table) {
    setAccessibleName(name.isEmpty() ? tr("Цвет") : name);
    setMinimumWidth(48);
    setMaximumWidth(120);
    setFixedHeight(24);
    connect(this, &QPushButton::clicked, this, &CColorButton::OpenPalette);
}

void CColorButton::SetColor(std::uint32_t color) {
    m_color = color & 0xFFFFFFu;
    setToolTip(QStringLiteral("#%1%2%3")
                   .arg(m_color & 0xFF, 2, 16, QLatin1Char('0'))
                   .arg((m_color >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                   .arg((m_color >> 16) & 0xFF, 2, 16, QLatin1Char('0')));
    update();
}

void CColorButton::Choose(std::uint32_t color) {
    m_table.Choose(color & 0xFFFFFFu);
    SetColor(color);
    emit colorChosen(m_color);
}

void CColorButton::OpenPalette() {
    if (m_palette) m_palette->close();
    auto* frame = new QFrame(this, Qt::Popup);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setAccessibleName(tr("Палитра"));
    auto* grid = new QGridLayout(frame);
    grid->setSpacing(2);
    for (int i = 0; i < graph::kTableColors; ++i) {
        const std::uint32_t c = m_table.colors[static_cast<std::size_t>(i)];
        auto* cell = new QToolButton(frame);
        cell->setIcon(Swatch(c));
        cell->setAutoRaise(true);
        QString name = QString::fromStdString(graph::StandardColorName(c));
        if (name.isEmpty())
            name = QStringLiteral("#%1").arg(graph::ToQColor(c).name().mid(1).toUpper());
        cell->setToolTip(name);
        cell->setAccessibleName(name);
        cell->setObjectName(QStringLiteral("cell%1").arg(i));
        connect(cell, &QToolButton::clicked, this, [this, frame, c] {
            frame->close();
            Choose(c);
        });
        grid->addWidget(cell, i / 5, i % 5);
    }
    auto* more = new QToolButton(frame);
    more->setText(tr("Другие цвета…"));
    more->setObjectName(QStringLiteral("more"));
    more->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(more, &QToolButton::clicked, this, [this, frame] {
        frame->close();
        OpenDialog();
    });
    grid->addWidget(more, 4, 0, 1, 5);
    m_palette = frame;
    connect(frame, &QObject::destroyed, this, [this] { m_palette = nullptr; });
    frame->adjustSize();
    // Next to the button, moved up or left to stay on the screen.
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (QScreen* s = screen()) {
        QRect avail = s->availableGeometry();
        if (at.x() + frame->width() > avail.right()) at.setX(avail.right() - frame->width());
        if (at.y() + frame->height() > avail.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - frame->height());
    }
    frame->move(at);
    frame->show();
}

void CColorButton::OpenDialog() {
    QColor c = QColorDialog::getColor(graph::ToQColor(m_color), this, tr("Цвет"));
    if (c.isValid()) Choose(graph::FromQColor(c));
}

void CColorButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter p(this);
    QRect r = rect().adjusted(5, 5, -5, -5);
    p.fillRect(r, graph::ToQColor(m_color));
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

}  // namespace dravmer::ui
