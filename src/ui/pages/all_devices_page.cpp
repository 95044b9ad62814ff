#include "ui/pages/all_devices_page.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "measure/param_catalog.h"
#include "ui/tables/stats_clipboard.h"
#include "ui/ui_context.h"
#include "ui/view_state.h"
#include "ui/widgets/color_ref.h"
#include "ui/widgets/table_font.h"

namespace dravmer::ui {

namespace {
// The statistics in StatKind order, as the selector names them (translated in "QObject").
constexpr const char* kStatKindSources[] = {
    QT_TRANSLATE_NOOP("QObject", "Текущее значение (Current)"),
    QT_TRANSLATE_NOOP("QObject", "Среднее по четным циклам (AverageE)"),
    QT_TRANSLATE_NOOP("QObject", "Среднее по нечетным циклам (AverageO)"),
    QT_TRANSLATE_NOOP("QObject", "Среднее (Average)"),
    QT_TRANSLATE_NOOP("QObject", "Минимальное значение (Min)"),
    QT_TRANSLATE_NOOP("QObject", "Максимальное значение (Max)"),
    QT_TRANSLATE_NOOP("QObject", "Максимум - минимум (Delta)"),
    QT_TRANSLATE_NOOP("QObject", "Ср. квадрат. отклонение (Sigma)"),
    QT_TRANSLATE_NOOP("QObject", "Шум (Noise)"),
    QT_TRANSLATE_NOOP("QObject", "ШумЧет (NoiseE)"),
    QT_TRANSLATE_NOOP("QObject", "ШумНеч (NoiseO)")};
}  // namespace

QStringList StatKindTexts() {
    QStringList texts;
    for (const char* source : kStatKindSources) texts << QObject::tr(source);
    return texts;
}

CAllDevicesPage::CAllDevicesPage(SUiContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
    m_selector = new QComboBox(this);
    m_selector->addItems(StatKindTexts());
    m_selector->setAccessibleName(tr("Статистика"));
    m_table = new QTableWidget(this);
    m_table->setAccessibleName(tr("Статистика по приборам"));
    const QFont font = TableFont();
    m_table->setFont(font);
    m_table->horizontalHeader()->setFont(font);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(true);

    auto* top = new QHBoxLayout;
    auto* label = new QLabel(tr("Статистика:"), this);
    label->setBuddy(m_selector);
    top->addWidget(label);
    top->addWidget(m_selector);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);

    connect(m_selector, &QComboBox::currentIndexChanged, this, &CAllDevicesPage::KindChanged);
    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (isVisible() || m_context.bench.IsRunning()) Refresh();
    });
    m_timer->start();
    if (CViewState* view = context.view) {
        connect(view, &CViewState::deviceListChanged, this, &CAllDevicesPage::Refresh);
        connect(view, &CViewState::statisticsChanged, this, &CAllDevicesPage::Refresh);
        connect(view, &CViewState::columnsChanged, this, &CAllDevicesPage::Refresh);
    }
    Refresh();
}

void CAllDevicesPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void CAllDevicesPage::KindChanged(int index) {
    m_kind = static_cast<StatKind>(index);
    for (int r = 0; r < m_table->rowCount(); ++r)
        for (int c = 0; c < m_table->columnCount(); ++c)
            if (auto* item = m_table->item(r, c)) item->setBackground(QBrush());
    RefreshValues();
}

void CAllDevicesPage::SetRange(qint64 firstSecond, qint64 lastSecond) {
    m_haveRange = true;
    m_first = firstSecond;
    m_last = lastSecond;
}

void CAllDevicesPage::RefreshColumns() {
    const ParamFlags flags = TableSelection(m_context.bench.Settings());
    if (m_haveColumns && flags == m_flags) return;
    ++m_rebuilds;
    const std::vector<int> params = SelectedParams(flags, 1);
    m_table->setColumnCount(static_cast<int>(params.size()) + 1);
    QStringList headers{tr("Прибор")};
    for (int p : params) {
        auto n = ParamName(p);
        headers << QString::fromUtf8(n.data(), static_cast<int>(n.size()));
    }
    m_table->setHorizontalHeaderLabels(headers);
    const QFontMetrics fm(m_table->horizontalHeader()->font());
    m_table->horizontalHeader()->resizeSection(0, 55 + 12);
    for (int c = 1; c < headers.size(); ++c)
        m_table->horizontalHeader()->resizeSection(c, fm.horizontalAdvance(headers[c]) + 12);
    m_flags = flags;
    m_haveColumns = true;
    RefreshRows();
}

void CAllDevicesPage::RefreshRows() {
    const auto active = m_context.bench.ActiveDevices();
    const int rows = static_cast<int>(active.size());
    m_table->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < m_table->columnCount(); ++c) {
            if (!m_table->item(r, c)) {
                auto* item = new QTableWidgetItem;
                item->setTextAlignment(c == 0 ? Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter)
                                              : Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
                m_table->setItem(r, c, item);
            }
        }
        m_table->item(r, 0)->setText(
            QString::fromStdString(GroupedAddress(active[static_cast<std::size_t>(r)].address)));
    }
}

void CAllDevicesPage::RefreshValues() {
    CBench& bench = m_context.bench;
    const CExperimentSettings& s = bench.Settings();
    const std::vector<int> params = SelectedParams(m_flags, 1);
    const QColor highlight = FromColorRef(s.highlightColor);
    const int rows = std::min<int>(m_table->rowCount(), static_cast<int>(bench.StoreCount()));
    for (int r = 0; r < rows; ++r) {
        const CMeasRecord values = bench.Data(static_cast<std::size_t>(r)).GetStat(m_kind);
        for (int c = 0; c < static_cast<int>(params.size()); ++c) {
            const int p = params[static_cast<std::size_t>(c)];
            QTableWidgetItem* item = m_table->item(r, c + 1);
            if (!item) continue;
            item->setText(QString::fromStdString(AllDevicesCell(values, p, s.TableDecimals(p))));
            if (m_kind == StatKind::Current) {
                const bool out = CExperimentSettings::IsOutOfTolerance(p, GetParam(values, p));
                item->setBackground(out ? QBrush(highlight) : QBrush());
            }
        }
    }
    // A column whose values grow wider than it widens, so that no number is cut short.
    const QFontMetrics fm(m_table->font());
    QHeaderView* header = m_table->horizontalHeader();
    for (int c = 0; c < m_table->columnCount(); ++c) {
        int widest = header->sectionSize(c);
        for (int r = 0; r < m_table->rowCount(); ++r)
            if (QTableWidgetItem* item = m_table->item(r, c))
                widest = std::max(widest, fm.horizontalAdvance(item->text()) + 12);
        if (widest > header->sectionSize(c)) header->resizeSection(c, widest);
    }
}

void CAllDevicesPage::Refresh() {
    RefreshColumns();
    RefreshRows();  // the addresses may change with the same count (a load, a search)
    RefreshValues();
}

QString CAllDevicesPage::ClipboardText() const {
    CBench& bench = m_context.bench;
    qint64 first = m_first, last = m_last;
    std::uint32_t from = 0, to = 0;
    if (!m_haveRange && m_context.view && m_context.view->StatisticsRange(from, to)) {
        // The range selected on the graph.
        first = from;
        last = to;
    } else if (!m_haveRange && bench.StoreCount() > 0 && bench.ActiveCount() > 0) {
        const SStatState st = bench.Data(0).GetStatState();
        first = st.firstSecond;
        last = st.lastSecond;
    }
    // The clipboard text is read by other programs: its words do not follow the language.
    const int kind = m_selector->currentIndex();
    const std::string kindText = kind >= 0 && kind < static_cast<int>(std::size(kStatKindSources))
                                     ? kStatKindSources[kind]
                                     : m_selector->currentText().toStdString();
    return QString::fromStdString(AllDevicesText(bench, m_kind, kindText, first, last));
}

void CAllDevicesPage::CopyStatistics() {
    CStatsClipboard::Put(ClipboardText());
    CStatsClipboard::Remember(this, [this] { CopyStatistics(); });
}

}  // namespace dravmer::ui
