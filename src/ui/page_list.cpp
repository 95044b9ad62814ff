#include "ui/page_list.h"

#include <QCoreApplication>

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
QString T(const char* text) { return QCoreApplication::translate("Pages", text); }
}  // namespace

std::vector<SViewPage> ViewPages() {
    return {
        {T("Показания АЦП"),
         [](SUiContext& c, QWidget* parent) -> QWidget* { return new CReadingsPage(c, parent); }},
        {T("Статистика по приборам"),
         [](SUiContext& c, QWidget* parent) -> QWidget* { return new CAllDevicesPage(c, parent); }},
        {T("Показания АЦП в графической форме"), nullptr},
        {T("Среднее UG0-9"), nullptr},
        {T("Список графиков"), nullptr},
        {T("Настройки эксперимента"),
         [](SUiContext& c, QWidget* parent) -> QWidget* {
             return new CExperimentSettingsPage(c, parent);
         }},
        {T("Список приборов"),
         [](SUiContext& c, QWidget* parent) -> QWidget* { return new CDeviceListPage(c, parent); }},
    };
}

std::vector<SSheetPageEntry> SheetPages() {
    std::vector<SSheetPageEntry> pages = {
        {T("Настройки"),
         [](SUiContext& c, QWidget* parent) -> CSheetPage* {
             return new CProgramSettingsPage(c, parent);
         }},
        {T("График среднее UG0-9"), nullptr},
        {T("Цвета графиков"), nullptr},
        {T("Настройки основного графика"), nullptr},
        {T("Настройки таблиц"),
         [](SUiContext& c, QWidget* parent) -> CSheetPage* {
             return new CTableSettingsPage(c, parent);
         }},
    };
    for (int n = 1; n <= 4; ++n)
        pages.push_back({QCoreApplication::translate("Pages", "Настройки порта №%1").arg(n),
                         [n](SUiContext& c, QWidget* parent) -> CSheetPage* {
                             return new CPortSettingsPage(c, n - 1, parent);
                         },
                         true});
    return pages;
}

}  // namespace dravmer::ui
