#pragma once
// The main window's commands about the collected data: load a stored experiment, the debug
// window, copy the statistics of the active page.
#include <QObject>
#include <QPointer>

class QWidget;

namespace dravmer::ui {

struct SUiContext;
class CDebugWindow;

class CDataCommands : public QObject {
    Q_OBJECT
public:
    CDataCommands(SUiContext& context, QWidget* window);

public slots:
    // "Загрузить результаты эксперимента".
    void LoadExperiment();
    // "Поиск ошибок GvErr!=0".
    void ShowDebugWindow();
    // "Копировать статистику в буфер обмена" with the main view's active tab: the readings
    // page its device's text, the all-devices page its table, the graph page (tab 2) repeats
    // the last of the two; other pages copy nothing.
    void CopyStatistics(int tabIndex, QWidget* page);

signals:
    void experimentLoaded(const QString& comment, qint64 time);

private:
    SUiContext& m_context;
    QWidget* m_window;
    QPointer<CDebugWindow> m_debug;
};

}  // namespace dravmer::ui
