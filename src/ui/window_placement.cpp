#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "platform/settings_store.h"

namespace dravmer::ui {

QRect FirstStartGeometry(const QRect& available, double share, const QSize& minimum) {
    const int w = std::clamp(static_cast<int>(std::lround(available.width() * share)),
                             std::min(minimum.width(), available.width()), available.width());
    const int h = std::clamp(static_cast<int>(std::lround(available.height() * share)),
                             std::min(minimum.height(), available.height()), available.height());
    QRect r(0, 0, std::max(w, minimum.width()), std::max(h, minimum.height()));
    r.moveCenter(available.center());
    // A screen smaller than the minimum keeps the top left corner in sight.
    r.moveTopLeft(QPoint(std::max(r.left(), available.left()), std::max(r.top(), available.top())));
    return r;
}

bool HasSavedPlacement(const ISettingsStore& settings) {
    for (const char* name : {"x", "y", "cx", "cy"})
        if (settings.Contains("WindowPos", name)) return true;
    return false;
}

QRect RestorePlacement(QWidget& window, const ISettingsStore& settings, const QSize& minimum) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    QRect placed(QPoint(0, 0), minimum);
    if (!HasSavedPlacement(settings)) {
        if (primary)
            placed = FirstStartGeometry(primary->availableGeometry(), kFirstStartShare, minimum);
    } else {
        const int x = settings.GetInt("WindowPos", "x", 0);
        const int y = settings.GetInt("WindowPos", "y", 0);
        const int cx = settings.GetInt("WindowPos", "cx", minimum.width());
        const int cy = settings.GetInt("WindowPos", "cy", minimum.height());
        placed = QRect(x, y, std::max(cx, minimum.width()), std::max(cy, minimum.height()));
        // A placement on a screen that is no longer there would hide the window.
        bool onScreen = false;
        for (const QScreen* screen : QGuiApplication::screens())
            if (screen->availableGeometry().intersects(placed)) onScreen = true;
        if (!onScreen)
            placed.moveTopLeft(primary ? primary->availableGeometry().topLeft() : QPoint());
    }
    window.move(placed.topLeft());  // the frame's outer corner
    window.resize(placed.size());
    return placed;
}

void SavePlacement(const QWidget& window, ISettingsStore& settings,
                   std::optional<QRect> normalPlacement) {
    // A minimised window keeps the last normal placement and show state.
    if (window.isMinimized()) return;
    settings.SetInt("WindowPos", "showCmd", window.isMaximized() ? 3 : 1);
    QRect normal(window.pos(), window.size());
    if (window.isMaximized() || window.isFullScreen()) {
        if (normalPlacement) {
            normal = *normalPlacement;
        } else {
            // The inside of the frame, its outer corner a title bar and a border higher.
            normal = window.normalGeometry();
            normal.moveTopLeft(normal.topLeft() -
                               (window.geometry().topLeft() - window.frameGeometry().topLeft()));
        }
    }
    settings.SetInt("WindowPos", "x", normal.x());
    settings.SetInt("WindowPos", "y", normal.y());
    settings.SetInt("WindowPos", "cx", normal.width());
    settings.SetInt("WindowPos", "cy", normal.height());
    settings.Flush();
}

}  // namespace dravmer::ui
