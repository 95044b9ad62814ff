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

// The settings sheet's pages by name: commands open a page by its id, never by its position
// (the port pages are left out while an experiment or a search runs).
enum class SheetPageId { Program, StatGraph, GraphColors, MainGraph, Tables, Port1, Port2, Port3, Port4 };

struct SSheetPageEntry {
    SheetPageId id;
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
