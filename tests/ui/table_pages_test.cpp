// The readings page, the all-devices page, the experiment settings grid and the colour page.
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "ui/pages/all_devices_page.h"
#include "ui/pages/experiment_settings_page.h"
#include "ui/pages/readings_model.h"
#include "ui/pages/readings_page.h"
#include "ui/pages/table_settings_page.h"
#include "ui/tables/stats_clipboard.h"
#include "ui/widgets/simple_color_button.h"
#include "ui/widgets/color_ref.h"
#include "ui_fixture.h"

namespace dravmer::ui {
namespace {

constexpr int kIG = 7, kIP = 17, kUG = 3;

using ReadingsPage = UiTest;

int ColumnOf(const CReadingsModel& model, int param) {
    const auto& c = model.Columns();
    auto it = std::find(c.begin(), c.end(), param);
    return it == c.end() ? -1 : static_cast<int>(it - c.begin());
}

TEST_F(ReadingsPage, ColumnsAreRebuiltOnlyWhenTheSelectionChanged) {
    Devices({101});
    CReadingsPage page(Context());
    const int first = page.ColumnRebuilds();
    EXPECT_EQ(page.Model()->columnCount(), kParamCount);
    page.Refresh();
    page.Refresh();
    EXPECT_EQ(page.ColumnRebuilds(), first);
    Bench().Settings().SetToTable(kIG, false);
    page.Refresh();
    EXPECT_EQ(page.ColumnRebuilds(), first + 1);
    EXPECT_EQ(page.Model()->columnCount(), kParamCount - 1);
    EXPECT_EQ(ColumnOf(*page.Model(), kIG), -1);
    // The statistics list names its rows in the first column and drops время.
    EXPECT_EQ(page.Statistics()->columnCount(), kParamCount - 1);
    EXPECT_EQ(page.Statistics()->horizontalHeaderItem(0)->text(), QString("Пар"));
    page.Refresh();
    EXPECT_EQ(page.ColumnRebuilds(), first + 1);
    // Each column is as wide as its header text and 12 pixels.
    const QFontMetrics fm(page.Readings()->horizontalHeader()->font());
    EXPECT_EQ(page.Readings()->horizontalHeader()->sectionSize(ColumnOf(*page.Model(), kIP)),
              fm.horizontalAdvance("IP") + 12);
}

TEST_F(ReadingsPage, OutOfToleranceCellsAtTheEdgesOfTheirRanges) {
    Devices({101});
    Add(0, 1, {{kIG, 59.9}, {kIP, 5}});
    Add(0, 2, {{kIG, 60}, {kIP, 1}});
    Add(0, 3, {{kIG, 0}, {kIP, 12}});
    Add(0, 4, {{kIG, 120}, {kIP, 0}, {kUG, CExperimentSettings::kUpperSaturation}});
    Add(0, 5, {{kIG, 120.001}, {kIP, 2}, {kUG, CExperimentSettings::kLowerSaturation}});
    CReadingsPage page(Context());
    CReadingsModel& m = *page.Model();
    ASSERT_EQ(m.rowCount(), 5);
    auto lit = [&](int row, int param) {
        return m.data(m.index(row, ColumnOf(m, param)), Qt::BackgroundRole).isValid();
    };
    EXPECT_TRUE(lit(0, kIG));
    EXPECT_FALSE(lit(1, kIG));
    EXPECT_FALSE(lit(2, kIG));  // exactly 0 is never highlighted
    EXPECT_FALSE(lit(3, kIG));
    EXPECT_TRUE(lit(4, kIG));
    EXPECT_TRUE(lit(0, kIP));
    EXPECT_FALSE(lit(1, kIP));
    EXPECT_FALSE(lit(2, kIP));
    EXPECT_FALSE(lit(3, kIP));
    EXPECT_FALSE(lit(4, kIP));
    EXPECT_FALSE(lit(0, kUG));
    EXPECT_TRUE(lit(3, kUG));
    EXPECT_TRUE(lit(4, kUG));
    EXPECT_EQ(m.data(m.index(0, ColumnOf(m, kIG)), Qt::BackgroundRole).value<QColor>(),
              QColor(241, 141, 141));
    EXPECT_EQ(m.data(m.index(1, ColumnOf(m, kIG)), Qt::DisplayRole).toString(), " 60.000000");
}

TEST_F(ReadingsPage, NewRecordsAddRowsAndTheStatisticsShowTheReceivedShare) {
    Devices({101, 102});
    for (std::uint32_t t = 0; t < 4; ++t) Add(1, t * 2, {{kUG, 1.0 + t}});  // every other second
    CReadingsPage page(Context());
    page.SetCurrentDevice(1);
    EXPECT_EQ(page.Model()->rowCount(), 4);
    auto statCell = [&](int row, int param) {
        const auto params = SelectedParams(TableSelection(Bench().Settings()), 1);
        int c = static_cast<int>(std::find(params.begin(), params.end(), param) - params.begin());
        return page.Statistics()->item(row, c + 1)->text();
    };
    EXPECT_EQ(statCell(0, 1), QString("57%"));  // 4 records over 7 seconds
    EXPECT_EQ(statCell(2, kUG), QString(" 2.500"));   // Average
    EXPECT_EQ(page.Statistics()->item(3, 0)->text(), QString("Min"));
    EXPECT_EQ(statCell(3, kUG), QString(" 1.000"));
    Add(1, 8, {{kUG, 10}});
    page.Refresh();
    EXPECT_EQ(page.Model()->rowCount(), 5);
    EXPECT_EQ(statCell(4, kUG), QString(" 10.000"));  // Max
    // A column widens to the newest record's text rather than cutting it short.
    const int ug = ColumnOf(*page.Model(), kUG);
    EXPECT_GE(page.Readings()->horizontalHeader()->sectionSize(ug),
              QFontMetrics(page.Readings()->font()).horizontalAdvance(" 10.000") + 12);
    Bench().Data(1).ResetData();
    page.Refresh();
    EXPECT_EQ(page.Model()->rowCount(), 0);
    page.SetCurrentDevice(7);  // no such store: an empty table, no crash
    EXPECT_EQ(page.Model()->rowCount(), 0);
}

TEST_F(ReadingsPage, CopiesTheCurrentDevicesStatisticsTextByteForByte) {
    Devices({101});
    for (int i = 0; i < kParamCount; ++i) Bench().Settings().SetToFile(i, i == kUG || i == kIG);
    Add(0, 0, {{kUG, 1}, {kIG, 70}});
    Add(0, 1, {{kUG, 3}, {kIG, 80}});
    CReadingsPage page(Context());
    page.CopyStatistics();
    const QString expected =
        "(0 - 1)\tUG\tIG\t\r\n"
        "averageE (0-1)\t 1.000\t 70.000000\t\r\n"
        "averageO (0-1)\t 3.000\t 80.000000\t\r\n"
        "average\t 2.000\t 75.000000\t\r\n"
        "min\t 1.000\t 70.000000\t\r\n"
        "max\t 3.000\t 80.000000\t\r\n"
        "delta  \t 2.000\t 10.000000\t\r\n"
        "sigma  \t 1.414\t 7.071068\t\r\n"
        "noise  \t 1.414\t 7.071068\t\r\n"
        "noise E\t 0.000\t 0.000000\t\r\n"
        "noise O\t 0.000\t 0.000000\t\r\n"
        "\r\n";
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toUtf8(), expected.toUtf8());
    // The graph page repeats the last copy.
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(CStatsClipboard::RepeatLast());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
}

using AllDevicesPage = UiTest;

TEST_F(AllDevicesPage, RowsPerDeviceWithGroupedAddressesAndCurrentHighlighting) {
    Devices({12345, 101});
    Add(0, 0, {{kIG, 50}});
    Add(0, 1, {{kIG, 59.9}});
    CAllDevicesPage page(Context());
    QTableWidget* t = page.Table();
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(t->item(0, 0)->text(), QString("12 345"));
    EXPECT_EQ(t->item(1, 0)->text(), QString("101"));
    EXPECT_EQ(t->horizontalHeaderItem(0)->text(), QString("Прибор"));
    const int ig = kIG;  // column j of parameter j: all parameters are selected
    EXPECT_EQ(t->item(0, ig)->text(), QString(" 59.900000"));
    EXPECT_EQ(t->item(0, ig)->background().color(), QColor(241, 141, 141));
    EXPECT_EQ(t->item(1, ig)->text(), QString(" 0.000000"));  // an empty store reads zeros
    EXPECT_EQ(t->item(1, ig)->background().style(), Qt::NoBrush);
    // Average: 54.95 is out of tolerance as well, but only Current is highlighted.
    page.Selector()->setCurrentIndex(static_cast<int>(StatKind::Average));
    EXPECT_EQ(t->item(0, ig)->text(), QString(" 54.950000"));
    EXPECT_EQ(t->item(0, ig)->background().style(), Qt::NoBrush);
    page.Selector()->setCurrentIndex(static_cast<int>(StatKind::Current));
    EXPECT_EQ(t->item(0, ig)->background().color(), QColor(241, 141, 141));
    const int before = page.ColumnRebuilds();
    page.Refresh();
    EXPECT_EQ(page.ColumnRebuilds(), before);
}

TEST_F(AllDevicesPage, ClipboardTextByteForByte) {
    for (int i = 0; i < kParamCount; ++i) Bench().Settings().SetToTable(i, i == kUG || i == kIG);
    {
        CAllDevicesPage empty(Context());
        empty.SetRange(5, 10);
        EXPECT_EQ(empty.ClipboardText(),
                  QString("Параметр: Текущее значение (Current); 5 - 10\r\nПрибор\tUG\tIG\t\r\n"));
    }
    Devices({12345, 3000000000u});
    Add(0, 3, {{kUG, 1.5}, {kIG, 70}});
    Add(1, 3, {{kUG, -2}, {kIG, 90}});
    CAllDevicesPage page(Context());
    page.Selector()->setCurrentIndex(static_cast<int>(StatKind::Max));
    page.SetRange(3, 3);
    page.CopyStatistics();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString("Параметр: Максимальное значение (Max); 3 - 3\r\n"
                      "Прибор\tUG\tIG\t\r\n"
                      "12345\t 1.500\t 70.000000\t\r\n"
                      "3000000000\t-2.000\t 90.000000\t\r\n"));
}

using ExperimentSettingsPage = UiTest;

TEST_F(ExperimentSettingsPage, DecimalsAboveTenAreRefusedAndTenIsTaken) {
    CExperimentSettingsPage page(Context());
    QTableWidget* g = page.Grid();
    ASSERT_EQ(g->rowCount(), kParamCount);
    EXPECT_EQ(g->item(kIG, 0)->text(), QString("IG"));
    EXPECT_EQ(g->item(kIG, 5)->text(), QString("1"));
    EXPECT_EQ(g->item(30, 1)->background().color(), QColor(0, 255, 255));
    EXPECT_FALSE(g->item(1, 3)->flags() & Qt::ItemIsEditable);  // Цикл has no decimals
    g->item(kUG, 3)->setText("11");
    g->item(kIG, 3)->setText("10");
    g->item(kIP, 3)->setText("x");  // no number: the C conversion gives 0
    page.TableButton()->click();
    EXPECT_EQ(Bench().Settings().TableDecimals(kUG), 3);
    EXPECT_EQ(g->item(kUG, 3)->text(), QString("3"));
    EXPECT_EQ(Bench().Settings().TableDecimals(kIG), 10);
    EXPECT_EQ(Bench().Settings().TableDecimals(kIP), 0);
    // One character per parameter: 10 is the character after '9'.
    const std::string stored = m_store.GetString("ExperimentSettings", "SignToTable", "");
    ASSERT_EQ(stored.size(), 43u);
    EXPECT_EQ(stored[kUG], '3');
    EXPECT_EQ(stored[kIG], ':');
    EXPECT_EQ(stored[kIP], '0');
    const int fileBefore = Bench().Settings().FileDecimals(kUG);
    g->item(kUG, 4)->setText("-1");
    page.FileButton()->click();
    EXPECT_EQ(Bench().Settings().FileDecimals(kUG), fileBefore);
    EXPECT_EQ(g->item(kUG, 4)->text(), QString::number(fileBefore));
}

TEST_F(ExperimentSettingsPage, OptionalReadsFollowEachButton) {
    CExperimentSettingsPage page(Context());
    QTableWidget* g = page.Grid();
    auto set = [&](int column, int first, int last, bool on) {
        for (int i = first; i <= last; ++i)
            g->item(i, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    };
    set(1, 23, 32, false);  // UG[0]..UG[9] out of the table: the file still wants them
    page.TableButton()->click();
    EXPECT_TRUE(Bench().Settings().ReadTenMeasurements());
    set(2, 23, 32, false);
    page.FileButton()->click();
    EXPECT_FALSE(Bench().Settings().ReadTenMeasurements());
    EXPECT_EQ(m_store.GetString("ExperimentSettings", "ToFile", "").substr(23, 10), "0000000000");
    set(1, 27, 27, true);
    page.TableButton()->click();
    EXPECT_TRUE(Bench().Settings().ReadTenMeasurements());
    // GvEr alone turns the command-20 reads on.
    set(1, 34, 39, false);
    set(2, 34, 39, false);
    set(1, 15, 15, false);
    set(2, 15, 15, false);
    page.FileButton()->click();
    EXPECT_FALSE(Bench().Settings().ReadCurrentValues());
    set(2, 15, 15, true);
    page.FileButton()->click();
    EXPECT_TRUE(Bench().Settings().ReadCurrentValues());
    // Ky is taken as typed; the file columns are locked while an experiment runs.
    page.KyEdit()->setText("20.5");
    page.FileButton()->click();
    EXPECT_DOUBLE_EQ(Bench().Settings().Ky(), 20.5);
    EXPECT_EQ(m_store.GetString("ExperimentSettings", "Ky", ""), "20.5");
    page.SetRunning(true);
    EXPECT_FALSE(page.FileButton()->isEnabled());
    EXPECT_TRUE(page.TableButton()->isEnabled());
}

using TableSettingsPage = UiTest;

TEST_F(TableSettingsPage, StoresTheColourOnlyWhenItChanged) {
    CTableSettingsPage page(Context());
    EXPECT_EQ(page.ColorButton()->Color(), QColor(241, 141, 141));
    EXPECT_TRUE(page.Apply());
    EXPECT_EQ(m_store.GetInt("ExperimentSettings", "crTableHighlightColor", -1), -1);
    page.ColorButton()->SetColor(QColor(10, 20, 30));
    EXPECT_TRUE(page.Apply());
    EXPECT_EQ(Bench().Settings().highlightColor, 10 | 20 << 8 | 30 << 16);
    EXPECT_EQ(m_store.GetInt("ExperimentSettings", "crTableHighlightColor", -1), 10 | 20 << 8 | 30 << 16);
}

}  // namespace
}  // namespace dravmer::ui
