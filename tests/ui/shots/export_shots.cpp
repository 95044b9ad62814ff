// Screenshots of data out in the window, for looking at by eye:
//   export_shots OUT_DIR   (run under a display, e.g. xvfb-run -s '-screen 0 1280x800x24')
// The export command's dialog over a recorded experiment, its progress on a big one, and the
// "Настройки" page with the MQTT broker.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <thread>

#include "shot_language.h"
#include "ui/command_table.h"
#include "ui/dialogs/csv_export_dialog.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/export_command.h"
#include "ui/main_frame.h"
#include "ui/stream_control.h"

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
    const QString path = g_out + "/dataout-" + name + ".png";
    screen.save(path);
    std::printf("%s\n", path.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dravmer::ui::InstallLocaleLanguage(app);
    g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QTemporaryDir dir;
    CMemorySettingsStore settings;
    for (int p = 0; p < kPortCount; ++p) settings.SetInt(PortSection(p), "UseLink", 0);
    settings.SetString("ExperimentSettings", "strPathToSaveFile", dir.path().toStdString() + "/");
    settings.SetString("Stream", "MqttUrl", "mqtt://lab-broker.local:1883");
    CBench bench(settings);
    bench.LoadSettings();
    CMainFrame frame(bench, settings);
    // Twenty devices, a day of seconds each: big enough for the progress to show.
    CDeviceList& list = bench.Settings().devices;
    list.ClearFound();
    for (int i = 0; i < 20; ++i) list.AddFound(300001 + static_cast<std::uint32_t>(i), 2, true);
    list.RebuildActive();
    bench.EnsureStores();
    for (std::size_t i = 0; i < 20; ++i) {
        CDeviceData& d = bench.Data(i);
        d.ResetData();
        for (int k = 0; k < 86400; ++k) {
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(k);
            for (int p = 3; p < CMeasRecord::kParamCount - 1; ++p)
                SetParam(r, p, 100 + p + std::sin(k * 0.01 + static_cast<double>(i)) * 3);
            d.AddSample(r);
        }
        d.SetStartTime(1796540400);
        char title[32];
        std::snprintf(title, sizeof title, "261206-007-%06u", 300001 + static_cast<unsigned>(i));
        d.SetTitle(title);
    }
    frame.RefillDeviceBox();
    frame.resize(1200, 760);
    frame.show();
    WaitFor([&] { return frame.isVisible(); }, 5000);
    WaitFor([] { return false; }, 300);
    Shot("window");

    frame.Commands().Get(cmd::ExportCsv)->trigger();
    CCsvExportDialog* dialog = frame.Export().Dialog();
    WaitFor([&] { return dialog && dialog->isVisible(); }, 5000);
    dialog->UnitsBox()->setChecked(true);
    WaitFor([] { return false; }, 300);
    Shot("export-dialog");

    dialog->accept();
    WaitFor([&] { return frame.Export().Progress() && frame.Export().Progress()->isVisible(); },
            10000);
    WaitFor([] { return false; }, 300);
    Shot("export-progress");
    WaitFor([&] { return !frame.Export().IsRunning(); }, 120000);
    WaitFor([] { return false; }, 300);
    Shot("export-done");

    auto* sheet = new CSettingsSheet(*new SUiContext{bench, settings, *new CBenchEvents(&frame)},
                                     true, &frame);
    sheet->SelectPage(SheetPageId::Program);
    sheet->show();
    WaitFor([&] { return sheet->isVisible(); }, 5000);
    WaitFor([] { return false; }, 300);
    Shot("settings");
    return 0;
}
