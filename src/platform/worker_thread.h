#pragma once
// Worker thread base. A stop request is honoured cooperatively: Run() polls StopRequested()
// and every blocking wait of the engine wakes on the request (WaitForStop for sleeps, the
// thread's stop descriptor for poll()). Threads are never killed: Stop waits a bounded time and
// reports -1 when the thread has not ended yet; the destructor always joins.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

namespace dravmer {

class CWorkerThread {
public:
    static constexpr int kDefaultWaitMs = 2500;

    CWorkerThread();
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts the thread; true at once when it is already running. False when the thread could
    // not be created, or when an earlier run was asked to stop and has not ended yet: a new run
    // must never be taken for started while the old one still works the same port.
    bool Start();
    // Waits up to ms for a run that was asked to stop to end, and collects it; true when no run
    // is left. A run without a stop request is not waited for (false at once).
    bool WaitEnded(int ms);
    // Requests a stop. Unless noWait, waits up to the wait limit for the thread to end and
    // returns its exit code; -1 when there is no thread or it has not ended in time (it then
    // keeps its request and ends on its own; a later Stop or the destructor collects it).
    int Stop(bool noWait = false);
    // Stop with a wait limit of ms for this one call.
    int StopWithin(int ms);
    bool IsRunning() const;
    bool StopRequested() const { return m_stop.load(std::memory_order_acquire); }
    int ExitCode() const { return m_exitCode.load(); }

    // Sleeps ms milliseconds or until a stop is requested; false when the stop came first.
    bool WaitForStop(int ms);
    // Sleeps until the deadline (to the scheduler's precision, not in millisecond steps) or a
    // stop request; false when the stop came first.
    bool WaitForStopUntil(std::chrono::steady_clock::time_point deadline);

    // An eventfd that becomes readable when a stop of the worker running on the calling thread
    // is requested; -1 on threads that are not workers. Blocking reads poll it beside their
    // own descriptor, so a port read wakes on Stop without the port knowing who called it.
    static int CurrentStopFd();
    // True when the worker running on the calling thread has a stop request.
    static bool CurrentStopRequested();
    // The stop token of the worker running on the calling thread (one that never stops on other
    // threads), for condition-variable waits: std::condition_variable_any waits on it.
    static std::stop_token CurrentStopToken();

protected:
    virtual int Run() { return 0; }

private:
    void Entry();
    void Join();

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_exitCode{0};
    int m_waitLimitMs = kDefaultWaitMs;
    int m_stopFd = -1;
    std::stop_source m_stopSource;  // one per run, made anew by Start
    std::mutex m_mutex;  // guards start/stop/join and the condition below
    std::condition_variable m_cv;
};

}  // namespace dravmer
