#include "ui/update_offer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "bench/bench.h"
#include "ui/command_table.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/main_frame.h"
#include "update/self_update_files.h"
#include "update_ui/update_window.h"

namespace dravmer::ui {
namespace {

TEST_F(UpdateWindow, QuestionAnsweredNoLeavesEverythingAsItWas) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    Serve(TESTPROG_NEW, "05.44");
    auto service = Service();
    service->StartCheck();
    // The frame's own hook, as the program uses it: timer 2 at its 1 s period.
    CMainFrame frame(*m_bench, m_settings);
    frame.show();
    frame.SetUpdateService(service.get());
    auto* offer = frame.findChild<CUpdateOffer*>("updateOffer");
    ASSERT_NE(offer, nullptr);
    EXPECT_TRUE(frame.UpdateCheckPending());
    QMessageBox* box = WaitQuestion(*offer);
    ASSERT_NE(box, nullptr);
    std::printf("[ figure ] check started to question on screen: %lld ms\n",
                static_cast<long long>(sinceStart.elapsed()));
    EXPECT_FALSE(frame.UpdateCheckPending());
    // One question, however many ticks came.
    frame.TickUpdateCheck();
    QTest::qWait(1200);
    EXPECT_EQ(frame.findChildren<QMessageBox*>().size(), 1);
    EXPECT_FALSE(offer->Polling());
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->parentWidget(), &frame);
    EXPECT_EQ(box->windowTitle(), QString("Обновление версии"));
    EXPECT_EQ(box->text(), QString("На сервере '127.0.0.1' доступна\nновая версия программы 05.44\n"
                                   "Текущая версия 05.43\nбудет сохранена под именем:\n"
                                   "prog_05.43\nОбновить текущую версию?"));
    EXPECT_EQ(box->button(QMessageBox::Yes)->text(), QString("Да"));
    EXPECT_EQ(box->button(QMessageBox::No)->text(), QString("Нет"));
    QSignalSpy finished(offer, &CUpdateOffer::finished);
    QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), -1);
    EXPECT_EQ(offer->CurrentStage(), CUpdateOffer::Stage::Done);
    // Not asked again in this run, whatever the timer or the state says.
    offer->Poll();
    QTest::qWait(100);
    EXPECT_EQ(offer->Question(), nullptr);
    EXPECT_FALSE(offer->Polling());
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
    EXPECT_EQ(ReadText(m_benchDir / "prog"), ReadText(TESTPROG_OLD));
    EXPECT_NE(ServerLog().find("Новая версия prog доступна (05.44)! Текущая версия: 05.43"),
              std::string::npos);
    EXPECT_EQ(ServerLog().find("Запущено обновление"), std::string::npos);
}

TEST_F(UpdateWindow, YesDownloadsStartsTheNewVersionAndClosesTheWindow) {
    const fs::path marker = m_top / "marker";
    ::setenv("UPDATE_TESTPROG_MARKER", marker.c_str(), 1);
    ::setenv("UPDATE_TESTPROG_SETTINGS", (m_top / "settings").c_str(), 1);
    Serve(TESTPROG_NEW, "05.44");
    auto service = Service();
    service->StartCheck();
    CMainFrame frame(*m_bench, m_settings);
    frame.show();
    CUpdateOffer* offer = AttachUpdateService(frame, *service, m_settings, 50);
    QMessageBox* box = WaitQuestion(*offer);
    ASSERT_NE(box, nullptr);
    QSignalSpy finished(offer, &CUpdateOffer::finished);
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    ASSERT_NE(offer->Progress(), nullptr);
    EXPECT_TRUE(offer->Progress()->isVisible());
    ASSERT_TRUE(finished.wait(15000));
    EXPECT_EQ(finished.at(0).at(0).toInt(), 1);
    ASSERT_TRUE(WaitUntil([&] { return !frame.isVisible(); }, 10000));
    // The running version is kept; the new one took over with /update1 and, once this
    // process's wait ran out, put itself in place of prog.
    EXPECT_EQ(ReadText(m_benchDir / "prog_05.43"), ReadText(TESTPROG_OLD));
    const std::string started = "Запущено обновление prog v05.43  на v05.44.";
    EXPECT_TRUE(WaitUntil([&] { return ServerLog().find(started) != std::string::npos; }, 10000))
        << ServerLog();
    // Each step notes its line when it returns, and the first returns only after it has started
    // the second: on a busy machine the second's line is often written first. Both are waited for.
    const std::string first = "05.44 handoff=1 args=\"/update1\" \"prog\"";
    const std::string second = "05.44 handoff=2";
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::string text = ReadText(marker);
            return text.find(first) != std::string::npos && text.find(second) != std::string::npos;
        },
        30000))
        << ReadText(marker);
    EXPECT_EQ(ReadText(m_benchDir / "prog"), ReadText(TESTPROG_NEW));
    ::unsetenv("UPDATE_TESTPROG_MARKER");
    ::unsetenv("UPDATE_TESTPROG_SETTINGS");
}

TEST_F(UpdateWindow, AFailedUpdateIsSaidAndTheRunningVersionStays) {
    // The 05.43 build published as 05.44: it downloads, but answers the wrong version.
    Serve(TESTPROG_OLD, "05.44");
    auto service = Service();
    service->StartCheck();
    CMainFrame frame(*m_bench, m_settings);
    frame.show();
    CUpdateOffer* offer = AttachUpdateService(frame, *service, m_settings, 50);
    QMessageBox* box = WaitQuestion(*offer);
    ASSERT_NE(box, nullptr);
    QSignalSpy finished(offer, &CUpdateOffer::finished);
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(15000));
    EXPECT_EQ(finished.at(0).at(0).toInt(), -1);
    auto* failed = frame.findChild<QMessageBox*>("updateFailed");
    ASSERT_NE(failed, nullptr);
    EXPECT_TRUE(failed->isVisible());
    EXPECT_TRUE(failed->text().contains("Текущая версия 05.43 продолжает работу"));
    EXPECT_FALSE(failed->detailedText().isEmpty());
    EXPECT_TRUE(frame.isVisible());
    QTest::qWait(50);
    EXPECT_EQ(offer->Progress(), nullptr);
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
}

TEST_F(UpdateWindow, PollingFollowsTheCheckStateAndWaitsForTheExperiment) {
    // Nothing newer on the server, and a server nobody answers on: polling stops, nobody asked.
    for (const bool reachable : {true, false}) {
        if (reachable) Serve(TESTPROG_NEW, "05.43");
        auto service = Service();
        if (!reachable) service->SetServerName("127.0.0.1", FreePort());
        QWidget window;
        CUpdateOffer offer(*service, {}, &window);
        offer.Start(20);
        service->StartCheck();
        ASSERT_TRUE(WaitUntil([&] { return !offer.Polling(); }, 5000));
        EXPECT_EQ(service->CheckState(), CUpdateService::kNothing);
        EXPECT_EQ(offer.CurrentStage(), CUpdateOffer::Stage::Idle);
        EXPECT_EQ(offer.Question(), nullptr);
        m_server.Stop();
    }
    // No server configured: no check, the state stays 0 and polling goes on.
    {
        auto service = Service();
        service->SetServerName("");
        QWidget window;
        CUpdateOffer offer(*service, {}, &window);
        offer.Start(20);
        QTest::qWait(150);
        EXPECT_TRUE(offer.Polling());
        EXPECT_EQ(offer.CurrentStage(), CUpdateOffer::Stage::Polling);
    }
    // A newer version while an experiment runs: asked only after it has stopped.
    Serve(TESTPROG_NEW, "06.00");
    auto service = Service();
    bool running = true;
    QWidget window;
    CUpdateOffer offer(
        *service, [&running] { return running; }, &window);
    service->StartCheck();
    ASSERT_TRUE(
        WaitUntil([&] { return service->CheckState() == int(CUpdateService::kNewer); }, 5000));
    for (int i = 0; i < 3; ++i) offer.Poll();
    QTest::qWait(100);
    EXPECT_EQ(offer.CurrentStage(), CUpdateOffer::Stage::Polling);
    EXPECT_EQ(offer.Question(), nullptr);
    running = false;
    // Nor while the operator has a dialog open.
    {
        QDialog dialog(&window);
        dialog.open();
        offer.Poll();
        QTest::qWait(100);
        EXPECT_EQ(offer.Question(), nullptr);
        EXPECT_EQ(offer.CurrentStage(), CUpdateOffer::Stage::Polling);
    }
    offer.Poll();
    ASSERT_NE(WaitQuestion(offer), nullptr);
    EXPECT_TRUE(offer.Question()->text().contains("новая версия программы 06.00"));
    offer.Question()->button(QMessageBox::No)->click();
    EXPECT_EQ(offer.Result(), -1);
}

TEST_F(UpdateWindow, AboutBoxShowsTheVersionAndSavesTheServer) {
    Serve(TESTPROG_NEW, "05.44");
    auto service = Service();
    service->SetServerName("");  // no server at start: nothing is checked
    CMainFrame frame(*m_bench, m_settings);
    frame.show();
    CUpdateOffer* offer = AttachUpdateService(frame, *service, m_settings, 50);
    QAction* about = frame.Context().commands->Get(cmd::About);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), QString("О программе..."));
    bool inHelpMenu = false;
    for (QAction* menu : frame.menuBar()->actions())
        if (menu->text() == QString("&Справка") && menu->menu()->actions().contains(about))
            inHelpMenu = true;
    EXPECT_TRUE(inHelpMenu);

    about->trigger();
    auto* dialog = frame.findChild<CAboutDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->findChild<QLabel*>("versionLabel")->text().contains("05.43"));
    EXPECT_EQ(dialog->ServerEdit()->text(), QString());
    EXPECT_FALSE(dialog->ServerEdit()->accessibleName().isEmpty());

    // A port out of range is refused where it was typed; nothing is stored.
    dialog->ServerEdit()->setText("127.0.0.1:99999");
    QTest::mouseClick(dialog->Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->ErrorLabel()->isVisible());
    EXPECT_FALSE(m_settings.Contains("UpdateVersionSettings", "Server"));

    // A good one is stored, used at once, and the check that found nothing before runs again.
    const QString address = QString("127.0.0.1:%1").arg(m_server.Port());
    dialog->ServerEdit()->setText(" " + address + " ");
    QTest::mouseClick(dialog->Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return frame.findChild<CAboutDialog*>() == nullptr; }, 5000));
    EXPECT_EQ(m_settings.GetString("UpdateVersionSettings", "Server", ""), address.toStdString());
    EXPECT_EQ(UpdateServerFromSettings(m_settings), address.toStdString());
    EXPECT_EQ(service->ServerName(), "127.0.0.1");
    ASSERT_NE(WaitQuestion(*offer), nullptr);
    EXPECT_TRUE(offer->Question()->text().contains("новая версия программы 05.44"));
    offer->Question()->button(QMessageBox::No)->click();

    // Opened again, it shows the stored server.
    about->trigger();
    dialog = frame.findChild<CAboutDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->ServerEdit()->text(), address);
    dialog->reject();
}

// The old program asks the downloaded one for its version before anything is replaced: the
// window program must answer without a display, with the version its own check compares.
TEST(WindowProgram, AnswersItsVersionWithoutADisplayAndEndsABrokenHandOff) {
    const fs::path home =
        fs::temp_directory_path() / ("updateui-home-" + std::to_string(::getpid()));
    fs::create_directories(home);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(home.string()));
    env.insert("DRAVMER_LOG_DIR", QString::fromStdString(home.string()));

    QProcess version;
    version.setProcessEnvironment(env);
    version.start(DRAVMER_PROGRAM, {"--version"});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.exitCode(), 0);
    CMemorySettingsStore store;
    CUpdateService service(BenchUpdateConfig(store));
    EXPECT_EQ(service.VersionText(), "05.43");
    // "NAME MM.mm" as every program of the bench answers; the update check finds the version in it.
    EXPECT_EQ(version.readAllStandardOutput().trimmed().toStdString(),
              "dravmer " + service.VersionText());

    // The help speaks the language the window would: English for an English locale, Russian
    // otherwise.
    for (const auto& [locale, words] :
         {std::pair<QString, QString>{"en_US.UTF-8", "Show this help."},
          std::pair<QString, QString>{"ru_RU.UTF-8", "Показать эту справку."},
          std::pair<QString, QString>{"C", "Показать эту справку."}}) {
        QProcessEnvironment localized = env;
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) localized.remove(name);
        localized.insert("LANG", locale);
        QProcess help;
        help.setProcessEnvironment(localized);
        help.start(DRAVMER_PROGRAM, {"--help"});
        ASSERT_TRUE(help.waitForFinished(10000));
        EXPECT_TRUE(QString::fromUtf8(help.readAllStandardOutput()).contains(words))
            << locale.toStdString();
    }

    // A hand-off step whose file is missing ends the program at once, before any window.
    QProcess broken;
    broken.setProcessEnvironment(env);
    broken.start(DRAVMER_PROGRAM, {"/update1", "no-such-program"});
    ASSERT_TRUE(broken.waitForFinished(10000));
    EXPECT_EQ(broken.exitCode(), 1);
    EXPECT_TRUE(broken.readAllStandardError().isEmpty());

    // The last step of a hand-off started by a window run with --config FILE takes the command
    // line back from FILE, not from the user's own settings.
    const fs::path own = home / "lab.conf";
    const auto storeCommandLine = [](const fs::path& file, const char* commandLine) {
        QSettings ini(QString::fromStdString(file.string()), QSettings::IniFormat);
        ini.setValue("UpdateVersion/CmdLine", QString::fromUtf8(commandLine));
        ini.sync();
    };
    storeCommandLine(home / "KorvelDevice" / "Dravmer.ini", "\"--help\"");
    storeCommandLine(own, "\"--version\"");
    QProcess last;
    last.setProcessEnvironment(env);
    last.start(DRAVMER_PROGRAM,
               {"/update2", "gone", "--config", QString::fromStdString(own.string())});
    ASSERT_TRUE(last.waitForFinished(10000));
    EXPECT_EQ(last.exitCode(), 0);
    EXPECT_EQ(last.readAllStandardOutput().trimmed().toStdString(),
              "dravmer " + service.VersionText());
    fs::remove_all(home);
}

}  // namespace
}  // namespace dravmer::ui
