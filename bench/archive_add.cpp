// Archiving an experiment of N device-days (N devices of 86,400 records, 43 columns) into SQLite
// and into PostgreSQL: one transaction, records packed, statistics rows written.
#include <benchmark/benchmark.h>

#include "archive_common.h"

namespace dravmer::bench_archive {
namespace {

void Add(benchmark::State& state, bool postgres) {
    const int devices = static_cast<int>(state.range(0));
    const std::string url = postgres ? PostgresUrl() : SqliteUrl("add");
    if (url.empty()) {
        state.SkipWithError("the PostgreSQL server did not start");
        return;
    }
    int code = 0;
    std::string error;
    auto archive = CArchive::Open(url, code, error);
    if (!archive) {
        state.SkipWithError(error.c_str());
        return;
    }
    int number = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SArchivedExperiment e = DaysExperiment(devices, ++number);
        state.ResumeTiming();
        std::int64_t id = 0;
        if (archive->Add(e, id) != kArchiveOk) state.SkipWithError(archive->LastError().c_str());
    }
    state.counters["device_days"] = devices;
    state.counters["device_days_per_s"] =
        benchmark::Counter(static_cast<double>(devices) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void BM_ArchiveDeviceDaysSqlite(benchmark::State& state) { Add(state, false); }
void BM_ArchiveDeviceDaysPostgres(benchmark::State& state) { Add(state, true); }
BENCHMARK(BM_ArchiveDeviceDaysSqlite)->Arg(10)->Arg(100)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ArchiveDeviceDaysPostgres)->Arg(10)->Arg(100)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace dravmer::bench_archive

BENCHMARK_MAIN();
