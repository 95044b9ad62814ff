#pragma once
// One blocking job at a time on a thread of its own, with its end reported on the owner's
// (user-interface) thread. The owner raises its own stop flag and calls Wait() in its
// destructor before its members go; calls still queued for a destroyed owner are dropped by Qt.
#include <QMetaObject>
#include <QObject>
#include <functional>
#include <thread>

namespace dravmer::ui {

class CWorkerTask {
public:
    explicit CWorkerTask(QObject* owner) : m_owner(owner) {}
    ~CWorkerTask() { Wait(); }
    CWorkerTask(const CWorkerTask&) = delete;
    CWorkerTask& operator=(const CWorkerTask&) = delete;

    // Runs `work` on a new thread, then `done` on the owner's thread. False (nothing started)
    // while a job runs.
    bool Run(std::function<void()> work, std::function<void()> done);
    // From the job: runs `f` on the owner's thread.
    template <class F>
    void Post(F f) {
        QMetaObject::invokeMethod(m_owner, std::move(f), Qt::QueuedConnection);
    }
    bool IsRunning() const { return m_running; }
    // Blocks until the job's thread has ended (its `done` may still be queued).
    void Wait();

private:
    QObject* m_owner;
    std::thread m_thread;
    bool m_running = false;  // touched on the owner's thread only
};

}  // namespace dravmer::ui
