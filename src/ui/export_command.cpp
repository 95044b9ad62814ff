#include "ui/export_command.h"

#include <QDir>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

#include "ui/dialogs/csv_export_dialog.h"
#include "ui/qt_translations.h"
#include "ui/ui_context.h"
#include "ui/view_state.h"

namespace dravmer::ui {

CExportCommand::CExportCommand(SUiContext& context, QWidget* window)
    : QObject(window), m_context(context), m_window(window) {}

CExportCommand::~CExportCommand() { CancelAndWait(); }

void CExportCommand::CancelAndWait() { m_job.CancelAndWait(); }

QString CExportCommand::DefaultPath() const {
    CBench& bench = m_context.bench;
    // Named like the experiment's files: "261206-007.csv" beside them.
    QString name = QStringLiteral("experiment");
    if (bench.StoreCount() > 0) {
        const QString title = QString::fromStdString(bench.Data(0).Title());
        if (title.size() >= 10 && title[6] == QLatin1Char('-')) name = title.left(10);
    }
    QString folder = QString::fromStdString(bench.Settings().savePath);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    return QDir(folder).filePath(name + QStringLiteral(".csv"));
}

void CExportCommand::Export() {
    if (m_job.IsRunning() || m_dialog) return;
    CBench& bench = m_context.bench;
    const std::size_t devices = std::min(bench.ActiveCount(), bench.StoreCount());
    qint64 records = 0;
    for (std::size_t i = 0; i < devices; ++i) records += bench.Data(i).GetCount();
    std::uint32_t from = 0, to = 0;
    const bool range = m_context.view && m_context.view->StatisticsRange(from, to);
    auto* dialog = new CCsvExportDialog(DefaultPath(), static_cast<int>(devices), records, range,
                                        from, to, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, from, to] {
        SCsvExportOptions options;
        options.csv.units = dialog->Units();
        options.csv.excel = dialog->Excel();
        options.rangeOnly = dialog->RangeOnly();
        options.from = from;
        options.to = to;
        options.language = UiLanguage();
        Start(dialog->Path(), options);
    });
    m_dialog = dialog;
    dialog->open();
}

bool CExportCommand::Start(const QString& path, const SCsvExportOptions& options) {
    if (m_job.IsRunning()) return false;
    m_report = {};
    auto* progress =
        new QProgressDialog(tr("Экспорт в CSV: %1").arg(path), tr("Отмена"), 0, 100, m_window);
    progress->setWindowTitle(tr("Экспорт в CSV"));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    // A small export ends before the dialog would be worth showing.
    progress->setMinimumDuration(400);
    progress->setWindowModality(Qt::WindowModal);
    connect(progress, &QProgressDialog::canceled, &m_job, &CBackgroundJob::Cancel);
    connect(&m_job, &CBackgroundJob::progressed, progress, [progress](int percent) {
        if (!progress->wasCanceled()) progress->setValue(percent);
    });
    progress->setValue(0);
    m_progress = progress;

    CBench& bench = m_context.bench;
    const std::string file = path.toStdString();
    m_job.Start(
        [this, &bench, file, options](CJobContext& job) {
            m_report = ExportBenchCsv(
                bench, file, options,
                [&job](int percent) {
                    job.Progress(percent, 100);  // sent when it changed
                    return !job.StopRequested();
                },
                job.StopFlag());
        },
        [this, path] { Done(path); });
    return true;
}

void CExportCommand::Done(const QString& path) {
    if (m_progress) m_progress->close();
    QString text;
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (m_report.result) {
        case CsvExportResult::Written:
            text = tr("Записано в %1: %2 записей %3 приборов.")
                       .arg(QDir::toNativeSeparators(path))
                       .arg(m_report.rows)
                       .arg(m_report.devices);
            break;
        case CsvExportResult::NoData:
            text =
                tr("Нечего экспортировать: у приборов списка нет записей (в выбранном "
                   "диапазоне).");
            break;
        case CsvExportResult::Cancelled:
            text = tr("Экспорт отменен; файл не создан.");
            break;
        case CsvExportResult::Failed:
            icon = QMessageBox::Warning;
            text = tr("Таблица не записана: %1").arg(QString::fromStdString(m_report.error));
            break;
    }
    auto* window = qobject_cast<QMainWindow*>(m_window);
    if (m_report.result == CsvExportResult::Written && window) {
        window->statusBar()->showMessage(text, 15000);
    } else {
        auto* box = new QMessageBox(icon, tr("Экспорт в CSV"), text, QMessageBox::Ok, m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        m_message = box;
    }
    emit finished(static_cast<int>(m_report.result), text);
}

}  // namespace dravmer::ui
