#include "platform/worker_thread.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>

#include "platform/perf_timer.h"

namespace dravmer {
namespace {

// Blocks in poll() on the stop descriptor alone: only a stop request can end it.
class BlockedInPoll : public CWorkerThread {
protected:
    int Run() override {
        pollfd p{CurrentStopFd(), POLLIN, 0};
        started = true;
        int n = ::poll(&p, 1, 60000);
        return n == 1 ? 7 : -5;
    }

public:
    std::atomic<bool> started{false};
};

class SleepsUntilStopped : public CWorkerThread {
protected:
    int Run() override {
        while (WaitForStop(50)) ++loops;
        return 3;
    }

public:
    std::atomic<int> loops{0};
};

class Stubborn : public CWorkerThread {
protected:
    int Run() override {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 9;
    }

public:
    std::atomic<bool> release{false};
};

TEST(WorkerThread, StopWakesAThreadBlockedInPollOnItsStopDescriptor) {
    BlockedInPoll w;
    ASSERT_TRUE(w.Start());
    while (!w.started) std::this_thread::yield();
    CPerfTimer t;
    EXPECT_EQ(w.Stop(), 7);
    EXPECT_LT(t.GetElapsedMs(), 2000);
    EXPECT_FALSE(w.IsRunning());
}

TEST(WorkerThread, StopReturnsExitCodeAndThreadCanBeStartedAgain) {
    SleepsUntilStopped w;
    EXPECT_EQ(w.Stop(), -1) << "no thread yet";
    ASSERT_TRUE(w.Start());
    EXPECT_TRUE(w.Start()) << "a running thread is not started twice";
    EXPECT_EQ(w.Stop(), 3);
    ASSERT_TRUE(w.Start());
    EXPECT_TRUE(w.IsRunning());
    EXPECT_EQ(w.Stop(), 3);
}

TEST(WorkerThread, StopWithinGivesUpWithoutKillingAndALaterStopCollects) {
    Stubborn w;
    ASSERT_TRUE(w.Start());
    EXPECT_EQ(w.StopWithin(30), -1);
    EXPECT_TRUE(w.IsRunning()) << "the thread is never killed";
    w.release = true;
    EXPECT_EQ(w.Stop(), 9);
}

TEST(WorkerThread, NonWorkerThreadsHaveNoStopDescriptor) {
    EXPECT_EQ(CWorkerThread::CurrentStopFd(), -1);
    EXPECT_FALSE(CWorkerThread::CurrentStopRequested());
}

}  // namespace
}  // namespace dravmer
