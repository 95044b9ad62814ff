#include "link/port_activity.h"

#include <gtest/gtest.h>

#include "link/port.h"

namespace dravmer {
namespace {

TEST(ActivityHistory, LoadIsBusyShareOfRecentIntervals) {
    CActivityHistory history(0.0);
    history.WriteStarted(1000.0);  // idle 1000
    history.ReadEnded(1300.0);     // busy 300
    history.WriteStarted(2000.0);  // idle 700
    history.ReadEnded(2600.0);     // busy 600
    EXPECT_NEAR(history.Refresh(2600.0), 900.0 * 100.0 / 2600.0, 1e-9);
    // At most one refresh per second: the figure holds until then.
    history.WriteStarted(2700.0);
    history.ReadEnded(3500.0);
    EXPECT_NEAR(history.Refresh(3500.0), 900.0 * 100.0 / 2600.0, 1e-9);
    // Newest first until more than 3000 ms are covered: 800 busy, 100 idle, 600, 700, 300.
    EXPECT_NEAR(history.Refresh(3600.0), 1700.0 * 100.0 / 3000.0, 1e-9);
}

TEST(ActivityHistory, QuietStretchFallsToZeroAndEndlessTransactionShowsFull) {
    CActivityHistory quiet(0.0);
    quiet.WriteStarted(100.0);
    quiet.ReadEnded(200.0);
    EXPECT_DOUBLE_EQ(quiet.Refresh(10000.0), 0.0);

    CActivityHistory stuck(0.0);
    stuck.WriteStarted(0.0);
    EXPECT_DOUBLE_EQ(stuck.Refresh(4000.0), 100.0);
}

TEST(ActivityHistory, KeepsAtMostTheNewestIntervals) {
    CActivityHistory history(0.0);
    double t = 0.0;
    for (int i = 0; i < 3000; ++i) {
        history.WriteStarted(t += 1.0);
        history.ReadEnded(t += 3.0);
    }
    EXPECT_NEAR(history.Refresh(t), 75.0, 1e-9);
}

TEST(PortActivity, ClosedPortShowsStateFour) {
    CLinkPort port(0);
    EXPECT_EQ(port.ActivityState(), 4);
    EXPECT_EQ(port.LoadText(), " 0% / 0");
}

}  // namespace
}  // namespace dravmer

namespace dravmer {
namespace {

TEST(ActivityBusyShare, CountsOnlyTheBusyTimeInsideTheWindowAndTheTransactionUnderWay) {
    CActivityHistory history(0.0);
    history.WriteStarted(100.0);  // idle 0..100
    history.ReadEnded(400.0);     // busy 100..400
    history.WriteStarted(1500.0);  // idle 400..1500
    history.ReadEnded(1800.0);     // busy 1500..1800
    // Window 900..1900: only the second transaction, 300 ms of it.
    EXPECT_NEAR(history.BusyPercentOver(1900.0, 1000.0), 30.0, 1e-9);
    history.WriteStarted(2000.0);  // a transaction under way since 2000
    // Window 1500..2500: the whole second transaction and 500 ms of the one under way.
    EXPECT_NEAR(history.BusyPercentOver(2500.0, 1000.0), (300.0 + 500.0) / 10.0, 1e-9);
    // A transaction that has lasted longer than the window fills it.
    EXPECT_DOUBLE_EQ(history.BusyPercentOver(5000.0, 1000.0), 100.0);
    EXPECT_DOUBLE_EQ(CActivityHistory(0.0).BusyPercentOver(5000.0, 1000.0), 0.0);
}

}  // namespace
}  // namespace dravmer
