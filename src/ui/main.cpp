#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/qsettings_store.h"
#include "sim/lib/demo_rig.h"
#include "ui/command_line.h"
#include "update/update_service.h"
#include "ui/main_frame.h"

int main(int argc, char** argv) {
    // The steps of a self-update hand-off come first ("/update1 NAME", "/update2 NAME"); a
    // finished hand-off gives back the command line the old program had.
    std::vector<std::string> raw(argv + 1, argv + argc);
    std::unique_ptr<dravmer::CQSettingsStore> userSettings;
    std::unique_ptr<dravmer::CUpdateService> update;
    auto makeUpdate = [&](dravmer::ISettingsStore& store) {
        dravmer::SUpdateConfig config;
        config.settings = &store;
        return std::make_unique<dravmer::CUpdateService>(config);
    };
    if (!raw.empty() && raw[0].rfind("/update", 0) == 0) {
        userSettings = std::make_unique<dravmer::CQSettingsStore>("");
        update = makeUpdate(*userSettings);
        const int step = update->HandOff(raw);
        if (step == 1 || step == -1) return step == 1 ? 0 : 1;
        raw = update->CommandLine();
    }
    // Options next: --help and --version answer without a display.
    QStringList arguments{QString::fromLocal8Bit(argv[0])};
    for (const std::string& a : raw) arguments << QString::fromLocal8Bit(a.c_str());
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
    // The version check asks the configured update server (none configured: nobody); the demo
    // never asks.
    if (!line.demo) {
        const std::string server = dravmer::UpdateServerFromSettings(settings);
        std::string host;
        int port = 0;
        if (!server.empty() && dravmer::ParseServerAddress(server, host, port)) {
            update.reset();
            update = makeUpdate(settings);
            update->SetServerName(host, port);
            update->StartCheck();
        } else {
            update.reset();
        }
    }
    dravmer::CBench bench(settings);
    bench.LoadSettings();
    int rc = 0;
    {
        dravmer::ui::CMainFrame frame(bench, settings);
        // The ports open in the background, one after another, while the window comes up.
        frame.OpenPortsInBackground();
        frame.SetUpdateService(update.get());
        if (settings.GetInt("WindowPos", "showCmd", 1) == 3) frame.showMaximized();
        else frame.show();
        if (!line.fileToLoad.isEmpty())
            QTimer::singleShot(0, &frame, [&frame, &line] { frame.OfferStartupFile(line.fileToLoad); });
        frame.ShowSettingsStatus();
        rc = app.exec();
    }
    update.reset();
    bench.SaveExitSettings();
    bench.ClosePorts();
    settings.Flush();
    return rc;
}
