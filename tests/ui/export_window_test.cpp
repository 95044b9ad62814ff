// Data out in the window: "Экспорт в CSV…" with its dialog, progress and refusals; the MQTT
// broker on the "Настройки" page; the broker's state in the status bar, an outage told once.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <fstream>

#include "stream/broker.h"
#include "ui/command_table.h"
#include "ui/export_command.h"
#include "ui/main_frame.h"
#include "ui/pages/program_settings_page.h"
#include "ui/stream_control.h"
#include "ui/view_state.h"
#include "ui_fixture.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

using test::WaitFor;

// A window over a bench without ports, with two devices' records of a recorded experiment.
struct ExportFrame {
    QTemporaryDir dir;
    CMemorySettingsStore settings;
    std::unique_ptr<CBench> bench;
    std::unique_ptr<CMainFrame> frame;
    ExportFrame() {
        test::App();
        for (int p = 0; p < kPortCount; ++p) settings.SetInt(PortSection(p), "UseLink", 0);
        settings.SetString("ExperimentSettings", "strPathToSaveFile",
                           dir.path().toStdString() + "/");
        bench = std::make_unique<CBench>(settings);
        bench->LoadSettings();
        frame = std::make_unique<CMainFrame>(*bench, settings);
        CDeviceList& list = bench->Settings().devices;
        list.ClearFound();
        for (std::uint32_t a : {101u, 102u}) list.AddFound(a, 0, true);
        list.RebuildActive();
        bench->EnsureStores();
        for (std::size_t i = 0; i < 2; ++i) {
            CDeviceData& d = bench->Data(i);
            d.ResetData();
            for (int k = 0; k < 20; ++k) {
                CMeasRecord r;
                r.time = static_cast<std::uint32_t>(k);
                for (int p = 3; p < CMeasRecord::kParamCount - 1; ++p) SetParam(r, p, k * 0.25 + p);
                d.AddSample(r);
            }
            d.SetStartTime(1796540400);
        }
        frame->RefillDeviceBox();
    }
    ~ExportFrame() {
        frame.reset();
        bench.reset();
    }
    QAction* Command() const { return frame->Commands().Get(cmd::ExportCsv); }
    QString Path(const char* name) const { return dir.path() + "/" + name; }
};

int Lines(const QString& path) {
    std::ifstream f(path.toStdString());
    int n = 0;
    for (std::string l; std::getline(f, l);) ++n;
    return n;
}

TEST(ExportWindow, TheCommandAsksForTheFileAndOptionsAndWritesTheExperimentOnScreen) {
    ExportFrame f;
    QAction* command = f.Command();
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->text(), QString("Экспорт в CSV…"));
    EXPECT_TRUE(command->isEnabled());
    bool inMenu = false;
    for (QAction* menu : f.frame->menuBar()->actions())
        if (menu->text() == QString("&Эксперимент") && menu->menu()->actions().contains(command))
            inMenu = true;
    EXPECT_TRUE(inMenu);
    EXPECT_TRUE(f.frame->findChild<QToolBar*>("mainToolBar")->actions().contains(command));

    command->trigger();
    CCsvExportDialog* dialog = f.frame->Export().Dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitFor([&] { return dialog->isVisible(); }));
    EXPECT_TRUE(dialog->PathEdit()->text().endsWith(".csv"))
        << dialog->PathEdit()->text().toStdString();
    EXPECT_FALSE(dialog->PathEdit()->accessibleName().isEmpty());
    for (QCheckBox* box : {dialog->UnitsBox(), dialog->ExcelBox(), dialog->RangeBox()})
        EXPECT_FALSE(box->text().isEmpty());
    EXPECT_FALSE(dialog->RangeBox()->isEnabled()) << "no statistics range is set";

    QSignalSpy done(&f.frame->Export(), &CExportCommand::finished);
    dialog->PathEdit()->setText(f.Path("day"));  // the extension is added
    dialog->UnitsBox()->setChecked(true);
    dialog->accept();
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(done.at(0).at(0).toInt(), static_cast<int>(CsvExportResult::Written));
    EXPECT_EQ(Lines(f.Path("day.csv")), 2 + 40) << "header, units and 20 records of 2 devices";
    EXPECT_TRUE(f.frame->statusBar()->currentMessage().contains("40"))
        << f.frame->statusBar()->currentMessage().toStdString();
}

TEST(ExportWindow, AnExistingFileIsNotReplacedAndTheRangeIsOfferedWhenSet) {
    ExportFrame f;
    { std::ofstream(f.Path("taken.csv").toStdString()) << "keep"; }
    f.frame->View().SetStatisticsRangeProvider([](std::uint32_t& from, std::uint32_t& to) {
        from = 5;
        to = 9;
        return true;
    });
    f.Command()->trigger();
    CCsvExportDialog* dialog = f.frame->Export().Dialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->RangeBox()->isEnabled());
    EXPECT_TRUE(dialog->RangeBox()->text().contains("5 - 9"));
    dialog->PathEdit()->setText(f.Path("taken.csv"));
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays for another name";
    ASSERT_NE(dialog->Problem(), nullptr);
    EXPECT_TRUE(dialog->Problem()->text().contains("уже есть"));
    EXPECT_FALSE(f.frame->Export().IsRunning());
    dialog->Problem()->accept();

    QSignalSpy done(&f.frame->Export(), &CExportCommand::finished);
    dialog->PathEdit()->setText(f.Path("range.csv"));
    dialog->RangeBox()->setChecked(true);
    dialog->accept();
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(Lines(f.Path("range.csv")), 1 + 2 * 5);
    std::ifstream taken(f.Path("taken.csv").toStdString());
    std::string text;
    std::getline(taken, text);
    EXPECT_EQ(text, "keep");
}

TEST(ExportWindow, TheSettingsPageKeepsTheBrokerAndRefusesAnAddressItCannotUse) {
    ExportFrame f;
    SUiContext context{*f.bench, f.settings, *new CBenchEvents(f.frame.get())};
    CProgramSettingsPage page(context);
    ASSERT_NE(page.MqttUrlEdit(), nullptr);
    EXPECT_FALSE(page.MqttUrlEdit()->accessibleName().isEmpty());
    EXPECT_FALSE(page.MqttTopicEdit()->accessibleName().isEmpty());
    page.MqttUrlEdit()->setText("mqtt://lab-broker:1884");
    page.MqttTopicEdit()->setText("lab/bench3/");
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(f.settings.GetString("Stream", "MqttUrl", ""), "mqtt://lab-broker:1884");
    EXPECT_EQ(f.settings.GetString("Stream", "MqttTopic", ""), "lab/bench3");

    page.MqttUrlEdit()->setText("mqtts://lab-broker");
    QString said;
    QTimer::singleShot(0, [&said] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            said = box->text();
            box->accept();
        }
    });
    EXPECT_FALSE(page.Apply());
    EXPECT_TRUE(said.contains("TLS")) << said.toStdString();
    EXPECT_EQ(f.settings.GetString("Stream", "MqttUrl", ""), "mqtt://lab-broker:1884");
}

TEST(ExportWindow, TheBrokersStateShowsAndAnOutageIsToldOnce) {
    ExportFrame f;
    testing_stream::CTestBroker broker;
    ASSERT_TRUE(broker.Start());
    f.settings.SetString("Stream", "MqttUrl", broker.Url());
    CStreamControl& stream = f.frame->Stream();
    QSignalSpy changes(&stream, &CStreamControl::statusChanged);
    stream.BeforeStart();
    ASSERT_NE(stream.Publisher(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return stream.StatusLabel()->text() == "MQTT: есть связь"; }, 20000))
        << stream.StatusLabel()->text().toStdString();
    EXPECT_TRUE(stream.StatusLabel()->isVisibleTo(f.frame.get()));

    broker.Kill();
    ASSERT_TRUE(WaitFor([&] { return stream.StatusLabel()->text() == "MQTT: нет связи"; }, 20000));
    ASSERT_NE(stream.LastMessage(), nullptr);
    QPointer<QMessageBox> box = stream.LastMessage();
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->text().contains(QString::fromStdString(stream.Publisher()->BrokerName())));
    // Retries go on; the outage is still one box.
    QTest::qWait(1500);
    EXPECT_EQ(stream.LastMessage(), box);

    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitFor([&] { return stream.StatusLabel()->text() == "MQTT: есть связь"; }, 20000));
    EXPECT_TRUE(f.frame->statusBar()->currentMessage().contains("есть"));
    // The outage's box does not stay open after it is over.
    EXPECT_TRUE(WaitFor([&] { return !box || !box->isVisible(); }, 5000));
    int downs = 0;
    for (const auto& c : changes) downs += c.at(0).toInt() == static_cast<int>(MqttState::Down);
    EXPECT_EQ(downs, 1);
    stream.Release();
    EXPECT_EQ(stream.Publisher(), nullptr);
}

}  // namespace
}  // namespace dravmer::ui
