#pragma once
// Loads a group of experiment files into the bench's stores on a worker thread and reports on
// the user-interface thread: the file that starts, its percentage, the end. Destroying the
// runner (or Cancel) stops the load after the block being read and waits for the worker.
#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

#include "files/experiment_scan.h"

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
    bool IsRunning() const { return m_thread.joinable() && !m_done; }
    void Cancel();
    int Loaded() const { return m_loaded.load(); }

signals:
    void fileStarted(int index, int count, const QString& path);
    void progress(int percent);
    void finished(bool cancelled);

private:
    void Join();

    SUiContext& m_context;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_loaded{0};
    bool m_done = false;
};

}  // namespace dravmer::ui
