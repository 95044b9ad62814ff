#pragma once
// A bench with a few devices whose stores hold made-up seconds, and the context the graph pages
// take; one QApplication for the program. DRAVMER_SHOTS_DIR set: pages are also saved as PNG.
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include "graph/day_data.h"
#include "graph/graph_list.h"
#include "ui/bench_events.h"
#include "ui/ui_context.h"

namespace dravmer::ui::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test_graph_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

struct SGraphBench {
    CMemorySettingsStore settings;
    std::unique_ptr<CBench> bench;
    std::unique_ptr<CBenchEvents> events;
    std::unique_ptr<SUiContext> ctx;

    explicit SGraphBench(int devices = 3, int seconds = 3000) {
        App();
        std::string list, ports, enabled;
        for (int i = 0; i < devices; ++i) {
            list += std::to_string(10001 + i) + ";";
            ports += "0;";
            enabled += "1;";
        }
        settings.SetString("DeviceList", "List", list);
        settings.SetString("DeviceList", "PortList", ports);
        settings.SetString("DeviceList", "EnableList", enabled);
        bench = std::make_unique<CBench>(settings);
        bench->LoadSettings();
        bench->EnsureStores();
        for (std::size_t i = 0; i < bench->StoreCount(); ++i)
            graph::test::FillDay(bench->Data(i), seconds, static_cast<unsigned>(i));
        events = std::make_unique<CBenchEvents>();
        ctx = std::make_unique<SUiContext>(SUiContext{*bench, settings, *events});
        graph::GraphList().Clear();
        graph::GraphList().SetSelection(false, 0, 0);
    }
    ~SGraphBench() {
        events.reset();  // the graphs' hub goes with it, before the bench
        graph::GraphList().Clear();
        graph::GraphList().SetSelection(false, 0, 0);
    }
};

// Saves a grab of the widget when DRAVMER_SHOTS_DIR is set.
inline void Shot(QWidget& w, const char* name) {
    const char* dir = std::getenv("DRAVMER_SHOTS_DIR");
    if (!dir) return;
    w.grab().save(QDir(QString::fromUtf8(dir)).filePath(QString::fromUtf8(name)));
}

}  // namespace dravmer::ui::test
