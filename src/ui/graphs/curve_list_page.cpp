#include "ui/graphs/curve_list_page.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPalette>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "bench/experiment_settings.h"
#include "graph/paint/graph_painter.h"
#include "measure/param_catalog.h"
#include "ui/graphs/graph_hub.h"
#include "ui/qt_translations.h"
#include "ui/view_state.h"

namespace dravmer::ui {

namespace {
QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Rows come in groups of four: the first of each group has the window colour, the others are
// a shade away from it.
QColor RowColor(int row, const QColor& window) {
    if (row % 4 == 0) return window;
    auto shade = [](int c) { return c > 224 ? c - 30 : c + 30; };
    return QColor(shade(window.red()), shade(window.green()), shade(window.blue()));
}

// Black or white text, whichever reads better on a curve colour.
QColor TextOn(const QColor& c) {
    return c.red() * 299 + c.green() * 587 + c.blue() * 114 > 128000 ? Qt::black : Qt::white;
}
}  // namespace

CCurveListModel::CCurveListModel(CGraphHub& hub, QObject* parent)
    : QAbstractTableModel(parent), m_hub(hub), m_addresses(hub.Addresses()) {}

int CCurveListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : CMeasRecord::kParamCount - 1;
}

int CCurveListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : DeviceCount() + 4;
}

QVariant CCurveListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    const int n = DeviceCount();
    if (section == 0) return tr("Параметр");
    if (section <= n) return QString::number(m_addresses[static_cast<std::size_t>(section - 1)]);
    if (section == n + 1) return tr("Размерность");
    if (section == n + 2) return tr("№ ком");
    return tr("Описание параметра");
}

QVariant CCurveListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int param = ParamOfRow(index.row());
    const int col = index.column();
    const int n = DeviceCount();
    const bool deviceCell = col >= 1 && col <= n;
    int position = deviceCell ? m_hub.List().Find(col - 1, param) : -1;
    switch (role) {
        case Qt::DisplayRole:
            if (col == 0) return Q(ParamNameTrimmed(param));
            if (deviceCell)
                return position >= 0 ? QVariant(QString::number(m_hub.List().At(position).slot + 1))
                                     : QVariant();
            if (col == n + 1) return Q(ParamUnit(param, UiLanguage()));
            if (col == n + 2) return QString::number(CExperimentSettings::CommandGroup(param));
            return Q(ParamDescription(param, UiLanguage()));
        case Qt::BackgroundRole:
            if (position >= 0) return graph::ToQColor(m_hub.List().ColorAt(position));
            return RowColor(index.row(), QPalette().color(QPalette::Base));
        case Qt::ForegroundRole:
            if (position >= 0) return TextOn(graph::ToQColor(m_hub.List().ColorAt(position)));
            return {};
        case Qt::TextAlignmentRole:
            if (deviceCell || col == n + 2) return int(Qt::AlignCenter);
            return {};
        case Qt::ToolTipRole:
            if (deviceCell)
                return tr("Прибор %1, %2: щелчок добавляет или убирает график")
                    .arg(m_addresses[static_cast<std::size_t>(col - 1)])
                    .arg(Q(ParamNameTrimmed(param)));
            return {};
        default:
            return {};
    }
}

void CCurveListModel::Rebuild() {
    beginResetModel();
    m_addresses = m_hub.Addresses();
    endResetModel();
}

void CCurveListModel::CellsChanged() {
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

CCurveListPage::CCurveListPage(SUiContext& ctx, QWidget* parent)
    : QWidget(parent), m_hub(CGraphHub::For(ctx)) {
    auto* layout = new QVBoxLayout(this);
    m_model = new CCurveListModel(m_hub, this);
    m_view = new QTableView(this);
    m_view->setModel(m_model);
    m_view->setAccessibleName(tr("Список графиков"));
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setShowGrid(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(20);
    layout->addWidget(m_view);
    auto* row = new QHBoxLayout;
    auto* removeAll = new QPushButton(tr("Удалить все графики"));
    row->addWidget(removeAll);
    row->addStretch();
    layout->addLayout(row);
    connect(removeAll, &QPushButton::clicked, this, &CCurveListPage::RemoveAll);
    connect(m_view, &QTableView::clicked, this,
            [this](const QModelIndex& i) { ClickCell(i.row(), i.column()); });
    connect(&m_hub, &CGraphHub::curvesChanged, this, [this] { m_model->CellsChanged(); });
    connect(&ctx.events, &CBenchEvents::searchFinished, this, &CCurveListPage::Rebuild);
    if (ctx.view) connect(ctx.view, &CViewState::deviceListChanged, this, &CCurveListPage::Rebuild);
    Rebuild();
}

void CCurveListPage::Rebuild() {
    // Curves of devices that are gone are dropped; the graph follows.
    const int before = m_hub.List().Count();
    m_hub.List().DropDevicesFrom(m_hub.DeviceCount());
    m_model->Rebuild();
    const int n = m_model->DeviceCount();
    auto* h = m_view->horizontalHeader();
    h->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    for (int c = 1; c <= n; ++c) {
        h->setSectionResizeMode(c, QHeaderView::Interactive);
        m_view->setColumnWidth(c, 70);
    }
    h->setSectionResizeMode(n + 1, QHeaderView::ResizeToContents);
    h->setSectionResizeMode(n + 2, QHeaderView::ResizeToContents);
    h->setSectionResizeMode(n + 3, QHeaderView::Interactive);
    m_view->setColumnWidth(n + 3, 600);
    if (m_hub.List().Count() != before) emit m_hub.curvesChanged(CGraphHub::Refresh, -1);
}

void CCurveListPage::Toggle(int device, int param) {
    int r = m_hub.List().Toggle(device, param);
    if (r == graph::kToggleFull) return;
    if (r >= graph::kRemovedBase)
        emit m_hub.curvesChanged(CGraphHub::Removed, m_hub.List().LastRemovedPosition());
    else
        emit m_hub.curvesChanged(CGraphHub::Added, m_hub.List().Count() - 1);
}

void CCurveListPage::ClickCell(int row, int column) {
    const int param = CCurveListModel::ParamOfRow(row);
    const int n = m_model->DeviceCount();
    if (column == 0) {
        for (int d = 0; d < n; ++d) Toggle(d, param);
    } else if (column >= 1 && column <= n) {
        Toggle(column - 1, param);
    } else {
        return;
    }
    m_model->CellsChanged();
    m_hub.Save();
}

void CCurveListPage::RemoveAll() {
    m_hub.List().Clear();
    emit m_hub.curvesChanged(CGraphHub::Refresh, -1);
    m_model->CellsChanged();
    m_hub.Save();
}

void CCurveListPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_model->DeviceCount() != m_hub.DeviceCount()) Rebuild();
}

}  // namespace dravmer::ui
