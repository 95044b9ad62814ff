#include "ui/background_job.h"

#include <QPointer>

namespace dravmer::ui {

CJobContext::CJobContext(CBackgroundJob* job, std::stop_token token)
    : m_job(job), m_token(std::move(token)), m_onStop(m_token, SRaiseFlag{&m_stopFlag}) {}

bool CJobContext::SleepFor(std::chrono::milliseconds time) {
    std::unique_lock lock(m_sleepMutex);
    // Nothing else notifies: the wait ends at the time or at the stop request.
    m_sleep.wait_for(lock, m_token, time, [] { return false; });
    return !m_token.stop_requested();
}

void CJobContext::Progress(int value, int maximum, const QString& text) {
    if (m_reported && value == m_lastValue && maximum == m_lastMaximum && text == m_lastText)
        return;
    m_reported = true;
    m_lastValue = value;
    m_lastMaximum = maximum;
    m_lastText = text;
    CBackgroundJob* job = m_job;
    Post([job, value, maximum, text] { emit job->progressed(value, maximum, text); });
}

CBackgroundJob::CBackgroundJob(QObject* owner) : QObject(owner) {}

CBackgroundJob::~CBackgroundJob() {
    // The calls the job queued go with this object; the owner is not called back.
    CancelAndWait();
}

bool CBackgroundJob::Start(Work work, std::function<void()> done) {
    if (m_running) return false;
    Wait();  // the last job's thread, when its end was reported before it was joined
    m_running = true;
    m_cancelled = false;
    m_thread = std::jthread(
        [this, work = std::move(work), done = std::move(done)](std::stop_token token) mutable {
            {
                CJobContext context(this, std::move(token));
                work(context);
            }
            // The last call the job queues: everything it posted before arrives first.
            QMetaObject::invokeMethod(
                this, [this, done = std::move(done)] { Ended(done); }, Qt::QueuedConnection);
        });
    return true;
}

void CBackgroundJob::Ended(const std::function<void()>& done) {
    Wait();  // returns at once: the thread's last act was to queue this call
    m_running = false;
    const bool cancelled = m_cancelled;
    // `done` may start the next job, or end the owner (and this object with it).
    QPointer<CBackgroundJob> alive(this);
    if (done) done();
    if (alive) emit finished(cancelled);
}

void CBackgroundJob::Cancel() {
    if (!m_running) return;
    m_cancelled = true;
    m_thread.request_stop();
}

void CBackgroundJob::Wait() {
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace dravmer::ui
