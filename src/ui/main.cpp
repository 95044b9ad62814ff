#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/language.h"
#include "platform/log_line.h"
#include "platform/paths.h"
#include "platform/qt/qsettings_store.h"
#include "sim/demo_rig.h"
#include "ui/command_line.h"
#include "ui/demo_start.h"
#include "ui/main_frame.h"
#include "ui/qt_translations.h"
#include "ui/stream_control.h"
#include "ui/termination_signal.h"
#include "ui/update_offer.h"
#include "update/update_service.h"

int main(int argc, char** argv) {
    // A self-update's hand-off before anything else: the step may end this process, or give back
    // the command line the updated program had. Its values live in the settings file the old
    // program ran with, which it names to every step (--config FILE after /updateN NAME).
    const std::vector<std::string> args(argv + 1, argv + argc);
    dravmer::CQSettingsStore handOffSettings(dravmer::HandOffSettingsFile(args));
    dravmer::CUpdateService updates(dravmer::ui::BenchUpdateConfig(handOffSettings));
    const int handOff = updates.HandOff(args);
    if (handOff == 1) return 0;
    if (handOff == -1) return 1;
    // Options next: --help and --version answer without a display.
    QStringList arguments;
    arguments << QString::fromLocal8Bit(argv[0]);
    for (const std::string& arg : updates.CommandLine())
        arguments << QString::fromLocal8Bit(arg.c_str());
    const dravmer::ui::SCommandLine line = dravmer::ui::ParseCommandLine(
        arguments, dravmer::WindowLanguageFromLocale(dravmer::ProcessEnv()));
    if (line.action == dravmer::ui::SCommandLine::Action::Exit) {
        std::fputs(line.output.toLocal8Bit().constData(), line.exitCode ? stderr : stdout);
        return line.exitCode;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName("KorvelDevice");
    QApplication::setApplicationName("Dravmer");
    QApplication::setApplicationVersion(dravmer::ui::kVersion);
    // The launcher's name, so the desktop (Wayland above all) matches the window to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("dravmer"));
    std::string config = line.config.toStdString();
    if (line.demo && config.empty()) config = dravmer::sim::DemoSettingsPath();
    dravmer::CQSettingsStore settings(config);
    // A hand-off this run starts keeps its values in the file in use.
    updates.UseSettings(&settings, config);
    // One language for the run: the setting, else the message locale.
    const dravmer::Language language = dravmer::WindowLanguage(
        settings.GetString(dravmer::kLanguageSection, dravmer::kLanguageKey, "system"),
        dravmer::ProcessEnv());
    switch (dravmer::ui::InstallTranslations(app, language)) {
        case dravmer::ui::TranslationResult::Installed:
            break;
        case dravmer::ui::TranslationResult::QtTextsMissing:
            std::fputs(
                "dravmer: Qt's Russian translations (qtbase_ru.qm) are not installed; Qt's "
                "own buttons and dialogs speak English\n",
                stderr);
            break;
        case dravmer::ui::TranslationResult::WindowTextsMissing:
            std::fputs(
                "dravmer: the English translation did not load; the window speaks "
                "Russian\n",
                stderr);
            break;
    }
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
    // A week of a hundred devices does not fit in memory: the stores keep their older records
    // in the user's cache folder.
    bench.EnablePaging(dravmer::CacheDir(),
                       dravmer::LogLineWriter(dravmer::LogDir() / "dravmer.log", "dravmer"));
    bench.LoadSettings();
    // The check runs in the background while the window comes up; no server, no check; the
    // demo never asks.
    const std::string updateServer = dravmer::UpdateServerFromSettings(settings);
    if (!dravmer::ui::ApplyUpdateServer(updates, updateServer))
        dravmer::ui::UpdateTraceWriter()("update: the update server \"" + updateServer +
                                         "\" is not HOST or HOST:PORT; nothing is checked");
    updates.SetPublicKey(dravmer::UpdatePublicKeyFromSettings(settings));
    if (!line.demo && !updates.ServerName().empty()) updates.StartCheck();
    int rc = 0;
    // SIGTERM takes the close path below from here to the end, so that what follows the window
    // (the settings written, the ports closed) is not cut off either.
    dravmer::ui::CTerminationSignal termination;
    termination.Install();
    {
        dravmer::ui::CMainFrame frame(bench, settings);
        QObject::connect(&termination, &dravmer::ui::CTerminationSignal::received, &frame,
                         [&frame] {
                             // As the operator's close, with the stream's stop saying why; the
                             // modal loops of open dialogs end too.
                             frame.Stream().MarkInterrupted();
                             frame.close();
                             QCoreApplication::exit(0);
                         });
        // The ports open in the background, one after another, while the window comes up.
        frame.OpenPortsInBackground();
        frame.SetUpdateService(&updates);
        // The demo opens large and runs by itself; outside it the window opens as it was closed.
        dravmer::ui::CDemoStart* demo = line.demo ? new dravmer::ui::CDemoStart(frame) : nullptr;
        if (!demo && settings.GetInt("WindowPos", "showCmd", 1) == 3) frame.showMaximized();
        else frame.show();
        // A file to look at comes first: the demo then leaves searching and starting to the
        // operator.
        if (demo && line.fileToLoad.isEmpty()) demo->Begin();
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
