// dravmer-shots DIR [--demo]: writes a day of records of three devices with the experiment-file
// writer, loads it into the window as the operator would, and saves PNG pictures of the data
// pages and dialogs at 1280 x 800 and at the window's minimum size into DIR. With --demo the
// pictures show the demo bench after a few seconds of a running experiment instead.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "files/file_format.h"
#include "sim/demo_rig.h"
#include "ui/dialogs/column_chooser.h"
#include "ui/dialogs/debug_window.h"
#include "ui/dialogs/load_experiment_dialog.h"
#include "ui/main_frame.h"
#include "ui/pages/all_devices_page.h"
#include "ui/pages/table_settings_page.h"
#include "ui/view_state.h"

namespace fs = std::filesystem;
using namespace dravmer;

namespace {

void Wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Save(QWidget* w, const QString& dir, const QString& name) {
    w->grab().save(dir + "/datapages-" + name + ".png");
    std::printf("%s/datapages-%s.png\n", dir.toLocal8Bit().constData(), name.toLocal8Bit().constData());
}

// A day of one device: values in their normal ranges with noise, a few out of tolerance, the
// cycle counter wrapping round, one reset and a few flow-channel errors.
void WriteDay(const fs::path& path, std::uint32_t seed, int seconds) {
    CDeviceData store;
    std::uint32_t x = seed;
    auto noise = [&x] {
        x = x * 1664525u + 1013904223u;
        return (static_cast<double>(x >> 8) / 16777216.0 - 0.5);
    };
    std::uint8_t cycle = static_cast<std::uint8_t>(seed);
    for (int t = 0; t < seconds; ++t) {
        if (t % 97 == 13) continue;  // a lost second now and then
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(t);
        cycle = static_cast<std::uint8_t>(t == seconds / 2 ? 30 : cycle + 1);  // one reset
        r.cycle = cycle;
        r.state = 0x00A3;
        r.kg = 16;
        r.kr = 1;
        const double drift = std::sin(t / 3000.0);
        r.ug = 1.25 + 0.01 * drift + 0.002 * noise();
        r.ug2 = 1.24 + 0.002 * noise();
        r.gi = 0.5 + 0.001 * noise();
        r.ug2_2 = 0.62 + 0.001 * noise();
        r.ig = (t % 1500 == 7 || t == seconds - 3) ? 59.9 : 90 + 2 * noise();
        r.tRef = 100 + noise();
        r.t1 = 21.5 + 0.1 * drift;
        r.pRef = (t % 2000 == 11) ? 61 : 50 + noise();
        r.p = 1.013 + 0.001 * noise();
        r.tProc = 125 + noise();
        r.emptyPipe = 10 + noise();
        r.emptyPipeDelta = 200 + 5 * noise();
        r.gvEr = (t % 5000 == 4999) ? 3 : 0;
        r.t2 = 20.9 + 0.1 * drift;
        r.ip = (t % 700 == 3 || t == seconds - 2) ? 5 : 1.2 + 0.1 * noise();
        r.ugMin = r.ug - 0.01;
        r.ugMax = r.ug + 0.01;
        for (int k = 0; k < 10; ++k) r.ugi[k] = r.ug + 0.001 * k * ((cycle & 1) ? 1 : -1) + 0.0005 * noise();
        r.tempProc = 36 + noise();
        r.gv20 = 12.5 + 0.1 * noise();
        r.t1_20 = 21.4;
        r.p1_20 = 1.01;
        r.gi20 = 0.5;
        r.tProc20 = 35.8;
        r.t2_20 = 20.8;
        r.rt1_26 = 1084.2 + noise();
        r.rt2_26 = 1081.9 + noise();
        r.tps26 = 21.3 + 0.1 * noise();
        store.AddSample(r);
    }
    std::tm day{};
    day.tm_year = 126;
    day.tm_mon = 11;
    day.tm_mday = 6;
    day.tm_hour = 9;
    day.tm_isdst = -1;
    store.SetStartTime(std::mktime(&day));
    std::vector<int> columns;
    for (int i = 0; i < kParamCount; ++i) columns.push_back(i);
    SaveStoreAs(store, path.string(), false, columns, SFileOptions());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dravmer-shots DIR [--demo]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const bool demo = argc > 2 && std::string(argv[2]) == "--demo";
    QDir().mkpath(out);
    const fs::path work = fs::temp_directory_path() / "dravmer-shots";
    fs::create_directories(work);
    CMemorySettingsStore settings;
    std::unique_ptr<sim::CDemoRig> rig;
    if (demo) {
        rig = std::make_unique<sim::CDemoRig>();
        std::string error;
        settings.SetString("ExperimentSettings", "strPathToSaveFile", (work / "demo/").string());
        sim::PrepareDemoSettings(settings);
        if (!rig->Start(settings, error)) {
            std::fprintf(stderr, "dravmer-shots: %s\n", error.c_str());
            return 1;
        }
    }
    CBench bench(settings);
    bench.LoadSettings();
    ui::CMainFrame frame(bench, settings);
    frame.resize(1280, 800);
    frame.show();
    const QString tag = demo ? "demo-" : "";
    if (demo) {
        std::printf("ports open: %d\n", bench.OpenPorts());
        if (bench.Settings().devices.Active().empty()) std::printf("found: %d\n", bench.Search());
        frame.View().NotifyDeviceListChanged();
        SStartOptions options;
        options.waitDeviceSeconds = 5;
        const StartResult started = bench.Start(options);
        if (started != StartResult::Started) {
            std::fprintf(stderr, "dravmer-shots: the demo experiment did not start (%d)\n",
                         static_cast<int>(started));
            return 1;
        }
        Wait(12000);
    } else {
        // Three devices, one experiment of a day; a label file with a comment; an older
        // experiment beside it.
        const int seconds = 86400;
        WriteDay(work / "261206-007-100101.adc", 101, seconds);
        WriteDay(work / "261206-007-100102.adc", 202, seconds);
        WriteDay(work / "261206-007-100103.adc", 303, seconds);
        WriteDay(work / "261206-006-100101.adc", 404, 3600);
        std::ofstream(work / "261206-007-label .txt", std::ios::binary) << "Calibration run";
        settings.SetString("LoadPath", "LoadPath", work.string());
        ui::CLoadExperimentDialog dialog(frame.Context(), &frame);
        QObject::connect(&dialog, &ui::CLoadExperimentDialog::experimentLoaded, &frame, [&frame] {
            frame.View().NotifyDeviceListChanged();
            frame.View().NotifyStatisticsChanged();
        });
        dialog.show();
        Wait(300);
        Save(&dialog, out, "load-list");
        dialog.List()->selectRow(1);
        dialog.accept();
        Wait(150);
        Save(&dialog, out, "load-progress");
        for (int i = 0; i < 300 && dialog.isVisible(); ++i) Wait(50);
    }
    QTabWidget* tabs = frame.Pages();
    for (int tab : {0, 1, 5}) {
        tabs->setCurrentIndex(tab);
        Wait(1300);
        Save(&frame, out, tag + QString("tab%1").arg(tab));
    }
    tabs->setCurrentIndex(1);
    if (auto* all = qobject_cast<ui::CAllDevicesPage*>(tabs->currentWidget())) {
        all->Selector()->setCurrentIndex(7);
        Wait(300);
        Save(&frame, out, tag + "tab1-sigma");
    }
    // The minimum size.
    frame.resize(frame.minimumSize().expandedTo(QSize(560, 400)));
    for (int tab : {0, 1, 5}) {
        tabs->setCurrentIndex(tab);
        Wait(1200);
        Save(&frame, out, tag + QString("min-tab%1").arg(tab));
    }
    frame.resize(1280, 800);
    if (!demo) {
        ui::CColumnChooser chooser(frame.Context(), &frame);
        chooser.show();
        Wait(200);
        Save(&chooser, out, "column-chooser");
        ui::CDebugWindow debug(frame.Context(), &frame);
        debug.show();
        for (int i = 0; i < 100 && debug.IsScanning(); ++i) Wait(50);
        Wait(200);
        Save(&debug, out, "debug-window");
        ui::CTableSettingsPage colour(frame.Context());
        colour.resize(600, 300);
        colour.show();
        Wait(200);
        Save(&colour, out, "table-settings");
        QTimer::singleShot(300, [&out] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Save(box, out, "startup-error");
                box->accept();
            }
        });
        frame.OfferStartupFile(QString::fromStdString((work / "261206-009-100101.adc").string()));
    } else {
        bench.Stop();
    }
    return 0;
}
