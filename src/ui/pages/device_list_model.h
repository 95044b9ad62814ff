#pragma once
// The device list's rows: every found device with its identification and its link statistics,
// over the engine's found list. The check box of column 0 is the device's enabled flag; a change
// the engine refuses (during an experiment or a search) leaves the stored flag shown.
#include <QAbstractTableModel>
#include <vector>

#include "bench/bench.h"
#include "link/link_stat.h"

namespace dravmer::ui {

class CDeviceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 26;
    static constexpr int kFirstStatColumn = 7;

    explicit CDeviceListModel(CBench& bench, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Rows from the engine's found list (never while a search runs: the search owns the list).
    void Reload();
    // Empties the view (a search is starting).
    void Clear();
    // A device the running search has just identified, as row `row`; rows come in order, and
    // one that does not follow the last shown row is ignored (the list is reloaded at the end).
    void AddIdentified(int row, const SFoundInfo& info);
    // Flips the enabled flag of a row, as its check box does.
    bool ToggleRow(int row);
    // Columns 7..25 from the links' statistics.
    void RefreshStatistics();
    // Every found device enabled, and at least one.
    bool AllEnabled() const;
    // The header's box: all on when not all are on, else all off. False when refused.
    bool ToggleAll();

    // The texts of the statistics columns for one device.
    static QString StatText(const SLinkDevStat& stat, int column);

signals:
    // The enabled flags changed: the active list was rebuilt.
    void enabledChanged();

private:
    CBench& m_bench;
    std::vector<SFoundInfo> m_rows;
    std::vector<SLinkDevStat> m_stats;
};

}  // namespace dravmer::ui
