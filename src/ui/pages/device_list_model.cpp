#include "ui/pages/device_list_model.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionButton>

#include "link/link_result.h"

namespace dravmer::ui {

namespace {

QString Percent(std::uint32_t part, std::uint32_t whole) {
    const double p = whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole;
    return QString::asprintf("%u   (%2.2f%%)", part, p);
}

QPixmap CheckPixmap(bool checked) {
    QStyleOptionButton option;
    option.rect = QRect(0, 0, 16, 16);
    option.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter);
    return pixmap;
}

}  // namespace

CDeviceListModel::CDeviceListModel(CBench& bench, QObject* parent)
    : QAbstractTableModel(parent), m_bench(bench) {}

int CDeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CDeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QString CDeviceListModel::StatText(const SLinkDevStat& stat, int column) {
    using W = SLinkDevStat;
    switch (column) {
    case 7: return QString::number(stat.w[W::kCommands]);
    case 8: return Percent(stat.w[W::kErrors], stat.w[W::kCommands]);
    case 9: return Percent(stat.w[W::kErrorsWithRepeat], stat.w[W::kTransactions]);
    default: break;
    }
    if (column < 10 || column >= kColumnCount) return {};
    const int code = -(column - 9);  // columns 10..25: result codes -1..-16
    return QString::number(stat.w[static_cast<size_t>(W::CodeWord(code))]);
}

QVariant CDeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const SFoundInfo& row = m_rows[static_cast<size_t>(index.row())];
    const int column = index.column();
    if (role == Qt::CheckStateRole && column == 0)
        return row.enabled ? Qt::Checked : Qt::Unchecked;
    if (role != Qt::DisplayRole) return {};
    if (column >= kFirstStatColumn) return StatText(m_stats[static_cast<size_t>(index.row())], column);
    switch (column) {
    case 0: return index.row() + 1;
    case 1: return QString::number(row.address);
    case 2: return row.port + 1;
    case 3:
        return row.identified ? QString::asprintf("%.2d.%.2d", row.fwMajor, row.fwMinor) : QString();
    case 4:
        if (!row.identified) return QString();
        return row.transducerRead ? QString::fromStdString(row.transducer) : tr("Ошибка");
    case 5: return row.identified ? QString::fromStdString(row.compiled) : QString();
    case 6: return row.identified ? QString::fromStdString(row.written) : QString();
    default: return {};
    }
}

bool CDeviceListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0 || index.row() >= rowCount())
        return false;
    const bool on = value.toInt() == Qt::Checked;
    const bool accepted = m_bench.SetDeviceEnabled(static_cast<size_t>(index.row()), on);
    if (accepted) m_rows[static_cast<size_t>(index.row())].enabled = on;
    // Refused or not, the view shows the stored flag.
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit headerDataChanged(Qt::Horizontal, 0, 0);
    if (accepted) emit enabledChanged();
    return accepted;
}

Qt::ItemFlags CDeviceListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant CDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    static const char* const kHeaders[kColumnCount] = {
        QT_TR_NOOP("№"),
        QT_TR_NOOP("Адрес прибора"),
        QT_TR_NOOP("Порт"),
        QT_TR_NOOP("Версия ПО"),
        QT_TR_NOOP(" Номер ПР "),
        QT_TR_NOOP("Дата компиляции         "),
        QT_TR_NOOP("Дата прошивки              "),
        QT_TR_NOOP("Кол-во команд"),
        QT_TR_NOOP("Ошибок           "),
        QT_TR_NOOP("Ошибок с повторами"),
        QT_TR_NOOP("Empty"), QT_TR_NOOP("CRC"), QT_TR_NOOP("Len"), QT_TR_NOOP("TrRes08"),
        QT_TR_NOOP("TrRes09"), QT_TR_NOOP("TrRes0A"), QT_TR_NOOP("TrRes0B"), QT_TR_NOOP("TrRes0C"),
        QT_TR_NOOP("NoLink"), QT_TR_NOOP("CmdResult"), QT_TR_NOOP("TrDevAdr"), QT_TR_NOOP("TrCmd"),
        QT_TR_NOOP("DevAdr"), QT_TR_NOOP("Cmd"), QT_TR_NOOP("ServerBusy"), QT_TR_NOOP("InternalBusy")};
    if (section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return tr(kHeaders[section]);
    if (role == Qt::DecorationRole && section == 0) return CheckPixmap(AllEnabled());
    if (role == Qt::ToolTipRole && section == 0) return tr("Включить или выключить все приборы");
    return {};
}

void CDeviceListModel::Reload() {
    beginResetModel();
    m_rows = m_bench.FoundInfo();
    m_stats.assign(m_rows.size(), SLinkDevStat{});
    endResetModel();
    RefreshStatistics();
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void CDeviceListModel::Clear() {
    beginResetModel();
    m_rows.clear();
    m_stats.clear();
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void CDeviceListModel::AddIdentified(int row, const SFoundInfo& info) {
    if (row != rowCount()) return;
    beginInsertRows({}, row, row);
    m_rows.push_back(info);
    SLinkDevStat stat;
    if (!m_bench.Link(info.port).GetDeviceStat(info.address, stat)) stat = {};
    m_stats.push_back(stat);
    endInsertRows();
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

bool CDeviceListModel::ToggleRow(int row) {
    if (row < 0 || row >= rowCount()) return false;
    const bool on = !m_rows[static_cast<size_t>(row)].enabled;
    return setData(index(row, 0), on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

void CDeviceListModel::RefreshStatistics() {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        SLinkDevStat stat;
        // A device without a record shows zeros.
        if (!m_bench.Link(m_rows[i].port).GetDeviceStat(m_rows[i].address, stat)) stat = {};
        m_stats[i] = stat;
    }
    if (!m_rows.empty())
        emit dataChanged(index(0, kFirstStatColumn), index(rowCount() - 1, kColumnCount - 1),
                         {Qt::DisplayRole});
}

bool CDeviceListModel::AllEnabled() const {
    if (m_rows.empty()) return false;
    for (const SFoundInfo& row : m_rows)
        if (!row.enabled) return false;
    return true;
}

bool CDeviceListModel::ToggleAll() {
    const bool on = !AllEnabled();
    if (!m_bench.SetAllDevicesEnabled(on)) {
        emit headerDataChanged(Qt::Horizontal, 0, 0);
        return false;
    }
    for (SFoundInfo& row : m_rows) row.enabled = on;
    if (!m_rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
    emit headerDataChanged(Qt::Horizontal, 0, 0);
    emit enabledChanged();
    return true;
}

}  // namespace dravmer::ui
