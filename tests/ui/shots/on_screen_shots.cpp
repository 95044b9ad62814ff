// Screenshots of what the window shows after loads, for looking at by eye:
//   on_screen_shots OUT_DIR   (run under a display, e.g. xvfb-run -s '-screen 0 1280x800x24')
// A three-device experiment of an hour is loaded and graphed, then a one-device experiment of
// another folder: the graph, the curve list, the all-devices page and the title show only it.
// Then the comment dialog of that experiment, and the settings grid after the column chooser.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "files/file_format.h"
#include "graph/day_data.h"
#include "platform/cp1251.h"
#include "shot_language.h"
#include "ui/dialogs/column_chooser.h"
#include "ui/graphs/curve_list_page.h"
#include "ui/graphs/graph_comment_dialog.h"
#include "ui/graphs/graph_page.h"
#include "ui/graphs/graphic_ctrl.h"
#include "ui/main_frame.h"

using namespace dravmer;
using namespace dravmer::ui;
namespace fs = std::filesystem;

namespace {

void Wait(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

QString g_out;

void Save(QWidget* w, const QString& name) {
    Wait(400);
    const QString path = g_out + "/on-screen-" + name + ".png";
    w->grab().save(path);
    std::printf("%s\n", path.toLocal8Bit().constData());
}

void WriteHour(const fs::path& path, unsigned seed, int seconds, bool text) {
    CDeviceData store;
    graph::test::FillDay(store, seconds, seed);
    std::tm day{};
    day.tm_year = 126;
    day.tm_mon = 11;
    day.tm_mday = 6;
    day.tm_hour = 9 + static_cast<int>(seed % 3);
    day.tm_isdst = -1;
    store.SetStartTime(std::mktime(&day));
    SFileOptions options;
    SaveStoreAs(store, path.string(), text, options.Columns(), options);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dravmer::ui::InstallLocaleLanguage(app);
    if (argc < 2) {
        std::fprintf(stderr, "usage: on_screen_shots OUT_DIR\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    fs::create_directories(argv[1]);
    const fs::path work =
        fs::temp_directory_path() / ("dravmer-on-screen-shots-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work / "a");
    fs::create_directories(work / "b");
    for (unsigned d = 1; d <= 3; ++d)
        WriteHour(work / "a" / ("261206-001-00010" + std::to_string(d) + ".adc"), d, 3600, false);
    std::ofstream(work / "a" / "261206-001-label .txt", std::ios::binary)
        << Utf8ToCp1251("Три прибора, до ремонта");
    WriteHour(work / "b" / "261207-004-000201.txt", 7, 1800, true);
    std::ofstream(work / "b" / "261207-004-label .txt", std::ios::binary)
        << Utf8ToCp1251("Прибор 201 после ремонта");

    CMemorySettingsStore settings;
    CBench bench(settings);
    bench.LoadSettings();
    CMainFrame frame(bench, settings);
    frame.resize(1280, 800);
    frame.show();
    QTabWidget* tabs = frame.Pages();

    frame.OfferStartupFile(QString::fromStdString((work / "a" / "261206-001-000101.adc").string()));
    if (auto* curves = qobject_cast<CCurveListPage*>(tabs->widget(4))) curves->ClickCell(2, 0);
    tabs->setCurrentIndex(2);
    if (auto* graph = qobject_cast<CGraphPage*>(tabs->widget(2))) graph->Graph()->Fit();
    std::printf("title: %s\n", frame.windowTitle().toLocal8Bit().constData());
    Save(&frame, "three-graph");
    tabs->setCurrentIndex(4);
    Save(&frame, "three-curves");

    frame.OfferStartupFile(QString::fromStdString((work / "b" / "261207-004-000201.txt").string()));
    std::printf("title: %s\n", frame.windowTitle().toLocal8Bit().constData());
    for (int tab : {2, 4, 1}) {
        tabs->setCurrentIndex(tab);
        if (tab == 2)
            if (auto* graph = qobject_cast<CGraphPage*>(tabs->widget(2))) graph->Graph()->Fit();
        Save(&frame, QString("one-tab%1").arg(tab));
    }

    // The comment dialog of the loaded experiment, then cancelled.
    QTimer::singleShot(300, [] {
        if (auto* d = qobject_cast<CGraphCommentDialog*>(QApplication::activeModalWidget())) {
            Save(d, "comment-dialog");
            d->reject();
        }
    });
    if (auto* graph = qobject_cast<CGraphPage*>(tabs->widget(2))) graph->EditComment();

    // The chooser takes UG out; the settings grid shows it at once.
    {
        CColumnChooser chooser(frame.Context(), &frame);
        chooser.Box(3)->setChecked(false);
        chooser.accept();
    }
    tabs->setCurrentIndex(5);
    Save(&frame, "settings-after-chooser");
    fs::remove_all(work);
    return 0;
}
