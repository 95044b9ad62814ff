#include "ui/archive_command.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

#include "bench/bench_archive.h"
#include "ui/ui_context.h"

namespace dravmer::ui {

QString ArchiveResultText(int code, qint64 id, const QString& detail, bool afterStop) {
    switch (code) {
        case kArchiveOk:
            return CArchiveCommand::tr("Эксперимент сохранен в базе данных под номером %1.")
                .arg(id);
        case kArchiveDuplicate:
            return CArchiveCommand::tr(
                       "Этот эксперимент уже есть в базе данных под номером %1; второй раз он не "
                       "сохраняется.")
                .arg(id);
        case kArchiveStopped:
            return CArchiveCommand::tr(
                "Сохранение в базу данных отменено; в базу ничего не записано.");
        case kArchiveBusy:
            return CArchiveCommand::tr(
                "Эксперимент идет: сохранить его в базе данных можно после остановки.");
        case kArchiveNoData:
            return CArchiveCommand::tr(
                "Нечего сохранять: ни один прибор не получил ни одной записи.");
        default:
            break;
    }
    QString text = CArchiveCommand::tr("Эксперимент не сохранен в базе данных.\n%1").arg(detail);
    text += CArchiveCommand::tr("\nФайлы эксперимента не изменены.");
    if (afterStop)
        text += CArchiveCommand::tr(
            "\nДанные эксперимента остались в программе: сохраните их командой "
            "«Сохранить эксперимент в БД», когда база данных будет доступна.");
    return text;
}

CArchiveCommand::CArchiveCommand(SUiContext& context, QWidget* window)
    : QObject(window), m_context(context), m_window(window) {}

CArchiveCommand::~CArchiveCommand() { m_job.CancelAndWait(); }

bool CArchiveCommand::Archive(bool afterStop) {
    if (m_job.IsRunning()) return false;
    const std::string url = ArchiveUrlFromSettings(m_context.settings);
    m_code = 0;
    m_id = 0;
    m_detail.clear();

    auto* progress =
        new QProgressDialog(CArchiveCommand::tr("Сохранение эксперимента в базе данных..."),
                            CArchiveCommand::tr("Отмена"), 0, 100, m_window);
    progress->setWindowTitle(CArchiveCommand::tr("Сохранить эксперимент в БД"));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    // Shown at once and window-modal: while the stores are read nothing else may change them.
    progress->setMinimumDuration(0);
    progress->setWindowModality(Qt::WindowModal);
    connect(progress, &QProgressDialog::canceled, &m_job, &CBackgroundJob::Cancel);
    connect(&m_job, &CBackgroundJob::progressed, progress, [progress](int percent) {
        if (!progress->wasCanceled()) progress->setValue(percent);
    });
    progress->setValue(0);
    progress->show();
    m_progress = progress;

    CBench& bench = m_context.bench;
    m_job.Start(
        [this, &bench, url](CJobContext& job) {
            const ArchiveProgressFn onProgress = [&job](int done, int total) {
                job.Progress(total > 0 ? done * 100 / total : 0, 100);
                return !job.StopRequested();
            };
            std::int64_t id = 0;
            std::string message;
            m_code = ArchiveBenchExperiment(bench, url, id, message, onProgress, job.StopFlag());
            m_id = id;
            m_detail = message;
        },
        [this, afterStop] { Done(afterStop); });
    return true;
}

void CArchiveCommand::Done(bool afterStop) {
    if (m_progress) m_progress->close();
    const QString text = ArchiveResultText(m_code, static_cast<qint64>(m_id),
                                           QString::fromStdString(m_detail), afterStop);
    const bool fine = m_code == kArchiveOk || m_code == kArchiveDuplicate;
    auto* window = qobject_cast<QMainWindow*>(m_window);
    if (afterStop && (fine || m_code == kArchiveNoData) && window) {
        // An archive after every stop is routine: the status bar says how it went.
        window->statusBar()->showMessage(text, 15000);
    } else {
        auto* box = new QMessageBox(
            fine || m_code == kArchiveStopped ? QMessageBox::Information : QMessageBox::Warning,
            CArchiveCommand::tr("Сохранить эксперимент в БД"), text, QMessageBox::Ok, m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        m_message = box;
    }
    emit finished(m_code, text);
}

QProgressDialog* CArchiveCommand::Progress() const { return m_progress; }

QMessageBox* CArchiveCommand::LastMessage() const { return m_message; }

void CArchiveCommand::CancelAndWait() { m_job.CancelAndWait(); }

}  // namespace dravmer::ui
