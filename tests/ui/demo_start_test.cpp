// The demo's first minute on simulated devices: a large window, the device list filling row by
// row as the search identifies each device, then the experiment running on its own.
#include "ui/demo_start.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>

#include "ui/pages/device_list_model.h"
#include "ui/pages/device_list_page.h"
#include "ui/window_placement.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

using test::CWindowRig;
using test::WaitFor;

TEST(DemoStart, OpensLargeFindsTheDevicesRowByRowAndStarts) {
    CWindowRig rig({{0, 1, 7001}, {900002, 4, 8001}});
    ASSERT_TRUE(rig.ok);
    CMainFrame& frame = *rig.frame;
    auto* demo = new CDemoStart(frame);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(frame.size(), FirstStartGeometry(available, kDemoShare, frame.minimumSize()).size());
    EXPECT_GT(frame.width(), available.width() * 3 / 4);

    CDeviceListPage* page = frame.Pages()->findChild<CDeviceListPage*>();
    ASSERT_NE(page, nullptr);
    // Rows inserted one at a time while the search runs, before it reports its end.
    int inserted = 0, insertedBeforeEnd = -1, found = -1;
    QObject::connect(
        page->Model(), &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
    QObject::connect(&frame.Events(), &CBenchEvents::searchFinished, [&](int n) {
        insertedBeforeEnd = inserted;
        found = n;
    });
    int ended = -1;
    QObject::connect(demo, &CDemoStart::finished, [&](bool running) { ended = running ? 1 : 0; });
    frame.show();
    demo->Begin(0);
    ASSERT_TRUE(WaitFor([&] { return ended >= 0; }, 120000));
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(found, 5);
    EXPECT_EQ(insertedBeforeEnd, 5);
    EXPECT_TRUE(rig.bench->IsRunning());
    EXPECT_EQ(frame.Pages()->currentIndex(), 0);
    EXPECT_EQ(page->Model()->rowCount(), 5);

    // The operator stops it as usual; a later start is the operator's own.
    bool stopped = false;
    QObject::connect(&frame, &CMainFrame::stopFinished, [&](double) { stopped = true; });
    frame.ToggleExperiment();
    ASSERT_TRUE(WaitFor([&] { return stopped; }, 30000));
    EXPECT_FALSE(rig.bench->IsRunning());
    frame.Pages()->setCurrentIndex(6);
    int started = -1;
    QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { started = r; });
    frame.ToggleExperiment();
    ASSERT_TRUE(WaitFor([&] { return started >= 0; }, 60000));
    EXPECT_EQ(frame.Pages()->currentIndex(), 6);
    stopped = false;
    frame.ToggleExperiment();
    ASSERT_TRUE(WaitFor([&] { return stopped; }, 30000));
}

}  // namespace
}  // namespace dravmer::ui
