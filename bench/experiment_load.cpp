// Loading stored experiments into the stores, compared in the same run with what a user would do
// instead (the numpy/pandas script named by DRAVMER_BASELINE_SCRIPT, default
// /work/shared/perf/baseline.py, which also writes the device-day files into
// DRAVMER_BASELINE_DIR, default /tmp/dravmer-baseline):
//   - one device-day (86,400 records, 43 columns) into a fresh store, .adc and .txt;
//   - an experiment of 100 device-days into the bench's stores, with the peak memory, the stores
//     holding every record in memory (as before the record cache) and with the record cache on
//     (as the window and the CLI run);
//   - "Расчет статистики" over one hour on those 100 devices.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench/bench.h"
#include "files/file_format.h"
#include "platform/paths.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

std::string BaselineDir() {
    const char* dir = std::getenv("DRAVMER_BASELINE_DIR");
    return dir ? dir : "/tmp/dravmer-baseline";
}

double PeakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void LoadDay(benchmark::State& state, const char* name) {
    const std::string path = BaselineDir() + "/" + name;
    if (!fs::exists(path)) {
        state.SkipWithError(("missing " + path).c_str());
        return;
    }
    for (auto _ : state) {
        // A fresh store each time, as the program has for a device it has not shown yet.
        CDeviceData store;
        SLoadReport report;
        if (!LoadExperimentFile(store, path, nullptr, &report)) state.SkipWithError(report.error.c_str());
        benchmark::DoNotOptimize(store.GetStatValue(StatKind::Sigma, 3));
        state.counters["records"] = report.records;
    }
}
void BM_DayAdcIntoFreshStore(benchmark::State& state) { LoadDay(state, "day.adc"); }
void BM_DayTxtIntoFreshStore(benchmark::State& state) { LoadDay(state, "day.txt"); }

// 100 names of one experiment, hard links to the device-day .adc (one copy on disk).
SGroupLoadData HundredDevices() {
    SGroupLoadData group;
    const fs::path day = BaselineDir() + "/day.adc";
    const fs::path dir = BaselineDir() + "/hundred";
    fs::create_directories(dir);
    for (std::uint32_t d = 0; d < 100; ++d) {
        char name[32];
        std::snprintf(name, sizeof name, "261206-001-%6.6u.adc", 100101 + d);
        const fs::path p = dir / name;
        std::error_code ec;
        if (!fs::exists(p)) fs::create_hard_link(day, p, ec);
        if (ec) fs::copy_file(day, p, ec);
        group.paths.push_back(p.string());
        group.addresses.push_back(100101 + d);
    }
    return group;
}

struct SHundred {
    CMemorySettingsStore settings;
    CBench bench{settings};
};

// kB from /proc/self/status.
long StatusKb(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(f, line))
        if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
    return 0;
}
std::unique_ptr<SHundred>& Hundred() {
    static std::unique_ptr<SHundred> h;
    return h;
}

void Load100DeviceDays(benchmark::State& state, bool paged) {
    if (!fs::exists(BaselineDir() + "/day.adc")) {
        state.SkipWithError("missing day.adc");
        return;
    }
    const SGroupLoadData group = HundredDevices();
    const double before = PeakRssMb();
    long anonKb = 0;
    for (auto _ : state) {
        Hundred().reset();
        Hundred() = std::make_unique<SHundred>();
        if (paged && !Hundred()->bench.EnablePaging(CacheDir(), nullptr))
            state.SkipWithError("no record cache");
        const int loaded = Hundred()->bench.LoadExperiment(group);
        if (loaded != 100) state.SkipWithError("not every file loaded");
        anonKb = std::max(anonKb, StatusKb("RssAnon"));
    }
    std::size_t bytes = 0;
    long records = 0;
    for (std::size_t i = 0; i < 100; ++i) {
        bytes += Hundred()->bench.Data(i).AllocatedBytes();
        records += Hundred()->bench.Data(i).GetCount();
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["stores_MB"] = static_cast<double>(bytes) / 1048576.0;
    state.counters["peak_rss_MB"] = PeakRssMb();
    state.counters["rss_before_MB"] = before;
    state.counters["anon_after_MB"] = static_cast<double>(anonKb) / 1024.0;
}
void BM_Load100DeviceDays(benchmark::State& state) { Load100DeviceDays(state, false); }
void BM_Load100DeviceDaysPaged(benchmark::State& state) { Load100DeviceDays(state, true); }

void BM_CalcOneHourOn100Devices(benchmark::State& state) {
    if (!Hundred()) {
        state.SkipWithError("needs BM_Load100DeviceDays first");
        return;
    }
    CBench& bench = Hundred()->bench;
    for (auto _ : state) {
        for (std::size_t i = 0; i < 100; ++i) bench.Data(i).CalcRange(36000, 39599, false);
    }
    state.counters["n"] = bench.Data(0).GetStatState().n;
}

void BM_CalcAllOn100Devices(benchmark::State& state) {
    if (!Hundred()) {
        state.SkipWithError("needs BM_Load100DeviceDays first");
        return;
    }
    CBench& bench = Hundred()->bench;
    for (auto _ : state)
        for (std::size_t i = 0; i < 100; ++i) bench.Data(i).CalcAll();
}

BENCHMARK(BM_DayAdcIntoFreshStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DayTxtIntoFreshStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load100DeviceDays)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CalcOneHourOn100Devices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcAllOn100Devices)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Load100DeviceDaysPaged)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_CalcOneHourOn100Devices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcAllOn100Devices)->Unit(benchmark::kMillisecond)->Iterations(2);

// The comparison script's figures, printed before the benchmarks of the same run.
void RunBaseline() {
    const char* script = std::getenv("DRAVMER_BASELINE_SCRIPT");
    const std::string path = script ? script : "/work/shared/perf/baseline.py";
    if (!fs::exists(path)) {
        std::printf("baseline script %s not found: no comparison\n", path.c_str());
        return;
    }
    const std::string command = "/usr/bin/python3 '" + path + "' '" + BaselineDir() + "' 2>&1";
    std::printf("--- %s\n", command.c_str());
    if (FILE* p = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, p)) std::fputs(line, stdout);
        pclose(p);
    }
    std::printf("---\n");
    std::fflush(stdout);
}

}  // namespace
}  // namespace dravmer

int main(int argc, char** argv) {
    dravmer::RunBaseline();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    dravmer::Hundred().reset();  // and the record cache with it
    return 0;
}
