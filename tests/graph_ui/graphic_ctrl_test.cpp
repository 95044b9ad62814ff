#include "ui/graphs/graphic_ctrl.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "graph_ui_env.h"
#include "ui/graphs/graph_hub.h"
#include "ui/command_table.h"
#include "ui/graphs/graph_page.h"

namespace dravmer::ui {
namespace {

using namespace graph;

struct Graph {
    test::SGraphBench bench;
    CGraphicCtrl ctrl;
    Graph() {
        std::vector<SCurveSpec> curves;
        for (int k = 0; k < 3; ++k)
            curves.push_back({&bench.bench->Data(static_cast<std::size_t>(k)), 10001u + k,
                              3 + 3 * k, k, DefaultSlotColors()[static_cast<std::size_t>(k)]});
        ctrl.SetCurves(curves);
        ctrl.resize(900, 500);
        ctrl.show();
        ctrl.RescaleAll();
        ctrl.grab();  // one paint: the layout the pointer maps through
    }
    QPoint AtSecond(std::int64_t s) const {
        const auto& l = ctrl.Layout();
        return QPoint(static_cast<int>(XOfSecond(l, ctrl.State().window, s)) + 1,
                      (l.plot.top + l.plot.bottom) / 2);
    }
};

TEST(GraphicCtrl, RightDragSelectsARangeAndARightClickClearsIt) {
    Graph g;
    QSignalSpy spy(&g.ctrl, &CGraphicCtrl::selectionChanged);
    QTest::mousePress(&g.ctrl, Qt::RightButton, {}, g.AtSecond(400));
    QTest::mouseMove(&g.ctrl, g.AtSecond(1200));
    QMouseEvent move(QEvent::MouseMove, g.AtSecond(1200), g.ctrl.mapToGlobal(g.AtSecond(1200)),
                     Qt::NoButton, Qt::RightButton, {});
    QApplication::sendEvent(&g.ctrl, &move);
    QTest::mouseRelease(&g.ctrl, Qt::RightButton, {}, g.AtSecond(1200));
    ASSERT_EQ(spy.count(), 1);
    int first = 0, last = 0;
    ASSERT_TRUE(GraphList().Selection(&first, &last));
    EXPECT_NEAR(first, 400, 3);
    EXPECT_NEAR(last, 1200, 3);
    EXPECT_TRUE(spy.last().at(0).toBool());

    // A right click without moving ends the selection; the statistics go back to all records.
    QTest::mouseClick(&g.ctrl, Qt::RightButton, {}, g.AtSecond(700));
    ASSERT_EQ(spy.count(), 2);
    EXPECT_FALSE(spy.last().at(0).toBool());
    EXPECT_FALSE(GraphList().Selection(&first, &last));
    EXPECT_EQ(last, 0);
    EXPECT_FALSE(g.ctrl.State().selection.active);
}

TEST(GraphicCtrl, ClickInTheAxisBandSelectsTheCurveAndAgainNone) {
    Graph g;
    QSignalSpy spy(&g.ctrl, &CGraphicCtrl::curveSelected);
    const auto& l = g.ctrl.Layout();
    const QPoint band2(l.plot.left - 20 * 2 - 20 - 10, 200);  // left of the axis of curve 2
    QTest::mouseClick(&g.ctrl, Qt::LeftButton, {}, band2);
    EXPECT_EQ(g.ctrl.State().selectedCurve, 2);
    QTest::mouseClick(&g.ctrl, Qt::LeftButton, {}, band2);
    EXPECT_EQ(g.ctrl.State().selectedCurve, -1);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), -1);
}

TEST(GraphicCtrl, ValueCommandsWorkOnTheSelectedCurveOrAll) {
    Graph g;
    const SAxis before0 = g.ctrl.State().axes[0], before1 = g.ctrl.State().axes[1];
    g.ctrl.SelectCurve(1);
    g.ctrl.ZoomValueOut();
    EXPECT_DOUBLE_EQ(g.ctrl.State().axes[0].step, before0.step);
    EXPECT_GT(g.ctrl.State().axes[1].step, before1.step);
    g.ctrl.SelectCurve(-1);
    g.ctrl.ShiftUp();
    EXPECT_DOUBLE_EQ(g.ctrl.State().axes[0].min, before0.min - before0.step);
    // Fit: each axis around its data, eleven times the data's range.
    g.ctrl.Fit();
    for (int k = 0; k < 3; ++k) {
        const SAxis& a = g.ctrl.State().axes[static_cast<std::size_t>(k)];
        const double mid = 10.0 * (3 + 3 * k);
        EXPECT_LT(a.min, mid) << k;
        EXPECT_GT(a.max, mid) << k;
        EXPECT_NEAR(a.max - a.min, 8 * a.step, 1e-9);
    }
    // Common scale: every axis the same.
    g.ctrl.CommonScale();
    EXPECT_DOUBLE_EQ(g.ctrl.State().axes[0].min, g.ctrl.State().axes[2].min);
    EXPECT_DOUBLE_EQ(g.ctrl.State().axes[0].step, g.ctrl.State().axes[2].step);
    // Fit all with common scale: one step, each axis centred on its own data.
    g.ctrl.FitAllCommon();
    const double step = g.ctrl.State().axes[0].step;
    for (int k = 0; k < 3; ++k) {
        const SAxis& a = g.ctrl.State().axes[static_cast<std::size_t>(k)];
        EXPECT_DOUBLE_EQ(a.step, step);
        EXPECT_NEAR((a.min + a.max) / 2, 10.0 * (3 + 3 * k), step) << k;
    }
}

TEST(GraphicCtrl, TimeCommandsWheelAndSelectionMoves) {
    Graph g;
    g.ctrl.ScrollBack();  // at 0: nothing
    EXPECT_EQ(g.ctrl.State().window.first, 0);
    QWheelEvent wheel(QPointF(g.AtSecond(1000)), QPointF(g.ctrl.mapToGlobal(g.AtSecond(1000))),
                      {}, QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&g.ctrl, &wheel);
    EXPECT_EQ(g.ctrl.State().window.first, 200);
    g.ctrl.ZoomTimeIn();
    EXPECT_EQ(g.ctrl.State().window.step, 100);
    EXPECT_EQ(g.ctrl.State().window.last - g.ctrl.State().window.first, 1000);
    g.ctrl.ToEnd();
    EXPECT_GE(g.ctrl.State().window.last, 2999);
    g.ctrl.ToStart();
    EXPECT_EQ(g.ctrl.State().window.first, 0);

    QSignalSpy spy(&g.ctrl, &CGraphicCtrl::selectionChanged);
    g.ctrl.MoveSelectionForward();  // no selection: nothing
    EXPECT_EQ(spy.count(), 0);
    g.ctrl.State().selection = {true, 100, 300};
    g.ctrl.MoveSelectionForward();
    int first = 0, last = 0;
    EXPECT_TRUE(GraphList().Selection(&first, &last));
    EXPECT_EQ(first, 300);
    EXPECT_EQ(last, 500);
    EXPECT_EQ(spy.count(), 1);
}

TEST(GraphPage, AxisSetsRoundTripAndAnUnsavedSlotChangesNothing) {
    test::SGraphBench bench;
    CGraphPage page(*bench.ctx);
    GraphList().Toggle(0, 3);
    GraphList().Toggle(1, 6);
    page.RefreshCurves();
    page.resize(900, 500);
    auto& axes = page.Graph()->State().axes;
    axes[0] = {-10, 10, 2.5, 1};
    axes[1] = {100, 180, 10, 0};
    page.SaveAxes(1);
    const auto saved0 = axes[0], saved1 = axes[1];
    axes[0] = {0, 1, 0.125, 3};
    page.LoadAxes(3);  // never saved
    EXPECT_DOUBLE_EQ(axes[0].max, 1);
    page.LoadAxes(1);
    EXPECT_DOUBLE_EQ(axes[0].min, saved0.min);
    EXPECT_DOUBLE_EQ(axes[0].max, saved0.max);
    EXPECT_DOUBLE_EQ(axes[1].min, saved1.min);
    EXPECT_EQ(bench.settings.GetBinary("GraphSettings", "m_fMinMax1").size(), 400u);
    // The page's commands are there by their ids.
    ASSERT_NE(page.Action(cmd::FitGraph), nullptr);
    EXPECT_FALSE(page.Action(cmd::MoveSelectionForward)->isEnabled());  // no selection yet
}

TEST(GraphPage, ItsKeysRunTheCommandsWhileTheFocusIsOnThePage) {
    test::SGraphBench bench;
    CGraphPage page(*bench.ctx);
    page.resize(900, 500);
    page.show();
    page.activateWindow();
    page.Graph()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    page.Graph()->SetTimeWindow(1000, 3000);
    QTest::keyClick(page.Graph(), Qt::Key_Home);
    EXPECT_EQ(page.Graph()->State().window.first, 0);
    // A key on a widget outside the page is not the graph's.
    QLineEdit other;
    other.show();
    other.activateWindow();
    other.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    page.Graph()->SetTimeWindow(1000, 3000);
    QTest::keyClick(&other, Qt::Key_Home);
    EXPECT_EQ(page.Graph()->State().window.first, 1000);
    // The standalone page keeps its command table to itself: no boxes on the page.
    EXPECT_FALSE(page.findChild<QComboBox*>() && page.findChild<QComboBox*>()->isVisible());
}

TEST(GraphPage, ShowsTheListsCurvesAndFollowsAdditionsAndRemovals) {
    test::SGraphBench bench(3, 4000);
    CGraphHub& hub = CGraphHub::For(*bench.ctx);  // loads the (empty) stored list
    GraphList().Toggle(0, 3);
    GraphList().Toggle(2, 35);
    CGraphPage page(*bench.ctx);
    page.resize(1100, 650);
    page.show();
    EXPECT_EQ(page.Graph()->CurveCount(), 2);
    GraphList().Toggle(1, 6);
    emit hub.curvesChanged(CGraphHub::Added, 2);
    ASSERT_EQ(page.Graph()->CurveCount(), 3);
    // The new curve's axis holds its data.
    const SAxis& a = page.Graph()->State().axes[2];
    EXPECT_LT(a.min, 60);
    EXPECT_GT(a.max, 60);
    const SAxis kept = page.Graph()->State().axes[2];
    GraphList().Toggle(2, 35);  // position 1 goes
    emit hub.curvesChanged(CGraphHub::Removed, GraphList().LastRemovedPosition());
    ASSERT_EQ(page.Graph()->CurveCount(), 2);
    EXPECT_DOUBLE_EQ(page.Graph()->State().axes[1].min, kept.min);
    page.Graph()->Fit();
    page.Graph()->ToEnd();
    page.Graph()->repaint();
    test::Shot(page, "graphs-timeseries-test.png");
}

}  // namespace
}  // namespace dravmer::ui

namespace dravmer::ui {
namespace {

TEST(GraphPage, SelectingARangeRecomputesEveryStoreOverIt) {
    test::SGraphBench bench(3, 2000);
    CGraphPage page(*bench.ctx);
    CGraphHub& hub = CGraphHub::For(*bench.ctx);
    QSignalSpy done(&hub, &CGraphHub::statisticsRecomputed);
    page.Graph()->State().selection = {true, 500, 800};
    page.Graph()->MoveSelectionForward();  // 800..1100, as the command would
    ASSERT_TRUE(done.wait(10000));
    for (std::size_t i = 0; i < bench.bench->StoreCount(); ++i) {
        const SStatState st = bench.bench->Data(i).GetStatState();
        EXPECT_TRUE(st.rangeMode) << i;
        EXPECT_EQ(st.firstSecond, 800) << i;
        EXPECT_EQ(st.lastSecond, 1100) << i;
        EXPECT_EQ(st.n, 301) << i;
    }
    page.Graph()->ClearSelection();
    ASSERT_TRUE(done.wait(10000));
    EXPECT_FALSE(bench.bench->Data(0).GetStatState().rangeMode);
    EXPECT_EQ(bench.bench->Data(0).GetStatState().n, 2000);
}

}  // namespace
}  // namespace dravmer::ui

#include <QComboBox>
#include <QMenu>
#include <QMenuBar>

#include "ui/command_table.h"
#include "ui/main_frame.h"
#include "ui/view_state.h"

namespace dravmer::ui {
namespace {

TEST(GraphPageInFrame, FrameCommandsDriveTheGraphAndExportJoinsTheGraphMenu) {
    test::SGraphBench bench(2, 500);
    CMainFrame frame(*bench.bench, bench.settings);
    auto* page = frame.findChild<CGraphPage*>();
    ASSERT_NE(page, nullptr);
    CCommandTable& commands = frame.Commands();
    const auto step = page->Graph()->State().window.step;
    commands.Get(cmd::ZoomInX)->trigger();
    EXPECT_LT(page->Graph()->State().window.step, step);
    commands.Get(cmd::FreezeGraph)->trigger();
    EXPECT_TRUE(page->UpdatesStopped());
    EXPECT_TRUE(commands.Get(cmd::FreezeGraph)->isChecked());
    commands.Get(cmd::FreezeGraph)->trigger();
    EXPECT_FALSE(page->UpdatesStopped());
    // The curve box: "all" and one entry per curve.
    GraphList().Toggle(0, 3);
    GraphList().Toggle(1, 6);
    page->RefreshCurves();
    ASSERT_EQ(commands.CurveBox()->count(), 3);
    EXPECT_EQ(commands.CurveBox()->itemText(2), "2");
    emit commands.curveBoxChanged(1);
    EXPECT_EQ(page->Graph()->State().selectedCurve, 1);
    // The range of the statistics command follows the graph's selection.
    std::uint32_t from = 0, to = 0;
    EXPECT_FALSE(frame.View().StatisticsRange(from, to));
    GraphList().SetSelection(true, 100, 200);
    ASSERT_TRUE(frame.View().StatisticsRange(from, to));
    EXPECT_EQ(from, 100u);
    EXPECT_EQ(to, 200u);
    bool found = false;
    for (QAction* m : frame.menuBar()->actions())
        if (m->menu())
            for (QAction* a : m->menu()->actions())
                found = found || a->text() == QString("Сохранить график в файл…");
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace dravmer::ui
