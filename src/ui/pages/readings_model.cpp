#include "ui/pages/readings_model.h"

#include "bench/bench.h"
#include "measure/param_catalog.h"

namespace dravmer::ui {

CReadingsModel::CReadingsModel(CBench& bench, QObject* parent)
    : QAbstractTableModel(parent), m_bench(bench) {}

CDeviceData* CReadingsModel::Store() const {
    if (m_device < 0 || static_cast<std::size_t>(m_device) >= m_bench.StoreCount()) return nullptr;
    return &m_bench.Data(static_cast<std::size_t>(m_device));
}

void CReadingsModel::SetDevice(int index) {
    beginResetModel();
    m_device = index;
    CDeviceData* store = Store();
    m_rows = store ? store->GetCount() : 0;
    m_cachedRow = -1;
    endResetModel();
}

void CReadingsModel::SetColumns(std::vector<int> params) {
    beginResetModel();
    m_params = std::move(params);
    m_cachedRow = -1;
    endResetModel();
}

void CReadingsModel::SetHighlightColor(const QColor& color) {
    if (color == m_highlight) return;
    m_highlight = color;
    if (m_rows > 0 && !m_params.empty())
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1), {Qt::BackgroundRole});
}

bool CReadingsModel::Refresh() {
    CDeviceData* store = Store();
    const int count = store ? store->GetCount() : 0;
    if (count == m_rows) return false;
    m_cachedRow = -1;
    if (count > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, count - 1);
        m_rows = count;
        endInsertRows();
    } else {
        // The store was emptied (a new experiment, a load): start over.
        beginResetModel();
        m_rows = count;
        endResetModel();
    }
    return true;
}

int CReadingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int CReadingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_params.size());
}

const CMeasRecord& CReadingsModel::Record(int row) const {
    if (row != m_cachedRow) {
        CDeviceData* store = Store();
        m_cached = store ? store->GetSample(row) : CMeasRecord{};
        m_cachedRow = row;
    }
    return m_cached;
}

QVariant CReadingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows || index.column() >= columnCount())
        return {};
    const int param = m_params[static_cast<std::size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole: {
            const double v = GetParam(Record(index.row()), param);
            return QString::fromStdString(
                FormatTableValue(param, v, m_bench.Settings().TableDecimals(param)));
        }
        case Qt::BackgroundRole:
            if (CExperimentSettings::IsOutOfTolerance(param, GetParam(Record(index.row()), param)))
                return m_highlight;
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant CReadingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section < 0 || section >= columnCount()) return {};
    return QString::fromUtf8(ParamName(m_params[static_cast<std::size_t>(section)]).data(),
                             static_cast<int>(ParamName(m_params[static_cast<std::size_t>(section)]).size()));
}

}  // namespace dravmer::ui
