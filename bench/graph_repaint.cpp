// The time-series graph with 50 curves over a day of seconds (86,400 records each), painted
// offscreen at 1280 x 800: a full repaint with the whole day in the window, the same with the
// usual 2000-second window at the end, the once-a-second live update (one record appended to
// every store by the acquisition, untimed; then the graph's copy of it and the repaint), and
// the first copy of the curves out of the stores.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <memory>
#include <vector>

#include "graph/day_data.h"
#include "graph/graph_list.h"
#include "graph/paint/graph_painter.h"

namespace dravmer::graph {
namespace {

constexpr int kStores = 10;
constexpr int kCurvesPerStore = 5;  // 50 curves
constexpr int kDay = 86400;
constexpr int kWidth = 1280, kHeight = 800;

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "bench_graph_repaint";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

struct SDay {
    std::vector<std::unique_ptr<CDeviceData>> stores;
    std::vector<SCurveSpec> curves;
    SGraphState state;
    int next = kDay;  // the next second to append
};

SDay& Day() {
    static SDay* day = [] {
        auto* d = new SDay;
        const int params[kCurvesPerStore] = {3, 6, 9, 23, 35};  // two UG curves of two lines each
        for (int s = 0; s < kStores; ++s) {
            d->stores.push_back(std::make_unique<CDeviceData>(s));
            test::FillDay(*d->stores.back(), kDay, static_cast<unsigned>(s));
            for (int p : params)
                d->curves.push_back({d->stores.back().get(), 1000u + s, p,
                                     static_cast<int>(d->curves.size()),
                                     DefaultSlotColors()[d->curves.size()]});
        }
        for (std::size_t k = 0; k < d->curves.size(); ++k) {
            double lo = 10.0 * d->curves[k].param - 10;
            d->state.axes[k] = AxisFromRange(lo, lo + 60, d->state.hLines - 1, 1.0);
        }
        return d;
    }();
    return *day;
}

void Repaint(benchmark::State& state, std::int64_t first, std::int64_t last, bool append) {
    App();
    SDay& day = Day();
    day.state.window = MakeTimeWindow(first, last, day.state.vLines);
    CSeriesCache cache;
    CGraphPainter painter;
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter p(&img);  // warm: the curves are copied once, as after the page's first paint
        painter.Paint(p, kWidth, kHeight, day.state, day.curves, cache);
    }
    for (auto _ : state) {
        if (append) {
            // The poll threads append; the window's share is the copy of the new records and
            // the repaint.
            state.PauseTiming();
            for (auto& s : day.stores) s->AddSample(test::DayRecord(day.next, 0));
            ++day.next;
            if (day.state.window.last < day.next) TimeToEnd(day.state.window, day.next);
            state.ResumeTiming();
        }
        QPainter p(&img);
        painter.Paint(p, kWidth, kHeight, day.state, day.curves, cache);
        benchmark::DoNotOptimize(img.constBits());
    }
    state.counters["curves"] = static_cast<double>(day.curves.size());
    state.counters["records"] = static_cast<double>(day.stores[0]->GetCount());
}

void BM_FullRepaintWholeDay(benchmark::State& state) { Repaint(state, 0, kDay, false); }
void BM_FullRepaintLast2000s(benchmark::State& state) {
    Repaint(state, kDay - 2000, kDay, false);
}
void BM_LiveUpdateLast2000s(benchmark::State& state) { Repaint(state, kDay - 2000, kDay, true); }
void BM_LiveUpdateWholeDay(benchmark::State& state) { Repaint(state, 0, 2 * kDay, true); }

// The first paint after the curves were chosen copies each parameter out of its store.
void BM_FirstCopyOfFiftyCurves(benchmark::State& state) {
    App();
    SDay& day = Day();
    for (auto _ : state) {
        CSeriesCache cache;
        for (const auto& c : day.curves) cache.Get(c.store, c.param).Sync(*c.store, c.param);
        benchmark::DoNotOptimize(&cache);
    }
}

BENCHMARK(BM_FullRepaintWholeDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullRepaintLast2000s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveUpdateLast2000s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveUpdateWholeDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstCopyOfFiftyCurves)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace dravmer::graph

BENCHMARK_MAIN();
