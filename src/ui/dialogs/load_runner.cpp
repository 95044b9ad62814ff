#include "ui/dialogs/load_runner.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>

#include "ui/ui_context.h"

namespace dravmer::ui {

// Re-posts the loader's calls to the runner's thread. The runner outlives the worker (its
// destructor joins it); a post still queued when the runner goes is dropped by Qt.
struct SLoadPoster : ILoadListener {
    CLoadRunner* runner = nullptr;
    int lastPercent = -1;
    template <class F>
    void Post(F f) {
        QMetaObject::invokeMethod(runner, std::move(f), Qt::QueuedConnection);
    }
    void OnFileStarted(int index, int count, const std::string& file) override {
        lastPercent = -1;
        path = file;
        QString p = QString::fromStdString(file);
        CLoadRunner* r = runner;
        Post([r, index, count, p] { emit r->fileStarted(index, count, p); });
    }
    void OnFileProgress(int, int percent) override {
        if (percent == lastPercent) return;  // one message per step, not per block
        lastPercent = percent;
        CLoadRunner* r = runner;
        Post([r, percent] { emit r->progress(percent); });
    }
    void OnFileLoaded(int, int result, const SLoadReport& report) override {
        CLoadRunner* r = runner;
        const QStringList lines =
            LoadReportLines(QFileInfo(QString::fromStdString(path)).fileName(), result, report);
        if (lines.isEmpty()) return;
        Post([r, lines] { r->m_problems += lines; });
    }
    void OnAllLoaded(bool) override {}
    std::string path;
};

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

CLoadRunner::~CLoadRunner() {
    m_cancel = true;
    Join();
}

void CLoadRunner::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void CLoadRunner::Cancel() { m_cancel = true; }

bool CLoadRunner::Start(const SGroupLoadData& group) {
    if (m_thread.joinable() && !m_done) return false;
    Join();
    std::vector<CDeviceData*> stores = m_context.bench.PrepareLoad(group.addresses);
    if (stores.empty()) return false;
    m_cancel = false;
    m_done = false;
    m_loaded = 0;
    m_problems.clear();
    m_thread = std::thread([this, group, stores] {
        SLoadPoster poster;
        poster.runner = this;
        const int loaded = m_context.bench.LoadPrepared(group, stores, &poster, &m_cancel);
        m_loaded = loaded;
        const bool cancelled = m_cancel.load();
        QMetaObject::invokeMethod(
            this,
            [this, cancelled] {
                m_done = true;
                Join();
                emit finished(cancelled);
            },
            Qt::QueuedConnection);
    });
    return true;
}

}  // namespace dravmer::ui
