// A week of a hundred devices, the longest experiment the files allow (604,800 records each),
// fed into the bench's stores in simulated time with the record cache on, as the poll threads
// would over seven days. Then, on those records:
//   - a full repaint of 50 curves (50 devices) over the whole week, offscreen at 1280 x 800,
//     beside the same curves with a day in the window, and, once, the first copy of the 50
//     curves out of the stores;
//   - "Расчет статистики" over every record of the 100 devices, over the week but its first
//     and last second (a range, from the block summaries), and over the longest range whose
//     every record is read;
//   - the readings table's reads: 40 rows of one device anywhere in the week.
// Counters: the peak anonymous memory (RssAnon, sampled every simulated hour and after each
// step), the peak resident size (VmHWM, which also counts cached file pages the kernel can drop)
// and the disk the cache took at most.
//
// Usage: bench_week_run [--benchmark_...]; DRAVMER_WEEK_DEVICES and DRAVMER_WEEK_SECONDS make a
// smaller run (defaults 100 and 604800); the cache goes to DRAVMER_CACHE_DIR or the user's
// cache folder. DRAVMER_WEEK_CACHE=0 keeps every record in memory instead, as the stores did
// before the record cache: the same steps, for comparison (a week of 100 devices then needs
// more memory than a lab PC has; give it a day).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "graph/graph_list.h"
#include "graph/paint/graph_painter.h"
#include "platform/page_file.h"
#include "platform/paths.h"

namespace dravmer {
namespace {

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

const int kDevices = EnvInt("DRAVMER_WEEK_DEVICES", 100);
const int kSeconds = EnvInt("DRAVMER_WEEK_SECONDS", 604800);
const bool kCache = EnvInt("DRAVMER_WEEK_CACHE", 1) != 0;
constexpr int kCurves = 50;
constexpr int kWidth = 1280, kHeight = 800;

// kB from /proc/self/status.
long StatusKb(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(f, line))
        if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
    return 0;
}

long g_peakAnonKb = 0;
void SampleAnon() { g_peakAnonKb = std::max(g_peakAnonKb, StatusKb("RssAnon")); }

// Slow waves with noise, the UG family a step apart on odd and even seconds: cheap enough to
// make 60 million records.
struct SWave {
    double table[4096];
    SWave() {
        for (int i = 0; i < 4096; ++i) table[i] = std::sin(2 * M_PI * i / 4096);
    }
};

CMeasRecord WeekRecord(std::uint32_t t, unsigned device) {
    static const SWave wave;
    CMeasRecord r;
    r.time = t;
    r.cycle = static_cast<std::uint8_t>(t);
    r.state = 0xA3;
    std::uint32_t h = t * 2654435761u ^ (device * 40503u + 17u);
    for (int p = kStatFirstParam; p < kParamCount; ++p) {
        if (p == param::kGvEr) continue;
        h = h * 1664525u + 1013904223u;
        const double noise = static_cast<double>((h >> 8) % 2001) / 1000.0 - 1.0;
        double v = 10.0 * p + 5.0 * wave.table[(t / (4u + p % 7u) + device * 97u) & 4095u] +
                   0.8 * noise;
        if ((p == param::kUG || p == param::kUGmin || p == param::kUGmax ||
             (p >= param::UGi(0) && p <= param::UGi(9))) &&
            (t & 1))
            v += 6.0;
        SetParam(r, p, v);
    }
    return r;
}

struct SWeek {
    CMemorySettingsStore settings;
    CBench bench{settings};
    std::vector<graph::SCurveSpec> curves;
    graph::SGraphState state;
    graph::CSeriesCache cache;
    double feedSeconds = 0;
    bool paged = false;
};

std::unique_ptr<SWeek> g_week;

SWeek& Week() {
    if (g_week) return *g_week;
    g_week = [] {
        auto w = std::make_unique<SWeek>();
        if (kCache)
            w->paged = w->bench.EnablePaging(CacheDir(), [](const std::string& line) {
                std::fprintf(stderr, "bench_week_run: %s\n", line.c_str());
            });
        CDeviceList& list = w->bench.Settings().devices;
        for (int d = 0; d < kDevices; ++d) list.AddFound(100101u + static_cast<unsigned>(d), d % 4, true);
        list.RebuildActive();
        w->bench.EnsureStores();
        std::vector<CDeviceData*> stores;
        for (int d = 0; d < kDevices; ++d) stores.push_back(&w->bench.Data(static_cast<std::size_t>(d)));
        const auto start = std::chrono::steady_clock::now();
        for (int t = 0; t < kSeconds; ++t) {
            for (int d = 0; d < kDevices; ++d)
                stores[static_cast<std::size_t>(d)]->AddSample(
                    WeekRecord(static_cast<std::uint32_t>(t), static_cast<unsigned>(d)));
            if (t % 3600 == 0) SampleAnon();
        }
        w->feedSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        SampleAnon();
        const int params[5] = {param::kUG, param::kUG2_2, param::kT1, param::UGi(0), param::kT1_20};
        for (int k = 0; k < std::min(kCurves, kDevices); ++k) {
            w->curves.push_back({stores[static_cast<std::size_t>(k)], 100101u + static_cast<unsigned>(k),
                                 params[k % 5], k, graph::DefaultSlotColors()[static_cast<std::size_t>(k)]});
            const double lo = 10.0 * params[k % 5] - 10;
            w->state.axes[static_cast<std::size_t>(k)] =
                graph::AxisFromRange(lo, lo + 60, w->state.hLines - 1, 1.0);
        }
        w->state.window = graph::MakeTimeWindow(0, kSeconds, w->state.vLines);
        return w;
    }();
    return *g_week;
}

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "bench_week_run";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

void Counters(benchmark::State& state) {
    SWeek& w = Week();
    SampleAnon();
    state.counters["devices"] = kDevices;
    state.counters["records_per_device"] = w.bench.Data(0).GetCount();
    state.counters["peak_anon_MB"] = static_cast<double>(g_peakAnonKb) / 1024.0;
    state.counters["VmHWM_MB"] = static_cast<double>(StatusKb("VmHWM")) / 1024.0;
    if (auto file = w.bench.PageFile())
        state.counters["cache_disk_MB"] = static_cast<double>(file->PeakBytes()) / 1048576.0;
}

void BM_FeedTheWeek(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(Week().bench.Data(0).GetCount());
    if (kCache && !Week().paged) state.SkipWithError("no record cache");
    state.counters["feed_s"] = Week().feedSeconds;
    state.counters["record_cache"] = Week().paged ? 1 : 0;
    Counters(state);
}

void BM_FirstCopyOf50WeekCurves(benchmark::State& state) {
    App();
    SWeek& w = Week();
    for (auto _ : state)
        for (const auto& c : w.curves) w.cache.Get(c.store, c.param).Sync(*c.store, c.param);
    Counters(state);
}

void Repaint(benchmark::State& state, std::int64_t first, std::int64_t last) {
    App();
    SWeek& w = Week();
    graph::SGraphState st = w.state;
    st.window = graph::MakeTimeWindow(first, last, st.vLines);
    graph::CGraphPainter painter;
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter p(&img);  // the curves are copied once, as after the page's first paint
        painter.Paint(p, kWidth, kHeight, st, w.curves, w.cache);
    }
    for (auto _ : state) {
        QPainter p(&img);
        painter.Paint(p, kWidth, kHeight, st, w.curves, w.cache);
        benchmark::DoNotOptimize(img.constBits());
    }
    Counters(state);
}
void BM_FullRepaint50CurvesWholeWeek(benchmark::State& state) { Repaint(state, 0, kSeconds); }
// The same curves with the last day of the week in the window: what a day-wide graph costs.
void BM_FullRepaint50CurvesLastDay(benchmark::State& state) {
    Repaint(state, std::max(0, kSeconds - 86400), kSeconds);
}

void BM_StatisticsOverEveryRecord(benchmark::State& state) {
    SWeek& w = Week();
    for (auto _ : state)
        for (int d = 0; d < kDevices; ++d) w.bench.Data(static_cast<std::size_t>(d)).CalcAll();
    state.counters["n"] = w.bench.Data(0).GetStatState().n;
    Counters(state);
}

void BM_StatisticsOverTheWeekAsARange(benchmark::State& state) {
    SWeek& w = Week();
    for (auto _ : state)
        for (int d = 0; d < kDevices; ++d)
            w.bench.Data(static_cast<std::size_t>(d))
                .CalcRange(1, static_cast<std::uint32_t>(kSeconds - 2), false);
    state.counters["n"] = w.bench.Data(0).GetStatState().n;
    Counters(state);
}

// The longest range whose every record is walked (a day and a half; a longer one takes its whole
// blocks from their summaries), in the middle of the week: the slowest recompute there is.
void BM_StatisticsOverTheLongestWalkedRange(benchmark::State& state) {
    SWeek& w = Week();
    const int span = std::min(CDeviceData::kWalkAll, kSeconds);
    const auto from = static_cast<std::uint32_t>((kSeconds - span) / 2);
    for (auto _ : state)
        for (int d = 0; d < kDevices; ++d)
            w.bench.Data(static_cast<std::size_t>(d))
                .CalcRange(from, from + static_cast<std::uint32_t>(span - 1), false);
    state.counters["n"] = w.bench.Data(0).GetStatState().n;
    Counters(state);
}

// What the readings table asks for a screen of 40 rows, at a place anywhere in the week.
void BM_ReadingsScreenAnywhere(benchmark::State& state) {
    SWeek& w = Week();
    CDeviceData& store = w.bench.Data(static_cast<std::size_t>(kDevices / 2));
    std::uint32_t at = 1;
    for (auto _ : state) {
        at = (at * 7919u + 104729u) % static_cast<std::uint32_t>(store.GetCount() - 40);
        for (int row = 0; row < 40; ++row)
            benchmark::DoNotOptimize(store.GetSample(static_cast<int>(at) + row));
    }
    Counters(state);
}

BENCHMARK(BM_FeedTheWeek)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FirstCopyOf50WeekCurves)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FullRepaint50CurvesWholeWeek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullRepaint50CurvesLastDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatisticsOverEveryRecord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatisticsOverTheWeekAsARange)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StatisticsOverTheLongestWalkedRange)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadingsScreenAnywhere)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace dravmer

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The bench goes, and its cache file with it.
    dravmer::g_week.reset();
    return 0;
}
