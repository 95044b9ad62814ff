// Whole experiments through the engine's facade, with simulated devices on pseudo-terminals
// behind the ports.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "bench/bench.h"
#include "files/file_format.h"
#include "integration/bench_rig.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class BenchExperiment : public ::testing::Test {
protected:
    void SetUp() override {
        out = fs::temp_directory_path() /
              ("dravmer-bench-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(out);
        fs::create_directories(out);
    }
    void TearDown() override { fs::remove_all(out); }

    static void WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
    }

    fs::path out;
    CMemorySettingsStore store;
};

TEST_F(BenchExperiment, SearchFillsTheListsAndTheStoredStringsFromEveryPort) {
    Rig rig({{0, 1, 5001}, {777, 4, 6001}}, store, out);
    CBench bench(store);
    Events events;
    bench.SetListener(&events);
    bench.LoadSettings();
    ASSERT_EQ(bench.OpenPorts(), 2);
    ASSERT_EQ(bench.Search(), 5);
    EXPECT_EQ(store.GetString("DeviceList", "List", ""), "5001;6001;6004;6007;6010;");
    EXPECT_EQ(store.GetString("DeviceList", "PortList", ""), "0;1;1;1;1;");
    EXPECT_EQ(store.GetString("DeviceList", "EnableList", ""), "1;1;1;1;1;");
    EXPECT_EQ(store.GetInt("DeviceList", "Transit1", -1), 0);
    EXPECT_EQ(store.GetInt("DeviceList", "Transit2", -1), 777);
    const auto infos = bench.FoundInfo();
    ASSERT_EQ(infos.size(), 5u);
    EXPECT_EQ(infos[1].transducer, "PR-000006001");
    EXPECT_EQ(infos[1].fwMajor, 5);
    EXPECT_EQ(bench.Settings().devices.Active().size(), 5u);
    EXPECT_EQ(bench.StoreCount(), 5u);
    EXPECT_NE(std::find(events.texts.begin(), events.texts.end(), "Всего найдено 5 приборов."),
              events.texts.end());
}

TEST_F(BenchExperiment, SearchFindsAHundredDevicesBehindOneTransitDevice) {
    for (std::uint32_t step : {1009u}) {
        CMemorySettingsStore fresh;
        Rig rig({{777, 0, 0}}, fresh, out);
        for (int i = 0; i < 100; ++i) {
            sim::SDeviceModel model;
            model.address = 2000000u + static_cast<std::uint32_t>(i) * step;
            rig.sims[0]->AddDevice(model);
        }
        CBench bench(fresh);
        bench.LoadSettings();
        bench.OpenPorts();
        EXPECT_EQ(bench.Search(), 100) << "address step " << step;
    }
}

TEST_F(BenchExperiment, RecordsEverySecondWritesFilesAndNumbersExperimentsPerDay) {
    Rig rig({{0, 1, 5001}, {777, 3, 6001}}, store, out);
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    ASSERT_EQ(bench.Search(), 4);

    ASSERT_TRUE(bench.SetDeviceEnabled(2, false));  // 6004 takes no part
    EXPECT_EQ(store.GetString("DeviceList", "EnableList", ""), "1;1;0;1;");
    ASSERT_EQ(bench.Settings().devices.Active().size(), 3u);
    ASSERT_EQ(bench.Start(), StartResult::Started);
    EXPECT_EQ(bench.ExperimentNumber(), 1);
    EXPECT_EQ(bench.Start(), StartResult::AlreadyRunning);
    EXPECT_FALSE(bench.SetDeviceEnabled(2, true)) << "the list is frozen while running";
    EXPECT_FALSE(bench.SetAllDevicesEnabled(true));
    EXPECT_EQ(bench.Search(), -1) << "no search during an experiment";
    WaitUntil([&] { return bench.Data(2).GetCount() >= 3; }, 6000ms);
    bench.Stop();
    EXPECT_FALSE(bench.IsRunning());
    EXPECT_EQ(bench.Settings().devices.Active()[2].address, 6007u);
    for (std::size_t i = 0; i < 3; ++i) {
        const CDeviceData& d = bench.Data(i);
        EXPECT_GE(d.GetCount(), 2) << i;
        // At most one record per second of the experiment clock, each a new device second.
        for (int r = 1; r < d.GetCount(); ++r) {
            EXPECT_LT(d.GetSample(r - 1).time, d.GetSample(r).time);
            EXPECT_NE(d.GetSample(r - 1).cycle, d.GetSample(r).cycle);
        }
        const std::string path = bench.Files(i).FilePath();
        ASSERT_TRUE(fs::exists(path)) << path;
        CDeviceData back;
        SLoadReport report;
        ASSERT_EQ(LoadExperimentFile(back, path, nullptr, &report), 1) << report.error;
        EXPECT_EQ(back.GetCount(), d.GetCount()) << "every record reached the file";
        EXPECT_EQ(back.GetLastSample().time, d.GetLastSample().time);
    }
    EXPECT_NE(bench.Title().find("-001-005001"), std::string::npos) << bench.Title();
    EXPECT_EQ(bench.Title().find("006004"), std::string::npos) << bench.Title();

    ASSERT_TRUE(bench.SetAllDevicesEnabled(true));
    EXPECT_EQ(bench.Settings().devices.Active().size(), 4u);

    ASSERT_EQ(bench.Start(), StartResult::Started);
    EXPECT_EQ(bench.ExperimentNumber(), 2);
    bench.Stop();
    store.SetString("Dravmer", "ExperimentDate", "000101");  // as if the last run was long ago
    ASSERT_EQ(bench.Start(), StartResult::Started);
    EXPECT_EQ(bench.ExperimentNumber(), 3) << "a new day starts at 1, but never over old files";
    bench.Stop();
}

TEST_F(BenchExperiment, WritingSwitchedOffAndOnAgainGoesOnInTheSameFileAfterAGap) {
    Rig rig({{0, 1, 5001}}, store, out);
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    ASSERT_EQ(bench.Search(), 1);
    ASSERT_EQ(bench.Start(), StartResult::Started);
    WaitUntil([&] { return bench.Data(0).GetCount() >= 2; }, 5000ms);
    const int before = bench.Data(0).GetCount();
    EXPECT_FALSE(bench.ToggleWriteToFile());
    const int paused = bench.Data(0).GetCount();
    WaitUntil([&] { return bench.Data(0).GetCount() >= paused + 2; }, 5000ms);
    EXPECT_TRUE(bench.ToggleWriteToFile());
    const int resumed = bench.Data(0).GetCount();
    WaitUntil([&] { return bench.Data(0).GetCount() >= resumed + 3; }, 6000ms);
    bench.Stop();
    const CDeviceData& live = bench.Data(0);
    ASSERT_GE(live.GetCount(), resumed + 3);

    CDeviceData back;
    SLoadReport report;
    ASSERT_EQ(LoadExperimentFile(back, bench.Files(0).FilePath(), nullptr, &report), 1)
        << report.error;
    // Everything before the switch-off and everything after the switch-on, nothing between.
    auto times = [](const CDeviceData& d) {
        std::string t;
        for (int r = 0; r < d.GetCount(); ++r) t += std::to_string(d.GetSample(r).time) + " ";
        return t;
    };
    ASSERT_GE(back.GetCount(), before) << "file: " << times(back) << "\nlive: " << times(live)
                                       << "\nbefore " << before << ", resumed " << resumed;
    for (int r = 0; r < before; ++r) EXPECT_EQ(back.GetSample(r).time, live.GetSample(r).time);
    EXPECT_LT(back.GetCount(), live.GetCount());
    EXPECT_GE(back.GetCount(), before + (live.GetCount() - resumed) - 1);
    EXPECT_EQ(back.GetLastSample().time, live.GetLastSample().time);
    bool gap = false;
    for (int r = 1; r < back.GetCount(); ++r)
        gap = gap || back.GetSample(r).time > back.GetSample(r - 1).time + 1;
    EXPECT_TRUE(gap) << "the pause shows as missing seconds";
}

TEST_F(BenchExperiment, ADeviceThatGoesSilentIsCountedAndTheOthersCarryOn) {
    Rig rig({{777, 3, 6001}}, store, out);
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    ASSERT_EQ(bench.Search(), 3);
    ASSERT_EQ(bench.Start(), StartResult::Started);
    WaitUntil([&] { return bench.Data(1).GetCount() >= 1; }, 3000ms);
    rig.sims[0]->Find(6004)->SetPowered(false);
    const int before = bench.Data(1).GetCount();
    const int othersBefore = bench.Data(0).GetCount();
    std::this_thread::sleep_for(2500ms);
    EXPECT_LE(bench.Data(1).GetCount(), before + 1);
    EXPECT_GE(bench.Data(0).GetCount(), othersBefore + 2) << "the others are still polled";
    SLinkDevStat silent;
    ASSERT_TRUE(bench.Link(0).GetDeviceStat(6004, silent));
    EXPECT_GT(silent.w[SLinkDevStat::kErrorsWithRepeat], 0u);
    rig.sims[0]->Find(6004)->SetPowered(true);
    const int resumed = bench.Data(1).GetCount();
    WaitUntil([&] { return bench.Data(1).GetCount() > resumed; }, 3000ms);
    EXPECT_GT(bench.Data(1).GetCount(), resumed) << "polling resumes when it answers again";
    bench.Stop();
    CDeviceData back;
    ASSERT_EQ(LoadExperimentFile(back, bench.Files(1).FilePath()), 1);
    EXPECT_EQ(back.GetCount(), bench.Data(1).GetCount()) << "nothing lost";
}

TEST_F(BenchExperiment, AFileThatCannotGrowIsReportedOnceAndCatchesUpLater) {
    Rig rig({{0, 1, 5001}}, store, out);
    CBench bench(store);
    Events events;
    bench.SetListener(&events);
    bench.LoadSettings();
    bench.OpenPorts();
    ASSERT_EQ(bench.Search(), 1);
    ASSERT_EQ(bench.Start(), StartResult::Started);
    WaitUntil([&] { return bench.Data(0).GetCount() >= 1; }, 3000ms);
    const auto size = fs::file_size(bench.Files(0).FilePath());
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = size + 10;  // as if the disk were full
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const int before = bench.Data(0).GetCount();
    WaitUntil([&] { return bench.Data(0).GetCount() >= before + 2; }, 4000ms);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);
    bench.Stop();  // closing the file writes what it still lacks
    {
        std::lock_guard lock(events.m);
        ASSERT_EQ(events.errors.size(), 1u) << "one message, not one per second";
        EXPECT_NE(events.errors[0].find("Прибор №5001: ошибка записи в файл"), std::string::npos);
    }
    CDeviceData back;
    ASSERT_EQ(LoadExperimentFile(back, bench.Files(0).FilePath()), 1);
    EXPECT_EQ(back.GetCount(), bench.Data(0).GetCount()) << "the file caught up: nothing lost";
}

TEST_F(BenchExperiment, APortWhoseSimulatorDiesDoesNotStopTheRest) {
    Rig rig({{0, 1, 5001}, {777, 2, 6001}}, store, out);
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    ASSERT_EQ(bench.Search(), 3);
    ASSERT_EQ(bench.Start(), StartResult::Started);
    WaitUntil([&] { return bench.Data(2).GetCount() >= 1; }, 3000ms);
    rig.servers[0].reset();  // the far side of port 1 is gone
    const int before = bench.Data(1).GetCount();
    std::this_thread::sleep_for(2000ms);
    EXPECT_GE(bench.Data(1).GetCount(), before + 1);
    CPerfTimer t;
    bench.Stop();
    EXPECT_LT(t.GetElapsedSeconds(), 2.0) << "Stop returns promptly";
    EXPECT_FALSE(bench.IsRunning());
}

TEST_F(BenchExperiment, StartWaitsForASilentDeviceUntilCancelledAndChangesNothing) {
    Rig rig({{0, 1, 5001}}, store, out);
    store.SetString("DeviceList", "List", "5001;5002;");  // 5002 is switched off
    store.SetString("DeviceList", "PortList", "0;0;");
    store.SetString("DeviceList", "EnableList", "1;1;");
    CBench bench(store);
    Events events;
    bench.SetListener(&events);
    bench.LoadSettings();
    bench.OpenPorts();
    StartResult result = StartResult::Started;
    std::thread starter([&] { result = bench.Start(); });
    WaitUntil([&] { return !events.Waiting().empty(); }, 5000ms);
    ASSERT_EQ(events.Waiting(), std::vector<std::uint32_t>{5002});
    bench.CancelStart();
    starter.join();
    EXPECT_EQ(result, StartResult::Cancelled);
    EXPECT_FALSE(bench.IsRunning());
    EXPECT_FALSE(store.Contains("Dravmer", "ExperimentNumber")) << "the number is not used up";
    EXPECT_TRUE(fs::is_empty(out)) << "no file was opened";

    SStartOptions limited;
    limited.waitDeviceSeconds = 0.3;
    EXPECT_EQ(bench.Start(limited), StartResult::Cancelled);
}

TEST_F(BenchExperiment, AStopRequestedBeforeTheStartBeganStillEndsItsWait) {
    Rig rig({{0, 1, 5001}}, store, out);
    store.SetString("DeviceList", "List", "5001;5002;");  // 5002 is switched off
    store.SetString("DeviceList", "PortList", "0;0;");
    store.SetString("DeviceList", "EnableList", "1;1;");
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    // A cancel that comes before the start has begun is forgotten by the start...
    bench.CancelStart();
    // ...a stop request on the start's own token is not.
    std::stop_source stop;
    stop.request_stop();
    SStartOptions options;
    options.stop = stop.get_token();
    std::atomic<bool> ended{false};
    StartResult result = StartResult::Started;
    std::thread starter([&] {
        result = bench.Start(options);
        ended = true;
    });
    WaitUntil([&] { return ended.load(); }, 30000ms);
    const bool endedByItself = ended;
    if (!endedByItself) bench.CancelStart();  // let the thread go before the test fails
    starter.join();
    EXPECT_TRUE(endedByItself) << "the start kept waiting for the silent device";
    EXPECT_EQ(result, StartResult::Cancelled);
    EXPECT_FALSE(bench.IsRunning());
}

TEST_F(BenchExperiment, RefusesAnEmptyListAndAZeroKy) {
    CBench bench(store);
    Events events;
    bench.SetListener(&events);
    bench.LoadSettings();
    EXPECT_EQ(bench.Start(), StartResult::EmptyList);
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0], "Список приборов пуст.");
    store.SetString("DeviceList", "List", "1;");
    store.SetString("DeviceList", "EnableList", "1;");
    store.SetString("ExperimentSettings", "Ky", "abc");
    bench.LoadSettings();
    EXPECT_EQ(bench.Start(), StartResult::BadSettings);
}

TEST_F(BenchExperiment, SavesParameterImagesAndReportsEachStep) {
    Rig rig({{777, 2, 6001}}, store, out);
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    ASSERT_EQ(bench.Search(), 2);
    bool failed = true;
    const std::string report = bench.SaveDeviceParameters(&failed);
    EXPECT_FALSE(failed) << report;
    EXPECT_EQ(report.rfind("1/2  Прибор № 6001\r\n     Чтение конфигурации прибора...OK\r\n"
                           "     Версия прошивки 05.43\r\n",
                           0),
              0u)
        << report;
    EXPECT_NE(report.find("Все операции успешно завершены."), std::string::npos);
    int fld = 0, eep = 0;
    for (const auto& e : fs::directory_iterator(out)) {
        const auto name = e.path().filename().string();
        if (e.path().extension() == ".fld") ++fld;
        if (e.path().extension() == ".eep") ++eep;
        EXPECT_EQ(fs::file_size(e.path()), 1024u) << name;
        EXPECT_TRUE(name.rfind("6001 v05.43 (", 0) == 0 || name.rfind("6004 v05.43 (", 0) == 0)
            << name;
    }
    EXPECT_EQ(fld, 2);
    EXPECT_EQ(eep, 2);

    rig.sims[0]->Find(6004)->SetPowered(false);
    const std::string second = bench.SaveDeviceParameters(&failed);
    EXPECT_TRUE(failed);
    EXPECT_NE(second.find("2/2  Прибор № 6004\r\n     Чтение конфигурации прибора...Ошибка\r\n"),
              std::string::npos);
    EXPECT_NE(second.find("При выполнении операций были ошибки !!!\r\n"), std::string::npos);
}

}  // namespace
}  // namespace dravmer
