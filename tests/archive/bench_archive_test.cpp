// The window's command: archive what a CBench recorded, with simulated devices behind the ports,
// and get the bench's own experiment files back out of the archive.
#include <chrono>
#include <thread>

#include "archive/archive_io.h"
#include "archive_fixture.h"
#include "bench/bench.h"
#include "bench/bench_archive.h"
#include "files/experiment_scan.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer::testing_archive {
namespace {

using namespace std::chrono_literals;

TEST(BenchArchive, ARecordedExperimentIsArchivedWithItsDevicesAndGivesBackTheBenchFiles) {
    const fs::path out = fs::temp_directory_path() / ("dravmer-bench-arch-" + std::to_string(::getpid()));
    fs::remove_all(out);
    fs::create_directories(out / "files");
    CMemorySettingsStore settings;
    std::vector<std::unique_ptr<sim::CSimLine>> sims;
    std::vector<std::unique_ptr<sim::CSimPtyServer>> servers;
    const std::uint32_t transits[2] = {0, 777};
    for (int p = 0; p < 2; ++p) {
        sim::SLineConfig config;
        config.transitAddress = transits[p];
        sims.push_back(std::make_unique<sim::CSimLine>(config));
        sims.back()->AddDevices(p == 0 ? 1 : 2, p == 0 ? 5001u : 6001u, 3);
        servers.push_back(std::make_unique<sim::CSimPtyServer>(*sims.back(), 115200));
        ASSERT_TRUE(servers.back()->Open()) << servers.back()->Error();
        servers.back()->Start();
        settings.SetString("ComSettingsPort" + std::to_string(p), "DevicePath",
                           servers.back()->SlavePath());
    }
    for (int p = 2; p < kPortCount; ++p)
        settings.SetInt("ComSettingsPort" + std::to_string(p), "UseLink", 0);
    settings.SetString("ExperimentSettings", "strPathToSaveFile", (out / "files").string() + "/");
    settings.SetString("ExperimentSettings", "strPeriod", "0.2");

    CBench bench(settings);
    bench.LoadSettings();
    ASSERT_EQ(bench.OpenPorts(), 2);
    // The test is about archiving: a search that a loaded machine cut short is run again.
    int found = 0;
    for (int attempt = 0; attempt < 3 && found != 3; ++attempt) found = bench.Search();
    ASSERT_EQ(found, 3);
    ASSERT_EQ(bench.Start(), StartResult::Started);
    auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end &&
           (bench.Data(0).GetCount() < 3 || bench.Data(2).GetCount() < 3))
        std::this_thread::sleep_for(20ms);

    const std::string sqliteUrl = "sqlite:" + (out / "archive.sqlite").string();
    std::int64_t id = 0;
    std::string message;
    EXPECT_EQ(ArchiveBenchExperiment(bench, sqliteUrl, id, message), kArchiveBusy)
        << "archived while the experiment ran: " << message;
    bench.Stop();
    ASSERT_EQ(bench.Files(0).WriteLabel("Прогон после ремонта"), 0);

    CTestPostgres& pg = CTestPostgres::Instance();
    ASSERT_TRUE(pg.Running()) << pg.Error();
    for (const std::string& url : {sqliteUrl, pg.NewDatabaseUrl()}) {
        SCOPED_TRACE(url);
        // A stop request ends it with nothing written.
        std::atomic<bool> stop{false};
        EXPECT_EQ(ArchiveBenchExperiment(bench, url, id, message,
                                         [&](int done, int) {
                                             if (done == 4) stop = true;
                                             return true;
                                         },
                                         &stop),
                  kArchiveStopped);
        int code = 0;
        std::string error;
        auto archive = CArchive::Open(url, code, error);
        ASSERT_TRUE(archive) << error;
        std::int64_t count = -1;
        ASSERT_EQ(archive->Count(count), kArchiveOk);
        EXPECT_EQ(count, 0);

        std::vector<std::pair<int, int>> steps;
        ASSERT_EQ(ArchiveBenchExperiment(bench, url, id, message,
                                         [&](int done, int total) {
                                             steps.emplace_back(done, total);
                                             return true;
                                         }),
                  kArchiveOk)
            << message;
        ASSERT_FALSE(steps.empty());
        for (std::size_t k = 1; k < steps.size(); ++k) EXPECT_GT(steps[k].first, steps[k - 1].first);
        EXPECT_EQ(steps.back().first, steps.back().second);
        std::int64_t again = 0;
        EXPECT_EQ(ArchiveBenchExperiment(bench, url, again, message), kArchiveDuplicate) << message;
        EXPECT_EQ(again, id);

        SArchivedExperiment e;
        ASSERT_EQ(archive->Get(id, e), kArchiveOk) << archive->LastError();
        EXPECT_EQ(e.comment, "Прогон после ремонта");
        ASSERT_EQ(e.devices.size(), 3u);
        EXPECT_EQ(e.devices[1].address, 6001u);
        EXPECT_EQ(e.devices[1].port, 1);
        EXPECT_EQ(e.devices[1].transducer, "PR-000006001");
        EXPECT_TRUE(e.devices[1].hasLinkStat);
        EXPECT_GT(e.devices[1].linkStat[SLinkDevStat::kCommands], 0u);
        EXPECT_EQ(e.devices[1].recordCount, bench.Data(1).GetCount());

        // The files the bench wrote and the files the archive gives back are the same bytes.
        const fs::path back = out / ("export-" + std::string(archive->Backend()));
        std::vector<std::string> written;
        ASSERT_EQ(ExportExperiment(e, back.string(), "", written, error), kArchiveOk) << error;
        for (std::size_t i = 0; i < bench.StoreCount(); ++i) {
            const std::string original = bench.Files(i).FilePath();
            ASSERT_FALSE(original.empty());
            EXPECT_EQ(ReadAll((back / fs::path(original).filename()).string()), ReadAll(original))
                << original;
        }
    }
    bench.ClosePorts();
    servers.clear();
    fs::remove_all(out);
}

}  // namespace
}  // namespace dravmer::testing_archive

namespace dravmer::testing_archive {
namespace {

class BenchLoaded : public ArchiveTest {};

// A loaded experiment is archived from its files: their format, columns, decimals and label.
TEST_P(BenchLoaded, ALoadedExperimentIsTheExperimentOfItsFiles) {
    const fs::path in = dir / "in";
    WriteExperiment(in, "261206", 12, {701, 702}, 90, true);
    CMemorySettingsStore settings;
    settings.SetString("DeviceList", "List", "701;702;");
    settings.SetString("DeviceList", "PortList", "0;0;");
    settings.SetString("DeviceList", "EnableList", "1;1;");
    CBench bench(settings);
    bench.LoadSettings();
    bench.EnsureStores();
    ASSERT_EQ(bench.StoreCount(), 2u);
    CExperimentList list;
    list.Scan(in.string());
    ASSERT_EQ(list.GroupCount(), 1);
    ASSERT_EQ(LoadGroup(list.LoadData(0), {&bench.Data(0), &bench.Data(1)}, nullptr), 2);

    std::int64_t id = 0;
    std::string message;
    ASSERT_EQ(ArchiveBenchExperiment(bench, url, id, message), kArchiveOk) << message;
    auto archive = OpenArchive();
    ASSERT_TRUE(archive);
    SArchivedExperiment e;
    ASSERT_EQ(archive->Get(id, e), kArchiveOk);
    EXPECT_TRUE(e.text);
    EXPECT_EQ(e.number, 12);
    EXPECT_EQ(e.comment, "Калибровка стенда");
    EXPECT_EQ(e.fileDecimals[4], 6);
    std::vector<std::string> written;
    std::string error;
    ASSERT_EQ(ExportExperiment(e, (dir / "out").string(), "", written, error), kArchiveOk) << error;
    for (const char* name : {"261206-012-000701.txt", "261206-012-000702.txt"})
        EXPECT_EQ(ReadAll((dir / "out" / name).string()), ReadAll((in / name).string())) << name;
}

INSTANTIATE_TEST_SUITE_P(Backends, BenchLoaded, ::testing::Values("sqlite", "postgresql"),
                         BackendName);

}  // namespace
}  // namespace dravmer::testing_archive
