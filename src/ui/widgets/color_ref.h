#pragma once
// Colours are stored as 0x00BBGGRR numbers (crTableHighlightColor and the graph colours).
#include <QColor>

namespace dravmer::ui {

inline QColor FromColorRef(int ref) {
    return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

inline int ToColorRef(const QColor& c) { return c.red() | c.green() << 8 | c.blue() << 16; }

}  // namespace dravmer::ui
