#pragma once
// Loads a group of experiment files into the bench's stores on a worker thread and reports on
// the user-interface thread: the file that starts, its percentage, the end. Destroying the
// runner (or Cancel) stops the load after the block being read and waits for the worker.
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>

#include "files/experiment_scan.h"
#include "ui/background_job.h"

class QMessageBox;
class QWidget;

namespace dravmer::ui {

struct SUiContext;

class CLoadRunner : public QObject {
    Q_OBJECT
public:
    explicit CLoadRunner(SUiContext& context, QObject* parent = nullptr);
    ~CLoadRunner() override;

    // Replaces the device list by the group's devices and starts the worker. False (nothing
    // started) while an experiment, a search or another load runs, or for an empty group.
    bool Start(const SGroupLoadData& group);
    bool IsRunning() const { return m_job.IsRunning(); }
    void Cancel();
    int Loaded() const { return m_loaded.load(); }
    // What the last load left out, one line per file and kind: files that did not load, lines
    // and records skipped, unknown columns. Empty when every file loaded whole.
    const QStringList& Problems() const { return m_problems; }

signals:
    void fileStarted(int index, int count, const QString& path);
    void progress(int percent);
    void finished(bool cancelled);

private:
    QStringList m_problems;

    SUiContext& m_context;
    std::atomic<int> m_loaded{0};
    CBackgroundJob m_job{this};
};

// The lines of Problems() for one file's load.
QStringList LoadReportLines(const QString& file, int result, const SLoadReport& report);
// Tells the operator what a load left out, in a box over `parent` that does not block; null
// when there is nothing to tell.
QMessageBox* ShowLoadProblems(QWidget* parent, const QStringList& problems);

}  // namespace dravmer::ui
