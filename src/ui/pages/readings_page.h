#pragma once
// "Показания АЦП": the current device's readings second by second (a virtual table over its
// store) and its ten statistics below. While an experiment runs the page looks at the store once
// a second and adds the new rows, following the last one when auto-scroll is on.
#include <QWidget>

#include "ui/tables/table_text.h"

class QTableView;
class QTableWidget;
class QTimer;

namespace dravmer::ui {

struct SUiContext;
class CReadingsModel;

class CReadingsPage : public QWidget {
    Q_OBJECT
public:
    explicit CReadingsPage(SUiContext& context, QWidget* parent = nullptr);

    QTableView* Readings() const { return m_view; }
    QTableWidget* Statistics() const { return m_stats; }
    CReadingsModel* Model() const { return m_model; }
    int ColumnRebuilds() const { return m_rebuilds; }
    // The statistics text of the current device, as the copy command puts it on the clipboard.
    QString StatisticsText() const;

public slots:
    void SetCurrentDevice(int index);
    // Rebuilds the columns when the table selection changed, then takes new records.
    void Refresh();
    void CopyStatistics();
    void SetAutoScroll(bool on);
    void ChooseColumns();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RebuildColumnsIfChanged();
    void RefreshStatistics();
    void FitStatisticsColumn(int column);
    void WidenReadingsColumns();

    SUiContext& m_context;
    QTableView* m_view = nullptr;
    QTableWidget* m_stats = nullptr;
    CReadingsModel* m_model = nullptr;
    QTimer* m_timer = nullptr;
    ParamFlags m_shown{};
    bool m_haveColumns = false;
    int m_rebuilds = 0;
    int m_widened = -1;  // the row count the column widths were last fitted at
};

}  // namespace dravmer::ui
