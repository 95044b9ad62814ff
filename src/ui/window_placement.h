#pragma once
// Where the main window opens and what is kept of it at close (section WindowPos: showCmd and
// x, y, cx, cy). x and y are the outer corner of the window frame, cx and cy the size inside it,
// in every show state, so a window closed while maximised returns exactly where it was.
#include <QRect>
#include <optional>

class QWidget;

namespace dravmer {
class ISettingsStore;
}

namespace dravmer::ui {

// A window of `share` of the available area (at least `minimum`, at most the area), centred.
QRect FirstStartGeometry(const QRect& available, double share, const QSize& minimum);

// True when the settings hold a placement saved at an earlier close.
bool HasSavedPlacement(const ISettingsStore& settings);

// Places the window (not yet shown) where it was closed; a placement on no present screen moves
// to the first screen. Without a saved placement: FirstStartGeometry of the primary screen with
// kFirstStartShare.
inline constexpr double kFirstStartShare = 0.8;
// Returns the normal placement given (frame corner, inside size).
QRect RestorePlacement(QWidget& window, const ISettingsStore& settings, const QSize& minimum);

// Saves showCmd and the normal placement. A maximised window saves `normalPlacement` (frame
// corner and inside size the window last had in the normal state, or was restored to): Qt's
// normalGeometry() is the inside of the frame, and of a window shown maximised from the start it
// is not even that. A minimised window saves nothing.
void SavePlacement(const QWidget& window, ISettingsStore& settings,
                   std::optional<QRect> normalPlacement);

}  // namespace dravmer::ui
