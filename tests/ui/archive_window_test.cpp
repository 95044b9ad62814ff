// The archive in the window: the command with its progress and messages, the program settings'
// database group, the loading dialog's archive tab, and archiving after every stop.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "archive/archive.h"
#include "archive/archive_io.h"
#include "archive/db.h"
#include "ui/archive_command.h"
#include "ui/command_table.h"
#include "ui/dialogs/load_experiment_dialog.h"
#include "ui/main_frame.h"
#include "ui/pages/program_settings_page.h"
#include "ui/widgets/archive_list.h"
#include "ui_fixture.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

using test::WaitFor;

// A window over a bench without ports, its archive in a temporary folder.
struct ArchiveFrame {
    QTemporaryDir dir;
    CMemorySettingsStore settings;
    std::unique_ptr<CBench> bench;
    std::unique_ptr<CMainFrame> frame;
    ArchiveFrame() {
        test::App();
        for (int p = 0; p < kPortCount; ++p) settings.SetInt(PortSection(p), "UseLink", 0);
        settings.SetString(kArchiveSection, kArchiveUrlKey, Url());
        bench = std::make_unique<CBench>(settings);
        bench->LoadSettings();
        frame = std::make_unique<CMainFrame>(*bench, settings);
    }
    ~ArchiveFrame() {
        frame.reset();
        bench.reset();
    }
    std::string Url() const { return "sqlite:" + dir.path().toStdString() + "/archive.sqlite"; }
    // Devices with `records` records each whose every value differs from record to record.
    void Experiment(std::initializer_list<std::uint32_t> addresses, int records) {
        CDeviceList& list = bench->Settings().devices;
        list.ClearFound();
        for (auto a : addresses) list.AddFound(a, 0, true);
        list.RebuildActive();
        bench->EnsureStores();
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            CDeviceData& d = bench->Data(i);
            d.ResetData();
            for (int k = 0; k < records; ++k) {
                CMeasRecord r;
                r.time = static_cast<std::uint32_t>(k);
                r.cycle = static_cast<std::uint8_t>(k);
                // Quarters are exact in every column type the files know.
                for (int p = 3; p < CMeasRecord::kParamCount - 1; ++p)
                    SetParam(r, p, k * 0.25 + p + static_cast<double>(i) * 100);
                d.AddSample(r);
            }
            d.SetStartTime(1796540400);  // 6 December 2026
        }
        frame->RefillDeviceBox();
    }
    QAction* Command(int id) const { return frame->Commands().Get(id); }
    // Triggers "Сохранить эксперимент в БД" and waits for the end; the code.
    int ArchiveByCommand() {
        QSignalSpy done(&frame->Archive(), &CArchiveCommand::finished);
        Command(cmd::SaveToDatabase)->trigger();
        if (!frame->Archive().IsRunning()) return 999;
        EXPECT_TRUE(done.wait(20000));
        return done.isEmpty() ? 998 : done.at(0).at(0).toInt();
    }
    QString LastMessage() const {
        QMessageBox* box = frame->Archive().LastMessage();
        return box ? box->text() : QString();
    }
};

std::vector<std::vector<double>> Columns(CBench& bench, std::size_t device,
                                         const std::vector<int>& columns) {
    std::vector<std::vector<double>> out;
    CDeviceData& d = bench.Data(device);
    for (int k = 0; k < d.GetCount(); ++k) {
        const CMeasRecord r = d.GetSample(k);
        std::vector<double> row;
        for (int c : columns) row.push_back(GetParam(r, c));
        out.push_back(row);
    }
    return out;
}

TEST(ArchiveWindow, CommandArchivesOnceThenSaysDuplicateAndTheArchiveTabLoadsItBack) {
    ArchiveFrame f;
    f.Experiment({101, 102}, 240);
    ASSERT_TRUE(f.Command(cmd::SaveToDatabase)->isEnabled());
    EXPECT_EQ(f.Command(cmd::SaveToDatabase)->text(), QString("Сохранить эксперимент в БД"));
    const std::vector<int> columns = f.bench->Files(0).Options().Columns();
    ASSERT_FALSE(columns.empty());
    const auto before0 = Columns(*f.bench, 0, columns);
    const auto before1 = Columns(*f.bench, 1, columns);

    // While archiving, the stores must not change: start, search and loading are closed.
    QSignalSpy done(&f.frame->Archive(), &CArchiveCommand::finished);
    f.Command(cmd::SaveToDatabase)->trigger();
    ASSERT_TRUE(f.frame->Archive().IsRunning());
    ASSERT_NE(f.frame->Archive().Progress(), nullptr);
    EXPECT_TRUE(f.frame->Archive().Progress()->isVisible());
    EXPECT_FALSE(f.Command(cmd::SaveToDatabase)->isEnabled());
    EXPECT_FALSE(f.Command(cmd::StartExperiment)->isEnabled());
    EXPECT_FALSE(f.Command(cmd::SearchDevices)->isEnabled());
    EXPECT_FALSE(f.Command(cmd::LoadExperiment)->isEnabled());
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(done.at(0).at(0).toInt(), kArchiveOk);
    EXPECT_EQ(f.LastMessage(), QString("Эксперимент сохранен в базе данных под номером 1."));
    EXPECT_TRUE(f.Command(cmd::SaveToDatabase)->isEnabled());
    EXPECT_TRUE(f.Command(cmd::StartExperiment)->isEnabled());

    EXPECT_EQ(f.ArchiveByCommand(), kArchiveDuplicate);
    EXPECT_EQ(f.LastMessage(), QString("Этот эксперимент уже есть в базе данных под номером 1; "
                                       "второй раз он не сохраняется."));

    // Another device list on the bench; the archive tab gives the experiment back.
    f.Experiment({555}, 3);
    CLoadExperimentDialog dialog(f.frame->Context(), f.frame.get());
    ASSERT_EQ(dialog.Sources()->count(), 2);
    dialog.Sources()->setCurrentIndex(1);
    CArchiveList* archive = dialog.ArchiveSource();
    QSignalSpy listed(archive, &CArchiveList::listed);
    dialog.show();  // the tab reads the archive when it is first shown
    ASSERT_TRUE(listed.wait(10000));
    EXPECT_EQ(listed.at(0).at(0).toInt(), 1);
    EXPECT_EQ(archive->UrlEdit()->text(), QString::fromStdString(f.Url()));
    QTableWidget* list = archive->List();
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->horizontalHeaderItem(6)->text(), QString("Список приборов эксперимента"));
    EXPECT_EQ(list->item(0, 0)->text(), QString("1"));
    EXPECT_EQ(list->item(0, 3)->text(), QString("4.0"));  // 239 s
    EXPECT_EQ(list->item(0, 5)->text(), QString("2"));
    EXPECT_EQ(list->item(0, 6)->text(), QString("101; 102"));
    EXPECT_TRUE(list->item(0, 1)->text().startsWith("06-12-2026     "));

    // The device filter: an experiment without the device is not listed.
    archive->DeviceFilter()->setText("999");
    archive->Refresh();
    ASSERT_TRUE(WaitFor([&] { return listed.size() == 2; }));
    EXPECT_EQ(list->rowCount(), 0);
    archive->DeviceFilter()->setText("102");
    archive->Refresh();
    ASSERT_TRUE(WaitFor([&] { return listed.size() == 3; }));
    ASSERT_EQ(list->rowCount(), 1);

    // Nothing selected: OK does nothing.
    dialog.accept();
    EXPECT_FALSE(archive->IsLoading());
    list->selectRow(0);
    QSignalSpy loaded(&dialog, &CLoadExperimentDialog::experimentLoaded);
    dialog.accept();
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Progress()->value(), 100);
    EXPECT_TRUE(dialog.Status()->text().startsWith("Прибор (2/2):   102"));
    EXPECT_FALSE(f.bench->IsLoading());
    ASSERT_EQ(f.bench->Settings().devices.Active().size(), 2u);
    EXPECT_EQ(f.bench->Settings().devices.Active()[0].address, 101u);
    EXPECT_EQ(f.bench->Settings().devices.Active()[1].address, 102u);
    EXPECT_EQ(Columns(*f.bench, 0, columns), before0);
    EXPECT_EQ(Columns(*f.bench, 1, columns), before1);
    EXPECT_EQ(f.bench->Data(1).StartTime(), 1796540400);

    // What came back from the archive is recognised there.
    EXPECT_EQ(f.ArchiveByCommand(), kArchiveDuplicate);
    std::int64_t count = 0;
    int code = 0;
    std::string error;
    auto db = CArchive::Open(f.Url(), code, error);
    ASSERT_TRUE(db) << error;
    ASSERT_EQ(db->Count(count), kArchiveOk);
    EXPECT_EQ(count, 1);
}

TEST(ArchiveWindow, AnArchiveThatCannotBeOpenedIsToldAndLosesNothing) {
    ArchiveFrame f;
    // The database would lie under a regular file: it can be neither created nor read.
    const std::string blocker = f.dir.path().toStdString() + "/blocker";
    std::ofstream(blocker) << "x";
    f.settings.SetString(kArchiveSection, kArchiveUrlKey, "sqlite:" + blocker + "/a.sqlite");
    f.Experiment({101}, 50);
    EXPECT_EQ(f.ArchiveByCommand(), kArchiveUnreachable);
    EXPECT_TRUE(f.LastMessage().startsWith("Эксперимент не сохранен в базе данных.\n"))
        << f.LastMessage().toStdString();
    EXPECT_TRUE(f.LastMessage().contains("Файлы эксперимента не изменены."));
    EXPECT_EQ(f.bench->Data(0).GetCount(), 50);
    EXPECT_TRUE(f.Command(cmd::SaveToDatabase)->isEnabled());

    // The archive tab says why it is empty, and OK loads nothing.
    CLoadExperimentDialog dialog(f.frame->Context(), f.frame.get());
    dialog.Sources()->setCurrentIndex(1);
    QSignalSpy listed(dialog.ArchiveSource(), &CArchiveList::listed);
    dialog.ArchiveSource()->Refresh();
    ASSERT_TRUE(listed.wait(10000));
    EXPECT_EQ(listed.at(0).at(0).toInt(), -1);
    EXPECT_TRUE(dialog.ArchiveSource()->State()->text().startsWith("Архив не прочитан: "));
    dialog.accept();
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    EXPECT_EQ(f.bench->Data(0).GetCount(), 50);

    // Nothing recorded: nothing to archive, and the operator is told so.
    f.settings.SetString(kArchiveSection, kArchiveUrlKey, f.Url());
    f.Experiment({101}, 0);
    EXPECT_EQ(f.ArchiveByCommand(), kArchiveNoData);
}

TEST(ArchiveWindow, CancelInTheProgressWritesNothing) {
    ArchiveFrame f;
    f.Experiment({101, 102, 103}, 20000);
    QSignalSpy done(&f.frame->Archive(), &CArchiveCommand::finished);
    f.Command(cmd::SaveToDatabase)->trigger();
    ASSERT_NE(f.frame->Archive().Progress(), nullptr);
    auto* cancel = f.frame->Archive().Progress()->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QString("Отмена"));
    cancel->click();
    ASSERT_TRUE(done.wait(20000));
    // The cancel may come after the last device was written; then the experiment is whole.
    const int code = done.at(0).at(0).toInt();
    std::int64_t count = -1;
    int openCode = 0;
    std::string error;
    auto db = CArchive::Open(f.Url(), openCode, error);
    ASSERT_TRUE(db) << error;
    ASSERT_EQ(db->Count(count), kArchiveOk);
    if (code == kArchiveStopped) {
        EXPECT_EQ(count, 0);
        EXPECT_EQ(f.LastMessage(),
                  QString("Сохранение в базу данных отменено; в базу ничего не записано."));
    } else {
        EXPECT_EQ(code, kArchiveOk);
        EXPECT_EQ(count, 1);
    }
    EXPECT_FALSE(f.frame->Archive().IsRunning());
}

TEST(ArchiveWindow, CancelEndsTheWaitForAnArchiveAnotherProgramHoldsLocked) {
    ArchiveFrame f;
    f.Experiment({101}, 50);
    int code = 0;
    std::string error;
    ASSERT_TRUE(CArchive::Open(f.Url(), code, error)) << error;
    // Another program writes the archive and keeps its lock: saving waits for it.
    auto holder = archive::OpenSqlite(f.Url().substr(7), error);
    ASSERT_TRUE(holder) << error;
    ASSERT_TRUE(holder->Exec("BEGIN IMMEDIATE")) << holder->LastError();
    QSignalSpy done(&f.frame->Archive(), &CArchiveCommand::finished);
    f.Command(cmd::SaveToDatabase)->trigger();
    ASSERT_NE(f.frame->Archive().Progress(), nullptr);
    auto* cancel = f.frame->Archive().Progress()->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    QTest::qWait(300);
    cancel->click();
    ASSERT_TRUE(done.wait(20000));
    // Without the cancel the wait ends after ten seconds with "database is locked".
    EXPECT_EQ(done.at(0).at(0).toInt(), kArchiveStopped) << f.LastMessage().toStdString();
    EXPECT_EQ(f.LastMessage(),
              QString("Сохранение в базу данных отменено; в базу ничего не записано."));
    holder->Exec("ROLLBACK");
    std::int64_t count = -1;
    auto db = CArchive::Open(f.Url(), code, error);
    ASSERT_TRUE(db) << error;
    ASSERT_EQ(db->Count(count), kArchiveOk);
    EXPECT_EQ(count, 0);
}

TEST(ArchiveWindow, ClosingTheDialogDuringALoadFromTheArchiveStopsItAndFreesTheBench) {
    ArchiveFrame f;
    f.Experiment({101, 102, 103, 104, 105, 106}, 20000);
    ASSERT_EQ(f.ArchiveByCommand(), kArchiveOk);
    f.Experiment({555}, 3);
    CLoadExperimentDialog dialog(f.frame->Context(), f.frame.get());
    dialog.Sources()->setCurrentIndex(1);
    QSignalSpy listed(dialog.ArchiveSource(), &CArchiveList::listed);
    dialog.ArchiveSource()->Refresh();
    ASSERT_TRUE(listed.wait(10000));
    dialog.ArchiveSource()->List()->selectRow(0);
    QSignalSpy finished(dialog.ArchiveSource(), &CArchiveList::loadFinished);
    dialog.accept();
    ASSERT_TRUE(dialog.ArchiveSource()->IsLoading());
    QSignalSpy closed(&dialog, &QDialog::rejected);
    dialog.reject();  // the operator closes the dialog: it closes when the worker has stopped
    EXPECT_EQ(closed.size(), 0);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(closed.size(), 1);
    EXPECT_FALSE(finished.at(0).at(1).toBool()) << "cut short";
    EXPECT_FALSE(dialog.ArchiveSource()->IsLoading());
    // The bench is free again: loading and starting are open.
    EXPECT_FALSE(f.bench->IsLoading());
    f.frame->UpdateCommands();
    EXPECT_TRUE(f.Command(cmd::LoadExperiment)->isEnabled());
    EXPECT_TRUE(f.Command(cmd::StartExperiment)->isEnabled());
}

TEST(ArchiveWindow, AListChangedAfterTheStopArchivesEachStoreUnderItsOwnDevice) {
    ArchiveFrame f;
    f.Experiment({101, 102, 103}, 10);
    for (std::size_t i = 0; i < 3; ++i) {
        for (int k = 0; k < static_cast<int>(i) * 10; ++k) {  // 10, 20 and 30 records
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(10 + k);
            f.bench->Data(i).AddSample(r);
        }
        f.bench->Data(i).SetTitle("261206-005-00010" + std::to_string(i + 1));
    }
    // Unticking 101 takes its store out of the list; 102 and 103 keep theirs.
    ASSERT_TRUE(f.bench->SetDeviceEnabled(0, false));
    ASSERT_EQ(f.bench->Settings().devices.Active().size(), 2u);
    ASSERT_EQ(f.bench->StoreCount(), 2u);
    ASSERT_EQ(f.ArchiveByCommand(), kArchiveOk) << f.LastMessage().toStdString();
    int code = 0;
    std::string error;
    auto db = CArchive::Open(f.Url(), code, error);
    ASSERT_TRUE(db) << error;
    SArchivedExperiment e;
    ASSERT_EQ(db->Get(1, e), kArchiveOk);
    EXPECT_EQ(e.number, 5);
    ASSERT_EQ(e.devices.size(), 2u);
    EXPECT_EQ(e.devices[0].address, 102u);
    EXPECT_EQ(e.devices[0].recordCount, 20);
    EXPECT_EQ(e.devices[1].address, 103u);
    EXPECT_EQ(e.devices[1].recordCount, 30);
}

TEST(ArchiveWindow, ProgramSettingsKeepTheDatabaseAndRefuseAnUnknownOne) {
    CMemorySettingsStore store;
    test::App();
    CBench bench(store);
    CBenchEvents events;
    SUiContext context{bench, store, events};
    CProgramSettingsPage page(context);
    EXPECT_FALSE(page.ArchiveOnStopBox()->isChecked());
    EXPECT_TRUE(page.ArchiveUrlEdit()->text().isEmpty());
    EXPECT_EQ(page.ArchiveUrlEdit()->placeholderText(),
              QString::fromStdString(DefaultArchiveUrl()));
    page.ArchiveOnStopBox()->setChecked(true);
    page.ArchiveUrlEdit()->setText(" postgresql://lab@server/bench ");
    ASSERT_TRUE(page.Apply());
    EXPECT_TRUE(ArchiveOnStop(store));
    EXPECT_EQ(ArchiveUrlFromSettings(store), "postgresql://lab@server/bench");

    page.ArchiveUrlEdit()->setText("mysql://lab@server/bench");
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->accept();
    });
    EXPECT_FALSE(page.Apply());
    EXPECT_EQ(ArchiveUrlFromSettings(store), "postgresql://lab@server/bench");

    // Empty: the bench's own file.
    page.ArchiveUrlEdit()->clear();
    page.ArchiveOnStopBox()->setChecked(false);
    ASSERT_TRUE(page.Apply());
    EXPECT_FALSE(ArchiveOnStop(store));
    EXPECT_EQ(ArchiveUrlFromSettings(store), DefaultArchiveUrl());
    CProgramSettingsPage again(context);
    EXPECT_FALSE(again.ArchiveOnStopBox()->isChecked());
}

TEST(ArchiveWindow, EveryExperimentIsArchivedWhenItStopsWithTheSettingOn) {
    test::CWindowRig rig({{0, 2, 7001}});
    ASSERT_TRUE(rig.ok);
    rig.SetDeviceList({{7001, 0}, {7002, 0}});
    QTemporaryDir db;
    const std::string url = "sqlite:" + db.path().toStdString() + "/a.sqlite";
    rig.settings.SetString(kArchiveSection, kArchiveUrlKey, url);
    rig.settings.SetInt(kArchiveSection, kArchiveOnStopKey, 1);
    CMainFrame& frame = *rig.frame;
    QAction* save = frame.Commands().Get(cmd::SaveToDatabase);

    int started = -1;
    QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { started = r; });
    frame.Commands().Get(cmd::StartExperiment)->trigger();
    ASSERT_TRUE(WaitFor([&] { return started >= 0; }));
    ASSERT_EQ(started, static_cast<int>(StartResult::Started));
    EXPECT_FALSE(save->isEnabled()) << "not while the experiment runs";
    ASSERT_TRUE(WaitFor([&] { return rig.bench->Data(1).GetCount() >= 3; }));

    QSignalSpy archived(&frame.Archive(), &CArchiveCommand::finished);
    bool stopped = false;
    QObject::connect(&frame, &CMainFrame::stopFinished, [&](double) { stopped = true; });
    frame.Commands().Get(cmd::StopExperiment)->trigger();
    ASSERT_TRUE(WaitFor([&] { return stopped; }));
    // Archiving follows the stop; until it ends nothing may start.
    EXPECT_TRUE(frame.Archive().IsRunning());
    EXPECT_FALSE(frame.Commands().Get(cmd::StartExperiment)->isEnabled());
    ASSERT_TRUE(archived.wait(20000));
    EXPECT_EQ(archived.at(0).at(0).toInt(), kArchiveOk);
    // Routine: told in the status bar, no box to close.
    EXPECT_TRUE(frame.statusBar()->currentMessage().startsWith("Эксперимент сохранен"));
    EXPECT_EQ(frame.Archive().LastMessage(), nullptr);
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(frame.Commands().Get(cmd::StartExperiment)->isEnabled());

    int code = 0;
    std::string error;
    auto archive = CArchive::Open(url, code, error);
    ASSERT_TRUE(archive) << error;
    std::vector<SArchiveListRow> rows;
    ASSERT_EQ(archive->List({}, rows), kArchiveOk);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].addresses, (std::vector<std::uint32_t>{7001, 7002}));
    EXPECT_EQ(rows[0].number, rig.bench->ExperimentNumber());
    SArchivedExperiment e;
    ASSERT_EQ(archive->Get(rows[0].id, e), kArchiveOk);
    ASSERT_EQ(e.devices.size(), 2u);
    EXPECT_EQ(e.devices[1].recordCount, rig.bench->Data(1).GetCount());
    // The experiment's files are there as ever.
    EXPECT_GE(rig.Files().size(), 2);
}

}  // namespace
}  // namespace dravmer::ui
