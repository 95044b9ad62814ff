#pragma once
// "Статистика по приборам": one statistic of every device side by side, a row per device and a
// column per table parameter; Current values out of tolerance are highlighted.
#include <QWidget>

#include "ui/tables/table_text.h"

class QComboBox;
class QTableWidget;
class QTimer;

namespace dravmer::ui {

struct SUiContext;

class CAllDevicesPage : public QWidget {
    Q_OBJECT
public:
    explicit CAllDevicesPage(SUiContext& context, QWidget* parent = nullptr);

    QComboBox* Selector() const { return m_selector; }
    QTableWidget* Table() const { return m_table; }
    StatKind Kind() const { return m_kind; }
    int ColumnRebuilds() const { return m_rebuilds; }
    QString ClipboardText() const;
    // The statistics range the copied text names (the graph's selection when one exists).
    void SetRange(qint64 firstSecond, qint64 lastSecond);

public slots:
    void RefreshColumns();
    void RefreshRows();
    void RefreshValues();
    void Refresh();
    void CopyStatistics();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void KindChanged(int index);

    SUiContext& m_context;
    QComboBox* m_selector = nullptr;
    QTableWidget* m_table = nullptr;
    QTimer* m_timer = nullptr;
    StatKind m_kind = StatKind::Current;
    ParamFlags m_flags{};
    bool m_haveColumns = false;
    int m_rebuilds = 0;
    bool m_haveRange = false;
    qint64 m_first = 0, m_last = 0;
};

// The eleven selector texts in StatKind order.
QStringList StatKindTexts();

}  // namespace dravmer::ui
