#pragma once
// The main view's pages in tab order and the settings sheet's pages in order. The frame and the
// sheet only walk these lists; a page is added by adding it here, without touching either.
#include <QString>
#include <functional>
#include <vector>

#include "ui/ui_context.h"

class QWidget;

namespace dravmer::ui {

class CSheetPage;

struct SViewPage {
    QString title;
    // Builds the page; nullptr leaves an empty placeholder.
    std::function<QWidget*(SUiContext&, QWidget* parent)> make;
};

struct SSheetPageEntry {
    QString title;
    std::function<CSheetPage*(SUiContext&, QWidget* parent)> make;
    // Port pages are offered only while neither a search nor an experiment runs.
    bool portPage = false;
};

// The seven pages of the main view, in tab order.
std::vector<SViewPage> ViewPages();
// The pages of the settings sheet, in order (the four port pages last).
std::vector<SSheetPageEntry> SheetPages();

}  // namespace dravmer::ui
