#include "ui/pages/readings_page.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "files/stats_report.h"
#include "measure/param_catalog.h"
#include "ui/dialogs/column_chooser.h"
#include "ui/pages/readings_model.h"
#include "ui/tables/stats_clipboard.h"
#include "ui/ui_context.h"
#include "ui/view_state.h"
#include "ui/widgets/color_ref.h"
#include "ui/widgets/table_font.h"

namespace dravmer::ui {

namespace {
constexpr StatKind kStatRows[] = {StatKind::AverageE, StatKind::AverageO, StatKind::Average,
                                  StatKind::Min,      StatKind::Max,      StatKind::Delta,
                                  StatKind::Sigma,    StatKind::Noise,    StatKind::NoiseE,
                                  StatKind::NoiseO};

QString Name(int param) {
    auto n = ParamName(param);
    return QString::fromUtf8(n.data(), static_cast<int>(n.size()));
}
}  // namespace

CReadingsPage::CReadingsPage(SUiContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
    setObjectName(QStringLiteral("readingsPage"));
    const QFont font = TableFont();
    m_model = new CReadingsModel(context.bench, this);
    m_model->SetHighlightColor(FromColorRef(context.bench.Settings().highlightColor));
    m_view = new QTableView(this);
    m_view->setAccessibleName(tr("Показания АЦП"));
    m_view->setFont(font);
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    // Fixed row heights: the view never measures 86,400 rows.
    QFontMetrics fm(font);
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(fm.height() + 4);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setFont(font);
    m_view->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view->horizontalHeader(), &QWidget::customContextMenuRequested, this,
            [this] { ChooseColumns(); });

    m_stats = new QTableWidget(this);
    m_stats->setAccessibleName(tr("Статистика"));
    m_stats->setFont(font);
    m_stats->horizontalHeader()->setFont(font);
    m_stats->verticalHeader()->hide();
    m_stats->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_stats->verticalHeader()->setDefaultSectionSize(fm.height() + 2);
    m_stats->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_stats->setRowCount(10);
    // All ten rows in view, whatever the font's height (140 pixels with a 9-point face).
    const int statsHeight = (std::max(m_stats->horizontalHeader()->sizeHint().height(),
                                     fm.height() + 10) +
                            10 * m_stats->verticalHeader()->defaultSectionSize() + 6 +
                            m_stats->horizontalScrollBar()->sizeHint().height() +
                            2 * m_stats->frameWidth() + 2);
    m_stats->setMaximumHeight(statsHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    // The readings take the room; the statistics keep their ten rows unless the window is so
    // small that the operator would rather move the divider.
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_view);
    splitter->addWidget(m_stats);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({600, statsHeight});
    layout->addWidget(splitter, 1);

    // The store is looked at once a second; the record count is all that is read for it.
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &CReadingsPage::Refresh);
    m_timer->start();
    connect(&context.events, &CBenchEvents::experimentStarted, this, [this] {
        m_model->SetDevice(m_model->Device());
        m_haveColumns = false;
        Refresh();
    });
    connect(&context.events, &CBenchEvents::experimentStopped, this, &CReadingsPage::Refresh);
    if (CViewState* view = context.view) {
        connect(view, &CViewState::currentDeviceChanged, this, &CReadingsPage::SetCurrentDevice);
        connect(view, &CViewState::deviceListChanged, this,
                [this, view] { SetCurrentDevice(view->CurrentDevice()); });
        connect(view, &CViewState::statisticsChanged, this, &CReadingsPage::Refresh);
        connect(view, &CViewState::columnsChanged, this, &CReadingsPage::Refresh);
    }
    SetCurrentDevice(context.view ? context.view->CurrentDevice() : 0);
}

void CReadingsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void CReadingsPage::SetCurrentDevice(int index) {
    m_model->SetDevice(index);
    RebuildColumnsIfChanged();
    WidenReadingsColumns();
    RefreshStatistics();
    if (m_context.bench.Settings().autoScroll) m_view->scrollToBottom();
}

void CReadingsPage::SetAutoScroll(bool on) {
    m_context.bench.Settings().autoScroll = on;
    if (on) m_view->scrollToBottom();
}

void CReadingsPage::RebuildColumnsIfChanged() {
    const ParamFlags selection = TableSelection(m_context.bench.Settings());
    if (m_haveColumns && selection == m_shown) return;
    ++m_rebuilds;
    const std::vector<int> params = SelectedParams(selection);
    m_model->SetColumns(params);
    const QFontMetrics fm(m_view->horizontalHeader()->font());
    for (int c = 0; c < static_cast<int>(params.size()); ++c)
        m_view->horizontalHeader()->resizeSection(
            c, fm.horizontalAdvance(Name(params[static_cast<std::size_t>(c)])) + 12);
    m_widened = -1;
    WidenReadingsColumns();

    // The statistics list: its first column names the rows, then the selected parameters
    // after время.
    const std::vector<int> statParams = SelectedParams(selection, 1);
    m_stats->clear();
    m_stats->setColumnCount(static_cast<int>(statParams.size()) + 1);
    QStringList headers{tr("Пар")};
    for (int p : statParams) headers << Name(p);
    m_stats->setHorizontalHeaderLabels(headers);
    const QFontMetrics sfm(m_stats->horizontalHeader()->font());
    for (int c = 0; c < headers.size(); ++c)
        m_stats->horizontalHeader()->resizeSection(c, sfm.horizontalAdvance(headers[c]) + 12);
    for (int r = 0; r < 10; ++r) {
        auto* label = new QTableWidgetItem(QString::fromUtf8(StatKindName(kStatRows[r]).data()));
        m_stats->setItem(r, 0, label);
        for (int c = 1; c < headers.size(); ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_stats->setItem(r, c, item);
        }
    }
    FitStatisticsColumn(0);
    m_shown = selection;
    m_haveColumns = true;
}

void CReadingsPage::WidenReadingsColumns() {
    // A column as narrow as its header would cut most numbers short: a column widens to the
    // text of the newest record, as the statistics list does.
    const int rows = m_model->rowCount();
    if (rows == 0 || rows == m_widened) return;
    m_widened = rows;
    const QFontMetrics fm(m_view->font());
    QHeaderView* header = m_view->horizontalHeader();
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const QString text = m_model->data(m_model->index(rows - 1, c), Qt::DisplayRole).toString();
        // One digit to spare: neighbouring records may need one more.
        const int wanted = fm.horizontalAdvance(text + QLatin1Char('0')) + 12;
        if (wanted > header->sectionSize(c)) header->resizeSection(c, wanted);
    }
}

void CReadingsPage::FitStatisticsColumn(int column) {
    const QFontMetrics fm(m_stats->font());
    int widest = m_stats->horizontalHeader()->sectionSize(column);
    for (int r = 0; r < m_stats->rowCount(); ++r)
        if (auto* item = m_stats->item(r, column))
            widest = std::max(widest, fm.horizontalAdvance(item->text()) + 12);
    if (widest > m_stats->horizontalHeader()->sectionSize(column))
        m_stats->horizontalHeader()->resizeSection(column, widest);
}

void CReadingsPage::RefreshStatistics() {
    const int device = m_model->Device();
    CBench& bench = m_context.bench;
    const bool have = device >= 0 && static_cast<std::size_t>(device) < bench.StoreCount();
    const std::vector<int> params = SelectedParams(m_shown, 1);
    const CExperimentSettings& s = bench.Settings();
    for (int r = 0; r < 10; ++r) {
        CMeasRecord values =
            have ? bench.Data(static_cast<std::size_t>(device)).GetStat(kStatRows[r]) : CMeasRecord{};
        for (int c = 0; c < static_cast<int>(params.size()); ++c) {
            const int p = params[static_cast<std::size_t>(c)];
            std::string text;
            if (p == 1 && r == 0) {
                // While running, over the seconds the experiment has lasted: a device that
                // fell silent shows it.
                const CDeviceData* store = have ? &bench.Data(static_cast<std::size_t>(device)) : nullptr;
                const double share =
                    !store ? 0
                    : bench.IsRunning() ? store->GetReceivedPercent(s.ExperimentSecond())
                                        : store->GetReceivedPercent();
                text = ReceivedShareText(share);
            }
            else
                text = FormatTableValue(p, GetParam(values, p), s.TableDecimals(p));
            if (auto* item = m_stats->item(r, c + 1)) item->setText(QString::fromStdString(text));
        }
    }
    for (int c = 1; c < m_stats->columnCount(); ++c) FitStatisticsColumn(c);
}

void CReadingsPage::Refresh() {
    RebuildColumnsIfChanged();
    m_model->SetHighlightColor(FromColorRef(m_context.bench.Settings().highlightColor));
    const bool grew = m_model->Refresh();
    WidenReadingsColumns();
    RefreshStatistics();
    if (grew && m_context.bench.Settings().autoScroll) m_view->scrollToBottom();
    m_view->viewport()->update();
}

void CReadingsPage::ChooseColumns() {
    CColumnChooser dialog(m_context, this);
    if (dialog.exec() == QDialog::Accepted) Refresh();
}

QString CReadingsPage::StatisticsText() const {
    const int device = m_model->Device();
    CBench& bench = m_context.bench;
    if (device < 0 || static_cast<std::size_t>(device) >= bench.StoreCount()) return {};
    std::array<bool, CMeasRecord::kParamCount> columns{};
    std::array<int, CMeasRecord::kParamCount> decimals{};
    for (int i = 0; i < kParamCount; ++i) {
        columns[static_cast<std::size_t>(i)] = bench.Settings().ToFile(i);
        decimals[static_cast<std::size_t>(i)] = bench.Settings().TableDecimals(i);
    }
    return QString::fromStdString(
        dravmer::StatisticsText(bench.Data(static_cast<std::size_t>(device)), columns, decimals));
}

void CReadingsPage::CopyStatistics() {
    const QString text = StatisticsText();
    CStatsClipboard::Put(text);
    CStatsClipboard::Remember(this, [this] { CopyStatistics(); });
}

}  // namespace dravmer::ui
