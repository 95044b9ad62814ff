// The experiment on screen after loads: the pages show only its devices, the title its start and
// comment, and the comment dialog writes its own label file (or tells that there is none).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "files/file_format.h"
#include "graph/graph_list.h"
#include "platform/cp1251.h"
#include "ui/command_table.h"
#include "ui/graphs/curve_list_page.h"
#include "ui/graphs/graph_comment_dialog.h"
#include "ui/graphs/graph_hub.h"
#include "ui/graphs/graph_page.h"
#include "ui/graphs/graphic_ctrl.h"
#include "ui/main_frame.h"
#include "ui/pages/all_devices_page.h"
#include "ui_test_env.h"

namespace dravmer::ui {
namespace {

namespace fs = std::filesystem;

std::time_t December6(int hour) {
    std::tm day{};
    day.tm_year = 126;
    day.tm_mon = 11;
    day.tm_mday = 6;
    day.tm_hour = hour;
    day.tm_isdst = -1;
    return std::mktime(&day);
}

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class OnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        test::App();
        graph::GraphList().Clear();
        m_dir = fs::temp_directory_path() /
                ("dravmer-on-screen-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "a");
        fs::create_directories(m_dir / "b");
        fs::create_directories(m_dir / "run");
        m_bench = std::make_unique<CBench>(m_settings);
        m_bench->LoadSettings();
        m_frame = std::make_unique<CMainFrame>(*m_bench, m_settings);
    }
    void TearDown() override {
        m_frame.reset();
        m_bench.reset();
        graph::GraphList().Clear();
        fs::remove_all(m_dir);
    }
    // An experiment file of `records` seconds taken on 6 December 2026 at 10:00.
    fs::path Write(const fs::path& folder, const std::string& name, int records, double ug) {
        CDeviceData store;
        for (int k = 0; k < records; ++k) {
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(k);
            r.cycle = static_cast<std::uint8_t>(k);
            r.ug = ug;
            store.AddSample(r);
        }
        store.SetStartTime(December6(10));
        std::vector<int> columns;
        for (int i = 0; i < kParamCount; ++i) columns.push_back(i);
        const fs::path path = folder / name;
        EXPECT_EQ(SaveStoreAs(store, path.string(), false, columns, SFileOptions()), 0);
        return path;
    }
    void Label(const fs::path& folder, const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << Utf8ToCp1251(text);
    }
    // Loads the experiment the file belongs to, as the start-up load does.
    void Load(const fs::path& file) {
        m_frame->OfferStartupFile(QString::fromStdString(file.string()));
        ASSERT_TRUE(m_bench->ShowsLoadedExperiment());
    }
    template <class T>
    T* Page(int tab) {
        return qobject_cast<T*>(m_frame->Pages()->widget(tab));
    }
    // Opens the comment dialog of the graph page; `edit` sees it and answers it.
    void EditComment(const std::function<void(CGraphCommentDialog&)>& edit) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CGraphCommentDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            seen = true;
            edit(*dialog);
        });
        Page<CGraphPage>(2)->EditComment();
        EXPECT_TRUE(seen);
    }

    fs::path m_dir;
    CMemorySettingsStore m_settings;
    std::unique_ptr<CBench> m_bench;
    std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(OnScreen, ALoadOfFewerDevicesLeavesNoCurveColumnOrRowOfTheEarlierOnes) {
    Write(m_dir / "a", "261206-001-000101.adc", 30, 1.0);
    Write(m_dir / "a", "261206-001-000102.adc", 30, 2.0);
    Write(m_dir / "a", "261206-001-000103.adc", 30, 3.0);
    Write(m_dir / "b", "261206-002-000201.adc", 10, 7.0);
    Load(m_dir / "a" / "261206-001-000101.adc");
    ASSERT_EQ(m_bench->StoreCount(), 3u);
    auto* curves = Page<CCurveListPage>(4);
    ASSERT_NE(curves, nullptr);
    curves->ClickCell(2, 0);  // UG of every device
    ASSERT_EQ(graph::GraphList().Count(), 3);
    EXPECT_EQ(Page<CGraphPage>(2)->Graph()->Curves().size(), 3u);

    Load(m_dir / "b" / "261206-002-000201.adc");
    EXPECT_EQ(m_bench->StoreCount(), 1u);
    EXPECT_EQ(m_bench->Data(0).GetCount(), 10);
    CGraphHub& hub = CGraphHub::For(m_frame->Context());
    EXPECT_EQ(hub.Addresses(), std::vector<std::uint32_t>{201});
    // "Список графиков": one device column, headed by the loaded device.
    CCurveListModel* model = curves->Model();
    EXPECT_EQ(model->columnCount(), 1 + 4);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString("201"));
    // The graph draws the loaded device's UG only, from its own store.
    ASSERT_EQ(graph::GraphList().Count(), 1);
    EXPECT_EQ(graph::GraphList().At(0).device, 0);
    const auto drawn = Page<CGraphPage>(2)->Graph()->Curves();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].address, 201u);
    EXPECT_EQ(drawn[0].store, &m_bench->Data(0));
    // The all-devices page and the device box.
    auto* all = Page<CAllDevicesPage>(1);
    ASSERT_NE(all, nullptr);
    all->Refresh();
    QTableWidget* table = all->findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text(), QString("201"));
    QComboBox* box = m_frame->Commands().DeviceBox();
    ASSERT_EQ(box->count(), 1);
    EXPECT_EQ(box->itemText(0), QString("201"));
    EXPECT_EQ(m_frame->windowTitle().count("261206-"), 1) << m_frame->windowTitle().toStdString();
}

TEST_F(OnScreen, TheTitleNamesTheLoadedExperimentAndTheCommentGoesToItsOwnLabel) {
    // The last run wrote its files and comment into its own folder.
    m_settings.SetString("DeviceList", "List", "101;");
    m_settings.SetString("DeviceList", "PortList", "0;");
    m_settings.SetString("DeviceList", "EnableList", "1;");
    m_bench->LoadSettings();
    CMeasRecord r;
    m_bench->Data(0).AddSample(r);
    std::string runFolder = (m_dir / "run").string() + "/";
    ASSERT_EQ(m_bench->Files(0).OpenExperimentFiles(runFolder, 101, 1, false, false, true), 0);
    const fs::path runLabel = m_bench->Files(0).LabelPath();
    ASSERT_EQ(runLabel.parent_path(), m_dir / "run");
    ASSERT_EQ(m_bench->Files(0).WriteLabel("Прогон"), 0);
    m_bench->Files(0).CloseExperimentFiles();

    // Another folder's experiment is loaded: the title says when it started and its comment.
    Write(m_dir / "a", "261206-007-000301.adc", 20, 1.0);
    Label(m_dir / "a", "261206-007-label .txt", "Калибровка");
    Load(m_dir / "a" / "261206-007-000301.adc");
    EXPECT_TRUE(m_frame->windowTitle().startsWith(
        QString("06-12-2026 10:00  Калибровка — Dravmer v.05.43, 261206-007-000301")))
        << m_frame->windowTitle().toStdString();

    // The dialog starts from that experiment's comment and names the file OK writes.
    EditComment([&](CGraphCommentDialog& dialog) {
        EXPECT_TRUE(dialog.Edit()->toPlainText().endsWith("Калибровка"));
        EXPECT_TRUE(dialog.Target()->text().contains(
            QString::fromStdString((m_dir / "a" / "261206-007-label .txt").string())));
        dialog.Edit()->setPlainText("{Date}  -  Experiment: {Experiment}   Повторная калибровка");
        dialog.accept();
    });
    EXPECT_EQ(ReadAll(m_dir / "a" / "261206-007-label .txt"), Utf8ToCp1251("Повторная калибровка"));
    EXPECT_EQ(ReadAll(runLabel), Utf8ToCp1251("Прогон"));  // the run's comment is untouched
    EXPECT_TRUE(m_frame->windowTitle().startsWith("06-12-2026 10:00  Повторная калибровка — "))
        << m_frame->windowTitle().toStdString();
    EXPECT_EQ(Page<CGraphPage>(2)->LastMessage(), nullptr);
}

TEST_F(OnScreen, WithoutAnExperimentOnScreenNothingIsWrittenAndTheOperatorIsTold) {
    // The saved device list, never run in this session: no experiment has files.
    m_settings.SetString("DeviceList", "List", "101;");
    m_settings.SetString("DeviceList", "PortList", "0;");
    m_settings.SetString("DeviceList", "EnableList", "1;");
    m_bench->LoadSettings();
    m_bench->Settings().savePath = (m_dir / "run").string() + "/";
    EditComment([&](CGraphCommentDialog& dialog) {
        EXPECT_TRUE(dialog.Target()->text().contains("нет эксперимента"));
        dialog.Edit()->setPlainText("Пробный текст");
        dialog.accept();
    });
    EXPECT_TRUE(fs::is_empty(m_dir / "run"));
    QMessageBox* box = Page<CGraphPage>(2)->LastMessage();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().startsWith("Файл комментария не записан")) << box->text().toStdString();
    box->accept();
    // The caption keeps the text.
    EXPECT_EQ(CGraphHub::For(m_frame->Context()).caption, QString("Пробный текст"));
}

}  // namespace
}  // namespace dravmer::ui
