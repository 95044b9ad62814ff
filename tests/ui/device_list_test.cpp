// The device list page's rows, header box, progress line and statistics texts, and the program's
// command line.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QPixmap>
#include <QTableView>
#include <QTest>

#include "cyrillic.h"
#include "ui/command_line.h"
#include "ui/pages/device_list_model.h"
#include "ui/pages/device_list_page.h"
#include "ui/serial_ports.h"
#include "ui/view_state.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

struct ListContext {
    CMemorySettingsStore settings;
    std::unique_ptr<CBench> bench;
    CBenchEvents events;
    CViewState view;
    std::unique_ptr<SUiContext> ui;
    ListContext(const char* list, const char* ports, const char* enabled) {
        test::App();
        settings.SetString("DeviceList", "List", list);
        settings.SetString("DeviceList", "PortList", ports);
        settings.SetString("DeviceList", "EnableList", enabled);
        bench = std::make_unique<CBench>(settings);
        bench->LoadSettings();
        ui = std::make_unique<SUiContext>(SUiContext{*bench, settings, events, nullptr, &view});
    }
};

TEST(DeviceList, RowsFromTheStoredListAndTheHeaderBox) {
    ListContext c("11;22;33;", "0;1;3;", "1;0;1;");
    CDeviceListPage page(*c.ui);
    CDeviceListModel& m = *page.Model();
    ASSERT_EQ(m.rowCount(), 3);
    EXPECT_EQ(m.columnCount(), 26);
    EXPECT_EQ(m.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Адрес прибора"));
    EXPECT_EQ(m.headerData(25, Qt::Horizontal, Qt::DisplayRole).toString(), QString("InternalBusy"));
    EXPECT_EQ(m.index(2, 0).data().toInt(), 3);
    EXPECT_EQ(m.index(2, 1).data().toString(), QString("33"));
    EXPECT_EQ(m.index(2, 2).data().toInt(), 4);
    // Loaded from the settings: no identification columns, statistics all zero.
    EXPECT_EQ(m.index(0, 3).data().toString(), QString());
    EXPECT_EQ(m.index(0, 8).data().toString(), QString("0   (0.00%)"));
    EXPECT_EQ(m.index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_FALSE(m.AllEnabled());

    int listChanges = 0;
    QObject::connect(&c.view, &CViewState::deviceListChanged, [&] { ++listChanges; });
    // The header box: all on, then all off; the active list and the stored flags follow.
    page.ToggleAllFromHeader();
    EXPECT_TRUE(m.AllEnabled());
    EXPECT_EQ(c.bench->Settings().devices.Active().size(), 3u);
    EXPECT_EQ(c.settings.GetString("DeviceList", "EnableList", ""), "1;1;1;");
    page.ToggleAllFromHeader();
    EXPECT_FALSE(m.AllEnabled());
    EXPECT_EQ(c.bench->Settings().devices.Active().size(), 0u);
    EXPECT_EQ(c.settings.GetString("DeviceList", "EnableList", ""), "0;0;0;");
    EXPECT_EQ(listChanges, 2);
    // One box ticked through the model, as a click does.
    ASSERT_TRUE(m.setData(m.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(c.bench->Settings().devices.Active().size(), 1u);
    EXPECT_EQ(c.bench->Settings().devices.Active()[0].address, 22u);
    EXPECT_EQ(listChanges, 3);
    // The header shows a box in both states.
    EXPECT_FALSE(m.headerData(0, Qt::Horizontal, Qt::DecorationRole).value<QPixmap>().isNull());
}

TEST(DeviceList, EmptyListHeaderIsNotTicked) {
    ListContext c("", "", "");
    CDeviceListPage page(*c.ui);
    EXPECT_EQ(page.Model()->rowCount(), 0);
    EXPECT_FALSE(page.Model()->AllEnabled());
    EXPECT_EQ(page.ProgressText(), QString("Поиск приборов________________________"));
}

TEST(DeviceList, ProgressLineFollowsTheSearchEvents) {
    ListContext c("", "", "");
    CDeviceListPage page(*c.ui);
    // The engine's event as the window words it.
    c.events.OnSearchProgress(0, 4, 100001, 1);
    ASSERT_TRUE(test::WaitFor(
        [&] { return page.ProgressText() != "Поиск приборов________________________"; }));
    EXPECT_EQ(page.ProgressText(), QString("Найден: №100001 (всего: 1)"));
    c.events.OnSearchProgress(1, 1, 900002, 1);
    ASSERT_TRUE(test::WaitFor([&] { return page.ProgressText().contains("KESP"); }));
    EXPECT_EQ(page.ProgressText(), QString("Найден KESP: №900002   (всего: 1)"));
    // Codes that report no device leave the line as it is.
    emit c.events.searchProgress(1, 77, 0, QString());
    EXPECT_EQ(page.ProgressText(), QString("Найден KESP: №900002   (всего: 1)"));
    emit c.events.searchFinished(1);
    EXPECT_EQ(page.ProgressText(), QString());
}

TEST(DeviceList, RowsAppearAsTheSearchIdentifiesThem) {
    ListContext c("11;22;", "0;0;", "1;1;");
    CDeviceListPage page(*c.ui);
    ASSERT_EQ(page.Model()->rowCount(), 2);
    page.Model()->Clear();  // what the search command does first
    SFoundInfo first;
    first.address = 4000001;
    first.port = 1;
    first.identified = true;
    first.fwMajor = 5;
    first.fwMinor = 43;
    first.transducer = "PR-004000001";
    first.transducerRead = true;
    emit c.events.deviceIdentified(0, first);
    ASSERT_EQ(page.Model()->rowCount(), 1);
    EXPECT_EQ(page.Model()->index(0, 1).data().toString(), QString("4000001"));
    EXPECT_EQ(page.Model()->index(0, 2).data().toInt(), 2);
    EXPECT_EQ(page.Model()->index(0, 3).data().toString(), QString("05.43"));
    EXPECT_EQ(page.Model()->index(0, 4).data().toString(), QString("PR-004000001"));
    EXPECT_EQ(page.Model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    SFoundInfo second = first;
    second.address = 4000002;
    second.transducerRead = false;  // its number could not be read
    emit c.events.deviceIdentified(1, second);
    ASSERT_EQ(page.Model()->rowCount(), 2);
    EXPECT_EQ(page.Model()->index(1, 4).data().toString(), QString("Ошибка"));
    EXPECT_EQ(page.Model()->index(1, 1).data().toString(), QString("4000002"));
    // A row out of order (a search the page did not see start) is left to the final reload.
    emit c.events.deviceIdentified(5, second);
    EXPECT_EQ(page.Model()->rowCount(), 2);
}

TEST(DeviceList, SpaceTogglesTheCurrentRowInAnyColumnEveryTime) {
    ListContext c("11;22;33;", "0;0;0;", "1;1;1;");
    CDeviceListPage page(*c.ui);
    page.show();
    QTableView* table = page.Table();
    table->setFocus();
    const auto enabled = [&](std::size_t i) {
        return c.bench->Settings().devices.Found()[i].enabled != 0;
    };
    for (int column : {4, 0, 1, 25}) {
        table->setCurrentIndex(page.Model()->index(1, column));
        for (int press = 0; press < 3; ++press) {
            const bool before = enabled(1);
            QTest::keyClick(table, Qt::Key_Space);
            EXPECT_NE(enabled(1), before) << "column " << column << ", press " << press;
            EXPECT_EQ(page.Model()->index(1, 0).data(Qt::CheckStateRole).toInt(),
                      enabled(1) ? Qt::Checked : Qt::Unchecked);
            EXPECT_TRUE(enabled(0));
            EXPECT_TRUE(enabled(2));
        }
    }
}

TEST(DeviceList, StatisticsTexts) {
    SLinkDevStat s;
    s.w[SLinkDevStat::kCommands] = 200;
    s.w[SLinkDevStat::kErrors] = 3;
    s.w[SLinkDevStat::kTransactions] = 190;
    s.w[SLinkDevStat::kErrorsWithRepeat] = 19;
    s.w[static_cast<size_t>(SLinkDevStat::CodeWord(-2))] = 2;
    s.w[static_cast<size_t>(SLinkDevStat::CodeWord(-16))] = 1;
    EXPECT_EQ(CDeviceListModel::StatText(s, 7), QString("200"));
    EXPECT_EQ(CDeviceListModel::StatText(s, 8), QString("3   (1.50%)"));
    EXPECT_EQ(CDeviceListModel::StatText(s, 9), QString("19   (10.00%)"));
    EXPECT_EQ(CDeviceListModel::StatText(s, 11), QString("2"));  // "CRC", code -2
    EXPECT_EQ(CDeviceListModel::StatText(s, 25), QString("1"));  // "InternalBusy", code -16
}

TEST(CommandLine, OptionsAndTheFileToLoad) {
    test::App();
    SCommandLine v = ParseCommandLine({"dravmer", "--version"});
    EXPECT_EQ(v.action, SCommandLine::Action::Exit);
    EXPECT_EQ(v.output, QString("dravmer 05.43\n"));
    SCommandLine h = ParseCommandLine({"dravmer", "--help"});
    EXPECT_TRUE(h.output.contains("--config"));
    EXPECT_TRUE(h.output.contains("--demo"));
    EXPECT_TRUE(h.output.contains(QString("Показать эту справку.")));
    SCommandLine english = ParseCommandLine({"dravmer", "--help"}, Language::English);
    EXPECT_TRUE(english.output.contains("Show this help."));
    EXPECT_FALSE(dravmer::test::HasCyrillic(english.output.toStdString()))
        << english.output.toStdString();
    SCommandLine bad = ParseCommandLine({"dravmer", "--bogus"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(ParseCommandLine({"dravmer", "a.adc", "b.adc"}).exitCode, 2);
    SCommandLine two = ParseCommandLine({"dravmer", "a.adc", "b.adc"}, Language::English);
    EXPECT_EQ(two.output, QString("Only one file can be given.\n"));
    SCommandLine run = ParseCommandLine({"dravmer", "--config", "/tmp/x.conf", "--demo", "\"day 1.ADC\""});
    EXPECT_EQ(run.action, SCommandLine::Action::Run);
    EXPECT_EQ(run.config, QString("/tmp/x.conf"));
    EXPECT_TRUE(run.demo);
    EXPECT_EQ(run.fileToLoad, QDir::current().absoluteFilePath("day 1.ADC"));
    EXPECT_EQ(FileToLoad("/data/e.txt"), QString("/data/e.txt"));
    EXPECT_EQ(FileToLoad("e.doc"), QString());
    EXPECT_EQ(FileToLoad("\""), QString());
}

// QCommandLineParser's own words (the help's headings, its refusals) in the run's language too.
TEST(CommandLine, HelpAndRefusalsAreInTheRunsLanguage) {
    test::App();
    struct Case {
        QStringList args;
        int code;
        QStringList english, russian;
    };
    const Case cases[] = {
        {{"dravmer", "--help"}, 0, {"Usage: ", " [options] [FILE]", "Options:", "Arguments:"},
         {"Использование: ", " [параметры] [FILE]", "Параметры:", "Аргументы:"}},
        {{"dravmer", "--bogus"}, 2, {"Unknown option 'bogus'."}, {"Неизвестный параметр «bogus»."}},
        {{"dravmer", "--bogus", "--other"}, 2, {"Unknown options: bogus, other."},
         {"Неизвестные параметры: bogus, other."}},
        {{"dravmer", "--config"}, 2, {"Missing value after '--config'."},
         {"Отсутствует значение после «--config»."}},
        {{"dravmer", "--demo=1"}, 2, {"Unexpected value after '--demo'."},
         {"Неожиданное значение после «--demo»."}},
    };
    for (const Case& c : cases) {
        const SCommandLine en = ParseCommandLine(c.args, Language::English);
        const SCommandLine ru = ParseCommandLine(c.args, Language::Russian);
        EXPECT_EQ(en.exitCode, c.code) << c.args.join(' ').toStdString();
        EXPECT_EQ(ru.exitCode, c.code) << c.args.join(' ').toStdString();
        for (const QString& e : c.english) {
            EXPECT_TRUE(en.output.contains(e)) << e.toStdString() << "\n" << en.output.toStdString();
            EXPECT_FALSE(ru.output.contains(e)) << e.toStdString() << "\n" << ru.output.toStdString();
        }
        for (const QString& r : c.russian)
            EXPECT_TRUE(ru.output.contains(r)) << r.toStdString() << "\n" << ru.output.toStdString();
        EXPECT_FALSE(dravmer::test::HasCyrillic(en.output.toStdString())) << en.output.toStdString();
    }
}

TEST(SerialPorts, SystemDevicesInOrderAndHostNames) {
    QTemporaryDir dev;
    QDir d(dev.path());
    d.mkpath("serial/by-id");
    for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "tty", "ttyX", "null",
                             "serial/by-id/usb-FTDI_X-if00"}) {
        QFile f(dev.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const std::string root = dev.path().toStdString();
    const std::vector<std::string> expected = {root + "/serial/by-id/usb-FTDI_X-if00",
                                               root + "/ttyUSB0", root + "/ttyACM1",
                                               root + "/ttyS2", root + "/ttyS10"};
    EXPECT_EQ(SystemSerialPorts(root), expected);
    QFile hosts(dev.path() + "/hosts");
    ASSERT_TRUE(hosts.open(QIODevice::WriteOnly));
    hosts.write("127.0.0.1 localhost\n# comment bench9\n10.0.0.5 bench1 bench1.lab  # x\n"
                "::1 ip6-localhost\n10.0.0.6 bench1\n");
    hosts.close();
    EXPECT_EQ(KnownComputerNames((dev.path() + "/hosts").toStdString()),
              (std::vector<std::string>{"bench1", "bench1.lab"}));
}

}  // namespace
}  // namespace dravmer::ui
