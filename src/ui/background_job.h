#pragma once
// CBackgroundJob: how the window runs blocking work (a device search, a start that waits for
// silent devices, a load, an archive server, a download) without freezing.
//
// One job at a time per CBackgroundJob, each on a thread of its own (std::jthread). A shared
// pool is no place for this work: a start may wait for a device until the operator gives up,
// and a pool sized to the cores would hold every other job back meanwhile. An owner keeps one
// CBackgroundJob per kind of work it runs: at most one thread for each.
//
// The work gets a CJobContext: its stop request (Cancel, the owner's destructor), which wakes a
// wait on the context at once, and two ways back to the UI thread, progress reports (value,
// maximum, text; in order) and posted calls for results. Its end is reported on the owner's
// thread: the `done` given to Start runs there once the work has returned, whether it finished
// or was stopped, and `finished` is emitted. Everything queued for a job whose CBackgroundJob
// is gone is dropped, so a destroyed owner is never called back.
//
// The UI thread never waits for a job except in Wait(): the owner's destructor (and a closing
// window) asks the job to stop and then waits for its thread, which every work function keeps
// short by honouring its stop request between devices, blocks or exchanges.
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace dravmer::ui {

class CBackgroundJob;

// What a running job's work gets. Used on the job's thread only.
class CJobContext {
public:
    CJobContext(const CJobContext&) = delete;
    CJobContext& operator=(const CJobContext&) = delete;

    std::stop_token StopToken() const { return m_token; }
    bool StopRequested() const { return m_token.stop_requested(); }
    // The same request as a flag, for the engine's calls that take one.
    const std::atomic<bool>* StopFlag() const { return &m_stopFlag; }
    // Waits `time`; false (at once) when the job is asked to stop before that.
    bool SleepFor(std::chrono::milliseconds time);

    // A progress report: CBackgroundJob::progressed on the UI thread, reports in the order they
    // were made. A report equal to the last one is not sent again.
    void Progress(int value, int maximum, const QString& text = QString());
    // Runs `f` on the UI thread, after what was posted or reported before it and before the
    // job's end is reported. Dropped when the CBackgroundJob is destroyed first. May also be
    // called from threads the job's work starts and joins.
    template <class F>
    void Post(F f) {
        QMetaObject::invokeMethod(m_job, std::move(f), Qt::QueuedConnection);
    }

private:
    friend class CBackgroundJob;
    CJobContext(CBackgroundJob* job, std::stop_token token);

    CBackgroundJob* m_job;
    std::stop_token m_token;
    std::atomic<bool> m_stopFlag{false};
    struct SRaiseFlag {
        std::atomic<bool>* flag;
        void operator()() const noexcept { flag->store(true); }
    };
    std::stop_callback<SRaiseFlag> m_onStop;
    std::mutex m_sleepMutex;
    std::condition_variable_any m_sleep;
    bool m_reported = false;
    int m_lastValue = 0, m_lastMaximum = 0;
    QString m_lastText;
};

class CBackgroundJob : public QObject {
    Q_OBJECT
public:
    using Work = std::function<void(CJobContext& job)>;

    // Reports go to `owner`'s thread (the UI thread); the job is the owner's child.
    explicit CBackgroundJob(QObject* owner);
    // Asks a running job to stop and waits for its thread; its end is not reported.
    ~CBackgroundJob() override;
    CBackgroundJob(const CBackgroundJob&) = delete;
    CBackgroundJob& operator=(const CBackgroundJob&) = delete;

    // Starts `work` on a thread of its own; `done` runs on the UI thread after it returned.
    // False, and nothing started, while a job runs or its end has not been reported yet.
    bool Start(Work work, std::function<void()> done = {});
    // From Start until the end was reported (`done` is called with this already false, so it
    // may start the next job).
    bool IsRunning() const { return m_running; }
    // Asks the running job to stop; returns at once. Its end is still reported.
    void Cancel();
    // Whether the current (or last) job was asked to stop.
    bool CancelRequested() const { return m_cancelled; }
    // Blocks until the job's thread has ended; its end is reported afterwards, from the event
    // loop. For the owner's destructor and a closing window, after Cancel.
    void Wait();
    void CancelAndWait() {
        Cancel();
        Wait();
    }

signals:
    void progressed(int value, int maximum, const QString& text);
    // After `done`; cancelled: the job was asked to stop.
    void finished(bool cancelled);

private:
    void Ended(const std::function<void()>& done);

    std::jthread m_thread;
    bool m_running = false;    // UI thread only
    bool m_cancelled = false;  // UI thread only
};

}  // namespace dravmer::ui
