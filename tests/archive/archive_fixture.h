#pragma once
// What the archive tests share: every back-end test runs once on SQLite and once on the test
// program's PostgreSQL server; experiments are real files written the way the bench writes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "files/experiment_files.h"
#include "files/file_format.h"
#include "measure/device_data.h"
#include "platform/cp1251.h"
#include "pg_server.h"

namespace dravmer::testing_archive {

namespace fs = std::filesystem;

inline std::string ReadAll(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Records like a device's: every parameter moves, время and Цикл count, with a missed second.
inline void FillStore(CDeviceData& store, int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> v(100, 5);
    std::uint32_t t = 0;
    for (int i = 0; i < count; ++i, ++t) {
        if (i == count / 2) ++t;  // a lost second
        CMeasRecord r;
        for (int p = 3; p < 43; ++p) SetParam(r, p, v(rng) * (p % 7 + 1) - 300);
        r.gvEr = static_cast<std::uint8_t>(i % 5);
        r.time = t;
        r.cycle = static_cast<std::uint8_t>(t + seed);
        r.state = static_cast<std::uint16_t>(0xA3F0 + i % 16);
        r.kg = 16;
        r.kr = 2;
        store.AddSample(r);
    }
}

class ArchiveTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        static int counter = 0;
        dir = fs::temp_directory_path() /
              ("dravmer-archive-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(dir);
        fs::create_directories(dir);
        if (GetParam() == "sqlite") {
            url = "sqlite:" + (dir / "db" / "archive.sqlite").string();
        } else {
            CTestPostgres& pg = CTestPostgres::Instance();
            ASSERT_TRUE(pg.Running()) << "the test PostgreSQL server did not start: " << pg.Error();
            url = pg.NewDatabaseUrl();
            ASSERT_FALSE(url.empty()) << pg.Error();
        }
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::unique_ptr<CArchive> OpenArchive() {
        int code = 0;
        std::string error;
        auto a = CArchive::Open(url, code, error);
        EXPECT_EQ(code, kArchiveOk) << error;
        return a;
    }

    // One experiment's files in `folder`: one per address, `records` each, and a label.
    std::vector<std::string> WriteExperiment(const fs::path& folder, const std::string& date,
                                             int number, const std::vector<std::uint32_t>& addresses,
                                             int records, bool text,
                                             const std::string& label = "Калибровка стенда") {
        fs::create_directories(folder);
        std::vector<std::string> paths;
        SFileOptions options;
        options.toFile[20] = false;  // a column left out, as operators do
        options.fileDecimals[4] = 6;
        for (std::size_t k = 0; k < addresses.size(); ++k) {
            CDeviceData store;
            store.SetFirmwareVersion(5, static_cast<std::uint8_t>(40 + k));
            FillStore(store, records, static_cast<unsigned>(addresses[k] + number));
            store.SetStartTime(1796536000 + number * 3600);  // 2026-12-06, the day the names carry
            std::string path =
                (folder / ExperimentFileName(date, number, addresses[k], text)).string();
            EXPECT_EQ(SaveStoreAs(store, path, text, options.Columns(), options), 0);
            paths.push_back(path);
        }
        if (!label.empty()) {
            std::ofstream f(folder / LabelFileName(date, number), std::ios::binary);
            f << Utf8ToCp1251(label);
        }
        return paths;
    }

    fs::path dir;
    std::string url;
};

inline std::string BackendName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}

}  // namespace dravmer::testing_archive
