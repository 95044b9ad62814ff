// The graphs' hub asks the engine for the statistics over the graph's selection: selections
// that change while a recompute runs end with the stores over the last one, told once.
#include "ui/graphs/graph_hub.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "graph_ui_env.h"

namespace dravmer::ui {
namespace {

TEST(GraphHub, SelectionsAskedForWhileARecomputeRunsEndWithTheLastOneToldOnce) {
    test::SGraphBench bench(3, 20000);
    CGraphHub& hub = CGraphHub::For(*bench.ctx);
    QSignalSpy done(&hub, &CGraphHub::statisticsRecomputed);
    // Three changes before the UI thread looks at any result.
    graph::GraphList().SetSelection(true, 100, 199);
    hub.RecomputeStatistics();
    EXPECT_TRUE(hub.Recomputing());
    graph::GraphList().SetSelection(true, 5000, 5999);
    hub.RecomputeStatistics();
    graph::GraphList().SetSelection(true, 700, 749);
    hub.RecomputeStatistics();
    ASSERT_TRUE(done.wait(20000));
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 1);
    EXPECT_FALSE(hub.Recomputing());
    for (std::size_t i = 0; i < bench.bench->StoreCount(); ++i) {
        const SStatState st = bench.bench->Data(i).GetStatState();
        EXPECT_TRUE(st.rangeMode) << i;
        EXPECT_EQ(st.firstSecond, 700) << i;
        EXPECT_EQ(st.lastSecond, 749) << i;
        EXPECT_EQ(st.n, 50) << i;
    }

    // Cleared: every record again, running statistics.
    graph::GraphList().SetSelection(false, 0, 0);
    hub.RecomputeStatistics();
    ASSERT_TRUE(done.wait(20000));
    EXPECT_FALSE(bench.bench->Data(2).GetStatState().rangeMode);
    EXPECT_EQ(bench.bench->Data(2).GetStatState().n, 20000);
}

}  // namespace
}  // namespace dravmer::ui
