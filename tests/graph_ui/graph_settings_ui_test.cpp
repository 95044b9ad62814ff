// The curve list page, the colour button and the three graph pages of the settings sheet.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "graph_ui_env.h"
#include "ui/graphs/curve_list_page.h"
#include "ui/graphs/graph_hub.h"
#include "ui/graphs/graph_settings_pages.h"
#include "ui/graphs/stat_graph_ctrl.h"
#include "ui/graphs/stat_graph_page.h"
#include "ui/widgets/color_button.h"

namespace dravmer::ui {
namespace {

using namespace graph;

TEST(CurveListPage, DeviceCellsToggleCurvesAndShowTheirNumbers) {
    test::SGraphBench bench(3, 100);
    CCurveListPage page(*bench.ctx);
    CGraphHub& hub = CGraphHub::For(*bench.ctx);
    QSignalSpy spy(&hub, &CGraphHub::curvesChanged);
    auto* model = page.Model();
    ASSERT_EQ(model->rowCount(), 42);
    ASSERT_EQ(model->columnCount(), 3 + 4);
    EXPECT_EQ(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "10002");
    EXPECT_EQ(model->headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), "Размерность");
    EXPECT_EQ(model->data(model->index(2, 0), Qt::DisplayRole).toString(), "UG");  // param 3

    page.ClickCell(2, 2);  // UG of the second device
    ASSERT_EQ(GraphList().Count(), 1);
    EXPECT_EQ(GraphList().At(0).device, 1);
    EXPECT_EQ(model->data(model->index(2, 2), Qt::DisplayRole).toString(), "1");
    EXPECT_EQ(model->data(model->index(2, 2), Qt::BackgroundRole).value<QColor>(),
              ToQColor(GraphList().SlotColor(0)));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.last().at(0).toInt(), CGraphHub::Added);

    page.ClickCell(2, 0);  // the name: every device in turn (device 1 is removed)
    EXPECT_EQ(GraphList().Count(), 2);
    EXPECT_EQ(GraphList().Find(1, 3), -1);
    EXPECT_EQ(model->data(model->index(2, 1), Qt::DisplayRole).toString(), "2");  // slot 1
    EXPECT_EQ(model->data(model->index(2, 3), Qt::DisplayRole).toString(), "1");  // freed slot 0
    page.ClickCell(2, 2);
    EXPECT_EQ(GraphList().Find(1, 3), 2);
    EXPECT_EQ(GraphList().At(2).slot, 2);

    // Full: nothing happens.
    for (int row = 3; GraphList().Count() < kSlotCount; ++row)
        for (int col = 1; col <= 3 && GraphList().Count() < kSlotCount; ++col)
            page.ClickCell(row, col);
    const int told = spy.count();
    page.ClickCell(41, 1);
    EXPECT_EQ(GraphList().Count(), kSlotCount);
    EXPECT_EQ(spy.count(), told);

    // Stored with the settings, as the hub saves them.
    EXPECT_EQ(bench.settings.GetInt("GraphSettings", "NumOfGraph", 0), kSlotCount);
    page.RemoveAll();
    EXPECT_EQ(GraphList().Count(), 0);
    EXPECT_TRUE(model->data(model->index(2, 2), Qt::DisplayRole).isNull());
    // Alternate row groups: every fourth row in the window colour.
    EXPECT_NE(model->data(model->index(1, 1), Qt::BackgroundRole).value<QColor>(),
              model->data(model->index(4, 1), Qt::BackgroundRole).value<QColor>());
    EXPECT_EQ(model->data(model->index(0, 1), Qt::BackgroundRole).value<QColor>(),
              model->data(model->index(4, 1), Qt::BackgroundRole).value<QColor>());
}

TEST(CurveListPage, ShrinkingDeviceListDropsItsCurves) {
    test::SGraphBench bench(3, 10);
    CCurveListPage page(*bench.ctx);
    page.ClickCell(2, 1);
    page.ClickCell(2, 3);
    ASSERT_EQ(GraphList().Count(), 2);
    bench.settings.SetString("DeviceList", "EnableList", "1;1;0;");
    bench.bench->LoadSettings();
    // The third store stays (stores are never taken away), the active list now has two.
    page.Rebuild();
    EXPECT_EQ(page.Model()->DeviceCount(), static_cast<int>(CGraphHub::For(*bench.ctx).DeviceCount()));
}

TEST(ColorButton, PaletteAndDialogColoursBecomeTheMostRecent) {
    test::App();
    SColorTable table = SColorTable::Defaults();
    CColorButton button(table, "Цвет");
    button.SetColor(0x00FF00);
    QSignalSpy spy(&button, &CColorButton::colorChosen);
    button.OpenPalette();
    ASSERT_NE(button.Palette(), nullptr);
    auto* cell = button.Palette()->findChild<QToolButton*>("cell16");  // 0xFF0000, "Blue"
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->toolTip(), "Blue");
    cell->click();
    EXPECT_EQ(button.Color(), 0xFF0000u);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(table.ranks[16], 1);
    button.Choose(0x123456);  // as the colour dialog would hand it over
    EXPECT_EQ(table.colors[table.IndexOf(0x123456)], 0x123456u);
    EXPECT_EQ(table.ranks[static_cast<std::size_t>(table.IndexOf(0x123456))], 1);
    EXPECT_EQ(table.ranks[16], 2);
}

TEST(GraphSettingsPages, CellCountOutsideTwoToTwentyIsRefused) {
    test::SGraphBench bench(1, 10);
    CMainGraphSettingsPage page(*bench.ctx);
    CGraphHub& hub = CGraphHub::For(*bench.ctx);
    QSignalSpy spy(&hub, &CGraphHub::settingsChanged);
    for (const char* bad : {"1", "21", "", "x"}) {
        page.Cells()->setText(bad);
        EXPECT_FALSE(page.Apply()) << bad;
        EXPECT_FALSE(page.Error()->text().isEmpty());
    }
    EXPECT_EQ(hub.Settings().cellsHoriz, 8);
    page.Cells()->setText("20");
    EXPECT_TRUE(page.Apply());
    EXPECT_EQ(hub.Settings().cellsHoriz, 20);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy.last().at(0).toBool());  // the grid changed
    EXPECT_EQ(bench.settings.GetInt("GraphSettings", "m_nNumOfCellHoriz", 0), 20);
    EXPECT_TRUE(page.Apply());  // nothing changed: nothing told
    EXPECT_EQ(spy.count(), 1);
}

TEST(GraphSettingsPages, ColoursGoToTheListAndTheStatisticsGraph) {
    test::SGraphBench bench(1, 10);
    CGraphHub& hub = CGraphHub::For(*bench.ctx);
    QSignalSpy colors(&hub, &CGraphHub::colorsChanged);
    CGraphColorsPage page(*bench.ctx);
    page.Slot(49)->Choose(0x010203);
    page.Background()->Choose(0x445566);
    EXPECT_TRUE(page.Apply());
    EXPECT_EQ(GraphList().SlotColor(49), 0x010203u);
    EXPECT_EQ(hub.Settings().background, 0x445566u);
    EXPECT_EQ(bench.settings.GetInt("GraphSettings", "m_crGraphNColor49", 0), 0x010203);
    EXPECT_EQ(colors.count(), 1);

    CStatGraphSettingsPage stat(*bench.ctx);
    stat.Latest()->setChecked(true);
    stat.Button(1)->Choose(0x0000AA);
    EXPECT_TRUE(stat.Apply());
    EXPECT_TRUE(hub.Settings().statMomEnable);
    EXPECT_EQ(hub.Settings().statAvg0, 0x0000AAu);
    EXPECT_EQ(bench.settings.GetInt("GraphSettings", "bStatGraphMomEnable", 0), 1);
    EXPECT_EQ(colors.count(), 2);
    // The colour table with its ranks is kept too.
    EXPECT_EQ(bench.settings.GetBinary("ColorData", "ColorTable").size(), 80u);
}

TEST(StatGraphPage, ShowsTheCurrentDevicesProfileAndVerdict) {
    test::SGraphBench bench(2, 600);
    CStatGraphPage page(*bench.ctx);
    page.resize(1000, 600);
    page.SetCurrentDevice(1);
    SStatGraphData d = StatGraphDataOf(bench.bench->Data(1));
    EXPECT_TRUE(d.hasStats);
    EXPECT_EQ(d.lastSecond, 599);
    // UG[i] of the made-up day: the odd records sit 6 above the even ones.
    EXPECT_NEAR(d.averaged[0].values[0] - d.averaged[1].values[0], 6.0, 0.5);
    const auto& axes = page.Graph()->Painter().Axes();
    for (int q = 0; q < 2; ++q) {
        EXPECT_LE(axes[static_cast<std::size_t>(q)].min, d.averaged[static_cast<std::size_t>(q)].min);
        EXPECT_GE(axes[static_cast<std::size_t>(q)].max, d.averaged[static_cast<std::size_t>(q)].max);
    }
    page.show();
    page.Graph()->grab();
    test::Shot(page, "graphs-statgraph-test.png");
}

}  // namespace
}  // namespace dravmer::ui

#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/graphs/graph_comment_dialog.h"

namespace dravmer::ui {
namespace {

TEST(GraphCommentDialog, ButtonsKeepTheTextInTheSettingsAndBringItBack) {
    test::App();
    CMemorySettingsStore settings;
    CGraphCommentDialog dlg(settings, QString(), false);
    EXPECT_EQ(dlg.Text(), QString::fromUtf8(graph::kDefaultCaption));  // no comment yet
    auto* edit = dlg.findChild<QPlainTextEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setPlainText("Калибровка {Date}");
    QPushButton *save = nullptr, *load = nullptr;
    for (auto* b : dlg.findChildren<QPushButton*>()) {
        if (b->text() == "Сохранить") save = b;
        if (b->text() == "Загрузить") load = b;
    }
    ASSERT_TRUE(save && load);
    save->click();
    EXPECT_EQ(settings.GetString("GraphSettings", "strComments", ""), "Калибровка {Date}");
    edit->setPlainText("другое");
    load->click();
    EXPECT_EQ(dlg.Text(), QString("Калибровка {Date}"));
}

}  // namespace
}  // namespace dravmer::ui
