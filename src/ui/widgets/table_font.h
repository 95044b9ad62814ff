#pragma once
// The tables' fixed-pitch font: 9-point Lucida Console where installed, else the system's
// monospace face.
#include <QFont>

namespace dravmer::ui {

inline QFont TableFont() {
    QFont font(QStringLiteral("Lucida Console"), 9);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return font;
}

}  // namespace dravmer::ui
