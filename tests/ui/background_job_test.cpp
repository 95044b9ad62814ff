// The window's background job: a stop request wakes a job that waits, reports reach the UI
// thread in order and before the end, an owner destroyed under a running job is never called
// back and leaves no thread behind, and one job follows another.
#include "ui/background_job.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QThread>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

#include "ui_test_env.h"

namespace dravmer::ui {
namespace {

using namespace std::chrono_literals;

// Waits (processing events) until `ready`, at most `ms`.
template <class F>
bool WaitUntil(F ready, int ms = 10000) {
    for (int waited = 0; !ready() && waited < ms; waited += 10) QTest::qWait(10);
    return ready();
}

bool ThreadAlive(long tid) {
    return std::filesystem::exists("/proc/self/task/" + std::to_string(tid));
}

TEST(BackgroundJob, CancelWakesAJobThatWaitsAndItsEndSaysSo) {
    test::App();
    QObject owner;
    CBackgroundJob job(&owner);
    std::atomic<bool> waiting{false};
    bool woken = false, flagRaised = false;
    bool done = false;
    ASSERT_TRUE(job.Start(
        [&](CJobContext& ctx) {
            waiting = true;
            // An hour, unless the stop request comes.
            woken = !ctx.SleepFor(std::chrono::hours(1));
            flagRaised = ctx.StopFlag()->load();
        },
        [&] { done = true; }));
    QSignalSpy finished(&job, &CBackgroundJob::finished);
    ASSERT_TRUE(WaitUntil([&] { return waiting.load(); }));
    EXPECT_TRUE(job.IsRunning());
    EXPECT_FALSE(job.CancelRequested());
    job.Cancel();
    EXPECT_TRUE(job.CancelRequested());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(done);
    EXPECT_TRUE(woken);
    EXPECT_TRUE(flagRaised) << "engine calls that take a stop flag see the same request";
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_FALSE(job.IsRunning());

    // A job that is not asked to stop sleeps its time out and ends uncancelled.
    bool slept = false;
    ASSERT_TRUE(job.Start([&](CJobContext& ctx) { slept = ctx.SleepFor(1ms); }));
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(slept);
    EXPECT_FALSE(finished.at(1).at(0).toBool());
    EXPECT_FALSE(job.CancelRequested());
}

TEST(BackgroundJob, ProgressAndResultsArriveInOrderOnTheUiThreadBeforeTheEnd) {
    test::App();
    QObject owner;
    CBackgroundJob job(&owner);
    std::vector<int> values;
    std::vector<int> maxima;
    QStringList texts;
    bool offThread = false;
    QObject::connect(&job, &CBackgroundJob::progressed,
                     [&](int value, int maximum, const QString& text) {
                         offThread |= QThread::currentThread() != owner.thread();
                         values.push_back(value);
                         maxima.push_back(maximum);
                         texts << text;
                     });
    std::vector<std::string> order;
    constexpr int kSteps = 2000;
    ASSERT_TRUE(job.Start(
        [&](CJobContext& ctx) {
            for (int i = 1; i <= kSteps; ++i) {
                ctx.Progress(i, kSteps, QString::number(i));
                ctx.Progress(i, kSteps, QString::number(i));  // the same again: not sent
            }
            ctx.Post([&] {
                offThread |= QThread::currentThread() != owner.thread();
                order.push_back("result after " + std::to_string(values.size()));
            });
        },
        [&] { order.push_back("done after " + std::to_string(values.size())); }));
    QSignalSpy finished(&job, &CBackgroundJob::finished);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(offThread);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kSteps));
    for (int i = 0; i < kSteps; ++i) {
        ASSERT_EQ(values[static_cast<std::size_t>(i)], i + 1);
        ASSERT_EQ(texts[i], QString::number(i + 1));
    }
    EXPECT_EQ(maxima.front(), kSteps);
    const std::vector<std::string> expected{"result after 2000", "done after 2000"};
    EXPECT_EQ(order, expected);
}

struct SOwner : QObject {
    CBackgroundJob job{this};
};

TEST(BackgroundJob, AnOwnerDestroyedUnderARunningJobIsNotCalledBackAndLeavesNoThread) {
    test::App();
    auto owner = std::make_unique<SOwner>();
    std::atomic<long> tid{0};
    auto called = std::make_shared<std::atomic<int>>(0);
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    ASSERT_TRUE(owner->job.Start(
        [called, stopped, &tid](CJobContext& ctx) {
            tid = static_cast<long>(::syscall(SYS_gettid));
            // A result queued for the owner, then work that only a stop ends.
            ctx.Post([called] { ++*called; });
            ctx.Progress(1, 2);
            while (!ctx.StopRequested()) ctx.SleepFor(1h);
            *stopped = true;
        },
        [called] { ++*called; }));
    QObject::connect(&owner->job, &CBackgroundJob::progressed, [called] { ++*called; });
    for (int i = 0; i < 1000 && tid == 0; ++i) QThread::msleep(10);  // no events processed
    ASSERT_NE(tid.load(), 0);
    EXPECT_TRUE(ThreadAlive(tid));
    owner.reset();  // asks the job to stop and waits for it
    EXPECT_TRUE(stopped->load());
    QTest::qWait(50);
    EXPECT_EQ(called->load(), 0) << "nothing queued for the destroyed owner runs";
    // The thread has ended (the kernel forgets it a moment after the join at most).
    EXPECT_TRUE(WaitUntil([&] { return !ThreadAlive(tid); }, 5000));
}

TEST(BackgroundJob, OneJobAtATimeAndTheNextMayStartFromTheLastOnesEnd) {
    test::App();
    QObject owner;
    CBackgroundJob job(&owner);
    std::vector<int> ran;
    std::atomic<bool> release{false};
    bool secondStarted = false;
    QSignalSpy finished(&job, &CBackgroundJob::finished);
    ASSERT_TRUE(job.Start(
        [&](CJobContext& ctx) {
            while (!release && ctx.SleepFor(1ms)) {
            }
            ran.push_back(1);
        },
        [&] {
            EXPECT_FALSE(job.IsRunning());
            secondStarted = job.Start([&](CJobContext&) { ran.push_back(2); });
        }));
    // A second job is refused while the first runs, and nothing of it runs.
    EXPECT_FALSE(job.Start([&](CJobContext&) { ran.push_back(99); }));
    release = true;
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 2; }));
    EXPECT_TRUE(secondStarted);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));

    // Waiting on the UI thread (a closing owner) leaves the end to be reported once, later;
    // until then no job starts.
    ASSERT_TRUE(job.Start([&](CJobContext&) { ran.push_back(3); }));
    job.Wait();
    EXPECT_EQ(ran.size(), 3u);
    EXPECT_TRUE(job.IsRunning());
    EXPECT_FALSE(job.Start([&](CJobContext&) { ran.push_back(98); }));
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 3; }));
    QTest::qWait(20);
    EXPECT_EQ(finished.count(), 3);
    EXPECT_FALSE(job.IsRunning());
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace dravmer::ui
