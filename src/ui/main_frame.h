#pragma once
// The program's single window: the main view's seven pages as tabs. The pages fill in as the
// engine grows; the window itself already keeps its title and placement.
#include <QMainWindow>

#include "platform/settings_store.h"

class QTabWidget;

namespace dravmer::ui {

inline constexpr const char* kVersion = "05.43";

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(ISettingsStore& settings, QWidget* parent = nullptr);
    QTabWidget* Pages() const { return m_pages; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void RestorePlacement();
    void SavePlacement();

    ISettingsStore& m_settings;
    QTabWidget* m_pages = nullptr;
};

// The seven page titles in tab order.
QStringList PageTitles();

}  // namespace dravmer::ui
