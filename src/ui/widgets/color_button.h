#pragma once
// A push button that shows a colour; pressing it opens a palette of the 20 table colours next
// to it, with "Другие цвета…" for the system colour dialog. The chosen colour becomes the most
// recently used entry of the shared table.
#include <QPushButton>
#include <cstdint>

#include "graph/graph_settings.h"

class QFrame;

namespace dravmer::ui {

class CColorButton : public QPushButton {
    Q_OBJECT
public:
    // The table is shared by every button of the window and outlives them. The button shows
    // only its colour; `name` is what screen readers and tests call it.
    CColorButton(graph::SColorTable& table, const QString& name, QWidget* parent = nullptr);
    std::uint32_t Color() const { return m_color; }  // 0x00BBGGRR
    void SetColor(std::uint32_t color);
    // Takes a colour as if the operator had picked it (palette or dialog).
    void Choose(std::uint32_t color);
    // The open palette, nullptr when closed (tests press its cells).
    QFrame* Palette() const { return m_palette; }

signals:
    void colorChosen(std::uint32_t color);

public slots:
    void OpenPalette();
    void OpenDialog();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    graph::SColorTable& m_table;
    std::uint32_t m_color = 0;
    QFrame* m_palette = nullptr;
};

}  // namespace dravmer::ui
