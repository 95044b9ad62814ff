#pragma once
// The readings of one device as a table: one row per stored record, one column per selected
// parameter. The model copies nothing: a cell reads its record from the store when the view
// asks, and keeps only the last record it read (a row is drawn cell by cell).
#include <QAbstractTableModel>
#include <QColor>
#include <vector>

#include "measure/device_data.h"

namespace dravmer {
class CBench;
}

namespace dravmer::ui {

class CReadingsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CReadingsModel(CBench& bench, QObject* parent = nullptr);

    // The store shown (nullptr: none) and the columns; both start the rows over.
    void SetDevice(int index);
    int Device() const { return m_device; }
    void SetColumns(std::vector<int> params);
    const std::vector<int>& Columns() const { return m_params; }
    // Takes the store's new record count; true when rows were added or taken away.
    bool Refresh();
    void SetHighlightColor(const QColor& color);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    CDeviceData* Store() const;
    const CMeasRecord& Record(int row) const;

    CBench& m_bench;
    int m_device = -1;
    int m_rows = 0;
    std::vector<int> m_params;
    QColor m_highlight;
    mutable int m_cachedRow = -1;
    mutable CMeasRecord m_cached;
};

}  // namespace dravmer::ui
