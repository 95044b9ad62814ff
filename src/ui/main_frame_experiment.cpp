// The experiment commands of the window: start with its device wait, stop, auto-stop, writing
// to file and the statistics.
#include "ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
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
#include "ui/dialogs/load_at_start_dialog.h"
#include "ui/dialogs/save_params_dialog.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/dialogs/wait_device_dialog.h"
#include "ui/icons.h"
#include "ui/page_list.h"
#include "ui/qt_translations.h"
#include "ui/stream_control.h"
#include "ui/view_state.h"
#include "ui/widgets/status_panes.h"
#include "ui/update_offer.h"
#include "update/update_service.h"

namespace dravmer::ui {

// ------------------------------------------------------------------ experiment

void CMainFrame::ToggleExperiment() {
    if (m_busy == Busy::Start || m_busy == Busy::Stop) return;
    if (m_bench.IsRunning()) StopExperiment();
    else StartExperiment();
}

void CMainFrame::StartExperiment() {
    if (m_bench.IsSearching() || m_busy != Busy::None) return;
    if (m_bench.ActiveCount() == 0) {
        ShowMessage(QMessageBox::Critical, tr("Ошибка"), tr("Список приборов пуст."));
        return;
    }
    m_stream->BeforeStart();
    RunBusy(
        Busy::Start,
        [this](CJobContext& job) {
            // The job's stop (the window closing) ends a wait for a silent device, even when it
            // comes before the start has begun.
            SStartOptions options;
            options.stop = job.StopToken();
            m_startResult = m_bench.Start(options);
        },
        [this] { OnStartResult(m_startResult); });
}

void CMainFrame::OnStartResult(StartResult result) {
    m_askTimer->stop();
    m_askedIndex = -1;
    CloseWaitDialog();
    if (statusBar()->currentMessage() == CancellingText()) statusBar()->clearMessage();
    if (result == StartResult::Started) {
        m_autoStopClock.start();
        UpdateTitle();
    } else if (result == StartResult::EmptyList) {
        ShowMessage(QMessageBox::Critical, tr("Ошибка"), tr("Список приборов пуст."));
    }
    if (result != StartResult::Started) m_stream->Release();
    emit startFinished(static_cast<int>(result));
}

void CMainFrame::StopExperiment() {
    RunBusy(
        Busy::Stop,
        [this](CJobContext&) {
            m_bench.Stop();
            m_stream->FinishAfterStop();
        },
        [this] {
            m_stream->Release();
            emit stopFinished(m_bench.StopSeconds());
            if (ArchiveOnStop(m_settings) && !m_bench.IsRunning()) {
                m_archive->Archive(true);
                UpdateCommands();
            }
        });
}

QString CMainFrame::CancellingText() {
    return tr("Запуск отменяется: идёт последний обмен с прибором…");
}

void CMainFrame::NoteAskedDevice(int index, quint32 address) {
    if (m_busy != Busy::Start) return;
    // The start went on to another device: the one shown has answered or was let go.
    if (m_waitDialog && m_waitDialog->Index() != index) CloseWaitDialog();
    m_askedIndex = index;
    m_askedAddress = address;
    // A device on a sound line answers within milliseconds; one that has not after a second
    // may keep the start for the line's time-outs (a COM server that stopped answering holds a
    // first try for about 18 s), so the wait shows now, with the port it goes through.
    m_askTimer->start(kSlowAnswerMs);
}

void CMainFrame::ShowSlowAnswer() {
    if (m_busy != Busy::Start || m_askedIndex < 0 || m_waitDialog) return;
    ShowWaitDialog(m_askedIndex, m_askedAddress);
    if (!m_waitDialog) return;
    const auto active = m_bench.ActiveDevices();
    if (static_cast<std::size_t>(m_askedIndex) >= active.size()) return;
    const int port = active[static_cast<std::size_t>(m_askedIndex)].port;
    m_waitDialog->SetNote(tr("Порт %1 (%2): прибор пока не ответил.")
                              .arg(port + 1)
                              .arg(QString::fromStdString(
                                  m_bench.Port(port).StatusText(UiLanguage()))));
}

void CMainFrame::ShowWaitDialog(int index, quint32 address) {
    if (m_busy != Busy::Start) return;
    // The dialog a slow first try opened goes on for the same device.
    if (m_waitDialog && m_waitDialog->Index() == index) {
        m_waitDialog->SetNote(QString());
        return;
    }
    CloseWaitDialog();
    auto* dialog = new CWaitDeviceDialog(index, address, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::rejected, this, [this] {
        m_bench.CancelStart();
        // A try under way ends first; the commands come back when it has.
        statusBar()->showMessage(CancellingText(), 60000);
    });
    connect(dialog, &QDialog::accepted, this,
            [this, index] { m_bench.SkipWaitingDevice(static_cast<std::size_t>(index)); });
    m_waitDialog = dialog;
    dialog->open();
}

void CMainFrame::CloseWaitDialog() {
    if (!m_waitDialog) return;
    CWaitDeviceDialog* dialog = m_waitDialog;
    m_waitDialog = nullptr;
    dialog->disconnect(this);
    dialog->accept();
}

void CMainFrame::SetAutoStop(bool on) {
    m_bench.SetAutoStop(on);
    m_commands->Get(cmd::AutoStop)->setChecked(on);
}

double CMainFrame::AutoStopSeconds() const {
    return m_autoStopClock.isValid() ? m_autoStopClock.elapsed() / 1000.0 : 0.0;
}

void CMainFrame::TickAutoStop() {
    if (m_bench.AutoStop() && m_bench.IsRunning() && m_busy == Busy::None &&
        AutoStopSeconds() > m_autoStopLimit) {
        m_autoStopClock.start();
        ToggleExperiment();
    }
}

void CMainFrame::ToggleWriteToFile() {
    // Turning it on writes every record collected so far, which may take a while.
    RunBusy(
        Busy::Files, [this](CJobContext&) { m_bench.ToggleWriteToFile(); },
        [this] { UpdateTitle(); });
}

void CMainFrame::ClearStatistics() {
    m_bench.ClearStatistics();
    m_view->NotifyStatisticsChanged();
}

void CMainFrame::CalcStatistics() {
    std::uint32_t from = 0, to = 0;
    std::optional<CBench::SSecondRange> range;
    if (m_view->StatisticsRange(from, to)) range = CBench::SSecondRange{from, to};
    const size_t count = std::min(m_bench.ActiveCount(), m_bench.StoreCount());
    // A progress bar appears when the recompute takes longer than half a second; its cancel
    // leaves the devices not yet recomputed as they were.
    QPointer<QProgressDialog> progress = new QProgressDialog(tr("Расчет статистики"), tr("Отмена"),
                                                             0, static_cast<int>(count), this);
    progress->setWindowTitle(tr("Расчет статистики"));
    progress->setMinimumDuration(500);
    progress->setWindowModality(Qt::WindowModal);
    progress->setValue(0);
    connect(progress, &QProgressDialog::canceled, &m_worker, &CBackgroundJob::Cancel);
    connect(&m_worker, &CBackgroundJob::progressed, progress, [progress](int value, int maximum) {
        if (progress->wasCanceled()) return;
        progress->setMaximum(maximum);
        progress->setValue(value);
    });
    const bool started = RunBusy(
        Busy::Statistics,
        [this, range](CJobContext& job) {
            m_bench.RecomputeStatistics(
                range,
                [&job](size_t done, size_t total) {
                    job.Progress(static_cast<int>(done), static_cast<int>(total));
                },
                job.StopFlag());
        },
        [this, progress] {
            if (progress) progress->deleteLater();
            m_view->NotifyStatisticsChanged();
        });
    if (!started) delete progress;
}

}  // namespace dravmer::ui
