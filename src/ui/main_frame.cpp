#include "ui/main_frame.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTabWidget>

#include "ui/page_list.h"

namespace dravmer::ui {

QStringList PageTitles() {
    QStringList titles;
    for (const SViewPage& page : ViewPages()) titles << page.title;
    return titles;
}

CMainFrame::CMainFrame(ISettingsStore& settings, QWidget* parent)
    : QMainWindow(parent), m_settings(settings) {
    setWindowTitle(QStringLiteral("Dravmer v.%1").arg(QString::fromLatin1(kVersion)));
    m_pages = new QTabWidget(this);
    for (const QString& title : PageTitles()) {
        auto* page = new QWidget(m_pages);
        m_pages->addTab(page, title);
    }
    setCentralWidget(m_pages);
    RestorePlacement();
}

void CMainFrame::RestorePlacement() {
    const int x = m_settings.GetInt("WindowPos", "x", 0);
    const int y = m_settings.GetInt("WindowPos", "y", 0);
    const int cx = m_settings.GetInt("WindowPos", "cx", 560);
    const int cy = m_settings.GetInt("WindowPos", "cy", 400);
    setGeometry(x, y, cx > 0 ? cx : 560, cy > 0 ? cy : 400);
}

void CMainFrame::SavePlacement() {
    // A minimised window keeps the last normal placement and show state.
    if (isMinimized()) return;
    m_settings.SetInt("WindowPos", "showCmd", isMaximized() ? 3 : 1);
    if (!isMaximized()) {
        m_settings.SetInt("WindowPos", "x", geometry().x());
        m_settings.SetInt("WindowPos", "y", geometry().y());
        m_settings.SetInt("WindowPos", "cx", geometry().width());
        m_settings.SetInt("WindowPos", "cy", geometry().height());
    }
    m_settings.Flush();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SavePlacement();
    event->accept();
}

}  // namespace dravmer::ui
