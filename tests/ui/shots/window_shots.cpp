// Screenshots of the window's pages and dialogs on the demo bench, for looking at by eye:
//   window_shots OUT_DIR   (run under a display, e.g. xvfb-run -s '-screen 0 1280x800x24')
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <thread>

#include "shot_language.h"
#include "sim/demo_rig.h"
#include "sim/sim_device.h"
#include "sim/sim_line.h"
#include "ui/command_table.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/dialogs/save_params_dialog.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/main_frame.h"
#include "ui/view_state.h"

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

void Settle(int ms = 400) { WaitFor([] { return false; }, ms); }

QString g_out;

void Shot(const QString& name) {
    Settle();
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString path = g_out + "/window-" + name + ".png";
    screen.save(path);
    std::printf("%s\n", path.toLocal8Bit().constData());
}

void ShotWidget(QWidget* w, const QString& name) {
    Settle();
    const QString path = g_out + "/window-" + name + ".png";
    w->grab().save(path);
    std::printf("%s\n", path.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dravmer::ui::InstallLocaleLanguage(app);
    g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(g_out);
    QTemporaryDir dir;
    CMemorySettingsStore settings;
    settings.SetString("ExperimentSettings", "strPathToSaveFile", dir.path().toStdString() + "/");
    sim::CDemoRig rig;
    std::string error;
    if (!rig.Start(settings, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CBench bench(settings);
    bench.LoadSettings();
    bench.OpenPorts();
    auto frame = std::make_unique<CMainFrame>(bench, settings);
    frame->move(0, 0);
    frame->resize(1280, 800);
    frame->show();
    frame->Pages()->setCurrentIndex(6);
    bool searched = false;
    QObject::connect(frame.get(), &CMainFrame::searchFinished, [&](int) { searched = true; });
    frame->StartSearch();
    Settle(700);
    Shot("devices-searching-1280");
    WaitFor([&] { return searched; }, 120000);
    Shot("devices-found-1280");

    // The wait dialog: one device switched off while the experiment starts.
    rig.Line(1).Find(200008)->SetPowered(false);
    int started = -1;
    QObject::connect(frame.get(), &CMainFrame::startFinished, [&](int r) { started = r; });
    frame->ToggleExperiment();
    WaitFor([&] { return frame->WaitDialog() != nullptr; }, 10000);
    if (frame->WaitDialog()) frame->WaitDialog()->move(500, 320);
    Shot("wait-dialog-1280");
    // The note a port that cannot open adds: the dialog grows under the device number.
    if (frame->WaitDialog()) {
        frame->WaitDialog()->SetNote(QStringLiteral(
            "Порт 2 не открыт: Ошибка инициализации локального СОМ порта. "
            "(/dev/ttyUSB1: No such file or directory)"));
        ShotWidget(frame->WaitDialog(), "wait-dialog-note");
        frame->WaitDialog()->SetNote(QString());
    }
    rig.Line(1).Find(200008)->SetPowered(true);
    WaitFor([&] { return started >= 0; }, 20000);
    Settle(3500);
    frame->View().SetCurrentDevice(1);
    frame->TickStatusTexts();
    Shot("devices-running-1280");

    frame->resize(CMainFrame::kMinWidth, CMainFrame::kMinHeight);
    Settle(1200);
    Shot("devices-running-min");
    if (frame->WaitDialog()) frame->WaitDialog()->close();
    bool stopped = false;
    QObject::connect(frame.get(), &CMainFrame::stopFinished, [&](double) { stopped = true; });
    frame->ToggleExperiment();
    WaitFor([&] { return stopped; }, 10000);
    frame->resize(1280, 800);

    // The wait dialog at the minimum window size.
    rig.Line(0).Find(100001)->SetPowered(false);
    started = -1;
    frame->resize(CMainFrame::kMinWidth, CMainFrame::kMinHeight);
    frame->ToggleExperiment();
    WaitFor([&] { return frame->WaitDialog() != nullptr; }, 10000);
    if (frame->WaitDialog()) frame->WaitDialog()->move(170, 130);
    Shot("wait-dialog-min");
    if (frame->WaitDialog()) frame->WaitDialog()->reject();
    WaitFor([&] { return started >= 0; }, 10000);
    rig.Line(0).Find(100001)->SetPowered(true);
    frame->resize(1280, 800);

    {
        CSettingsSheet sheet(frame->Context(), true, frame.get());
        sheet.move(200, 100);
        sheet.show();
        sheet.SelectPage(SheetPageId::Program);
        Shot("settings-program-1280");
        sheet.SelectPage(SheetPageId::Port1);
        Shot("settings-port1-1280");
        sheet.SelectPage(SheetPageId::Port2);
        Shot("settings-port2-1280");
        sheet.resize(sheet.minimumSizeHint());
        sheet.SelectPage(SheetPageId::Program);
        ShotWidget(&sheet, "settings-program-min");
        sheet.SelectPage(SheetPageId::Port1);
        ShotWidget(&sheet, "settings-port1-min");
    }
    {
        CSaveParamsDialog dialog(frame->Context(), frame.get());
        dialog.move(300, 150);
        dialog.show();
        WaitFor([&] { return dialog.Finished(); }, 60000);
        Shot("save-params-1280");
        dialog.resize(dialog.minimumSizeHint());
        ShotWidget(&dialog, "save-params-min");
    }
    {
        // The About box refusing a server address it cannot read.
        CAboutDialog about(QStringLiteral("05.43"), QString(), frame.get());
        about.show();
        ShotWidget(&about, "about");
        about.ServerEdit()->setText(QStringLiteral("files.lab.local:99999999"));
        about.accept();
        ShotWidget(&about, "about-refused");
    }
    frame->Pages()->setCurrentIndex(0);
    Shot("frame-placeholder-1280");
    // The menus with their commands (graph and data commands wait for their pages).
    const QList<QAction*> menus = frame->menuBar()->actions();
    for (int i : {0, 2}) {
        QMenu* menu = menus[i]->menu();
        menu->popup(frame->mapToGlobal(QPoint(frame->menuBar()->actionGeometry(menus[i]).left(),
                                              frame->menuBar()->height())));
        Shot(QStringLiteral("menu-%1-1280").arg(i));
        menu->close();
    }
    frame->close();
    frame.reset();
    bench.ClosePorts();
    return 0;
}
