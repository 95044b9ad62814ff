#include "platform/worker_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include "platform/perf_timer.h"

namespace dravmer {

namespace {
thread_local CWorkerThread* t_current = nullptr;
thread_local int t_stopFd = -1;
thread_local std::stop_token t_stopToken;
}  // namespace

CWorkerThread::CWorkerThread() { m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

CWorkerThread::~CWorkerThread() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_stopSource.request_stop();
    }
    m_cv.notify_all();
    if (m_stopFd >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(m_stopFd, &one, sizeof one);
    }
    Join();
    if (m_stopFd >= 0) ::close(m_stopFd);
}

bool CWorkerThread::Start() {
    std::lock_guard lock(m_mutex);
    if (m_running) return !m_stop;
    if (m_thread.joinable()) m_thread.join();  // finished earlier, not yet collected
    m_stop = false;
    m_stopSource = std::stop_source();
    if (m_stopFd >= 0) {
        std::uint64_t value;
        while (::read(m_stopFd, &value, sizeof value) > 0) {
        }
    }
    m_running = true;
    try {
        m_thread = std::thread(&CWorkerThread::Entry, this);
    } catch (...) {
        m_running = false;
        return false;
    }
    return true;
}

void CWorkerThread::Entry() {
    t_current = this;
    t_stopFd = m_stopFd;
    {
        std::lock_guard lock(m_mutex);
        t_stopToken = m_stopSource.get_token();
    }
    int code = Run();
    m_exitCode = code;
    {
        std::lock_guard lock(m_mutex);
        m_running = false;
    }
    m_cv.notify_all();
    t_current = nullptr;
    t_stopFd = -1;
    t_stopToken = {};
}

void CWorkerThread::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

int CWorkerThread::Stop(bool noWait) {
    std::unique_lock lock(m_mutex);
    if (!m_thread.joinable()) return -1;
    m_stop = true;
    m_stopSource.request_stop();
    if (m_stopFd >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(m_stopFd, &one, sizeof one);
    }
    m_cv.notify_all();
    if (noWait) return 0;
    if (m_thread.get_id() == std::this_thread::get_id()) return -1;
    bool ended = m_cv.wait_for(lock, std::chrono::milliseconds(m_waitLimitMs),
                               [this] { return !m_running.load(); });
    if (!ended) return -1;
    m_thread.join();
    return m_exitCode.load();
}

int CWorkerThread::StopWithin(int ms) {
    {
        std::lock_guard lock(m_mutex);
        m_waitLimitMs = ms;
    }
    int code = Stop(false);
    std::lock_guard lock(m_mutex);
    m_waitLimitMs = kDefaultWaitMs;
    return code;
}

bool CWorkerThread::WaitEnded(int ms) {
    std::unique_lock lock(m_mutex);
    if (!m_thread.joinable()) return true;
    if (m_thread.get_id() == std::this_thread::get_id()) return false;
    if (m_running && !m_stop) return false;
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_running.load(); }))
        return false;
    m_thread.join();
    return true;
}

bool CWorkerThread::IsRunning() const { return m_running.load(); }

bool CWorkerThread::WaitForStop(int ms) {
    std::unique_lock lock(m_mutex);
    return !m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

bool CWorkerThread::WaitForStopUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    return !m_cv.wait_until(lock, deadline, [this] { return m_stop.load(); });
}

int CWorkerThread::CurrentStopFd() { return t_stopFd; }

bool CWorkerThread::CurrentStopRequested() { return t_current && t_current->StopRequested(); }

std::stop_token CWorkerThread::CurrentStopToken() { return t_stopToken; }

bool CPerfTimer::Wait(double ms) {
    CPerfTimer t;
    if (ms >= 5) {
        while (t.GetElapsedMs() < ms) {
            if (CWorkerThread::CurrentStopRequested()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } else {
        while (t.GetElapsedMs() < ms) {
        }
    }
    return true;
}

}  // namespace dravmer
