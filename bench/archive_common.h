#pragma once
// What the archive's benchmarks share: a device-day of records (the baseline day.adc when the
// numpy/pandas comparison has generated it, otherwise a synthetic day of the same shape) and an
// empty archive on each back end.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_io.h"
#include "files/file_format.h"
#include "pg_server.h"

namespace dravmer::bench_archive {

inline std::string BaselineFile(const char* name) {
    const char* dir = std::getenv("DRAVMER_BASELINE_DIR");
    return std::string(dir ? dir : "/tmp/dravmer-baseline") + "/" + name;
}

// One device-day: 86,400 records of all 43 columns, as an .adc file holds them.
inline const SArchivedDevice& DeviceDay(std::vector<int>& columns, std::string& source) {
    static SArchivedDevice day;
    static std::vector<int> dayColumns;
    static std::string daySource;
    if (day.recordCount == 0) {
        CDeviceData store;
        SLoadReport report;
        const std::string path = BaselineFile("day.adc");
        if (std::filesystem::exists(path) && LoadExperimentFile(store, path, nullptr, &report)) {
            for (int c : report.columns)
                if (c >= 0) dayColumns.push_back(c);
            daySource = path;
        } else {
            std::mt19937 rng(7);
            std::normal_distribution<double> noise(0, 1);
            for (std::uint32_t t = 0; t < 86400; ++t) {
                CMeasRecord r;
                r.time = t;
                r.cycle = static_cast<std::uint8_t>(t);
                r.state = 0x0011;
                for (int p = 3; p < 43; ++p)
                    SetParam(r, p,
                             static_cast<float>(p * 3.1 + std::sin(t / 3600.0 + p) * 0.5 +
                                                noise(rng) * 0.01 * p));
                store.AddSample(r);
            }
            for (int c = 0; c < 43; ++c) dayColumns.push_back(c);
            daySource = "synthetic (sine drift and noise, float)";
        }
        DeviceFromStore(store, dayColumns, true, day);
    }
    columns = dayColumns;
    source = daySource;
    return day;
}

// An experiment of `devices` copies of the device-day with their own addresses.
inline SArchivedExperiment DaysExperiment(int devices, int number) {
    SArchivedExperiment e;
    std::string source;
    const SArchivedDevice& day = DeviceDay(e.columns, source);
    e.date = "261207";
    e.number = number;
    e.startTime = 1796600000 + number;
    e.duration = 86399;
    for (int k = 0; k < devices; ++k) {
        e.devices.push_back(day);
        e.devices.back().address = static_cast<std::uint32_t>(100000 + k);
    }
    return e;
}

// A new SQLite archive in the temporary folder, removed when the program ends (a hundred
// device-days take more than a gigabyte).
inline std::string SqliteUrl(const std::string& name) {
    struct SCleanup {
        std::vector<std::string> paths;
        ~SCleanup() {
            std::error_code ec;
            for (const auto& p : paths)
                for (const char* suffix : {"", "-wal", "-shm"})
                    std::filesystem::remove(p + suffix, ec);
        }
    };
    static SCleanup cleanup;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("dravmer-bench-" + std::to_string(::getpid()) + "-" + name + ".sqlite"))
                                 .string();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    cleanup.paths.push_back(path);
    return "sqlite:" + path;
}

inline std::string PostgresUrl() {
    auto& pg = testing_archive::CTestPostgres::Instance();
    return pg.Running() ? pg.NewDatabaseUrl() : std::string();
}

}  // namespace dravmer::bench_archive
