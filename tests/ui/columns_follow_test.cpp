// The column chooser and "Настройки эксперимента" show one set of columns, the engine's: a change
// in either appears at once on every page, and neither undoes the other.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <algorithm>

#include "ui/dialogs/column_chooser.h"
#include "ui/main_frame.h"
#include "ui/pages/all_devices_page.h"
#include "ui/pages/experiment_settings_page.h"
#include "ui/pages/readings_model.h"
#include "ui/pages/readings_page.h"
#include "ui_test_env.h"

namespace dravmer::ui {
namespace {

constexpr int kUG = 3, kIG = 7, kTableColumn = 1, kFileColumn = 2, kTableDecimals = 3;

struct Window {
    CMemorySettingsStore settings;
    std::unique_ptr<CBench> bench;
    std::unique_ptr<CMainFrame> frame;
    Window() {
        test::App();
        settings.SetString("DeviceList", "List", "101;");
        settings.SetString("DeviceList", "PortList", "0;");
        settings.SetString("DeviceList", "EnableList", "1;");
        bench = std::make_unique<CBench>(settings);
        bench->LoadSettings();
        frame = std::make_unique<CMainFrame>(*bench, settings);
    }
    CReadingsPage& Readings() { return *qobject_cast<CReadingsPage*>(frame->Pages()->widget(0)); }
    CAllDevicesPage& All() { return *qobject_cast<CAllDevicesPage*>(frame->Pages()->widget(1)); }
    CExperimentSettingsPage& Grid() {
        return *qobject_cast<CExperimentSettingsPage*>(frame->Pages()->widget(5));
    }
    Qt::CheckState Tick(int param, int column) {
        return Grid().Grid()->item(param, column)->checkState();
    }
    bool ReadingsShow(int param) {
        const auto& c = Readings().Model()->Columns();
        return std::find(c.begin(), c.end(), param) != c.end();
    }
    bool AllDevicesShow(const QString& name) {
        QTableWidget* t = All().Table();
        for (int c = 0; c < t->columnCount(); ++c)
            if (t->horizontalHeaderItem(c)->text().trimmed() == name) return true;
        return false;
    }
    void Choose(int param, bool on) {
        CColumnChooser chooser(frame->Context(), frame.get());
        chooser.Box(param)->setChecked(on);
        chooser.accept();
    }
};

TEST(ColumnsFollow, TheChooserShowsAtOnceInTheGridAndTheButtonNoLongerUndoesIt) {
    Window w;
    const CExperimentSettings& s = w.bench->Settings();
    ASSERT_TRUE(s.ToTable(kUG));
    ASSERT_EQ(w.Tick(kUG, kTableColumn), Qt::Checked);
    // Edits in the grid that are not applied yet: a file column and a table decimals cell.
    w.Grid().Grid()->item(kIG, kFileColumn)->setCheckState(Qt::Unchecked);
    w.Grid().Grid()->item(kIG, kTableDecimals)->setText("5");

    w.Choose(kUG, false);
    EXPECT_FALSE(s.ToTable(kUG));
    EXPECT_EQ(w.Tick(kUG, kTableColumn), Qt::Unchecked);
    EXPECT_FALSE(w.ReadingsShow(kUG));
    EXPECT_FALSE(w.AllDevicesShow("UG"));
    // What the chooser did not touch keeps the operator's pending edits.
    EXPECT_EQ(w.Tick(kIG, kFileColumn), Qt::Unchecked);
    EXPECT_EQ(w.Grid().Grid()->item(kIG, kTableDecimals)->text(), QString("5"));
    EXPECT_TRUE(s.ToFile(kIG));

    // "Обновить колонки таблицы" takes the grid as it now is: UG stays out.
    w.Grid().TableButton()->click();
    EXPECT_FALSE(s.ToTable(kUG));
    EXPECT_EQ(s.TableDecimals(kIG), 5);
    EXPECT_TRUE(s.ToFile(kIG));  // the file columns wait for their own button
    EXPECT_EQ(w.settings.GetString("ExperimentSettings", "ToTable", "").substr(kUG, 1), "0");
    EXPECT_FALSE(w.ReadingsShow(kUG));
}

TEST(ColumnsFollow, TheGridShowsAtOnceInTheChooserAndOnThePages) {
    Window w;
    const CExperimentSettings& s = w.bench->Settings();
    w.Choose(kIG, false);
    ASSERT_FALSE(w.ReadingsShow(kIG));
    w.Grid().Grid()->item(kIG, kTableColumn)->setCheckState(Qt::Checked);
    w.Grid().Grid()->item(kUG, kTableColumn)->setCheckState(Qt::Unchecked);
    w.Grid().TableButton()->click();
    EXPECT_TRUE(s.ToTable(kIG));
    EXPECT_FALSE(s.ToTable(kUG));
    EXPECT_TRUE(w.ReadingsShow(kIG));
    EXPECT_FALSE(w.ReadingsShow(kUG));
    EXPECT_TRUE(w.AllDevicesShow("IG"));
    EXPECT_FALSE(w.AllDevicesShow("UG"));
    CColumnChooser chooser(w.frame->Context(), w.frame.get());
    EXPECT_TRUE(chooser.Box(kIG)->isChecked());
    EXPECT_FALSE(chooser.Box(kUG)->isChecked());

    // A decimals value the settings refuse goes back to the one they keep.
    w.Grid().Grid()->item(kIG, kTableDecimals)->setText("11");
    w.Grid().TableButton()->click();
    EXPECT_EQ(w.Grid().Grid()->item(kIG, kTableDecimals)->text(),
              QString::number(s.TableDecimals(kIG)));
}

}  // namespace
}  // namespace dravmer::ui
