// The experiment list dialog, the start-up load and the debug window.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTabWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "files/experiment_files.h"
#include "files/file_format.h"
#include "platform/paths.h"
#include "ui/command_table.h"
#include "ui/main_frame.h"
#include "ui/dialogs/debug_window.h"
#include "ui/dialogs/load_at_start_dialog.h"
#include "ui/dialogs/load_experiment_dialog.h"
#include "ui/dialogs/load_runner.h"
#include "ui_fixture.h"

namespace dravmer::ui {
namespace {

namespace fs = std::filesystem;

class LoadDialogs : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        m_dir = fs::temp_directory_path() /
                ("dravmer-load-ui-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        UiTest::TearDown();
        fs::remove_all(m_dir);
    }
    fs::path Write(const std::string& name, int records, bool text = false) {
        CDeviceData store;
        for (int k = 0; k < records; ++k) {
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(k);
            r.cycle = static_cast<std::uint8_t>(k);
            r.ug = k;
            store.AddSample(r);
        }
        // Taken on 6 December 2026, as the names say (the list takes the date from the header).
        std::tm day{};
        day.tm_year = 126;
        day.tm_mon = 11;
        day.tm_mday = 6;
        day.tm_hour = 10;
        day.tm_isdst = -1;
        store.SetStartTime(std::mktime(&day));
        std::vector<int> columns;
        for (int i = 0; i < kParamCount; ++i) columns.push_back(i);
        fs::path path = m_dir / name;
        EXPECT_EQ(SaveStoreAs(store, path.string(), text, columns, SFileOptions()), 0);
        return path;
    }
    QString Folder() const { return QString::fromStdString(m_dir.string()); }
    fs::path m_dir;
};

TEST_F(LoadDialogs, ListsOneRowPerExperimentWithDevicesAndTheLabelComment) {
    Write("261206-007-000101.adc", 120);
    Write("261206-007-000102.adc", 60);
    Write("261206-008-000101.adc", 30);
    Write("261206-08-000101.adc", 30);  // 20 characters: not an experiment file
    {
        std::ofstream label(m_dir / "261206-007-label .txt", std::ios::binary);
        label << "Calibration";
    }
    m_store.SetString("LoadPath", "LoadPath", Folder().toStdString());
    CLoadExperimentDialog dialog(Context());
    EXPECT_EQ(dialog.FolderEdit()->text(), Folder());
    QTableWidget* list = dialog.List();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QString("Дата - время           "));
    EXPECT_EQ(list->item(0, 0)->text(), QString("1"));
    EXPECT_EQ(list->item(0, 2)->text(), QString("7"));
    EXPECT_EQ(list->item(0, 3)->text(), QString("2.0"));  // 119 s
    EXPECT_EQ(list->item(0, 4)->text(), QString(".adc"));
    EXPECT_EQ(list->item(0, 5)->text(), QString("2"));
    EXPECT_EQ(list->item(0, 6)->text(), QString("101; 102"));
    EXPECT_EQ(list->item(0, 7)->text(), QString("06-12-2026 - Exp: 7  Calibration"));
    EXPECT_EQ(list->item(1, 5)->text(), QString("1"));
    EXPECT_EQ(list->item(1, 7)->text(), QString());

    // OK loads the chosen experiment; the dialog closes when the worker is done.
    list->selectRow(0);
    QSignalSpy loaded(&dialog, &CLoadExperimentDialog::experimentLoaded);
    dialog.accept();
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    ASSERT_TRUE(loaded.wait(5000));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(loaded.at(0).at(0).toString(), QString("06-12-2026 - Exp: 7  Calibration"));
    EXPECT_TRUE(dialog.Status()->text().startsWith("File (2/2):   "));
    EXPECT_EQ(dialog.Progress()->value(), 100);
    ASSERT_EQ(Bench().Settings().devices.Active().size(), 2u);
    EXPECT_EQ(Bench().Settings().devices.Active()[1].address, 102u);
    EXPECT_EQ(Bench().Data(0).GetCount(), 120);
    EXPECT_EQ(Bench().Data(1).GetCount(), 60);

    // Another folder is remembered.
    dialog.SetFolder(QString::fromStdString(fs::temp_directory_path().string()) + "/no-such-dir");
    EXPECT_EQ(m_store.GetString("LoadPath", "LoadPath", ""),
              fs::temp_directory_path().string() + "/no-such-dir");
    EXPECT_EQ(dialog.List()->rowCount(), 0);
}

TEST_F(LoadDialogs, OpensInTheSaveFolderUntilAnotherIsChosen) {
    Write("261206-003-000101.adc", 10);
    Bench().Settings().savePath = Folder().toStdString() + "/";
    {
        CLoadExperimentDialog dialog(Context());
        EXPECT_EQ(dialog.FolderEdit()->text(), Folder());
        EXPECT_EQ(dialog.List()->rowCount(), 1);
    }
    // With date folders: today's folder, once there is one.
    Bench().Settings().dateFolders = true;
    EXPECT_EQ(LoadFolder(Context()), Folder());
    const fs::path today = m_dir / DatedSubfolder(std::time(nullptr));
    fs::create_directories(today);
    EXPECT_EQ(LoadFolder(Context()), QString::fromStdString(today.string()));
    // No save folder set: the user's data folder, where the files then go.
    Bench().Settings().savePath.clear();
    Bench().Settings().dateFolders = false;
    EXPECT_EQ(LoadFolder(Context()), QString::fromStdString(DataDir().string()));
    EXPECT_NE(LoadFolder(Context()), QCoreApplication::applicationDirPath());
    // The folder chosen in the dialog wins from then on.
    m_store.SetString("LoadPath", "LoadPath", "/somewhere/else");
    EXPECT_EQ(LoadFolder(Context()), QString("/somewhere/else"));
}

TEST_F(LoadDialogs, ClosingDuringALoadCancelsItAndNothingIsSelectedDoesNothing) {
    // Big enough that the load is still running when the dialog is closed.
    for (int d = 1; d <= 4; ++d) Write("261206-001-00000" + std::to_string(d) + ".adc", 200000);
    m_store.SetString("LoadPath", "LoadPath", Folder().toStdString());
    CLoadExperimentDialog dialog(Context());
    dialog.accept();  // nothing selected
    EXPECT_FALSE(dialog.Runner()->IsRunning());
    dialog.List()->selectRow(0);
    dialog.accept();
    ASSERT_TRUE(dialog.Runner()->IsRunning());
    QSignalSpy finished(dialog.Runner(), &CLoadRunner::finished);
    dialog.reject();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(Bench().IsLoading());
    EXPECT_LT(Bench().Data(3).GetCount(), 200000);
}

TEST_F(LoadDialogs, StartUpLoadsTheFilesExperimentAndReportsAMissingFile) {
    Write("261206-003-000101.txt", 1500, true);
    Write("261206-003-000102.txt", 1500, true);
    Write("261206-004-000103.txt", 1500, true);
    QString comment;
    EXPECT_TRUE(LoadExperimentAtStart(Context(), Folder() + "/261206-003-000102.txt", nullptr,
                                      &comment));
    ASSERT_EQ(Bench().Settings().devices.Active().size(), 2u);
    EXPECT_EQ(Bench().Data(1).GetCount(), 1500);

    const QString missing = Folder() + "/261206-009-000101.adc";
    QString box;
    QTimer::singleShot(0, [&box] {
        if (auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box = b->windowTitle() + "|" + b->text() + "|" + QString::number(b->icon());
            b->accept();
        }
    });
    EXPECT_FALSE(LoadExperimentAtStart(Context(), missing, nullptr));
    EXPECT_EQ(box, "Ошибка|Ошибка загрузки файла:\r\n" + missing + "\r\nтакого файла нет|" +
                       QString::number(QMessageBox::Critical));
    // A file that exists but is not named like an experiment file fails the same way.
    fs::copy_file(m_dir / "261206-004-000103.txt", m_dir / "copy.txt");
    QTimer::singleShot(0, [] {
        if (auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) b->accept();
    });
    EXPECT_FALSE(LoadExperimentAtStart(Context(), Folder() + "/copy.txt", nullptr));
    EXPECT_EQ(Bench().Settings().devices.Active().size(), 2u);  // nothing replaced
}

TEST_F(LoadDialogs, ABadFileIsToldAndSkippedLinesAreCountedInTheWindow) {
    // A header whose column count is -1: refused with the reason, not opened as an empty window.
    fs::path adc = Write("261206-005-000101.adc", 10);
    {
        std::fstream f(adc, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(48);
        f.write("\xFF\xFF\xFF\xFF", 4);
    }
    QString box;
    QTimer::singleShot(0, [&box] {
        if (auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box = b->text();
            b->accept();
        }
    });
    EXPECT_FALSE(LoadExperimentAtStart(Context(), QString::fromStdString(adc.string()), nullptr));
    EXPECT_TRUE(box.endsWith("\r\nчисло столбцов в заголовке (-1) вне пределов 0..43"))
        << box.toStdString();
    EXPECT_TRUE(Bench().Settings().devices.Active().empty());

    // Garbage lines in a text file: the records load, the window says how many lines it skipped.
    fs::path txt = Write("261206-006-000101.txt", 100, true);
    {
        std::ofstream f(txt, std::ios::app | std::ios::binary);
        f << "this line is not a record\r\n";
        f << "   -5   12   garbage\r\n";
    }
    QWidget window;
    EXPECT_TRUE(LoadExperimentAtStart(Context(), QString::fromStdString(txt.string()), &window));
    EXPECT_EQ(Bench().Data(0).GetCount(), 100);
    EXPECT_EQ(Bench().Data(0).GetSample(99).time, 99u);
    const auto boxes = window.findChildren<QMessageBox*>();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->icon(), QMessageBox::Warning);
    EXPECT_TRUE(boxes[0]->text().contains("261206-006-000101.txt: пропущено строк, не содержащих "
                                          "записи: 2."))
        << boxes[0]->text().toStdString();

    // The list dialog says the same after its load; a whole load says nothing.
    m_store.SetString("LoadPath", "LoadPath", Folder().toStdString());
    CLoadExperimentDialog dialog(Context(), &window);
    ASSERT_EQ(dialog.List()->rowCount(), 1);
    dialog.List()->selectRow(0);
    QSignalSpy loaded(&dialog, &CLoadExperimentDialog::experimentLoaded);
    dialog.accept();
    ASSERT_TRUE(loaded.wait(5000));
    ASSERT_NE(dialog.Problems(), nullptr);
    EXPECT_TRUE(dialog.Problems()->text().contains("пропущено строк, не содержащих записи: 2"));
    Write("261206-007-000101.txt", 100, true);
    CLoadExperimentDialog whole(Context(), &window);
    ASSERT_EQ(whole.List()->rowCount(), 2);
    whole.List()->selectRow(1);
    QSignalSpy wholeLoaded(&whole, &CLoadExperimentDialog::experimentLoaded);
    whole.accept();
    ASSERT_TRUE(wholeLoaded.wait(5000));
    EXPECT_EQ(whole.Problems(), nullptr);
}

using DebugWindow = UiTest;

TEST_F(DebugWindow, StreamsTheLinesOfEveryDeviceAndEnablesOkAtTheEnd) {
    Devices({101, 102});
    const int cycles0[] = {99, 100, 50, 51};
    for (int k = 0; k < 4; ++k) Add(0, static_cast<std::uint32_t>(k), {{1, cycles0[k]}});
    Add(1, 0, {{1, 1}, {15, 4}});
    CDebugWindow window(Context());
    EXPECT_FALSE(window.OkButton()->isEnabled());
    QSignalSpy done(&window, &CDebugWindow::scanFinished);
    ASSERT_TRUE(done.wait(5000));
    EXPECT_TRUE(window.OkButton()->isEnabled());
    EXPECT_EQ(window.Text()->toPlainText(),
              QString("Прибор № 101. Количество записей: 4\n"
                      "Reset event: 100-50   Time=2 c\n"
                      "Прибор № 102. Количество записей: 1\n"
                      "GvErr=4   Time=0 c\n"
                      "Find errors comlete."));
}

TEST_F(DebugWindow, ClosingStopsTheScanOfALargeStore) {
    Devices({101});
    CDeviceData& store = Bench().Data(0);
    CMeasRecord r;
    for (std::uint32_t t = 0; t < 300000; ++t) {
        r.time = t;
        r.cycle = static_cast<std::uint8_t>(t);
        r.gvEr = 1;
        store.AddSample(r);
    }
    auto* window = new CDebugWindow(Context());
    window->reject();  // joins the worker
    EXPECT_FALSE(window->Text()->toPlainText().contains("comlete"));
    delete window;
}

TEST_F(LoadDialogs, TheFrameCopiesThePageShownAndTheGraphPageRepeatsTheLastCopy) {
    Devices({101});
    Add(0, 0, {{3, 1}});
    CMainFrame frame(Bench(), m_store);
    QTabWidget* tabs = frame.Pages();
    QAction* copy = frame.Commands().Get(cmd::CopyStatistics);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("none");
    tabs->setCurrentIndex(1);
    copy->trigger();
    const QString table = clipboard->text();
    EXPECT_TRUE(table.startsWith("Параметр: Текущее значение (Current); ")) << table.toStdString();
    tabs->setCurrentIndex(0);
    copy->trigger();
    const QString text = clipboard->text();
    EXPECT_TRUE(text.startsWith("(0 - 0)	")) << text.toStdString();
    tabs->setCurrentIndex(5);
    clipboard->setText("none");
    copy->trigger();
    EXPECT_EQ(clipboard->text(), QString("none"));  // other pages copy nothing
    tabs->setCurrentIndex(2);
    copy->trigger();
    EXPECT_EQ(clipboard->text(), text);
    tabs->setCurrentIndex(1);
    copy->trigger();
    tabs->setCurrentIndex(2);
    clipboard->setText("none");
    copy->trigger();
    EXPECT_EQ(clipboard->text(), table);
}

}  // namespace
}  // namespace dravmer::ui
