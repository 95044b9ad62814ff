#pragma once
// The program's own icons, drawn as SVG in the Qt resources and rendered here, so they show on
// any machine whatever its icon theme and image plugins.
#include <QIcon>
#include <QPixmap>

namespace dravmer::ui {

// The icon ":/icons/<name>.svg" at the usual tool-bar and menu sizes.
QIcon Icon(const char* name);
// One size of it.
QPixmap IconPixmap(const char* name, int size);

}  // namespace dravmer::ui
