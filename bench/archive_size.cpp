// What a device-day costs in the archive against its .adc file (124 + 86,400 × 43 × 4 bytes):
// the packed records alone, and the growth of the SQLite file and of the PostgreSQL database
// with the statistics rows and indexes. The time is that of packing one device-day.
#include <benchmark/benchmark.h>

#include "archive/db.h"
#include "archive/record_codec.h"
#include "archive_common.h"

namespace dravmer::bench_archive {
namespace {

constexpr int kDays = 5;

double AdcBytes(const SArchivedExperiment& e) {
    return kAdcHeaderSize + 4.0 * e.columns.size() * e.devices[0].recordCount;
}

void BM_PackDeviceDay(benchmark::State& state) {
    SArchivedExperiment e = DaysExperiment(1, 1);
    const auto& values = e.devices[0].values;
    const int width = archive::ChooseValueWidth(values);
    std::size_t packed = 0;
    for (auto _ : state) {
        std::string blob = archive::EncodeRecords(values, static_cast<int>(e.columns.size()), width);
        packed = blob.size();
        benchmark::DoNotOptimize(blob.data());
    }
    std::string source;
    std::vector<int> columns;
    DeviceDay(columns, source);
    state.SetLabel(source);
    state.counters["adc_bytes"] = AdcBytes(e);
    state.counters["packed_bytes"] = static_cast<double>(packed);
    state.counters["packed_vs_adc"] = static_cast<double>(packed) / AdcBytes(e);
    state.counters["value_width"] = width;
}

std::uintmax_t SqliteBytes(const std::string& url) {
    std::error_code ec;
    std::uintmax_t total = 0;
    for (const char* suffix : {"", "-wal"}) {
        auto n = std::filesystem::file_size(url.substr(7) + suffix, ec);
        if (!ec) total += n;
    }
    return total;
}

double PostgresBytes(const std::string& url) {
    std::string error;
    auto db = archive::OpenPostgres(url, error);
    std::vector<archive::SDbRow> rows;
    if (!db || !db->Exec("SELECT pg_database_size(current_database())", {}, &rows)) return 0;
    return rows[0][0].AsReal();
}

void BM_ArchiveBytesPerDeviceDay(benchmark::State& state, bool postgres) {
    const std::string url = postgres ? PostgresUrl() : SqliteUrl("size");
    if (url.empty()) {
        state.SkipWithError("the PostgreSQL server did not start");
        return;
    }
    SArchivedExperiment e = DaysExperiment(kDays, 1);
    double before = 0, after = 0;
    for (auto _ : state) {
        int code = 0;
        std::string error;
        {
            auto archive = CArchive::Open(url, code, error);
            if (!archive) {
                state.SkipWithError(error.c_str());
                return;
            }
            before = postgres ? PostgresBytes(url) : static_cast<double>(SqliteBytes(url));
            std::int64_t id = 0;
            if (archive->Add(e, id) != kArchiveOk) state.SkipWithError(archive->LastError().c_str());
        }  // closing checkpoints SQLite's log into the file
        after = postgres ? PostgresBytes(url) : static_cast<double>(SqliteBytes(url));
    }
    const double perDay = (after - before) / kDays;
    state.counters["adc_bytes"] = AdcBytes(e);
    state.counters["archive_bytes_per_device_day"] = perDay;
    state.counters["archive_vs_adc"] = perDay / AdcBytes(e);
}

BENCHMARK(BM_PackDeviceDay)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ArchiveBytesPerDeviceDay, sqlite, false)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_ArchiveBytesPerDeviceDay, postgresql, true)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace dravmer::bench_archive

BENCHMARK_MAIN();
