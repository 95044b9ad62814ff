#pragma once
// A button showing a colour; a click opens the colour dialog.
#include <QColor>
#include <QPushButton>

namespace dravmer::ui {

class CSimpleColorButton : public QPushButton {
    Q_OBJECT
public:
    explicit CSimpleColorButton(const QString& text, QWidget* parent = nullptr);
    QColor Color() const { return m_color; }
    void SetColor(const QColor& color);

signals:
    void colorChanged(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Choose();
    QColor m_color;
};

}  // namespace dravmer::ui
