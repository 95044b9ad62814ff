#include "ui/data_commands.h"

#include <QWidget>

#include "ui/dialogs/debug_window.h"
#include "ui/dialogs/load_experiment_dialog.h"
#include "ui/pages/all_devices_page.h"
#include "ui/pages/readings_page.h"
#include "ui/tables/stats_clipboard.h"
#include "ui/ui_context.h"

namespace dravmer::ui {

CDataCommands::CDataCommands(SUiContext& context, QWidget* window)
    : QObject(window), m_context(context), m_window(window) {}

void CDataCommands::LoadExperiment() {
    if (m_context.bench.IsRunning() || m_context.bench.IsSearching()) return;
    CLoadExperimentDialog dialog(m_context, m_window);
    connect(&dialog, &CLoadExperimentDialog::experimentLoaded, this,
            &CDataCommands::experimentLoaded);
    dialog.exec();
}

void CDataCommands::ShowDebugWindow() {
    if (m_debug) {
        m_debug->raise();
        m_debug->activateWindow();
        return;
    }
    m_debug = new CDebugWindow(m_context, m_window);
    m_debug->setAttribute(Qt::WA_DeleteOnClose);
    m_debug->show();
}

void CDataCommands::CopyStatistics(int tabIndex, QWidget* page) {
    if (auto* readings = qobject_cast<CReadingsPage*>(page)) readings->CopyStatistics();
    else if (auto* all = qobject_cast<CAllDevicesPage*>(page)) all->CopyStatistics();
    else if (tabIndex == 2) CStatsClipboard::RepeatLast();
}

}  // namespace dravmer::ui
