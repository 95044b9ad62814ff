#include "ui/main_frame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTabWidget>

namespace dravmer::ui {
namespace {

TEST(MainFrame, TitleSevenPagesAndPlacementFromSettings) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    CMemorySettingsStore settings;
    settings.SetInt("WindowPos", "cx", 700);
    CMainFrame frame(settings);
    EXPECT_EQ(frame.windowTitle(), QString("Dravmer v.05.43"));
    ASSERT_EQ(frame.Pages()->count(), 7);
    EXPECT_EQ(frame.Pages()->tabText(6), QString("Список приборов"));
    EXPECT_EQ(frame.width(), 700);
    frame.close();
    EXPECT_EQ(settings.GetInt("WindowPos", "cx", 0), 700);
}

}  // namespace
}  // namespace dravmer::ui
