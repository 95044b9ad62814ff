#include "ui/pages/device_list_page.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/command_table.h"
#include "ui/pages/device_list_model.h"
#include "ui/view_state.h"

namespace dravmer::ui {

namespace {
// A button that follows a frame command: same enabled state, a click triggers it.
void FollowCommand(QPushButton* button, CCommandTable* commands, int id) {
    if (!commands) {
        button->setEnabled(false);
        return;
    }
    QAction* action = commands->Get(id);
    button->setEnabled(action->isEnabled());
    QObject::connect(action, &QAction::changed, button,
                     [button, action] { button->setEnabled(action->isEnabled()); });
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
}
}  // namespace

CDeviceListPage::CDeviceListPage(SUiContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    m_search = new QPushButton(tr("Найти все приборы"), this);
    m_reset = new QPushButton(tr("Сброс статистики связи"), this);
    m_params = new QPushButton(tr("Сохранить параметры"), this);
    m_log = new QCheckBox(tr("Log ошибок связи"), this);
    buttons->addWidget(m_search);
    buttons->addWidget(m_reset);
    buttons->addWidget(m_params);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    auto* second = new QHBoxLayout;
    m_progress = new QLabel(tr(kIdleProgress), this);
    m_progress->setAccessibleName(tr("Ход поиска"));
    second->addWidget(m_log);
    second->addSpacing(16);
    second->addWidget(m_progress, 1);
    layout->addLayout(second);

    m_model = new CDeviceListModel(context.bench, this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setShowGrid(true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->setAccessibleName(tr("Список приборов"));
    m_table->installEventFilter(this);
    layout->addWidget(m_table, 1);

    FollowCommand(m_search, context.commands, cmd::SearchDevices);
    FollowCommand(m_params, context.commands, cmd::SaveDeviceParams);
    if (context.commands) {
        // A search empties the list; each device comes back as the search identifies it.
        connect(context.commands->Get(cmd::SearchDevices), &QAction::triggered, this, [this] {
            if (m_context.bench.IsRunning()) return;
            m_model->Clear();
        });
    }
    connect(m_reset, &QPushButton::clicked, this, &CDeviceListPage::ResetLinkStatistics);
    m_log->setChecked(context.bench.Settings().writeLinkErrorsToLog);
    connect(m_log, &QCheckBox::toggled, this,
            [this](bool on) { m_context.bench.SetLinkErrorLog(on); });
    connect(m_table->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (section == 0) ToggleAllFromHeader();
    });
    connect(m_model, &CDeviceListModel::enabledChanged, this, [this] {
        if (m_context.view) m_context.view->NotifyDeviceListChanged();
    });

    connect(&context.events, &CBenchEvents::searchProgress, this,
            [this](int, int, quint32, const QString& text) {
                if (!text.isEmpty()) m_progress->setText(text);
            });
    connect(&context.events, &CBenchEvents::deviceIdentified, this,
            [this](int row, const SFoundInfo& info) {
                m_model->AddIdentified(row, info);
                if (row == 0) FitColumns();
            });
    connect(&context.events, &CBenchEvents::searchFinished, this, [this](int) {
        m_progress->setText(QString());
    });
    if (context.view) {
        connect(context.view, &CViewState::deviceListChanged, this, [this] {
            if (m_context.bench.IsSearching()) return;
            ReloadRows();
            FitColumns();
        });
    }
    m_refresh = new QTimer(this);
    m_refresh->setInterval(1000);
    connect(m_refresh, &QTimer::timeout, m_model, &CDeviceListModel::RefreshStatistics);
    connect(&context.events, &CBenchEvents::experimentStarted, m_refresh,
            qOverload<>(&QTimer::start));
    connect(&context.events, &CBenchEvents::experimentStopped, this, [this] {
        m_refresh->stop();
        m_model->RefreshStatistics();
    });
    if (context.bench.IsRunning()) m_refresh->start();
    if (!context.bench.IsSearching()) m_model->Reload();
    FitColumns();
}

QString CDeviceListPage::ProgressText() const { return m_progress->text(); }

bool CDeviceListPage::Refreshing() const { return m_refresh->isActive(); }

void CDeviceListPage::ToggleAllFromHeader() {
    // During an experiment or a search the flags stay as they are.
    m_model->ToggleAll();
}

void CDeviceListPage::ResetLinkStatistics() {
    for (int p = 0; p < kPortCount; ++p) m_context.bench.Link(p).ResetStatistics();
    m_model->RefreshStatistics();
}

bool CDeviceListPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool toggle = (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select) &&
                            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (toggle && m_table->currentIndex().isValid()) {
            // A held key toggles once, not back and forth.
            if (!key->isAutoRepeat()) m_model->ToggleRow(m_table->currentIndex().row());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CDeviceListPage::ReloadRows() {
    // A reload resets the model, which would lose the cell the keyboard is on: the next Space
    // would then toggle nothing.
    const QModelIndex current = m_table->currentIndex();
    m_model->Reload();
    if (current.isValid() && current.row() < m_model->rowCount())
        m_table->setCurrentIndex(m_model->index(current.row(), current.column()));
}

void CDeviceListPage::FitColumns() {
    m_table->resizeColumnsToContents();
    m_table->setColumnWidth(0, std::max(50, m_table->columnWidth(0)));
}

}  // namespace dravmer::ui
