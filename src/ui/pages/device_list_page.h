#pragma once
// "Список приборов": the found devices with their identification and link statistics, the
// check boxes choosing which take part, the search and its progress, the link statistics reset
// and the link error log switch. The search itself runs through the frame's command, off the
// UI thread; each device's row appears as the search identifies it. During an experiment the
// statistics refresh every second.
#include <QWidget>

#include "ui/ui_context.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace dravmer::ui {

class CDeviceListModel;

class CDeviceListPage : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kIdleProgress =
        QT_TR_NOOP("Поиск приборов________________________");

    CDeviceListPage(SUiContext& context, QWidget* parent = nullptr);

    CDeviceListModel* Model() const { return m_model; }
    QTableView* Table() const { return m_table; }
    QString ProgressText() const;
    QPushButton* SearchButton() const { return m_search; }
    QCheckBox* LogBox() const { return m_log; }
    bool Refreshing() const;
    void ToggleAllFromHeader();
    void ResetLinkStatistics();

protected:
    // Space toggles the current row's check box whichever column is current.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitColumns();
    // Rows from the engine's list again, keeping the current cell where it was.
    void ReloadRows();

    SUiContext& m_context;
    CDeviceListModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_progress = nullptr;
    QPushButton* m_search = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_params = nullptr;
    QCheckBox* m_log = nullptr;
    QTimer* m_refresh = nullptr;
};

}  // namespace dravmer::ui
