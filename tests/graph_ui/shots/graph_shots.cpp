// Screenshots of the graph pages in the real window, for looking at them: a loaded device-day
// (experiment files written by the engine's writer) or the live demo bench.
//   graph_shots day OUTDIR FILE...   load the files and grab the graph pages and settings pages
//   graph_shots demo OUTDIR SECONDS  run the demo experiment that long, then grab the graphs
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "../../ui/shots/shot_language.h"
#include "files/file_format.h"
#include "graph/graph_list.h"
#include "sim/demo_rig.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/graphs/curve_list_page.h"
#include "ui/graphs/graph_comment_dialog.h"
#include "ui/graphs/graph_hub.h"
#include "ui/graphs/graph_page.h"
#include "ui/graphs/graphic_ctrl.h"
#include "ui/main_frame.h"
#include "ui/sheet_page.h"
#include "ui/view_state.h"
#include "ui/widgets/color_button.h"

using namespace dravmer;
using namespace dravmer::ui;

namespace {

void Wait(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void Save(QWidget& w, const QString& dir, const char* name) {
    Wait(100);
    const QString path = QDir(dir).filePath(QString::fromUtf8(name));
    w.grab().save(path);
    std::printf("%s\n", path.toLocal8Bit().constData());
}

void ChooseCurves(CMainFrame& frame, std::initializer_list<std::pair<int, int>> curves) {
    CGraphHub& hub = CGraphHub::For(frame.Context());
    for (auto [device, param] : curves) {
        graph::GraphList().Toggle(device, param);
        emit hub.curvesChanged(CGraphHub::Added, graph::GraphList().Count() - 1);
    }
}

int Day(const QString& dir, const QStringList& files) {
    CMemorySettingsStore settings;
    QStringList list, ports, enabled;
    for (const QString& f : files) {
        list << QFileInfo(f).baseName().section('-', 2).remove(QRegularExpression("^0+"));
        ports << "0";
        enabled << "1";
    }
    settings.SetString("DeviceList", "List", (list.join(';') + ';').toStdString());
    settings.SetString("DeviceList", "PortList", (ports.join(';') + ';').toStdString());
    settings.SetString("DeviceList", "EnableList", (enabled.join(';') + ';').toStdString());
    CBench bench(settings);
    bench.LoadSettings();
    bench.EnsureStores();
    for (int i = 0; i < files.size(); ++i) {
        SLoadReport report;
        if (!LoadExperimentFile(bench.Data(static_cast<std::size_t>(i)), files[i].toStdString(),
                                nullptr, &report)) {
            std::fprintf(stderr, "%s: %s\n", files[i].toLocal8Bit().constData(),
                         report.Summary().c_str());
            return 1;
        }
    }
    CMainFrame frame(bench, settings);
    frame.resize(1280, 800);
    frame.show();
    frame.View().NotifyDeviceListChanged();
    ChooseCurves(frame, {{0, 3}, {0, 6}, {1, 3}, {1, 33}, {0, 40}});
    auto* graphPage = frame.findChild<CGraphPage*>();
    CGraphicCtrl* g = graphPage->Graph();
    frame.Pages()->setCurrentIndex(2);
    g->SetTimeWindow(0, 86400);
    g->FitAllCommon();
    g->Fit();
    Save(frame, dir, "graphs-day-timeseries.png");
    // A selection (as dragged with the right button) over an hour, shown as a band.
    CGraphHub::For(frame.Context()).Settings().selectionBand = true;
    emit CGraphHub::For(frame.Context()).settingsChanged(false);
    g->ZoomTimeIn();
    g->ZoomTimeIn();
    g->State().selection = {true, 3600, 7200};
    graph::GraphList().SetSelection(true, 3600, 7200);
    emit g->selectionChanged(true, 3600, 7200);
    g->SelectCurve(1);
    Wait(1500);
    Save(frame, dir, "graphs-day-selection.png");
    frame.Pages()->setCurrentIndex(3);
    frame.View().SetCurrentDevice(1);
    Save(frame, dir, "graphs-day-statgraph.png");
    frame.Pages()->setCurrentIndex(4);
    Save(frame, dir, "graphs-curvelist.png");
    frame.resize(CMainFrame::kMinWidth, CMainFrame::kMinHeight);
    frame.Pages()->setCurrentIndex(2);
    Save(frame, dir, "graphs-day-timeseries-min.png");
    frame.Pages()->setCurrentIndex(3);
    Save(frame, dir, "graphs-day-statgraph-min.png");

    CSettingsSheet sheet(frame.Context(), false);
    sheet.resize(760, 560);
    sheet.show();
    const char* names[] = {"graphs-settings-statgraph.png", "graphs-settings-colors.png",
                           "graphs-settings-main.png"};
    for (int i = 0; i < sheet.PageCount(); ++i) {
        const QString title = sheet.PageTitle(i);
        int which = title == "График среднее UG0-9" ? 0
                    : title == "Цвета графиков"     ? 1
                    : title == "Настройки основного графика" ? 2
                                                             : -1;
        if (which < 0) continue;
        sheet.SelectPageAt(i);
        Save(sheet, dir, names[which]);
        if (which == 1) {
            if (auto* b = sheet.Page(i)->findChild<CColorButton*>()) {
                b->OpenPalette();
                Wait(200);
                if (b->Palette()) Save(*b->Palette(), dir, "graphs-color-palette.png");
            }
        }
    }
    CGraphCommentDialog comment(settings, QString::fromUtf8(graph::kDefaultCaption) + "Calibration run",
                                true);
    comment.show();
    Save(comment, dir, "graphs-comment-dialog.png");
    return 0;
}

int Demo(const QString& dir, int seconds) {
    CMemorySettingsStore settings;
    sim::PrepareDemoSettings(settings);
    sim::CDemoRig rig;
    std::string error;
    if (!rig.Start(settings, error)) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        return 1;
    }
    CBench bench(settings);
    bench.LoadSettings();
    CMainFrame frame(bench, settings);
    frame.OpenPortsInBackground();
    frame.resize(1280, 800);
    frame.show();
    Wait(3000);
    frame.StartSearch();
    for (int i = 0; i < 120 && frame.BusyWith() != CMainFrame::Busy::None; ++i) Wait(500);
    frame.ToggleExperiment();
    Wait(2000);
    CGraphHub& hub = CGraphHub::For(frame.Context());
    hub.caption = QString::fromUtf8(graph::kDefaultCaption) + "демо";
    ChooseCurves(frame, {{0, 3}, {1, 3}, {2, 6}, {3, 33}, {5, 9}});
    auto* graphPage = frame.findChild<CGraphPage*>();
    graphPage->Graph()->State().captionOn = true;
    graphPage->Graph()->State().caption = hub.caption.toStdString();
    graphPage->Graph()->State().timeAxes = true;
    graphPage->Graph()->SetTimeWindow(0, 100);
    frame.Pages()->setCurrentIndex(2);
    Wait(seconds * 1000);
    graphPage->Graph()->Fit();
    Save(frame, dir, "graphs-demo-timeseries.png");
    frame.Pages()->setCurrentIndex(3);
    Wait(1500);
    Save(frame, dir, "graphs-demo-statgraph.png");
    frame.Pages()->setCurrentIndex(4);
    Save(frame, dir, "graphs-demo-curvelist.png");
    frame.ToggleExperiment();
    for (int i = 0; i < 40 && bench.IsRunning(); ++i) Wait(250);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    dravmer::ui::InstallLocaleLanguage(app);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == "day") return Day(args[2], args.mid(3));
    if (args.size() == 4 && args[1] == "demo") return Demo(args[2], args[3].toInt());
    std::fprintf(stderr, "usage: graph_shots day OUTDIR FILE... | demo OUTDIR SECONDS\n");
    return 2;
}
