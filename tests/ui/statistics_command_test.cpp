// "Расчет статистики": the engine recomputes every device over the graph's range (or over all
// records), the pages are told, and its progress dialog can cancel it.
#include <gtest/gtest.h>

#include <QAction>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>

#include "ui/background_job.h"
#include "ui/command_table.h"
#include "ui/main_frame.h"
#include "ui/view_state.h"
#include "ui_fixture.h"

namespace dravmer::ui {
namespace {

using StatisticsCommand = UiTest;

TEST_F(StatisticsCommand, RecomputesEveryDeviceOverTheRangeOrOverAllAndTellsThePages) {
    Devices({101, 102});
    for (std::uint32_t t = 0; t < 100; ++t) {
        Add(0, t, {{3, t * 1.0}});
        Add(1, t, {{3, t * 2.0}});
    }
    CMainFrame frame(Bench(), m_store);
    bool ranged = true;
    frame.View().SetStatisticsRangeProvider([&](std::uint32_t& from, std::uint32_t& to) {
        from = 10;
        to = 19;
        return ranged;
    });
    QSignalSpy told(&frame.View(), &CViewState::statisticsChanged);
    QSignalSpy busy(&frame, &CMainFrame::busyFinished);
    frame.Commands().Get(cmd::CalcStatistics)->trigger();
    EXPECT_EQ(frame.BusyWith(), CMainFrame::Busy::Statistics);
    ASSERT_TRUE(busy.wait(20000));
    for (std::size_t i = 0; i < 2; ++i) {
        const SStatState st = Bench().Data(i).GetStatState();
        EXPECT_TRUE(st.rangeMode) << i;
        EXPECT_EQ(st.firstSecond, 10) << i;
        EXPECT_EQ(st.lastSecond, 19) << i;
        EXPECT_EQ(st.n, 10) << i;
    }
    EXPECT_DOUBLE_EQ(Bench().Data(1).GetStatValue(StatKind::Average, 3), 29.0);
    EXPECT_GE(told.count(), 1);

    ranged = false;
    frame.Commands().Get(cmd::CalcStatistics)->trigger();
    ASSERT_TRUE(busy.wait(20000));
    EXPECT_FALSE(Bench().Data(0).GetStatState().rangeMode);
    EXPECT_EQ(Bench().Data(0).GetStatState().n, 100);
    EXPECT_EQ(frame.BusyWith(), CMainFrame::Busy::None);
}

TEST_F(StatisticsCommand, ItsProgressDialogHasACancelThatStopsTheRecompute) {
    Devices({101});
    for (std::uint32_t t = 0; t < 10; ++t) Add(0, t, {{3, 1.0}});
    CMainFrame frame(Bench(), m_store);
    auto* job = frame.findChild<CBackgroundJob*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(job, nullptr);
    QSignalSpy ended(job, &CBackgroundJob::finished);
    frame.Commands().Get(cmd::CalcStatistics)->trigger();
    auto* progress = frame.findChild<QProgressDialog*>();
    ASSERT_NE(progress, nullptr);
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr) << "the dialog offers a cancel";
    EXPECT_EQ(cancel->text(), QString("Отмена"));
    cancel->click();
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_TRUE(ended.at(0).at(0).toBool()) << "the recompute was asked to stop";
    EXPECT_EQ(frame.BusyWith(), CMainFrame::Busy::None);
    EXPECT_TRUE(frame.Commands().Get(cmd::CalcStatistics)->isEnabled());
}

}  // namespace
}  // namespace dravmer::ui
