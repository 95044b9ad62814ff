// Screenshots of the archive in the window, for looking at by eye:
//   archive_shots OUT_DIR   (run under a display, e.g. xvfb-run -s '-screen 0 1280x800x24')
// A bench without ports gets experiments of a few devices, archives them through the command
// (with its progress), and the loading dialog's archive tab lists and loads them back.
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <thread>

#include "archive/archive_io.h"
#include "shot_language.h"
#include "ui/archive_command.h"
#include "ui/command_table.h"
#include "ui/dialogs/load_experiment_dialog.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/main_frame.h"
#include "ui/view_state.h"
#include "ui/widgets/archive_list.h"

using namespace dravmer;
using namespace dravmer::ui;

namespace {

template <class F>
bool WaitFor(F pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

QString g_out;

void Shot(const QString& name) {
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString path = g_out + "/archiveui-" + name + ".png";
    screen.save(path);
    std::printf("%s\n", path.toLocal8Bit().constData());
}

// An experiment of `devices` devices with `records` seconds each, numbered `number`.
void Experiment(CBench& bench, int number, std::uint32_t first, int devices, int records,
                std::time_t start) {
    CDeviceList& list = bench.Settings().devices;
    list.ClearFound();
    for (int i = 0; i < devices; ++i) list.AddFound(first + static_cast<std::uint32_t>(i), 0, true);
    list.RebuildActive();
    bench.EnsureStores();
    for (int i = 0; i < devices; ++i) {
        CDeviceData& d = bench.Data(static_cast<std::size_t>(i));
        d.ResetData();
        for (int k = 0; k < records; ++k) {
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(k);
            r.cycle = static_cast<std::uint8_t>(k);
            for (int p = 3; p < CMeasRecord::kParamCount - 1; ++p)
                SetParam(r, p, 100 + p + std::sin(k * 0.01 + i) * 3);
            d.AddSample(r);
        }
        d.SetStartTime(start);
        char title[32];
        std::snprintf(title, sizeof title, "261206-%03d-%06u", number,
                      first + static_cast<std::uint32_t>(i));
        d.SetTitle(title);
    }
}

bool ArchiveNow(CMainFrame& frame, bool shot) {
    bool done = false;
    auto c = QObject::connect(&frame.Archive(), &CArchiveCommand::finished,
                              [&](int, const QString&) { done = true; });
    frame.Commands().Get(cmd::SaveToDatabase)->trigger();
    if (shot) {
        WaitFor(
            [&] {
                return done ||
                       (frame.Archive().Progress() && frame.Archive().Progress()->value() >= 30);
            },
            60000);
        Shot("command-progress");
    }
    WaitFor([&] { return done; }, 120000);
    QObject::disconnect(c);
    if (!shot && frame.Archive().LastMessage()) frame.Archive().LastMessage()->close();
    return done;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dravmer::ui::InstallLocaleLanguage(app);
    if (argc < 2) {
        std::fprintf(stderr, "usage: archive_shots OUT_DIR\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    CMemorySettingsStore settings;
    for (int p = 0; p < kPortCount; ++p) settings.SetInt(PortSection(p), "UseLink", 0);
    settings.SetString(kArchiveSection, kArchiveUrlKey,
                       "sqlite:" + dir.path().toStdString() + "/archive.sqlite");
    CBench bench(settings);
    bench.LoadSettings();
    CMainFrame frame(bench, settings);
    frame.resize(1280, 760);
    frame.show();

    const std::time_t day = 1796540400;  // 6 December 2026, 07:00
    Experiment(bench, 1, 310001, 3, 3600, day);
    ArchiveNow(frame, false);
    Experiment(bench, 2, 310002, 5, 7200, day + 4000);
    ArchiveNow(frame, false);
    Experiment(bench, 3, 310001, 2, 1800, day + 12000);
    ArchiveNow(frame, false);
    // A big one, to see the progress.
    Experiment(bench, 4, 420001, 24, 20000, day + 15000);
    ArchiveNow(frame, true);
    WaitFor([] { return false; }, 300);
    Shot("command-done");
    if (frame.Archive().LastMessage()) frame.Archive().LastMessage()->close();

    Experiment(bench, 9, 999, 1, 10, day);
    CLoadExperimentDialog dialog(frame.Context(), &frame);
    dialog.Sources()->setCurrentIndex(1);
    bool listed = false;
    QObject::connect(dialog.ArchiveSource(), &CArchiveList::listed, [&] { listed = true; });
    dialog.show();
    WaitFor([&] { return listed; }, 20000);
    WaitFor([] { return false; }, 300);
    Shot("dialog");

    listed = false;
    dialog.ArchiveSource()->DeviceFilter()->setText("310001");
    dialog.ArchiveSource()->Refresh();
    WaitFor([&] { return listed; }, 20000);
    WaitFor([] { return false; }, 300);
    Shot("dialog-filter");

    listed = false;
    dialog.ArchiveSource()->DeviceFilter()->clear();
    dialog.ArchiveSource()->Refresh();
    WaitFor([&] { return listed; }, 20000);
    dialog.ArchiveSource()->List()->selectRow(3);
    bool loaded = false;
    QObject::connect(&dialog, &CLoadExperimentDialog::experimentLoaded, [&] { loaded = true; });
    dialog.accept();
    WaitFor([&] { return loaded || dialog.Progress()->value() >= 60; }, 60000);
    Shot("load-progress");
    WaitFor([&] { return loaded; }, 120000);
    // What the frame does when the dialog it opened has loaded an experiment.
    frame.RefillDeviceBox();
    frame.View().NotifyDeviceListChanged();
    frame.View().NotifyStatisticsChanged();
    frame.UpdateTitle();
    WaitFor([] { return false; }, 1500);
    Shot("loaded");

    CSettingsSheet sheet(frame.Context(), true, &frame);
    sheet.SelectPage(SheetPageId::Program);
    sheet.show();
    WaitFor([] { return false; }, 500);
    Shot("settings");
    return 0;
}
