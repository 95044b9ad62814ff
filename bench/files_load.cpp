// Loading a device-day (86,400 records, all 43 columns) with its running statistics, from the
// files the numpy/pandas comparison generates (DRAVMER_BASELINE_DIR, default
// /tmp/dravmer-baseline; run the comparison script once to create them).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "files/file_format.h"

namespace dravmer {
namespace {

std::string DayFile(const char* name) {
    const char* dir = std::getenv("DRAVMER_BASELINE_DIR");
    return std::string(dir ? dir : "/tmp/dravmer-baseline") + "/" + name;
}

void Load(benchmark::State& state, const char* name, bool keepRecords = true) {
    std::string path = DayFile(name);
    if (!std::filesystem::exists(path)) {
        state.SkipWithError(("missing " + path).c_str());
        return;
    }
    CDeviceData store;
    store.KeepRecords(keepRecords);
    for (auto _ : state) {
        SLoadReport report;
        if (!LoadExperimentFile(store, path, nullptr, &report))
            state.SkipWithError(report.error.c_str());
        benchmark::DoNotOptimize(store.GetStatValue(StatKind::Sigma, 3));
        state.counters["records"] = report.records;
    }
}

void BM_LoadDayAdcWithStats(benchmark::State& state) { Load(state, "day.adc"); }
void BM_LoadDayTxtWithStats(benchmark::State& state) { Load(state, "day.txt"); }
// What `dravmer-cli stats` does: the statistics of every record, no record kept.
void BM_StatisticsOfDayAdc(benchmark::State& state) { Load(state, "day.adc", false); }
BENCHMARK(BM_LoadDayAdcWithStats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatisticsOfDayAdc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDayTxtWithStats)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dravmer

BENCHMARK_MAIN();
