// The readings page during an experiment: new rows, the view following the newest record, a new
// experiment starting over; the column chooser.
#include <QCheckBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTableWidget>

#include "ui/dialogs/column_chooser.h"
#include "ui/pages/readings_model.h"
#include "ui/pages/readings_page.h"
#include "ui_fixture.h"

namespace dravmer::ui {
namespace {

using ReadingsFollow = UiTest;

TEST_F(ReadingsFollow, AutoScrollFollowsTheNewestRowOnlyWhenOn) {
    Devices({101});
    for (std::uint32_t t = 0; t < 500; ++t) Add(0, t, {{3, 1.0}});
    CReadingsPage page(Context());
    page.resize(800, 600);
    page.show();
    QScrollBar* bar = page.Readings()->verticalScrollBar();
    page.SetAutoScroll(false);
    bar->setValue(0);
    for (std::uint32_t t = 500; t < 600; ++t) Add(0, t, {{3, 1.0}});
    page.Refresh();
    EXPECT_EQ(page.Model()->rowCount(), 600);
    EXPECT_EQ(bar->value(), 0);  // the operator's place is kept
    EXPECT_FALSE(Bench().Settings().autoScroll);
    page.SetAutoScroll(true);
    for (std::uint32_t t = 600; t < 700; ++t) Add(0, t, {{3, 1.0}});
    page.Refresh();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_GT(bar->maximum(), 0);
}

TEST_F(ReadingsFollow, ANewExperimentStartsTheRowsOverAndNewColumnsAreTaken) {
    Devices({101});
    for (std::uint32_t t = 0; t < 50; ++t) Add(0, t, {{3, 1.0}});
    CReadingsPage page(Context());
    ASSERT_EQ(page.Model()->rowCount(), 50);
    const int rebuilds = page.ColumnRebuilds();
    Bench().Data(0).ResetData();
    Add(0, 0, {{3, 2.0}});
    emit m_events->experimentStarted(1);
    EXPECT_EQ(page.Model()->rowCount(), 1);
    EXPECT_EQ(page.ColumnRebuilds(), rebuilds + 1);  // rebuilt at every start
    EXPECT_EQ(page.Model()->data(page.Model()->index(0, 3), Qt::DisplayRole).toString(),
              QString(" 2.000"));
}

using ColumnChooser = UiTest;

TEST_F(ColumnChooser, OkWritesTheTableColumnsAndTheReadsTheyNeedCancelChangesNothing) {
    CExperimentSettings& s = Bench().Settings();
    for (int i = 23; i <= 32; ++i) s.SetToFile(i, false);
    s.RecomputeOptionalReads();
    {
        CColumnChooser dialog(Context());
        EXPECT_EQ(dialog.Box(0), nullptr);  // время is always there
        ASSERT_NE(dialog.Box(42), nullptr);
        EXPECT_EQ(dialog.Box(7)->text(), QString("IG"));
        for (int i = 23; i <= 32; ++i) dialog.Box(i)->setChecked(false);
        dialog.Box(7)->setChecked(false);
        dialog.reject();
    }
    EXPECT_TRUE(s.ToTable(7));
    EXPECT_TRUE(s.ReadTenMeasurements());
    CColumnChooser dialog(Context());
    for (int i = 23; i <= 32; ++i) dialog.Box(i)->setChecked(false);
    dialog.Box(7)->setChecked(false);
    dialog.accept();
    EXPECT_FALSE(s.ToTable(7));
    EXPECT_FALSE(s.ReadTenMeasurements());
    const std::string stored = m_store.GetString("ExperimentSettings", "ToTable", "");
    ASSERT_EQ(stored.size(), 43u);
    EXPECT_EQ(stored.substr(0, 8), "11111110");
    EXPECT_EQ(stored.substr(23, 10), "0000000000");
    // The page shows the new columns at its next look.
    CReadingsPage page(Context());
    EXPECT_EQ(page.Model()->columnCount(), kParamCount - 11);
}

}  // namespace
}  // namespace dravmer::ui
