#include "ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <cstdio>
#include <cstdlib>

#include "archive/archive_io.h"
#include "ui/archive_command.h"
#include "ui/command_table.h"
#include "ui/data_commands.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/dialogs/load_at_start_dialog.h"
#include "ui/dialogs/save_params_dialog.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/dialogs/wait_device_dialog.h"
#include "ui/export_command.h"
#include "ui/icons.h"
#include "ui/page_list.h"
#include "ui/qt_translations.h"
#include "ui/stream_control.h"
#include "ui/update_offer.h"
#include "ui/view_state.h"
#include "ui/widgets/status_bar.h"
#include "ui/widgets/status_panes.h"
#include "ui/window_placement.h"
#include "update/update_service.h"
#include "dravmer_version.h"

namespace dravmer::ui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

QStringList PageTitles() {
    QStringList titles;
    for (const SViewPage& page : ViewPages()) titles << page.title;
    return titles;
}

CMainFrame::CMainFrame(CBench& bench, ISettingsStore& settings, QWidget* parent)
    : QMainWindow(parent),
      m_bench(bench),
      m_settings(settings),
      m_events(new CBenchEvents(this)),
      m_commands(new CCommandTable(this)),
      m_view(new CViewState(this)),
      m_context{bench, settings, *m_events, m_commands, m_view} {
    setWindowTitle(tr("Dravmer v.%1").arg(QString::fromLatin1(kVersion)));
    setWindowIcon(Icon("dravmer"));
    setMinimumSize(kMinWidth, kMinHeight);
    m_archive = new CArchiveCommand(m_context, this);
    m_export = new CExportCommand(m_context, this);

    m_commands->FillMenus(menuBar());
    auto* tools = addToolBar(tr("Панель инструментов"));
    tools->setObjectName(QStringLiteral("mainToolBar"));
    tools->setIconSize(QSize(22, 22));
    tools->setMovable(false);
    m_commands->FillToolBar(tools);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("mainView"));
    setCentralWidget(m_pages);
    auto* bar = new CStatusBar(this);
    setStatusBar(bar);
    m_panes = new CStatusPanes(bar);
    for (int p = 0; p < 4; ++p) m_panes->SetActivity(p, 4);
    // The engine's events reach the window through the live stream, which takes the records.
    m_stream = new CStreamControl(m_context, m_events, this);
    m_bench.SetListener(m_stream->Listener());

    ConnectCommands();
    ConnectEvents();
    BuildPages();
    RefillDeviceBox();
    UpdateCommands();

    m_activityTimer = new QTimer(this);
    connect(m_activityTimer, &QTimer::timeout, this, &CMainFrame::TickActivity);
    m_activityTimer->start(50);
    m_autoStopTimer = new QTimer(this);
    connect(m_autoStopTimer, &QTimer::timeout, this, &CMainFrame::TickAutoStop);
    m_autoStopTimer->start(1000);
    m_statusTimer = new QTimer(this);
    connect(m_statusTimer, &QTimer::timeout, this, &CMainFrame::TickStatusTexts);
    m_statusTimer->start(1000);
    TickActivity();
    TickStatusTexts();
    RestorePlacement();
}

CMainFrame::~CMainFrame() {
    m_closing = true;
    StopWorker();
    m_archive->CancelAndWait();
    m_export->CancelAndWait();
    m_bench.SetListener(nullptr);
}

void CMainFrame::BuildPages() {
    for (const SViewPage& page : ViewPages()) {
        QWidget* widget = page.make ? page.make(m_context, m_pages) : nullptr;
        if (!widget) {
            auto* placeholder = new QLabel(tr("Страница «%1» появится в следующей версии программы.")
                                               .arg(page.title),
                                           m_pages);
            placeholder->setAlignment(Qt::AlignCenter);
            placeholder->setWordWrap(true);
            widget = placeholder;
        }
        m_pages->addTab(widget, page.title);
    }
}

void CMainFrame::ConnectCommands() {
    auto on = [this](int id, auto slot) { m_commands->Handle(id, this, slot); };
    on(cmd::StartExperiment, [this] { ToggleExperiment(); });
    on(cmd::StopExperiment, [this] { ToggleExperiment(); });
    on(cmd::WriteToFile, [this] { ToggleWriteToFile(); });
    on(cmd::ClearStatistics, [this] { ClearStatistics(); });
    on(cmd::CalcStatistics, [this] { CalcStatistics(); });
    on(cmd::SearchDevices, [this] { StartSearch(); });
    on(cmd::SaveDeviceParams, [this] { SaveDeviceParameters(); });
    on(cmd::AutoStop, [this](bool checked) { SetAutoStop(checked); });
    on(cmd::AutoScroll, [this](bool checked) { m_bench.Settings().autoScroll = checked; });
    auto* data = new CDataCommands(m_context, this);
    on(cmd::CopyStatistics,
       [this, data] { data->CopyStatistics(m_pages->currentIndex(), m_pages->currentWidget()); });
    on(cmd::LoadExperiment, [data] { data->LoadExperiment(); });
    on(cmd::FindGvErrors, [data] { data->ShowDebugWindow(); });
    on(cmd::SaveToDatabase, [this] {
        if (m_busy == Busy::None && !m_bench.IsRunning() && m_archive->Archive()) UpdateCommands();
    });
    connect(m_archive, &CArchiveCommand::finished, this, [this] { UpdateCommands(); });
    on(cmd::ExportCsv, [this] { m_export->Export(); });
    connect(m_export, &CExportCommand::finished, this, [this] { UpdateCommands(); });
    connect(data, &CDataCommands::experimentLoaded, this, [this] {
        // The device box, the pages and the title follow the loaded experiment.
        m_view->NotifyDeviceListChanged();
        m_view->NotifyStatisticsChanged();
        UpdateTitle();
        UpdateCommands();
    });
    on(cmd::ProgramSettings, [this] { OpenSettings(SheetPageId::Program); });
    on(cmd::GraphSettings, [this] { OpenSettings(SheetPageId::MainGraph); });
    on(cmd::LinkSettings, [this] { OpenSettings(SheetPageId::Port1); });
    on(cmd::About, [this] { ShowAbout(); });
    connect(m_commands->DeviceBox(), &QComboBox::activated, this, [this](int) {
        // The address as the C library reads it; the first active entry with that address
        // becomes the current device.
        const std::string text = m_commands->DeviceBox()->currentText().toStdString();
        const auto address = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
        const auto active = m_bench.ActiveDevices();
        int current = m_view->CurrentDevice();
        const bool same = current < static_cast<int>(active.size()) &&
                          active[static_cast<size_t>(current)].address == address;
        if (!same) {
            for (size_t i = 0; i < active.size(); ++i)
                if (active[i].address == address) {
                    current = static_cast<int>(i);
                    break;
                }
        }
        m_view->SetCurrentDevice(current);
    });
    connect(m_view, &CViewState::deviceListChanged, this, &CMainFrame::RefillDeviceBox);
    connect(m_view, &CViewState::experimentCommentChanged, this, &CMainFrame::UpdateTitle);
}

void CMainFrame::ConnectEvents() {
    m_askTimer = new QTimer(this);
    m_askTimer->setSingleShot(true);
    connect(m_askTimer, &QTimer::timeout, this, &CMainFrame::ShowSlowAnswer);
    connect(m_events, &CBenchEvents::askingDevice, this, &CMainFrame::NoteAskedDevice);
    connect(m_events, &CBenchEvents::waitingForDevice, this, &CMainFrame::ShowWaitDialog);
    connect(m_events, &CBenchEvents::deviceAnswered, this, [this](int, quint32) {
        CloseWaitDialog();
    });
    connect(m_events, &CBenchEvents::portNotOpen, this, [this](int port, const QString& text) {
        const QString line = tr("Порт %1 не открыт: %2").arg(port + 1).arg(text);
        statusBar()->showMessage(line, 30000);
        m_panes->SetToolTip(CStatusPanes::LinkPane(port), line);
        if (m_waitDialog) m_waitDialog->SetNote(line);
    });
    connect(m_events, &CBenchEvents::portReopened, this, [this](int port) {
        statusBar()->showMessage(tr("Порт %1 снова открыт.").arg(port + 1), 10000);
        m_lastPortState[static_cast<size_t>(port)] = -1;  // the next tick rewrites its tool tip
        if (m_waitDialog) m_waitDialog->SetNote(QString());
    });
    connect(m_events, &CBenchEvents::waitingForPollEnd, this, [this](int port) {
        statusBar()->showMessage(
            tr("Порт %1: ожидание завершения опроса прошлого эксперимента…").arg(port + 1), 10000);
    });
    connect(m_events, &CBenchEvents::pollLost, this, [this](int port) {
        TickActivity();  // the port's pane says it at once
        ShowMessage(QMessageBox::Warning, tr("Ошибка"),
                    tr("Порт %1: опрос остановился; приборы этого порта больше не опрашиваются. "
                       "Остановите и снова запустите эксперимент.")
                        .arg(port + 1));
    });
    connect(m_events, &CBenchEvents::deviceListChanged, this, [this] {
        // A start put the saved devices back in place of a loaded experiment's: the box, the
        // pages and the title show the devices it polls.
        m_view->NotifyDeviceListChanged();
        m_view->NotifyStatisticsChanged();
        UpdateTitle();
    });
    connect(m_events, &CBenchEvents::experimentStarted, this, [this](int) { UpdateCommands(); });
    connect(m_events, &CBenchEvents::experimentStopped, this, [this] { UpdateCommands(); });
    connect(m_events, &CBenchEvents::error, this, [this](const QString& text, int code) {
        // The start's own refusals are answered by the start itself.
        if (m_busy == Busy::Start && code == static_cast<int>(BenchMessage::EmptyDeviceList))
            return;
        statusBar()->showMessage(text, 10000);
        // Errors that come while one is on screen join it rather than stacking up boxes.
        if (m_errorBox) {
            m_errorBox->setText(m_errorBox->text() + QLatin1Char('\n') + text);
            return;
        }
        m_errorBox = ShowMessage(QMessageBox::Warning, tr("Ошибка"), text);
    });
}

// ------------------------------------------------------------------ worker

bool CMainFrame::RunBusy(Busy kind, CBackgroundJob::Work work, std::function<void()> done) {
    // Archiving reads the stores: nothing may start or change them until it ends.
    if (m_busy != Busy::None || m_closing || m_archive->IsRunning()) return false;
    const bool started = m_worker.Start(std::move(work), [this, done = std::move(done)] {
        m_busy = Busy::None;
        if (done) done();
        UpdateCommands();
        emit busyFinished();
    });
    if (!started) return false;
    m_busy = kind;
    UpdateCommands();
    return true;
}

void CMainFrame::StopWorker() {
    // A start gives up its wait for a silent device through the job's stop.
    m_worker.CancelAndWait();
}

// ------------------------------------------------------------------ search and dialogs

void CMainFrame::StartSearch() {
    if (m_bench.IsRunning() || m_bench.IsSearching()) return;
    auto found = std::make_shared<int>(0);
    RunBusy(
        Busy::Search, [this, found](CJobContext&) { *found = m_bench.Search(); },
        [this, found] {
            RefillDeviceBox();
            m_view->NotifyDeviceListChanged();
            emit searchFinished(*found);
        });
}

void CMainFrame::SaveDeviceParameters() {
    auto* dialog = new CSaveParamsDialog(m_context, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void CMainFrame::OpenSettings(SheetPageId page) {
    const bool ports = !m_bench.IsRunning() && !m_bench.IsSearching() && m_busy == Busy::None;
    auto* sheet = new CSettingsSheet(m_context, ports, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->SelectPage(page);
    // A settings file that cannot be written is told right after the values were applied.
    connect(sheet, &QDialog::accepted, this, &CMainFrame::ShowSettingsStatus);
    connect(sheet, &CSettingsSheet::applied, this, &CMainFrame::ShowSettingsStatus);
    sheet->open();
}

void CMainFrame::ShowAbout() {
    // Without an update service; the service's offer serves this command while it is attached.
    auto* dialog = new CAboutDialog(QString::fromLatin1(kProgramVersion),
                                    QString::fromStdString(UpdateServerFromSettings(m_settings)),
                                    this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { SaveUpdateServer(m_settings, dialog->Server().toStdString()); });
    dialog->open();
}

void CMainFrame::SetUpdateService(CUpdateService* service) {
    // The offer (timer 2) and the About box live in their own object; the offer's question is
    // worded in the window's language.
    if (service) service->SetLanguage(UiLanguage());
    delete m_updateOffer;
    m_updateOffer = service ? AttachUpdateService(*this, *service, m_settings) : nullptr;
    if (!m_updateOffer) m_commands->Handle(cmd::About, this, [this] { ShowAbout(); });
}

bool CMainFrame::UpdateCheckPending() const { return m_updateOffer && m_updateOffer->Polling(); }

void CMainFrame::TickUpdateCheck() {
    if (m_updateOffer) m_updateOffer->Poll();
}

void CMainFrame::OpenPortsInBackground() {
    for (int p = 0; p < kPortCount; ++p)
        if (m_bench.Port(p).Settings().useLink) m_bench.Port(p).OpenAfter(p * 200);
}

void CMainFrame::OfferStartupFile(const QString& path) {
    // The experiment the file belongs to; a file that cannot be loaded gets the error box.
    if (LoadExperimentAtStart(m_context, path, this)) {
        m_view->NotifyDeviceListChanged();
        m_view->NotifyStatisticsChanged();
        UpdateTitle();
    }
    UpdateCommands();
}

void CMainFrame::ShowSettingsStatus() {
    QStringList lines;
    if (const auto warning = m_settings.LoadWarning(UiLanguage()))
        lines << QString::fromStdString(*warning);
    if (const auto status = m_settings.Status(UiLanguage()))
        lines << QString::fromStdString(*status);
    if (lines.isEmpty() || lines == m_shownSettingsStatus) return;
    m_shownSettingsStatus = lines;
    ShowMessage(QMessageBox::Warning, tr("Файл настроек"), lines.join(QLatin1Char('\n')));
}

QMessageBox* CMainFrame::ShowMessage(int icon, const QString& caption, const QString& text) {
    auto* box = new QMessageBox(static_cast<QMessageBox::Icon>(icon), caption, text,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    m_lastMessage = box;
    return box;
}

// ------------------------------------------------------------------ window state

void CMainFrame::UpdateTitle() {
    QString title = Q(m_bench.Title());
    // A loaded experiment names itself first: when it started and its comment.
    if (m_bench.ShowsLoadedExperiment()) {
        const CBench::SLoadedExperiment loaded = m_bench.LoadedExperiment();
        QStringList what;
        if (loaded.time > 0)
            what << QDateTime::fromSecsSinceEpoch(loaded.time).toString(
                QStringLiteral("dd-MM-yyyy HH:mm"));
        if (const QString label = Q(loaded.label).simplified(); !label.isEmpty()) what << label;
        if (!what.isEmpty())
            title = what.join(QStringLiteral("  ")) + QStringLiteral(" — ") + title;
    }
    setWindowTitle(title);
}

void CMainFrame::RefillDeviceBox() {
    QComboBox* box = m_commands->DeviceBox();
    box->clear();
    for (const SActiveDevice& device : m_bench.ActiveDevices())
        box->addItem(QString::number(device.address));
    if (box->count() > 0) box->setCurrentIndex(0);
    m_view->SetCurrentDevice(0);
}

void CMainFrame::UpdateCommands() {
    const bool running = m_bench.IsRunning();
    const bool searching = m_bench.IsSearching() || m_busy == Busy::Search;
    const bool idle = m_busy == Busy::None && !m_archive->IsRunning();
    auto set = [this](int id, bool enabled) { m_commands->Get(id)->setEnabled(enabled); };
    set(cmd::StartExperiment, idle && !running && !searching);
    set(cmd::StopExperiment, idle && running);
    m_commands->Get(cmd::StartExperiment)->setChecked(running);
    m_commands->Get(cmd::StopExperiment)->setChecked(!running);
    set(cmd::LinkSettings, !running && !searching && idle);
    set(cmd::SearchDevices, !running && !searching && idle);
    set(cmd::WriteToFile, idle);
    m_commands->Get(cmd::WriteToFile)->setChecked(m_bench.Settings().writeToFile);
    set(cmd::CalcStatistics, idle);
    set(cmd::LoadExperiment, idle && !running && !searching && !m_bench.IsLoading());
    set(cmd::SaveDeviceParams, !searching);
    set(cmd::SaveToDatabase, idle && !running && !searching && !m_bench.IsLoading());
    set(cmd::ExportCsv, !searching && !m_bench.IsLoading() && !m_export->IsRunning());
    m_commands->Get(cmd::AutoStop)->setChecked(m_bench.AutoStop());
    m_commands->Get(cmd::AutoScroll)->setChecked(m_bench.Settings().autoScroll);
}

void CMainFrame::TickActivity() {
    for (int p = 0; p < kPortCount; ++p) m_panes->SetActivity(p, m_bench.Port(p).ActivityState());
    // The link parameters follow the ports as they open, close and dial.
    for (int p = 0; p < kPortCount; ++p) {
        const QString text = m_bench.IsRunning() && m_bench.PollLost(p)
                                 ? tr("Порт %1: опрос остановлен").arg(p + 1)
                                 : Q(m_bench.Port(p).StatusText(UiLanguage()));
        if (m_panes->Pane(CStatusPanes::LinkPane(p))->text() != text) {
            m_panes->SetText(CStatusPanes::LinkPane(p), text);
            m_panes->Fit();
        }
    }
}

void CMainFrame::TickStatusTexts() {
    for (int p = 0; p < kPortCount; ++p) m_bench.Port(p).QueryClients();
    for (int p = 0; p < kPortCount; ++p) {
        CLinkPort& port = m_bench.Port(p);
        m_panes->SetText(CStatusPanes::LoadPane(p), Q(port.LoadText()));
        const std::string clients = port.ClientsText();
        if (clients != m_lastClients[static_cast<size_t>(p)]) {
            m_lastClients[static_cast<size_t>(p)] = clients;
            m_panes->SetToolTip(CStatusPanes::LoadPane(p),
                                tr("Процент загрузки СОМ порта / количество клиентов\nКлиенты: ") +
                                    Q(clients));
        }
        const int state = (port.IsOpen() ? 1 : 0) | (static_cast<int>(port.LastOpenResult()) << 1);
        if (state != m_lastPortState[static_cast<size_t>(p)]) {
            m_lastPortState[static_cast<size_t>(p)] = state;
            m_panes->SetToolTip(
                CStatusPanes::LinkPane(p),
                tr("Параметры связи.%1")
                    .arg(port.IsOpen() ? QString() : Q(port.StatusText(UiLanguage())) + "\n"));
        }
    }
    const int current = m_view->CurrentDevice();
    if (current >= 0 && static_cast<size_t>(current) < m_bench.StoreCount()) {
        const SStatState st = m_bench.Data(static_cast<size_t>(current)).GetStatState();
        m_panes->SetText(CStatusPanes::kStatRangePane,
                         tr("Stat range: %1 - %2")
                             .arg(st.firstSecond)
                             .arg(st.lastSecond < 0 ? 0 : st.lastSecond));
    }
}

void CMainFrame::RestorePlacement() {
    m_normalPlacement = ui::RestorePlacement(*this, m_settings, minimumSize());
}

void CMainFrame::SavePlacement() { ui::SavePlacement(*this, m_settings, m_normalPlacement); }

void CMainFrame::NoteNormalPlacement() {
    if (isVisible() && windowState() == Qt::WindowNoState) m_normalPlacement = QRect(pos(), size());
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    NoteNormalPlacement();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    NoteNormalPlacement();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SavePlacement();
    // An update under way ends with the window: its download is cancelled and removed, and no
    // hand-off starts later from a process without a window.
    for (CUpdateOffer* offer : findChildren<CUpdateOffer*>()) offer->Abandon();
    // A start waiting for a device gives up; a running experiment stops and closes its files.
    m_closing = true;
    StopWorker();
    m_archive->CancelAndWait();
    m_export->CancelAndWait();
    m_busy = Busy::None;
    if (m_bench.IsRunning()) {
        m_bench.Stop();
        m_stream->FinishAfterStop();  // the stop event and what is queued, a few seconds at most
    }
    event->accept();
}

}  // namespace dravmer::ui
