#include "ui/page_list.h"

#include <QCoreApplication>

#include "ui/graphs/curve_list_page.h"
#include "ui/graphs/graph_page.h"
#include "ui/graphs/graph_settings_pages.h"
#include "ui/graphs/stat_graph_page.h"
#include "ui/pages/all_devices_page.h"
#include "ui/pages/device_list_page.h"
#include "ui/pages/experiment_settings_page.h"
#include "ui/pages/port_settings_page.h"
#include "ui/pages/program_settings_page.h"
#include "ui/pages/readings_page.h"
#include "ui/pages/table_settings_page.h"
#include "ui/sheet_page.h"

namespace dravmer::ui {

namespace {
// The page titles are translated in the context "Pages".
QString T(const char* text) { return QCoreApplication::translate("Pages", text); }
}  // namespace

std::vector<SViewPage> ViewPages() {
    return {
        {T(QT_TRANSLATE_NOOP("Pages", "Показания АЦП")),
         [](SUiContext& c, QWidget* parent) -> QWidget* { return new CReadingsPage(c, parent); }},
        {T(QT_TRANSLATE_NOOP("Pages", "Статистика по приборам")),
         [](SUiContext& c, QWidget* parent) -> QWidget* { return new CAllDevicesPage(c, parent); }},
        {T(QT_TRANSLATE_NOOP("Pages", "Показания АЦП в графической форме")),
         [](SUiContext& ctx, QWidget* parent) -> QWidget* { return new CGraphPage(ctx, parent); }},
        {T(QT_TRANSLATE_NOOP("Pages", "Среднее UG0-9")),
         [](SUiContext& ctx, QWidget* parent) -> QWidget* {
             return new CStatGraphPage(ctx, parent);
         }},
        {T(QT_TRANSLATE_NOOP("Pages", "Список графиков")),
         [](SUiContext& ctx, QWidget* parent) -> QWidget* {
             return new CCurveListPage(ctx, parent);
         }},
        {T(QT_TRANSLATE_NOOP("Pages", "Настройки эксперимента")),
         [](SUiContext& c, QWidget* parent) -> QWidget* {
             return new CExperimentSettingsPage(c, parent);
         }},
        {T(QT_TRANSLATE_NOOP("Pages", "Список приборов")),
         [](SUiContext& c, QWidget* parent) -> QWidget* { return new CDeviceListPage(c, parent); }},
    };
}

std::vector<SSheetPageEntry> SheetPages() {
    std::vector<SSheetPageEntry> pages = {
        {SheetPageId::Program, T(QT_TRANSLATE_NOOP("Pages", "Настройки")),
         [](SUiContext& c, QWidget* parent) -> CSheetPage* {
             return new CProgramSettingsPage(c, parent);
         }},
        {SheetPageId::StatGraph, T(QT_TRANSLATE_NOOP("Pages", "График среднее UG0-9")),
         [](SUiContext& ctx, QWidget* parent) -> CSheetPage* {
             return new CStatGraphSettingsPage(ctx, parent);
         }},
        {SheetPageId::GraphColors, T(QT_TRANSLATE_NOOP("Pages", "Цвета графиков")),
         [](SUiContext& ctx, QWidget* parent) -> CSheetPage* {
             return new CGraphColorsPage(ctx, parent);
         }},
        {SheetPageId::MainGraph, T(QT_TRANSLATE_NOOP("Pages", "Настройки основного графика")),
         [](SUiContext& ctx, QWidget* parent) -> CSheetPage* {
             return new CMainGraphSettingsPage(ctx, parent);
         }},
        {SheetPageId::Tables, T(QT_TRANSLATE_NOOP("Pages", "Настройки таблиц")),
         [](SUiContext& c, QWidget* parent) -> CSheetPage* {
             return new CTableSettingsPage(c, parent);
         }},
    };
    for (int n = 1; n <= 4; ++n)
        pages.push_back({static_cast<SheetPageId>(static_cast<int>(SheetPageId::Port1) + n - 1),
                         QCoreApplication::translate("Pages", "Настройки порта №%1").arg(n),
                         [n](SUiContext& c, QWidget* parent) -> CSheetPage* {
                             return new CPortSettingsPage(c, n - 1, parent);
                         },
                         true});
    return pages;
}

}  // namespace dravmer::ui
