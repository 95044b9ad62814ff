// The search over a pseudo-terminal served by a simulator set up from its command line, as a
// standalone dravmer-sim is: what it offers without --transit is found; and the engine tells of
// each device as the search identifies it.
#include <gtest/gtest.h>

#include <mutex>

#include "bench/bench.h"
#include "sim/sim_line.h"
#include "sim/sim_options.h"
#include "sim/sim_pty.h"

namespace dravmer {
namespace {

// The engine's search events in the order they came.
class CSearchEvents : public IBenchListener {
public:
    void OnDeviceIdentified(std::size_t row, const SFoundInfo& info) override {
        std::lock_guard lock(m_mutex);
        rows.push_back(row);
        addresses.push_back(info.address);
        finishedBeforeRow = finishedBeforeRow || finished;
    }
    void OnSearchFinished(int) override {
        std::lock_guard lock(m_mutex);
        finished = true;
    }
    std::mutex m_mutex;
    std::vector<std::size_t> rows;
    std::vector<std::uint32_t> addresses;
    bool finished = false, finishedBeforeRow = false;
};

// A simulator made from `args` on a pseudo-terminal behind port 0; the other ports off.
struct SStandalone {
    explicit SStandalone(const std::vector<std::string>& args) {
        std::string error;
        ok = sim::ParseSimOptions(args, options, error);
        EXPECT_TRUE(ok) << error;
        // The line as dravmer-sim makes it from its options.
        sim::SLineConfig config;
        config.transitAddress = options.transit;
        config.transitKind = static_cast<std::uint8_t>(options.transitKind);
        line = std::make_unique<sim::CSimLine>(config);
        line->AddDevices(options.devices, options.first, options.step);
        line->SetFaults(options.faults);
        server = std::make_unique<sim::CSimPtyServer>(*line, options.baud);
        ok = ok && server->Open();
        server->Start();
        store.SetString("ComSettingsPort0", "DevicePath", server->SlavePath());
        for (int p = 1; p < kPortCount; ++p)
            store.SetInt("ComSettingsPort" + std::to_string(p), "UseLink", 0);
    }
    ~SStandalone() { server.reset(); }
    bool ok = false;
    sim::SSimOptions options;
    std::unique_ptr<sim::CSimLine> line;
    std::unique_ptr<sim::CSimPtyServer> server;
    CMemorySettingsStore store;
};

TEST(StandaloneSimulator, WhatItServesWithoutTransitIsFound) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"--devices", "1"},
          std::vector<std::string>{"--devices", "1", "--first", "77"}}) {
        SStandalone sim(args);
        ASSERT_TRUE(sim.ok);
        CBench bench(sim.store);
        bench.LoadSettings();
        ASSERT_EQ(bench.OpenPorts(), 1);
        ASSERT_EQ(bench.Search(), 1) << (args.empty() ? "no options" : args.back());
        const auto infos = bench.FoundInfo();
        ASSERT_EQ(infos.size(), 1u);
        EXPECT_EQ(infos[0].address, sim.options.first);
        EXPECT_EQ(sim.store.GetInt("DeviceList", "Transit1", -1), 0);
        bench.ClosePorts();
    }
}

TEST(StandaloneSimulator, EachDeviceIsReportedAsItIsIdentifiedBeforeTheEnd) {
    SStandalone sim({"--transit", "9000", "--devices", "3", "--first", "5001", "--step", "3"});
    ASSERT_TRUE(sim.ok);
    CBench bench(sim.store);
    CSearchEvents events;
    bench.SetListener(&events);
    bench.LoadSettings();
    ASSERT_EQ(bench.OpenPorts(), 1);
    EXPECT_EQ(bench.Search(), 3);
    bench.SetListener(nullptr);
    const auto infos = bench.FoundInfo();
    EXPECT_EQ(events.rows, (std::vector<std::size_t>{0, 1, 2}));
    ASSERT_EQ(infos.size(), 3u);
    for (std::size_t i = 0; i < infos.size(); ++i) EXPECT_EQ(events.addresses[i], infos[i].address);
    EXPECT_TRUE(events.finished);
    EXPECT_FALSE(events.finishedBeforeRow);
    bench.ClosePorts();
}

}  // namespace
}  // namespace dravmer
