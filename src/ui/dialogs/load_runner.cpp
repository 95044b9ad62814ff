#include "ui/dialogs/load_runner.h"

#include <QFileInfo>
#include <QMessageBox>
#include <memory>

#include "ui/ui_context.h"

namespace dravmer::ui {

namespace {
// Hands the loader's calls to the runner's thread as the job's progress and results.
struct SLoadPoster : ILoadListener {
    CLoadRunner* runner = nullptr;
    CJobContext* job = nullptr;
    QStringList* problems = nullptr;
    int lastPercent = -1;
    std::string path;
    void OnFileStarted(int index, int count, const std::string& file) override {
        lastPercent = -1;
        path = file;
        QString p = QString::fromStdString(file);
        CLoadRunner* r = runner;
        job->Post([r, index, count, p] { emit r->fileStarted(index, count, p); });
    }
    void OnFileProgress(int, int percent) override {
        if (percent == lastPercent) return;  // one message per step, not per block
        lastPercent = percent;
        CLoadRunner* r = runner;
        job->Post([r, percent] { emit r->progress(percent); });
    }
    void OnFileLoaded(int, int result, const SLoadReport& report) override {
        const QStringList lines =
            LoadReportLines(QFileInfo(QString::fromStdString(path)).fileName(), result, report);
        if (lines.isEmpty()) return;
        QStringList* out = problems;
        job->Post([out, lines] { *out += lines; });
    }
    void OnAllLoaded(bool) override {}
};
}  // namespace

QStringList LoadReportLines(const QString& file, int result, const SLoadReport& report) {
    QStringList lines;
    if (report.cancelled) return lines;  // the operator knows
    if (result == 0)
        lines << CLoadRunner::tr("%1: файл не загружен (%2).")
                     .arg(file, QString::fromStdString(report.error));
    if (report.skippedLines > 0)
        lines << CLoadRunner::tr("%1: пропущено строк, не содержащих записи: %2.")
                     .arg(file)
                     .arg(report.skippedLines);
    if (report.skippedRecords > 0)
        lines
            << CLoadRunner::tr(
                   "%1: пропущено записей с невозможными значениями (время, Цикл, Cст, GvEr): %2.")
                   .arg(file)
                   .arg(report.skippedRecords);
    if (report.unknownColumns > 0)
        lines << CLoadRunner::tr("%1: пропущено неизвестных столбцов: %2.")
                     .arg(file)
                     .arg(report.unknownColumns);
    if (report.ignoredBytes > 0)
        lines << CLoadRunner::tr("%1: неполная последняя запись (%2 байт) не загружена.")
                     .arg(file)
                     .arg(static_cast<qulonglong>(report.ignoredBytes));
    if (!report.warning.empty())
        lines << CLoadRunner::tr("%1: чтение остановлено: %2.")
                     .arg(file, QString::fromStdString(report.warning));
    return lines;
}

QMessageBox* ShowLoadProblems(QWidget* parent, const QStringList& problems) {
    if (problems.isEmpty()) return nullptr;
    auto* box = new QMessageBox(QMessageBox::Warning, CLoadRunner::tr("Загрузка эксперимента"),
                                CLoadRunner::tr("Эксперимент загружен не полностью:\n%1")
                                    .arg(problems.join(QLatin1Char('\n'))),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

CLoadRunner::CLoadRunner(SUiContext& context, QObject* parent)
    : QObject(parent), m_context(context) {}

CLoadRunner::~CLoadRunner() { m_job.CancelAndWait(); }

void CLoadRunner::Cancel() { m_job.Cancel(); }

bool CLoadRunner::Start(const SGroupLoadData& group) {
    if (m_job.IsRunning()) return false;
    std::vector<CDeviceData*> stores = m_context.bench.PrepareLoad(group.addresses);
    if (stores.empty()) return false;
    m_loaded = 0;
    m_problems.clear();
    CBench& bench = m_context.bench;
    auto cancelled = std::make_shared<bool>(false);
    return m_job.Start(
        [this, &bench, group, stores, cancelled](CJobContext& job) {
            SLoadPoster poster;
            poster.runner = this;
            poster.job = &job;
            poster.problems = &m_problems;
            m_loaded = bench.LoadPrepared(group, stores, &poster, job.StopFlag());
            *cancelled = job.StopRequested();
        },
        [this, cancelled] { emit finished(*cancelled); });
}

}  // namespace dravmer::ui
