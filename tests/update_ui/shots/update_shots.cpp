// Screenshots of the About box and of the update question over the main window, for looking
// at under a display (xvfb-run): update_shots OUTDIR writes OUTDIR/updateui-about.png and
// OUTDIR/updateui-question.png.
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "../../ui/shots/shot_language.h"
#include "bench/bench.h"
#include "fileserver/file_server.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/command_table.h"
#include "ui/main_frame.h"
#include "ui/update_offer.h"

namespace fs = std::filesystem;
using namespace dravmer;

namespace {
bool Shoot(const QString& path) {
    QTest::qWait(400);
    return QGuiApplication::primaryScreen()->grabWindow(0).save(path);
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dravmer::ui::InstallLocaleLanguage(app);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const fs::path top = fs::temp_directory_path() / ("update-shots-" + std::to_string(::getpid()));
    fs::create_directories(top / "releases");
    fs::create_directories(top / "bench");
    fs::copy_file(TESTPROG_NEW, top / "releases" / "dravmer");
    std::ofstream(top / "releases" / "versions.txt") << "dravmer 05.44\n";
    fileserver::SFileServerOptions options;
    options.root = top / "releases";
    options.listen = "127.0.0.1";
    options.port = 0;
    options.logFile = top / "fileserver.log";
    fileserver::CFileServer server(options);
    std::string error;
    if (!server.Listen(error)) {
        std::fprintf(stderr, "update_shots: %s\n", error.c_str());
        return 1;
    }
    server.Start();

    CMemorySettingsStore settings;
    const std::string address = "127.0.0.1:" + std::to_string(server.TcpPort());
    settings.SetString("NetProp", "Server", address);
    CBench bench(settings);
    bench.LoadSettings();
    SUpdateConfig config = ui::BenchUpdateConfig(settings);
    config.executable = top / "bench" / "dravmer";
    config.trace = {};
    CUpdateService service(config);
    ui::ApplyUpdateServer(service, UpdateServerFromSettings(settings));

    int rc = 0;
    {
        ui::CMainFrame frame(bench, settings);
        frame.resize(1000, 640);
        frame.move(0, 0);
        frame.show();
        ui::CUpdateOffer* offer = ui::AttachUpdateService(frame, service, settings, 200);
        frame.Context().commands->Get(ui::cmd::About)->trigger();
        if (!Shoot(out + "/updateui-about.png")) rc = 1;
        if (auto* about = frame.findChild<ui::CAboutDialog*>()) about->reject();

        service.StartCheck();
        for (int i = 0; i < 100 && !offer->Question(); ++i) QTest::qWait(50);
        if (!offer->Question() || !Shoot(out + "/updateui-question.png")) rc = 1;
        if (offer->Question()) offer->Question()->button(QMessageBox::No)->click();
    }
    fs::remove_all(top);
    return rc;
}
