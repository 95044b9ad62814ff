// Scrolling the readings table of a device-day (86,400 records): one screenful down per
// iteration, painted, at 1280 x 800 on the offscreen platform; /0 with every record in memory,
// /1 with the record cache on (all but the newest block read back from the cache file).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>

#include "bench/bench.h"
#include "platform/paths.h"
#include "ui/bench_events.h"
#include "ui/pages/readings_page.h"
#include "ui/ui_context.h"

namespace dravmer::ui {
namespace {

void BM_ReadingsScrollPerScreen(benchmark::State& state) {
    CMemorySettingsStore settings;
    CBench bench(settings);
    if (state.range(0) && !bench.EnablePaging(CacheDir(), nullptr)) {
        state.SkipWithError("no record cache");
        return;
    }
    CDeviceList& list = bench.Settings().devices;
    list.AddFound(101, 0, true);
    list.RebuildActive();
    bench.EnsureStores();
    CDeviceData& store = bench.Data(0);
    CMeasRecord r;
    for (std::uint32_t t = 0; t < 86400; ++t) {
        r.time = t;
        r.cycle = static_cast<std::uint8_t>(t);
        for (int i = 3; i < kParamCount; ++i)
            if (i != 15) SetParam(r, i, 100 + (t * 7 + static_cast<unsigned>(i)) % 41);
        store.AddSample(r);
    }
    CBenchEvents events;
    SUiContext context{bench, settings, events};
    bench.Settings().autoScroll = false;
    CReadingsPage page(context);
    page.resize(1280, 800);
    page.show();
    QApplication::processEvents();
    QScrollBar* bar = page.Readings()->verticalScrollBar();
    int rowsPerScreen = bar->pageStep();
    for (auto _ : state) {
        int next = bar->value() + bar->pageStep();
        if (next > bar->maximum()) next = 0;
        bar->setValue(next);
        page.Readings()->viewport()->repaint();
    }
    state.counters["rows"] = page.Readings()->model()->rowCount();
    state.counters["rows_per_screen"] = rowsPerScreen;
    state.counters["columns"] = page.Readings()->model()->columnCount();
    state.counters["paged_records"] = store.PagedCount();
}
BENCHMARK(BM_ReadingsScrollPerScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dravmer::ui

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
