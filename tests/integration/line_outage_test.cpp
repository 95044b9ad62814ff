// Ports whose line dies or never opens, and the load figure of a busy line, with simulated
// devices on pseudo-terminals reached through a symbolic link (as a USB adapter's stable name).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "bench/bench.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class PortEvents : public IBenchListener {
public:
    void OnPortNotOpen(int port, const SPortState& state) override {
        std::lock_guard lock(m);
        notOpen.emplace_back(port, WordPortState(state, Language::Russian));
    }
    void OnPortReopened(int port) override {
        std::lock_guard lock(m);
        reopened.push_back(port);
    }
    void OnWaitingForDevice(std::size_t, std::uint32_t address) override {
        std::lock_guard lock(m);
        waiting.push_back(address);
    }
    void OnError(const SBenchMessage& message) override {
        std::lock_guard lock(m);
        errors.push_back(WordMessage(message));
    }
    template <typename T>
    T Get(T PortEvents::*field) {
        std::lock_guard lock(m);
        return this->*field;
    }
    std::mutex m;
    std::vector<std::pair<int, std::string>> notOpen;
    std::vector<int> reopened;
    std::vector<std::uint32_t> waiting;
    std::vector<std::string> errors;
};

double ProcessCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

class LineOutage : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-outage-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "out");
        link = (dir / "line").string();
        store.SetString("ComSettingsPort0", "DevicePath", link);
        for (int p = 1; p < kPortCount; ++p)
            store.SetInt("ComSettingsPort" + std::to_string(p), "UseLink", 0);
        store.SetString("ExperimentSettings", "strPathToSaveFile", (dir / "out").string() + "/");
        store.SetString("ExperimentSettings", "strPeriod", "0.2");
        sim::SLineConfig config;
        config.transitAddress = 9000;
        line = std::make_unique<sim::CSimLine>(config);
        line->AddDevices(4, 4000001, 1);
        // The devices as a search would have saved them. These tests are about the line, not the
        // search, whose slot timing a loaded machine can upset.
        store.SetString("DeviceList", "List", "4000001;4000002;4000003;4000004;");
        store.SetString("DeviceList", "PortList", "0;0;0;0;");
        store.SetString("DeviceList", "EnableList", "1;1;1;1;");
        store.SetInt("DeviceList", "Transit1", 9000);
    }
    void TearDown() override {
        server.reset();
        fs::remove_all(dir);
    }
    void Serve(int baud = 115200) {
        server = std::make_unique<sim::CSimPtyServer>(*line, baud);
        ASSERT_TRUE(server->Open(link)) << server->Error();
        server->Start();
    }
    static bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    fs::path dir;
    std::string link;
    CMemorySettingsStore store;
    std::unique_ptr<sim::CSimLine> line;
    std::unique_ptr<sim::CSimPtyServer> server;
};

TEST_F(LineOutage, AHungUpLineIsClosedReportedOnceReopenedAndCounted) {
    Serve();
    CBench bench(store);
    PortEvents events;
    bench.SetListener(&events);
    bench.LoadSettings();
    ASSERT_EQ(bench.OpenPorts(), 1);
    ASSERT_EQ(bench.Start(), StartResult::Started);
    ASSERT_TRUE(WaitUntil([&] { return bench.Data(0).GetCount() >= 2; }, 4000ms));

    server.reset();  // the far side dies: the slave side hangs up
    ASSERT_TRUE(WaitUntil([&] { return !bench.Port(0).IsOpen(); }, 3000ms));
    EXPECT_EQ(bench.Port(0).HangUps(), 1);
    // While the line is dead the poll thread sleeps between attempts instead of spinning on a
    // descriptor that is always ready (which took a whole core).
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(2500ms);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.5);
    const int countDuringOutage = bench.Data(0).GetCount();
    {
        auto notOpen = events.Get(&PortEvents::notOpen);
        ASSERT_EQ(notOpen.size(), 1u) << "one report per outage, not one per attempt";
        EXPECT_EQ(notOpen[0].first, 0);
        EXPECT_NE(notOpen[0].second.find("линия оборвана"), std::string::npos) << notOpen[0].second;
    }

    Serve();  // the line comes back on the same name
    ASSERT_TRUE(WaitUntil([&] { return bench.Data(0).GetCount() > countDuringOutage; }, 5000ms))
        << "polling resumes once the line is back";
    EXPECT_EQ(events.Get(&PortEvents::reopened), std::vector<int>{0});
    EXPECT_TRUE(bench.Port(0).IsOpen());

    server.reset();  // and dies again until the end of the run
    std::this_thread::sleep_for(3000ms);
    bench.Stop();
    EXPECT_EQ(events.Get(&PortEvents::notOpen).size(), 2u);
    const std::uint32_t seconds = bench.ExperimentSeconds();
    CDeviceData& data = bench.Data(0);
    EXPECT_GE(seconds, 6u);
    // The outage at the end shows in the received share; the old figure divided by the time of
    // the newest record and said 100 %.
    EXPECT_LT(data.GetReceivedPercent(seconds), 80.0);
    EXPECT_NEAR(data.GetReceivedPercent(seconds), 100.0 * data.GetCount() / seconds, 1e-9);
}

TEST_F(LineOutage, APortThatCannotOpenIsNamedAtOnceAndKeptTrying) {
    store.SetString("DeviceList", "List", "4000001;");
    store.SetString("DeviceList", "PortList", "0;");
    store.SetString("DeviceList", "EnableList", "1;");
    store.SetInt("DeviceList", "Transit1", 9000);
    CBench bench(store);
    PortEvents events;
    bench.SetListener(&events);
    bench.LoadSettings();
    EXPECT_EQ(bench.OpenPorts(), 0);
    EXPECT_EQ(bench.Port(0).LastOpenResult(), OpenResult::LocalFailed);
    EXPECT_NE(bench.Port(0).OpenResultText().find(link + ": No such file or directory"),
              std::string::npos)
        << bench.Port(0).OpenResultText();

    std::atomic<StartResult> result{StartResult::Cancelled};
    std::thread starter([&] { result = bench.Start(); });
    ASSERT_TRUE(WaitUntil([&] { return !events.Get(&PortEvents::notOpen).empty(); }, 3000ms))
        << "the wait for the device says that its port is not open";
    EXPECT_EQ(events.Get(&PortEvents::waiting), std::vector<std::uint32_t>{4000001});
    Serve();  // the adapter is plugged in: the start goes on by itself
    ASSERT_TRUE(WaitUntil([&] { return result == StartResult::Started || bench.IsRunning(); },
                          5000ms));
    starter.join();
    EXPECT_EQ(result.load(), StartResult::Started);
    EXPECT_EQ(events.Get(&PortEvents::notOpen).size(), 1u);
    bench.Stop();
}

TEST_F(LineOutage, ASearchWithNoOpenPortIsRefusedAndKeepsTheSavedList) {
    store.SetString("DeviceList", "List", "4000001;4000002;");
    store.SetString("DeviceList", "PortList", "0;0;");
    store.SetString("DeviceList", "EnableList", "1;1;");
    for (const std::string& path :
         std::vector<std::string>{"/dev/zero", dir.string(), (dir / "missing").string()}) {
        store.SetString("ComSettingsPort0", "DevicePath", path);
        CBench bench(store);
        PortEvents events;
        bench.SetListener(&events);
        bench.LoadSettings();
        EXPECT_EQ(bench.Search(), CBench::kSearchNoPort) << path;
        EXPECT_EQ(store.GetString("DeviceList", "List", ""), "4000001;4000002;") << path;
        EXPECT_EQ(bench.Settings().devices.Active().size(), 2u);
        auto errors = events.Get(&PortEvents::errors);
        ASSERT_EQ(errors.size(), 1u) << path;
        EXPECT_NE(errors[0].find("Порт 1: Ошибка инициализации"), std::string::npos) << errors[0];
        EXPECT_FALSE(bench.IsSearching());
    }
}

TEST_F(LineOutage, PortLoadIsTheBusyShareOfTheLastSecondOnALoadedLine) {
    // Four devices behind a transit device at 19200 Bd keep the line busy about three quarters
    // of each second. With the default period of 0.5 s the cycles after the last device of a
    // second are short empty passes, so a figure taken from the last cycle mostly reads 0.
    Serve(19200);
    store.SetString("ExperimentSettings", "strPeriod", "0.5");
    CBench bench(store);
    bench.LoadSettings();
    ASSERT_EQ(bench.OpenPorts(), 1);
    ASSERT_EQ(bench.Start(), StartResult::Started);
    std::this_thread::sleep_for(2500ms);
    // Sample the figure through 4 s and compare with the busy time the poll thread counted.
    const double busy0 = bench.PortBusySeconds(0);
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<double> samples;
    for (int i = 0; i < 40; ++i) {
        samples.push_back(bench.PortLoad(0));
        std::this_thread::sleep_for(100ms);
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double busyShare = 100.0 * (bench.PortBusySeconds(0) - busy0) / elapsed;
    bench.Stop();
    ASSERT_GT(busyShare, 50.0) << "the line is loaded";
    int close = 0;
    for (double s : samples) close += std::abs(s - busyShare) < 20.0 ? 1 : 0;
    EXPECT_GE(close, 36) << "nearly every reading is the busy share " << busyShare
                         << "; first readings " << samples[0] << " " << samples[1] << " "
                         << samples[2] << " " << samples[3];
}

}  // namespace
}  // namespace dravmer
