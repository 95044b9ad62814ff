// The window's side of a download under way: Cancel, Escape and closing end it and remove it,
// and a release that arrives while an experiment runs waits for the stop and asks again.
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <cstdlib>

#include "ui/main_frame.h"
#include "update/release_fake.h"
#include "update_ui/update_window.h"

namespace dravmer::ui {
namespace {

// The new build of the test program as release 05.44 of "prog", held back after its first chunk.
test::CReleaseFake::SFile NewRelease() {
    std::ifstream in(TESTPROG_NEW, std::ios::binary);
    test::CReleaseFake::SFile f;
    f.bytes.assign(std::istreambuf_iterator<char>(in), {});
    f.major = 5;
    f.minor = 44;
    return f;
}

QPushButton* CancelButton(QProgressDialog* progress) {
    for (QPushButton* b : progress->findChildren<QPushButton*>())
        if (b->text() == QString("Отмена")) return b;
    return nullptr;
}

TEST_F(UpdateWindow, CancelEscapeAndClosingEndTheDownloadAndRemoveIt) {
    enum class Way { CancelButton, Escape, CloseDialog, CloseWindow, DestroyWindow };
    for (const Way way :
         {Way::CancelButton, Way::Escape, Way::CloseDialog, Way::CloseWindow, Way::DestroyWindow}) {
        SCOPED_TRACE(static_cast<int>(way));
        test::CReleaseFake fake;
        fake.Add("prog", NewRelease());
        fake.PauseAfterChunks(1);
        auto service = Service(fake.Port());
        service->StartCheck();
        auto frame = std::make_unique<CMainFrame>(*m_bench, m_settings);
        frame->show();
        CUpdateOffer* offer = AttachUpdateService(*frame, *service, m_settings, 50);
        QMessageBox* box = WaitQuestion(*offer);
        ASSERT_NE(box, nullptr);
        QSignalSpy finished(offer, &CUpdateOffer::finished);
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
        QPointer<QProgressDialog> progress = offer->Progress();
        ASSERT_NE(progress, nullptr);
        QPushButton* cancel = CancelButton(progress);
        ASSERT_NE(cancel, nullptr);
        // The server holds the rest back: the download is under way.
        ASSERT_TRUE(WaitUntil([&] { return fake.Paused(); }, 10000));
        EXPECT_EQ(offer->CurrentStage(), CUpdateOffer::Stage::Downloading);
        switch (way) {
            case Way::CancelButton:
                QTest::mouseClick(cancel, Qt::LeftButton);
                break;
            case Way::Escape:
                QTest::keyClick(progress, Qt::Key_Escape);
                break;
            case Way::CloseDialog:
                progress->close();
                break;
            case Way::CloseWindow:
                frame->close();
                // The window waits for nothing the server does: the download is over when
                // close returns, and nothing is left running to take the program's place later.
                EXPECT_EQ(finished.size(), 1);
                EXPECT_FALSE(frame->isVisible());
                break;
            case Way::DestroyWindow:
                // The program ends without the window's close (its event loop was quit): the
                // window goes with the download, and the partial file with it.
                frame.reset();
                EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kCancelled);
                EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
                continue;
        }
        ASSERT_TRUE(WaitUntil([&] { return finished.size() == 1; }, 10000));
        EXPECT_EQ(finished.at(0).at(0).toInt(), -1);
        EXPECT_EQ(offer->CurrentStage(), CUpdateOffer::Stage::Done);
        EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kCancelled);
        QTest::qWait(50);
        EXPECT_TRUE(progress.isNull() || !progress->isVisible());
        EXPECT_EQ(frame->findChild<QMessageBox*>("updateFailed"), nullptr)
            << "a cancel is the operator's own choice";
        EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
        EXPECT_EQ(ReadText(m_benchDir / "prog"), ReadText(TESTPROG_OLD));
        EXPECT_EQ(frame->isVisible(), way != Way::CloseWindow);
        // Not offered again in this run.
        offer->Poll();
        QTest::qWait(100);
        EXPECT_EQ(offer->Question(), nullptr);
        frame.reset();
    }
}

TEST_F(UpdateWindow, ReleaseThatArrivesDuringAnExperimentWaitsForTheStopAndAsksAgain) {
    // A started hand-off runs the test program, which does nothing without these.
    ::unsetenv("UPDATE_TESTPROG_MARKER");
    ::unsetenv("UPDATE_TESTPROG_SETTINGS");
    for (const bool install : {false, true}) {
        SCOPED_TRACE(install ? "installed" : "declined");
        test::CReleaseFake fake;
        fake.Add("prog", NewRelease());
        fake.PauseAfterChunks(1);
        auto service = Service(fake.Port());
        bool running = false;
        QWidget window;
        window.show();
        auto* offer = new CUpdateOffer(
            *service, [&running] { return running; }, &window);
        offer->Start(20);
        service->StartCheck();
        QMessageBox* box = WaitQuestion(*offer);
        ASSERT_NE(box, nullptr);
        QSignalSpy finished(offer, &CUpdateOffer::finished);
        box->button(QMessageBox::Yes)->click();
        ASSERT_TRUE(WaitUntil([&] { return fake.Paused(); }, 10000));
        running = true;  // the operator starts an experiment while the release comes
        fake.Resume();
        ASSERT_TRUE(WaitUntil(
            [&] { return offer->CurrentStage() == CUpdateOffer::Stage::WaitingForStop; }, 20000));
        // Downloaded and checked, and nothing more while the experiment runs.
        QTest::qWait(300);
        EXPECT_EQ(offer->CurrentStage(), CUpdateOffer::Stage::WaitingForStop);
        EXPECT_EQ(offer->Confirmation(), nullptr);
        EXPECT_EQ(offer->Progress(), nullptr);
        EXPECT_TRUE(finished.isEmpty());
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(BenchFiles(), (std::vector<std::string>{"prog", "prog_05.44"}));

        running = false;  // the experiment stops: asked again
        ASSERT_TRUE(WaitUntil([&] { return offer->Confirmation() != nullptr; }, 5000));
        QMessageBox* confirm = offer->Confirmation();
        EXPECT_EQ(confirm->windowTitle(), QString("Обновление версии"));
        EXPECT_TRUE(confirm->text().contains("Новая версия программы 05.44 загружена"))
            << confirm->text().toStdString();
        EXPECT_EQ(confirm->button(QMessageBox::Yes)->text(), QString("Да"));
        if (!install) {
            confirm->button(QMessageBox::No)->click();
            ASSERT_EQ(finished.size(), 1);
            EXPECT_EQ(finished.at(0).at(0).toInt(), -1);
            EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
            EXPECT_TRUE(window.isVisible());
            continue;
        }
        // Another experiment started before the answer: still not now.
        running = true;
        confirm->button(QMessageBox::Yes)->click();
        EXPECT_EQ(offer->CurrentStage(), CUpdateOffer::Stage::WaitingForStop);
        QTest::qWait(200);
        EXPECT_EQ(BenchFiles(), (std::vector<std::string>{"prog", "prog_05.44"}));
        running = false;
        ASSERT_TRUE(WaitUntil([&] { return offer->Confirmation() != nullptr; }, 5000));
        offer->Confirmation()->button(QMessageBox::Yes)->click();
        ASSERT_EQ(finished.size(), 1);
        EXPECT_EQ(finished.at(0).at(0).toInt(), 1);
        ASSERT_TRUE(WaitUntil([&] { return !window.isVisible(); }, 5000));
        // The hand-off started: the running version is kept under its versioned name.
        EXPECT_EQ(ReadText(m_benchDir / "prog_05.43"), ReadText(TESTPROG_OLD));
    }
}

// The progress dialog is window-modal, so its setValue runs the event loop once it has been
// shown. Reports and the download's end queued together: the end is handled inside a report's
// setValue, and the dialog it closes must still be there when that setValue returns.
TEST_F(UpdateWindow, DownloadThatEndsWhileItsLastReportIsShownLeavesTheDialogSound) {
    test::CReleaseFake fake;
    fake.Add("prog", NewRelease());
    fake.PauseAfterChunks(1);
    auto service = Service(fake.Port());
    QWidget window;
    window.show();
    bool running = false;
    auto* offer = new CUpdateOffer(
        *service, [&running] { return running; }, &window);
    offer->Start(20);
    service->StartCheck();
    QMessageBox* box = WaitQuestion(*offer);
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Yes)->click();
    QPointer<QProgressDialog> progress = offer->Progress();
    ASSERT_NE(progress, nullptr);
    // Deleted while the end is handled, it would be deleted under a setValue that then reads it.
    bool deletedWhileHandlingTheEnd = false;
    QObject::connect(progress, &QObject::destroyed, [&] {
        deletedWhileHandlingTheEnd = offer->CurrentStage() == CUpdateOffer::Stage::Downloading;
    });
    ASSERT_TRUE(WaitUntil([&] { return fake.Paused() && progress->isVisible(); }, 10000));
    QTest::qWait(50);  // the first chunk's report is shown
    running = true;    // the release then waits for the experiment's stop
    // The rest comes while the window is busy: every report and the end wait in the queue.
    // Something else posts to the window while each report is shown, as the engine's events do:
    // the loop that setValue runs then takes the queued reports and the end as well.
    QObject::connect(&offer->Worker(), &CBackgroundJob::progressed, &window,
                     [&window] { QMetaObject::invokeMethod(&window, [] {}, Qt::QueuedConnection); });
    fake.Resume();
    offer->Worker().Wait();
    ASSERT_TRUE(WaitUntil(
        [&] { return offer->CurrentStage() == CUpdateOffer::Stage::WaitingForStop; }, 10000));
    EXPECT_EQ(offer->Progress(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return progress.isNull(); }, 5000));
    EXPECT_FALSE(deletedWhileHandlingTheEnd);
    EXPECT_EQ(BenchFiles(), (std::vector<std::string>{"prog", "prog_05.44"}));
}

TEST_F(UpdateWindow, ReleaseRefusedForWantOfASignatureIsSaidAndNothingChanges) {
    Serve(TESTPROG_NEW, "05.44");  // published with its SHA-256, but never signed
    auto service = Service();
    service->SetPublicKey(std::string(64, 'c'));
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
    EXPECT_TRUE(failed->text().contains(UpdateRefusalText(EUpdateRefusal::kNoSignature)))
        << failed->text().toStdString();
    EXPECT_TRUE(failed->text().contains("Текущая версия 05.43 продолжает работу"));
    EXPECT_TRUE(failed->detailedText().contains("prog.sig"))
        << failed->detailedText().toStdString();
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
    EXPECT_TRUE(frame.isVisible());
}

// What the operator reads when a release is refused, for each cause the service names.
TEST(UpdateRefusal, EveryCauseIsSaidInItsOwnWords) {
    std::vector<QString> texts;
    for (int i = static_cast<int>(EUpdateRefusal::kCancelled);
         i <= static_cast<int>(EUpdateRefusal::kHandOff); ++i) {
        const QString text = UpdateRefusalText(static_cast<EUpdateRefusal>(i));
        EXPECT_FALSE(text.isEmpty()) << i;
        EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 0) << i;
        texts.push_back(text);
    }
    EXPECT_TRUE(UpdateRefusalText(EUpdateRefusal::kTooLarge).contains("512 МБ"));
    EXPECT_TRUE(UpdateRefusalText(EUpdateRefusal::kNoChecksum).contains("SHA-256"));
    EXPECT_TRUE(
        UpdateRefusalText(EUpdateRefusal::kBadKey).contains("UpdateVersionSettings/PublicKey"));
}

}  // namespace
}  // namespace dravmer::ui
