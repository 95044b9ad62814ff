#include "ui/main_frame.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

#include "dravmer_version.h"
#include "ui/command_table.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/view_state.h"
#include "ui/widgets/status_panes.h"
#include "ui/window_placement.h"
#include "update/update_service.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

struct Frame {
    CMemorySettingsStore settings;
    std::unique_ptr<CBench> bench;
    std::unique_ptr<CMainFrame> frame;
    Frame() {
        test::App();
        bench = std::make_unique<CBench>(settings);
        bench->LoadSettings();
        frame = std::make_unique<CMainFrame>(*bench, settings);
    }
    void SetDevices(std::initializer_list<std::uint32_t> addresses) {
        std::string list, ports, enabled;
        for (auto a : addresses) {
            list += std::to_string(a) + ";";
            ports += "0;";
            enabled += "1;";
        }
        settings.SetString("DeviceList", "List", list);
        settings.SetString("DeviceList", "PortList", ports);
        settings.SetString("DeviceList", "EnableList", enabled);
        bench->LoadSettings();
        frame->RefillDeviceBox();
    }
};

TEST(MainFrame, TitleTabsPlacementAndMinimumSize) {
    Frame f;
    f.settings.SetInt("WindowPos", "cx", 700);
    f.settings.SetInt("WindowPos", "x", 30);
    CMainFrame frame(*f.bench, f.settings);
    EXPECT_EQ(frame.windowTitle(), QString("Dravmer v.05.43"));
    ASSERT_EQ(frame.Pages()->count(), 7);
    EXPECT_EQ(frame.Pages()->tabText(6), QString("Список приборов"));
    EXPECT_EQ(frame.width(), 700);
    frame.resize(300, 200);
    EXPECT_EQ(frame.width(), CMainFrame::kMinWidth);
    EXPECT_EQ(frame.height(), CMainFrame::kMinHeight);
    frame.resize(820, 610);
    frame.close();
    EXPECT_EQ(f.settings.GetInt("WindowPos", "cx", 0), 820);
    EXPECT_EQ(f.settings.GetInt("WindowPos", "cy", 0), 610);
    EXPECT_EQ(f.settings.GetInt("WindowPos", "x", 0), 30);
}

TEST(MainFrame, MinimisedWindowKeepsLastNormalPlacement) {
    Frame f;
    f.frame->resize(900, 600);
    f.frame->show();
    f.frame->close();
    ASSERT_EQ(f.settings.GetInt("WindowPos", "cx", 0), 900);
    f.frame->show();
    f.frame->resize(640, 480);
    f.frame->showMinimized();
    f.frame->close();
    // Closing while minimised writes nothing: the last normal placement stays.
    EXPECT_EQ(f.settings.GetInt("WindowPos", "cx", 0), 900);
    EXPECT_EQ(f.settings.GetInt("WindowPos", "showCmd", 0), 1);
}

TEST(MainFrame, PlacementDoesNotCreepWhenClosedMaximised) {
    Frame f;
    f.frame.reset();
    f.settings.SetInt("WindowPos", "x", 100);
    f.settings.SetInt("WindowPos", "y", 120);
    f.settings.SetInt("WindowPos", "cx", 800);
    f.settings.SetInt("WindowPos", "cy", 600);
    f.settings.SetInt("WindowPos", "showCmd", 1);
    QRect first;
    QSize firstSize;
    // Opened as the program opens it (maximised when closed so), maximised by the operator the
    // first time, closed maximised each time.
    for (int round = 0; round < 4; ++round) {
        CMainFrame frame(*f.bench, f.settings);
        if (f.settings.GetInt("WindowPos", "showCmd", 1) == 3) {
            frame.showMaximized();
        } else {
            frame.show();
            ASSERT_TRUE(test::WaitFor([&] { return frame.isVisible(); }, 5000));
            first = frame.frameGeometry();
            firstSize = frame.size();
            frame.showMaximized();
        }
        ASSERT_TRUE(test::WaitFor([&] { return frame.isMaximized(); }, 5000));
        QCoreApplication::processEvents();
        frame.close();
        EXPECT_EQ(f.settings.GetInt("WindowPos", "showCmd", 0), 3);
        EXPECT_EQ(f.settings.GetInt("WindowPos", "x", 0), first.x()) << "round " << round;
        EXPECT_EQ(f.settings.GetInt("WindowPos", "y", 0), first.y()) << "round " << round;
        EXPECT_EQ(f.settings.GetInt("WindowPos", "cx", 0), firstSize.width());
        EXPECT_EQ(f.settings.GetInt("WindowPos", "cy", 0), firstSize.height());
    }
    // Back to normal, the window stands where it stood before the first maximising.
    f.settings.SetInt("WindowPos", "showCmd", 1);
    CMainFrame frame(*f.bench, f.settings);
    frame.show();
    ASSERT_TRUE(test::WaitFor([&] { return frame.isVisible(); }, 5000));
    EXPECT_EQ(frame.frameGeometry().topLeft(), first.topLeft());
    EXPECT_EQ(frame.size(), firstSize);
}

TEST(MainFrame, FirstStartFitsTheScreenRatherThanTheMinimum) {
    const QRect screen(0, 0, 1280, 800);
    const QSize minimum(CMainFrame::kMinWidth, CMainFrame::kMinHeight);
    const QRect r = FirstStartGeometry(screen, kFirstStartShare, minimum);
    EXPECT_EQ(r.size(), QSize(1024, 640));
    EXPECT_EQ(r.center(), screen.center());
    // A small screen: never below the minimum, the corner in sight.
    const QRect small = FirstStartGeometry(QRect(0, 0, 600, 420), kFirstStartShare, minimum);
    EXPECT_EQ(small.size(), minimum);
    EXPECT_GE(small.left(), 0);
    EXPECT_GE(small.top(), 0);
    // A wide second screen to the left.
    const QRect left = FirstStartGeometry(QRect(-1920, 0, 1920, 1080), 0.9, minimum);
    EXPECT_TRUE(QRect(-1920, 0, 1920, 1080).contains(left));

    // Without a saved placement the window takes that share of its screen.
    Frame f;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize expected = FirstStartGeometry(available, kFirstStartShare, minimum).size();
    EXPECT_EQ(f.frame->size(), expected);
    EXPECT_GT(f.frame->width(), CMainFrame::kMinWidth);
}

TEST(MainFrame, EveryCommandInTheMenusHandledOnesEnabled) {
    Frame f;
    CCommandTable& commands = f.frame->Commands();
    QList<QAction*> inMenus;
    for (QAction* menu : f.frame->menuBar()->actions()) {
        for (QAction* a : menu->menu()->actions()) {
            inMenus << a;
            if (a->menu()) inMenus << a->menu()->actions();
        }
    }
    const std::vector<int> ids = commands.Ids();
    // The program's 46, "Экспорт в CSV…", "Сохранить график в файл…" and "О программе...".
    EXPECT_EQ(ids.size(), 49u);
    for (int id : ids) {
        QAction* action = commands.Get(id);
        ASSERT_NE(action, nullptr);
        EXPECT_TRUE(inMenus.contains(action)) << id << " " << action->text().toStdString();
        EXPECT_FALSE(action->text().isEmpty());
    }
    EXPECT_EQ(commands.Get(12345), nullptr);
    EXPECT_EQ(commands.Get(cmd::StartExperiment)->text(), QString("Запустить эксперимент"));
    EXPECT_TRUE(commands.Get(cmd::StartExperiment)->isEnabled());
    EXPECT_TRUE(commands.Get(cmd::SearchDevices)->isEnabled());
    EXPECT_FALSE(commands.Get(cmd::StopExperiment)->isEnabled());
    // The graph page handles the graph commands; moving the selection waits for a selection.
    EXPECT_TRUE(commands.Get(cmd::ZoomInY)->isEnabled());
    EXPECT_TRUE(commands.Get(cmd::LoadAxes)->isEnabled());
    EXPECT_FALSE(commands.Get(cmd::MoveSelectionForward)->isEnabled());
    // The data pages handle the data commands.
    EXPECT_TRUE(commands.Get(cmd::LoadExperiment)->isEnabled());
    EXPECT_TRUE(commands.Get(cmd::CopyStatistics)->isEnabled());
    EXPECT_TRUE(commands.Get(cmd::FindGvErrors)->isEnabled());
    // The frequent commands are on the tool bar with an icon.
    auto* bar = f.frame->findChild<QToolBar*>("mainToolBar");
    ASSERT_NE(bar, nullptr);
    for (int id : {cmd::StartExperiment, cmd::StopExperiment, cmd::SearchDevices}) {
        EXPECT_TRUE(bar->actions().contains(commands.Get(id)));
        EXPECT_FALSE(commands.Get(id)->icon().pixmap(22).toImage().isNull());
    }
}

TEST(MainFrame, ACommandHasOneHandlerAndTheAboutBoxNeedsNoUpdateService) {
    Frame f;
    CCommandTable& commands = f.frame->Commands();
    // A handler registered later replaces the earlier one: a trigger runs it once, alone.
    int first = 0, second = 0;
    QObject owner;
    QAction* fit = commands.Handle(cmd::FitGraph, &owner, [&] { ++first; });
    ASSERT_NE(fit, nullptr);
    EXPECT_TRUE(commands.Handled(cmd::FitGraph));
    commands.Handle(cmd::FitGraph, &owner, [&] { ++second; });
    fit->trigger();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(commands.Handle(12345, &owner, [] {}), nullptr);

    // "О программе..." is in the help menu from the start and opens the box with the version;
    // the server typed there is stored.
    QAction* about = commands.Get(cmd::About);
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isEnabled());
    bool inHelpMenu = false;
    for (QAction* menu : f.frame->menuBar()->actions())
        if (menu->text() == QString("&Справка") && menu->menu()->actions().contains(about))
            inHelpMenu = true;
    EXPECT_TRUE(inHelpMenu);
    about->trigger();
    auto* box = f.frame->findChild<CAboutDialog*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->findChild<QLabel*>("versionLabel")->text().contains(kProgramVersion));
    box->ServerEdit()->setText("192.0.2.7:34001");
    box->accept();
    EXPECT_EQ(f.settings.GetString("UpdateVersionSettings", "Server", ""), "192.0.2.7:34001");
}

TEST(MainFrame, StartOnEmptyListIsRefusedWithTheMessage) {
    Frame f;
    f.frame->ToggleExperiment();
    ASSERT_NE(f.frame->LastMessage(), nullptr);
    EXPECT_EQ(f.frame->LastMessage()->text(), QString("Список приборов пуст."));
    EXPECT_EQ(f.frame->LastMessage()->windowTitle(), QString("Ошибка"));
    EXPECT_EQ(f.frame->BusyWith(), CMainFrame::Busy::None);
    EXPECT_FALSE(f.bench->IsRunning());
}

TEST(MainFrame, EngineErrorsJoinTheBoxOnScreen) {
    Frame f;
    emit f.frame->Events().error("first", -1);
    QMessageBox* box = f.frame->LastMessage();
    ASSERT_NE(box, nullptr);
    emit f.frame->Events().error("second", -1);
    EXPECT_EQ(f.frame->LastMessage(), box);
    EXPECT_EQ(box->text(), QString("first\nsecond"));
    box->accept();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    emit f.frame->Events().error("third", -1);
    ASSERT_NE(f.frame->LastMessage(), nullptr);
    EXPECT_EQ(f.frame->LastMessage()->text(), QString("third"));
}

// A settings file that cannot be written.
class CFailingStore : public CMemorySettingsStore {
public:
    std::optional<std::string> Status(Language) const override { return failure; }
    std::optional<std::string> failure;
};

TEST(MainFrame, SettingsFileFailureIsToldOnce) {
    test::App();
    CFailingStore store;
    CBench bench(store);
    bench.LoadSettings();
    CMainFrame frame(bench, store);
    frame.ShowSettingsStatus();
    EXPECT_EQ(frame.LastMessage(), nullptr);
    store.failure = "Dravmer.conf: запись запрещена";
    frame.ShowSettingsStatus();
    ASSERT_NE(frame.LastMessage(), nullptr);
    EXPECT_EQ(frame.LastMessage()->text(), QString("Dravmer.conf: запись запрещена"));
    QMessageBox* first = frame.LastMessage();
    frame.ShowSettingsStatus();
    EXPECT_EQ(frame.LastMessage(), first);
}

TEST(MainFrame, UpdateCheckEndsWhenNothingIsOffered) {
    Frame f;
    EXPECT_FALSE(f.frame->UpdateCheckPending());
    SUpdateConfig config;
    config.settings = &f.settings;
    CUpdateService service(config);
    service.SetServerName("127.0.0.1", 1);  // nothing listens there
    service.StartCheck();
    f.frame->SetUpdateService(&service);
    EXPECT_TRUE(f.frame->UpdateCheckPending());
    ASSERT_TRUE(test::WaitFor([&] { return service.CheckState() == CUpdateService::kNothing; }, 10000));
    f.frame->TickUpdateCheck();
    EXPECT_FALSE(f.frame->UpdateCheckPending());
    EXPECT_EQ(f.frame->BusyWith(), CMainFrame::Busy::None);
    f.frame.reset();
}

TEST(MainFrame, DeviceBoxSelectsFirstEntryWithTheAddress) {
    Frame f;
    f.SetDevices({11, 22, 22, 33});
    QComboBox* box = f.frame->Commands().DeviceBox();
    ASSERT_EQ(box->count(), 4);
    EXPECT_EQ(box->itemText(1), QString("22"));
    EXPECT_EQ(f.frame->View().CurrentDevice(), 0);
    int signalled = -1;
    QObject::connect(&f.frame->View(), &CViewState::currentDeviceChanged,
                     [&](int index) { signalled = index; });
    box->setCurrentIndex(2);
    emit box->activated(2);
    // The second 22 is the same address as the first: the first entry becomes current.
    EXPECT_EQ(f.frame->View().CurrentDevice(), 1);
    EXPECT_EQ(signalled, 1);
    box->setCurrentIndex(3);
    emit box->activated(3);
    EXPECT_EQ(f.frame->View().CurrentDevice(), 3);
}

TEST(MainFrame, CurveBoxReportsIndexMinusOne) {
    Frame f;
    QComboBox* box = f.frame->Commands().CurveBox();
    ASSERT_EQ(box->count(), 1);
    EXPECT_EQ(box->itemText(0), QString("all"));
    box->addItem("1");
    box->addItem("2");
    QList<int> seen;
    QObject::connect(&f.frame->Commands(), &CCommandTable::curveBoxChanged,
                     [&](int c) { seen << c; });
    emit box->activated(2);
    emit box->activated(0);
    EXPECT_EQ(seen, (QList<int>{1, -1}));
}

TEST(MainFrame, StatusPanesTextSplitAndActivityIcons) {
    Frame f;
    CStatusPanes& panes = f.frame->Panes();
    panes.SetText(1, "COM1,9600\nline tip");
    EXPECT_EQ(panes.Pane(1)->text(), QString("COM1,9600"));
    EXPECT_EQ(panes.Pane(1)->toolTip(), QString("line tip"));
    EXPECT_EQ(panes.Pane(12)->toolTip(), QString("Диапазон статистики"));
    // No port is open in a bare store: every activity pane shows state 4.
    f.frame->TickActivity();
    for (int p = 0; p < 4; ++p) EXPECT_EQ(panes.Activity(p), 4);
    EXPECT_FALSE(panes.Pane(0)->pixmap().isNull());
}

// What the accessibility bus reads of a pane: its name and description.
QString AccessibleText(QWidget* w, QAccessible::Text kind) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(kind) : QString();
}

TEST(MainFrame, StatusPanesExposeTheirValuesToTheAccessibilityBus) {
    Frame f;
    CStatusPanes& panes = f.frame->Panes();
    f.frame->TickActivity();
    f.frame->TickStatusTexts();
    for (int p = 0; p < 4; ++p) {
        // The line's parameters as shown, after the pane's label.
        QLabel* link = panes.Pane(CStatusPanes::LinkPane(p));
        ASSERT_FALSE(link->text().isEmpty());
        EXPECT_EQ(AccessibleText(link, QAccessible::Name),
                  QString("Параметры связи, порт %1: %2").arg(p + 1).arg(link->text()));
        EXPECT_EQ(AccessibleText(link, QAccessible::Description), link->text());
        QLabel* load = panes.Pane(CStatusPanes::LoadPane(p));
        EXPECT_EQ(AccessibleText(load, QAccessible::Name),
                  QString("Загрузка порта %1: %2").arg(p + 1).arg(load->text()));
        EXPECT_EQ(AccessibleText(panes.Pane(CStatusPanes::ActivityPane(p)), QAccessible::Name),
                  QString("Индикатор передачи данных, порт %1: порт не открыт").arg(p + 1));
    }
    // A new value replaces the old one at once.
    panes.SetText(CStatusPanes::LinkPane(1), "COM2,115200,N,8,1\nподсказка");
    EXPECT_EQ(AccessibleText(panes.Pane(4), QAccessible::Name),
              QString("Параметры связи, порт 2: COM2,115200,N,8,1"));
    panes.SetActivity(1, 2);
    EXPECT_EQ(AccessibleText(panes.Pane(3), QAccessible::Description), QString("приём"));
    panes.SetText(CStatusPanes::kStatRangePane, "Stat range: 5 - 60");
    EXPECT_EQ(AccessibleText(panes.Pane(12), QAccessible::Name),
              QString("Диапазон статистики: Stat range: 5 - 60"));
}

}  // namespace
}  // namespace dravmer::ui
