// The real window driving the engine against simulated devices on pseudo-terminals: search,
// start (with the wait dialog), records arriving, stop, files, the parameter dialog; the UI
// thread's longest block is measured by a watchdog timer and printed.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTabWidget>

#include <cstdio>

#include "sim/sim_device.h"
#include "ui/command_table.h"
#include "ui/dialogs/save_params_dialog.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/pages/device_list_model.h"
#include "ui/pages/device_list_page.h"
#include "ui/view_state.h"
#include "ui/widgets/status_panes.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

using test::CWatchdog;
using test::CWindowRig;
using test::WaitFor;

CDeviceListPage* DeviceListPage(CMainFrame& frame) {
    return frame.Pages()->findChild<CDeviceListPage*>();
}

// Starts an experiment through the command and waits for the start to end.
int StartAndWait(CMainFrame& frame) {
    int result = -1;
    auto c = QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { result = r; });
    frame.Commands().Get(cmd::StartExperiment)->trigger();
    WaitFor([&] { return result >= 0; });
    QObject::disconnect(c);
    return result;
}

// Stops through the command; the seconds from the command to the window being told.
double StopAndWait(CMainFrame& frame) {
    bool stopped = false;
    auto c = QObject::connect(&frame, &CMainFrame::stopFinished, [&](double) { stopped = true; });
    QElapsedTimer t;
    t.start();
    frame.Commands().Get(cmd::StopExperiment)->trigger();
    WaitFor([&] { return stopped; });
    QObject::disconnect(c);
    return t.nsecsElapsed() / 1e9;
}

TEST(WindowBench, SearchStartRecordsStopFiles) {
    CWindowRig rig({{0, 1, 7001}, {900002, 5, 8001}});
    ASSERT_TRUE(rig.ok);
    CMainFrame& frame = *rig.frame;
    CDeviceListPage* page = DeviceListPage(frame);
    ASSERT_NE(page, nullptr);
    CWatchdog watchdog;

    QStringList progress;
    QObject::connect(&frame.Events(), &CBenchEvents::searchProgress,
                     [&](int, int, quint32, const QString& t) { progress << t; });
    int found = -1;
    QObject::connect(&frame, &CMainFrame::searchFinished, [&](int n) { found = n; });
    frame.Commands().Get(cmd::SearchDevices)->trigger();
    // While the search runs, start, search and the port settings are closed.
    EXPECT_FALSE(frame.Commands().Get(cmd::StartExperiment)->isEnabled());
    EXPECT_FALSE(frame.Commands().Get(cmd::LinkSettings)->isEnabled());
    EXPECT_FALSE(page->SearchButton()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return found >= 0; }, 60000));
    const double searchGap = watchdog.LongestBlockMs();
    EXPECT_EQ(found, 6);
    EXPECT_TRUE(progress.contains(QString("Всего найдено 6 приборов.")));
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(),
                            [](const QString& t) { return t.startsWith("Найден: №"); }));
    // The finished search clears the progress line, fills the list, the box and the header.
    EXPECT_EQ(page->ProgressText(), QString());
    ASSERT_EQ(page->Model()->rowCount(), 6);
    EXPECT_EQ(page->Model()->index(0, 1).data().toString(), QString("7001"));
    EXPECT_EQ(page->Model()->index(1, 2).data().toInt(), 2);
    EXPECT_FALSE(page->Model()->index(1, 3).data().toString().isEmpty());
    EXPECT_TRUE(page->Model()->AllEnabled());
    EXPECT_EQ(frame.Commands().DeviceBox()->count(), 6);
    EXPECT_TRUE(page->SearchButton()->isEnabled());

    // Untick one device: it leaves the active list.
    ASSERT_TRUE(page->Model()->setData(page->Model()->index(5, 0), Qt::Unchecked,
                                       Qt::CheckStateRole));
    EXPECT_EQ(rig.bench->Settings().devices.Active().size(), 5u);
    EXPECT_EQ(frame.Commands().DeviceBox()->count(), 5);

    watchdog.Reset();
    ASSERT_EQ(StartAndWait(frame), static_cast<int>(StartResult::Started));
    const double startGap = watchdog.LongestBlockMs();
    ASSERT_TRUE(rig.bench->IsRunning());
    EXPECT_TRUE(frame.windowTitle().startsWith("Dravmer v.05.43, "));
    EXPECT_TRUE(frame.Commands().Get(cmd::StartExperiment)->isChecked());
    EXPECT_TRUE(frame.Commands().Get(cmd::StopExperiment)->isEnabled());
    EXPECT_FALSE(frame.Commands().Get(cmd::SearchDevices)->isEnabled());
    EXPECT_FALSE(frame.Commands().Get(cmd::LinkSettings)->isEnabled());
    EXPECT_TRUE(page->Refreshing());

    // During the experiment the check boxes and the header box are frozen.
    EXPECT_FALSE(page->Model()->setData(page->Model()->index(5, 0), Qt::Checked,
                                        Qt::CheckStateRole));
    EXPECT_EQ(page->Model()->index(5, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    page->ToggleAllFromHeader();
    EXPECT_EQ(rig.bench->Settings().devices.Active().size(), 5u);
    EXPECT_EQ(page->Model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    // The settings sheet opened now has no port pages.
    CSettingsSheet sheet(frame.Context(), !rig.bench->IsRunning());
    EXPECT_EQ(sheet.PageCount(), 5);

    int records = 0;
    QObject::connect(&frame.Events(), &CBenchEvents::recordAdded, [&](int) { ++records; });
    ASSERT_TRUE(WaitFor([&] { return records >= 10; }, 20000));
    // The link statistics columns count the polling.
    WaitFor([&] { return page->Model()->index(0, 7).data().toString().toInt() > 0; }, 3000);
    EXPECT_GT(page->Model()->index(0, 7).data().toString().toInt(), 0);
    frame.TickStatusTexts();
    EXPECT_TRUE(frame.Panes().Pane(12)->text().startsWith("Stat range: "));

    watchdog.Reset();
    const double stopSeconds = StopAndWait(frame);
    const double stopGap = watchdog.LongestBlockMs();
    EXPECT_FALSE(rig.bench->IsRunning());
    EXPECT_FALSE(page->Refreshing());
    EXPECT_TRUE(frame.Commands().Get(cmd::StopExperiment)->isChecked());
    EXPECT_TRUE(frame.Commands().Get(cmd::SearchDevices)->isEnabled());
    std::printf("[figures] search gap %.1f ms, start gap %.1f ms, stop gap %.1f ms, stop %.1f ms "
                "(engine Stop %.1f ms)\n",
                searchGap, startGap, stopGap, stopSeconds * 1e3, rig.bench->StopSeconds() * 1e3);
    RecordProperty("stop_ms", static_cast<int>(stopSeconds * 1e3));

    // One file per polled device, with records in it.
    const QStringList files = rig.Files();
    int adc = 0;
    for (const QString& f : files)
        if (f.endsWith(".adc") && QFileInfo(f).size() > 0) ++adc;
    EXPECT_EQ(adc, 5) << files.join(", ").toStdString();

    // Parameters of the active devices, the report streaming in as the worker writes it.
    CSaveParamsDialog dialog(frame.Context(), &frame);
    bool failed = true;
    bool done = false;
    QObject::connect(&dialog, &CSaveParamsDialog::finished, [&](bool f) {
        failed = f;
        done = true;
    });
    ASSERT_TRUE(WaitFor([&] { return done; }, 60000));
    WaitFor([&] { return dialog.Report().contains("Все операции успешно завершены."); }, 2000);
    EXPECT_FALSE(failed);
    EXPECT_TRUE(dialog.Report().startsWith("1/5  Прибор № 7001")) << dialog.Report().toStdString();
    EXPECT_TRUE(dialog.Report().contains("Все операции успешно завершены."));
}

TEST(WindowBench, WaitDialogClosesWhenTheDeviceAnswers) {
    CWindowRig rig({{0, 2, 7001}});
    ASSERT_TRUE(rig.ok);
    rig.SetDeviceList({{7001, 0}, {7002, 0}});
    CMainFrame& frame = *rig.frame;
    rig.sims[0]->Find(7002)->SetPowered(false);
    int result = -1;
    QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { result = r; });
    frame.Commands().Get(cmd::StartExperiment)->trigger();
    ASSERT_TRUE(WaitFor([&] { return frame.WaitDialog() != nullptr; }));
    EXPECT_EQ(frame.WaitDialog()->Address(), 7002u);
    EXPECT_TRUE(frame.WaitDialog()->Text().contains("7002"));
    EXPECT_EQ(frame.WaitDialog()->windowTitle(), QString("Ожидание связи с прибором"));
    // Nothing can be started twice or searched meanwhile.
    EXPECT_FALSE(frame.Commands().Get(cmd::StartExperiment)->isEnabled());
    EXPECT_FALSE(frame.Commands().Get(cmd::SearchDevices)->isEnabled());
    rig.sims[0]->Find(7002)->SetPowered(true);
    ASSERT_TRUE(WaitFor([&] { return result >= 0; }));
    EXPECT_EQ(result, static_cast<int>(StartResult::Started));
    EXPECT_EQ(frame.WaitDialog(), nullptr);
    StopAndWait(frame);
}

TEST(WindowBench, OkInTheWaitDialogStartsWithoutThatDevice) {
    CWindowRig rig({{0, 3, 7001}});
    ASSERT_TRUE(rig.ok);
    rig.SetDeviceList({{7001, 0}, {7002, 0}, {7003, 0}});
    CMainFrame& frame = *rig.frame;
    rig.sims[0]->Find(7002)->SetPowered(false);
    rig.sims[0]->Find(7003)->SetPowered(false);
    int result = -1;
    QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { result = r; });
    frame.Commands().Get(cmd::StartExperiment)->trigger();
    ASSERT_TRUE(WaitFor([&] { return frame.WaitDialog() != nullptr; }));
    EXPECT_EQ(frame.WaitDialog()->Address(), 7002u);
    frame.WaitDialog()->accept();
    // The start goes on and waits for the next silent device, which then answers.
    ASSERT_TRUE(WaitFor([&] { return frame.WaitDialog() && frame.WaitDialog()->Address() == 7003u; }));
    rig.sims[0]->Find(7003)->SetPowered(true);
    ASSERT_TRUE(WaitFor([&] { return result >= 0; }));
    EXPECT_EQ(result, static_cast<int>(StartResult::Started));
    const auto& active = rig.bench->Settings().devices.Active();
    ASSERT_EQ(active.size(), 3u);
    EXPECT_EQ(active[1].fwMajor, 0);  // never identified: the bytes it had
    EXPECT_NE(active[2].fwMajor, 0);
    StopAndWait(frame);
}

TEST(WindowBench, CancelInTheWaitDialogLeavesNothingStarted) {
    CWindowRig rig({{0, 2, 7001}});
    ASSERT_TRUE(rig.ok);
    rig.SetDeviceList({{7001, 0}, {7002, 0}});
    CMainFrame& frame = *rig.frame;
    rig.sims[0]->Find(7002)->SetPowered(false);
    int result = -1;
    QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { result = r; });
    frame.Commands().Get(cmd::StartExperiment)->trigger();
    ASSERT_TRUE(WaitFor([&] { return frame.WaitDialog() != nullptr; }));
    // A port that is not open is named in the dialog, and the note goes when it reopens.
    emit frame.Events().portNotOpen(0, "линия не отвечает");
    EXPECT_EQ(frame.WaitDialog()->Note(), QString("Порт 1 не открыт: линия не отвечает"));
    emit frame.Events().portReopened(0);
    EXPECT_EQ(frame.WaitDialog()->Note(), QString());
    frame.WaitDialog()->reject();
    ASSERT_TRUE(WaitFor([&] { return result >= 0; }));
    EXPECT_EQ(result, static_cast<int>(StartResult::Cancelled));
    EXPECT_FALSE(rig.bench->IsRunning());
    EXPECT_TRUE(rig.Files().isEmpty());
    EXPECT_FALSE(rig.settings.Contains("Dravmer", "ExperimentNumber"));
    EXPECT_TRUE(frame.Commands().Get(cmd::StartExperiment)->isEnabled());
    EXPECT_EQ(frame.windowTitle(), QString("Dravmer v.05.43"));
}

TEST(WindowBench, AutoStopEndsTheExperimentAfterItsLimit) {
    CWindowRig rig({{0, 1, 7001}});
    ASSERT_TRUE(rig.ok);
    rig.SetDeviceList({{7001, 0}});
    CMainFrame& frame = *rig.frame;
    frame.SetAutoStopLimit(1.0);
    frame.Commands().Get(cmd::AutoStop)->trigger();
    EXPECT_TRUE(frame.Commands().Get(cmd::AutoStop)->isChecked());
    EXPECT_TRUE(rig.bench->AutoStop());
    // This experiment runs without files.
    frame.Commands().Get(cmd::WriteToFile)->trigger();
    WaitFor([&] { return frame.BusyWith() == CMainFrame::Busy::None; });
    EXPECT_FALSE(frame.Commands().Get(cmd::WriteToFile)->isChecked());
    ASSERT_EQ(StartAndWait(frame), static_cast<int>(StartResult::Started));
    QElapsedTimer t;
    t.start();
    bool stopped = false;
    QObject::connect(&frame, &CMainFrame::stopFinished, [&](double) { stopped = true; });
    ASSERT_TRUE(WaitFor([&] { return stopped; }, 5000));
    // The check runs once a second: the stop comes between the limit and a second later.
    EXPECT_GE(t.elapsed(), 1000);
    EXPECT_FALSE(rig.bench->IsRunning());
    EXPECT_TRUE(rig.Files().isEmpty());
    // Writing switched on after the stop puts every record collected into new files.
    frame.Commands().Get(cmd::WriteToFile)->trigger();
    WaitFor([&] { return frame.BusyWith() == CMainFrame::Busy::None; });
    EXPECT_TRUE(frame.Commands().Get(cmd::WriteToFile)->isChecked());
    EXPECT_FALSE(rig.Files().isEmpty());
    EXPECT_TRUE(frame.windowTitle().contains("7001")) << frame.windowTitle().toStdString();
}

TEST(WindowBench, ParameterDialogExitStopsTheWorkerWithoutBlocking) {
    CWindowRig rig({{900001, 30, 10001}});
    ASSERT_TRUE(rig.ok);
    std::vector<std::pair<std::uint32_t, int>> devices;
    for (int i = 0; i < 30; ++i) devices.push_back({10001u + i, 0});
    rig.SetDeviceList(devices);
    auto* dialog = new CSaveParamsDialog(rig.frame->Context(), rig.frame.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<CSaveParamsDialog> alive(dialog);
    dialog->show();
    ASSERT_TRUE(WaitFor([&] { return dialog->Report().contains("2/30"); }));
    CWatchdog watchdog;
    dialog->reject();
    // Still open until the worker has stopped; then it closes by itself, long before the end.
    EXPECT_TRUE(alive && alive->isVisible());
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }, 20000));
    std::printf("[figures] parameter dialog exit: longest UI block %.1f ms\n",
                watchdog.LongestBlockMs());
}

TEST(WindowBench, HundredDevicesKeepTheWindowResponsive) {
    CWindowRig rig({{900001, 34, 10001}, {900002, 33, 20001}, {900003, 33, 30001}}, "0.5");
    ASSERT_TRUE(rig.ok);
    std::vector<std::pair<std::uint32_t, int>> devices;
    for (int i = 0; i < 34; ++i) devices.push_back({10001u + i, 0});
    for (int i = 0; i < 33; ++i) devices.push_back({20001u + i, 1});
    for (int i = 0; i < 33; ++i) devices.push_back({30001u + i, 2});
    rig.SetDeviceList(devices);
    CMainFrame& frame = *rig.frame;
    frame.Pages()->setCurrentIndex(6);
    CWatchdog watchdog;
    ASSERT_EQ(StartAndWait(frame), static_cast<int>(StartResult::Started));
    const double startGap = watchdog.LongestBlockMs();
    std::vector<int> perDevice(100, 0);
    QObject::connect(&frame.Events(), &CBenchEvents::recordAdded, [&](int i) {
        if (i >= 0 && i < 100) ++perDevice[static_cast<size_t>(i)];
    });
    watchdog.Reset();
    // A few seconds of polling with the device list refreshing every second.
    WaitFor([] { return false; }, 4000);
    const double runGap = watchdog.LongestBlockMs();
    watchdog.Reset();
    const double stopSeconds = StopAndWait(frame);
    const double stopGap = watchdog.LongestBlockMs();
    const int polled = static_cast<int>(std::count_if(perDevice.begin(), perDevice.end(),
                                                      [](int n) { return n > 0; }));
    std::printf("[figures] 100 devices: start gap %.1f ms, run gap %.1f ms, stop gap %.1f ms, "
                "stop %.1f ms, devices with records %d\n",
                startGap, runGap, stopGap, stopSeconds * 1e3, polled);
    EXPECT_EQ(polled, 100);
}

}  // namespace
}  // namespace dravmer::ui
