#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "platform/qt/qsettings_store.h"
#include "sim/lib/demo_rig.h"
#include "ui/command_line.h"
#include "ui/main_frame.h"

int main(int argc, char** argv) {
    // Options first: --help and --version answer without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const dravmer::ui::SCommandLine line = dravmer::ui::ParseCommandLine(arguments);
    if (line.action == dravmer::ui::SCommandLine::Action::Exit) {
        std::fputs(line.output.toLocal8Bit().constData(), line.exitCode ? stderr : stdout);
        return line.exitCode;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName("KorvelDevice");
    QApplication::setApplicationName("Dravmer");
    QApplication::setApplicationVersion(dravmer::ui::kVersion);
    std::string config = line.config.toStdString();
    if (line.demo && config.empty()) config = dravmer::sim::DemoSettingsPath();
    dravmer::CQSettingsStore settings(config);
    std::unique_ptr<dravmer::sim::CDemoRig> rig;
    if (line.demo) {
        dravmer::sim::PrepareDemoSettings(settings);
        rig = std::make_unique<dravmer::sim::CDemoRig>();
        std::string error;
        if (!rig->Start(settings, error)) {
            std::fprintf(stderr, "dravmer: %s\n", error.c_str());
            return 1;
        }
    }
    dravmer::CBench bench(settings);
    bench.LoadSettings();
    int rc = 0;
    {
        dravmer::ui::CMainFrame frame(bench, settings);
        // The ports open in the background, one after another, while the window comes up.
        frame.OpenPortsInBackground();
        if (settings.GetInt("WindowPos", "showCmd", 1) == 3) frame.showMaximized();
        else frame.show();
        if (line.demo) frame.setWindowTitle(frame.windowTitle() + QStringLiteral(" [demo]"));
        if (!line.fileToLoad.isEmpty())
            QTimer::singleShot(0, &frame, [&frame, &line] { frame.OfferStartupFile(line.fileToLoad); });
        frame.ShowSettingsStatus();
        rc = app.exec();
    }
    bench.SaveExitSettings();
    bench.ClosePorts();
    settings.Flush();
    return rc;
}
