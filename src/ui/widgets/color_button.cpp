#include "ui/widgets/color_button.h"

#include <QColorDialog>
#include <QPainter>

namespace dravmer::ui {

CColorButton::CColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setAccessibleName(text);
    setMinimumWidth(90);
    connect(this, &QPushButton::clicked, this, &CColorButton::Choose);
}

void CColorButton::SetColor(const QColor& color) {
    if (color == m_color) return;
    m_color = color;
    update();
    emit colorChanged(color);
}

void CColorButton::Choose() {
    const QColor chosen = QColorDialog::getColor(m_color, this, text());
    if (chosen.isValid()) SetColor(chosen);
}

void CColorButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const int h = height() - 12;
    QRect swatch(width() - h - 8, 6, h, h);
    painter.fillRect(swatch, m_color);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(swatch);
}

}  // namespace dravmer::ui
