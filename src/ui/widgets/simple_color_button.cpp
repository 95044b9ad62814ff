#include "ui/widgets/simple_color_button.h"

#include <QColorDialog>
#include <QPainter>

namespace dravmer::ui {

CSimpleColorButton::CSimpleColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setAccessibleName(text);
    setMinimumWidth(90);
    connect(this, &QPushButton::clicked, this, &CSimpleColorButton::Choose);
}

void CSimpleColorButton::SetColor(const QColor& color) {
    if (color == m_color) return;
    m_color = color;
    update();
    emit colorChanged(color);
}

void CSimpleColorButton::Choose() {
    const QColor chosen = QColorDialog::getColor(m_color, this, text());
    if (chosen.isValid()) SetColor(chosen);
}

void CSimpleColorButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const int h = height() - 12;
    QRect swatch(width() - h - 8, 6, h, h);
    painter.fillRect(swatch, m_color);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(swatch);
}

}  // namespace dravmer::ui
