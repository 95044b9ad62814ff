// `history` of one device over 1,000 archived experiments: one statistic of one parameter, one
// row per experiment, oldest first. Each experiment holds the device and four others.
#include <benchmark/benchmark.h>

#include "archive_common.h"
#include "measure/param_catalog.h"

namespace dravmer::bench_archive {
namespace {

constexpr int kExperiments = 1000;

// An archive of 1,000 small experiments, filled once per back end.
CArchive* Filled(bool postgres, std::string& error) {
    static std::unique_ptr<CArchive> archives[2];
    auto& a = archives[postgres ? 1 : 0];
    if (a) return a.get();
    const std::string url = postgres ? PostgresUrl() : SqliteUrl("history");
    if (url.empty()) {
        error = "the PostgreSQL server did not start";
        return nullptr;
    }
    int code = 0;
    a = CArchive::Open(url, code, error);
    if (!a) return nullptr;
    std::mt19937 rng(1);
    std::normal_distribution<double> v(100, 5);
    for (int n = 0; n < kExperiments; ++n) {
        SArchivedExperiment e;
        e.date = "26" + std::to_string(1001 + n % 300).substr(1);
        e.number = n;
        e.startTime = 1767225600 + n * 3600;
        e.columns = {0, 1, 3, 23};
        for (int d = 0; d < 5; ++d) {
            SArchivedDevice dev;
            dev.address = d == 0 ? 4242 : static_cast<std::uint32_t>(5000 + n * 5 + d);
            dev.recordCount = 60;
            for (int r = 0; r < 60; ++r) dev.values.insert(dev.values.end(), {double(r), double(r % 256), v(rng), v(rng)});
            for (auto& kind : dev.stats)
                for (double& s : kind) s = v(rng);
            e.devices.push_back(std::move(dev));
        }
        std::int64_t id = 0;
        if (a->Add(e, id) != kArchiveOk) {
            error = a->LastError();
            a.reset();
            return nullptr;
        }
    }
    return a.get();
}

void History(benchmark::State& state, bool postgres) {
    std::string error;
    CArchive* archive = Filled(postgres, error);
    if (!archive) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int ug = FindParamByName("UG");
    std::vector<SHistoryRow> rows;
    for (auto _ : state) {
        if (archive->History(4242, ug, StatKind::Average, rows) != kArchiveOk)
            state.SkipWithError(archive->LastError().c_str());
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["rows"] = static_cast<double>(rows.size());
}

void BM_HistoryOver1000Sqlite(benchmark::State& state) { History(state, false); }
void BM_HistoryOver1000Postgres(benchmark::State& state) { History(state, true); }
BENCHMARK(BM_HistoryOver1000Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryOver1000Postgres)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dravmer::bench_archive

BENCHMARK_MAIN();
