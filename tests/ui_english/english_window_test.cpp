// The window in English: every menu, command, page, settings page, dialog and message box the
// operator can reach shows no Cyrillic, parameter names aside. Translators are process-wide, so
// the English runs have a test program of their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "ui/command_table.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/main_frame.h"
#include "ui/qt_translations.h"
#include "ui/view_state.h"
#include "ui/window_rig.h"
#include "update/update_service.h"
#include "visible_texts.h"

namespace dravmer::ui {
namespace {

using test::CTextCollector;
using test::WaitFor;

// The one Russian word an English window shows: the language's own name in the language list.
const std::set<QString> kAllowed = {QStringLiteral("Русский")};

void English() {
    QApplication& app = test::App();
    ASSERT_EQ(InstallTranslations(app, Language::English), TranslationResult::Installed);
    ASSERT_EQ(UiLanguage(), Language::English);
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

// Answers every modal window that opens while a command runs (its texts are collected first),
// so a command that runs a dialog of its own returns.
class CModalWatch {
public:
    explicit CModalWatch(CTextCollector& texts) : m_texts(texts) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Answer(); });
        m_timer.start(50);
    }
    int Seen() const { return m_seen; }

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == m_last) return;
        m_last = modal;
        ++m_seen;
        m_texts.AddWidget(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        } else {
            modal->close();
        }
    }

    CTextCollector& m_texts;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    int m_seen = 0;
};

// Every top-level window besides the frame that is open now: its texts, then it is closed.
void CollectAndCloseOthers(CTextCollector& texts, QWidget* frame) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == frame || !w->isVisible() || qobject_cast<QMenu*>(w)) continue;
        texts.AddWidget(w);
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
    }
}

TEST(EnglishWindow, EveryPageCommandAndDialogSpeaksEnglish) {
    English();
    test::CWindowRig rig({{900002, 3, 200001}});
    ASSERT_TRUE(rig.ok);
    CMainFrame& frame = *rig.frame;
    // The About box and the version offer come with the update service.
    SUpdateConfig config;
    config.executable = rig.dir.path().toStdString() + "/dravmer";
    config.fileName = "dravmer";
    CUpdateService updates(config);
    updates.SetLanguage(Language::English);
    frame.SetUpdateService(&updates);
    frame.resize(1280, 800);
    frame.show();
    CTextCollector texts;
    CModalWatch watch(texts);

    // A start with no devices is refused with the engine's own message.
    frame.ToggleExperiment();
    ASSERT_TRUE(WaitFor([&] { return frame.BusyWith() == CMainFrame::Busy::None; }));
    WaitFor([] { return false; }, 300);
    if (frame.LastMessage()) texts.AddWidget(frame.LastMessage());
    EXPECT_TRUE(texts.Contains(QStringLiteral("The device list is empty."))) << "said in English";

    // The device search fills the list page with its progress.
    frame.Pages()->setCurrentIndex(6);
    bool searched = false;
    QObject::connect(&frame, &CMainFrame::searchFinished, [&](int) { searched = true; });
    // The progress line says each find; the texts it went through are checked too.
    QObject::connect(&frame.Events(), &CBenchEvents::searchProgress,
                     [&](int, int, quint32, const QString& text) {
                         texts.Add(QStringLiteral("search progress"), text);
                     });
    frame.StartSearch();
    ASSERT_TRUE(WaitFor([&] { return searched; }, 120000));
    texts.AddWidget(&frame);
    EXPECT_TRUE(texts.Contains(QStringLiteral("devices found in total."))) << "the search's words";
    EXPECT_TRUE(texts.Contains(QStringLiteral("Found: 200001"))) << "the search's words";

    // Every page with an experiment running, then stopped.
    int started = -1;
    QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { started = r; });
    frame.ToggleExperiment();
    ASSERT_TRUE(WaitFor([&] { return started >= 0; }, 30000));
    ASSERT_EQ(started, static_cast<int>(StartResult::Started));
    WaitFor([] { return false; }, 2500);
    frame.TickStatusTexts();
    frame.TickActivity();
    for (int page = 0; page < frame.Pages()->count(); ++page) {
        frame.Pages()->setCurrentIndex(page);
        WaitFor([] { return false; }, 300);
        texts.AddWidget(&frame);
    }
    bool stopped = false;
    QObject::connect(&frame, &CMainFrame::stopFinished, [&](double) { stopped = true; });
    frame.ToggleExperiment();
    ASSERT_TRUE(WaitFor([&] { return stopped; }, 20000));

    // Every settings page.
    {
        CSettingsSheet sheet(frame.Context(), true, &frame);
        sheet.show();
        for (int page = 0; page < sheet.PageCount(); ++page) {
            sheet.SelectPageAt(page);
            WaitFor([] { return false; }, 50);
            texts.AddWidget(&sheet);
        }
    }

    // Every command, on every page: what it opens is read and closed.
    for (int page = 0; page < frame.Pages()->count(); ++page) {
        frame.Pages()->setCurrentIndex(page);
        for (int id : frame.Commands().Ids()) {
            // Starting and searching again add nothing the walk has not seen.
            if (id == cmd::StartExperiment || id == cmd::StopExperiment ||
                id == cmd::SearchDevices)
                continue;
            QAction* action = frame.Commands().Get(id);
            if (!action || !action->isEnabled()) continue;
            action->trigger();
            WaitFor([&] { return frame.BusyWith() == CMainFrame::Busy::None; }, 30000);
            WaitFor([] { return false; }, 150);
            CollectAndCloseOthers(texts, &frame);
        }
    }
    for (QAction* menu : frame.menuBar()->actions())
        if (menu->menu())
            for (QAction* a : menu->menu()->actions())
                if (a->text() == QStringLiteral("About...")) {
                    a->trigger();
                    WaitFor([] { return false; }, 200);
                    CollectAndCloseOthers(texts, &frame);
                }
    texts.AddWidget(&frame);
    EXPECT_GT(watch.Seen(), 0) << "the modal dialogs of the commands were seen";
    EXPECT_GT(texts.Count(), 500u);
    EXPECT_TRUE(texts.Contains(QStringLiteral("&Experiment")));
    EXPECT_TRUE(texts.Contains(QStringLiteral("Port 1 settings")));
    EXPECT_TRUE(texts.Contains(QStringLiteral("About Dravmer")));
    const auto cyrillic = texts.Cyrillic(kAllowed);
    EXPECT_TRUE(cyrillic.empty()) << cyrillic.size() << " texts in Cyrillic:\n" << Lines(cyrillic);
}

TEST(EnglishWindow, QtsOwnButtonsAreEnglishAndTheSettingsRefusalIsEnglish) {
    English();
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QString("Cancel"));
    test::CWindowRig rig({});
    CSettingsSheet sheet(rig.frame->Context(), false, rig.frame.get());
    sheet.show();
    auto* period = sheet.findChild<QLineEdit*>();
    ASSERT_NE(period, nullptr);
    CTextCollector texts;
    // A poll period the bench cannot use is refused in English.
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                texts.AddWidget(box);
                box->accept();
            }
    });
    for (QLineEdit* edit : sheet.findChildren<QLineEdit*>())
        if (edit->accessibleName() == QStringLiteral("Poll period, s")) edit->setText("0");
    sheet.accept();
    WaitFor([] { return false; }, 100);
    EXPECT_TRUE(texts.Contains(QStringLiteral("decimal numbers from 0.01 to 3600"))) << "refused";
    EXPECT_TRUE(texts.Cyrillic(kAllowed).empty()) << Lines(texts.Cyrillic(kAllowed));
}

}  // namespace
}  // namespace dravmer::ui
