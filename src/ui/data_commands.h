#pragma once
// The main window's commands about the collected data: load a stored experiment, recompute the
// statistics, the debug window, copy the statistics of the active page, auto-scroll.
#include <QObject>
#include <QPointer>
#include <optional>

#include "ui/stats_calculation.h"

class QWidget;

namespace dravmer::ui {

struct SUiContext;
class CDebugWindow;

class CDataCommands : public QObject {
    Q_OBJECT
public:
    CDataCommands(SUiContext& context, QWidget* window);
    CStatsCalculation* Calculation() const { return m_calculation; }
    // The graph's selected range for the next "Расчет статистики"; none: all records.
    void SetSelectedRange(std::optional<SSecondsRange> range) { m_range = range; }

public slots:
    // "Загрузить результаты эксперимента".
    void LoadExperiment();
    // "Расчет статистики".
    void CalculateStatistics();
    // "Поиск ошибок GvErr!=0".
    void ShowDebugWindow();
    // "Копировать статистику в буфер обмена" with the main view's active tab: the readings
    // page its device's text, the all-devices page its table, the graph page (tab 2) repeats
    // the last of the two; other pages copy nothing.
    void CopyStatistics(int tabIndex, QWidget* page);
    // "Делать прокрутку окна "Показания АЦП"".
    void SetAutoScroll(bool on);

signals:
    void experimentLoaded(const QString& comment, qint64 time);
    // The statistics were recomputed: the tables redraw.
    void statisticsChanged();

private:
    SUiContext& m_context;
    QWidget* m_window;
    CStatsCalculation* m_calculation;
    QPointer<CDebugWindow> m_debug;
    std::optional<SSecondsRange> m_range;
};

}  // namespace dravmer::ui
