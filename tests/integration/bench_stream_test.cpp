// The live stream fed by the poll threads of two ports: every record the stores take reaches the
// stream once, in each device's order, between the experiment's start and stop; two experiments
// in a row start their counts afresh. Runs under the thread sanitizer with the engine's threads.
#include "bench/bench_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "bench/bench.h"
#include "integration/bench_rig.h"
#include "stream/ndjson_stream.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(BenchStream, EveryRecordOfEveryPortReachesTheStreamOnceBetweenStartAndStop) {
    const fs::path out =
        fs::temp_directory_path() / ("dravmer-benchstream-" + std::to_string(::getpid()));
    fs::remove_all(out);
    fs::create_directories(out);
    CMemorySettingsStore store;
    Rig rig({{0, 1, 5001}, {777, 3, 6001}}, store, out);
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    ASSERT_EQ(bench.Search(), 4);

    std::mutex textMutex;
    std::string text;
    CNdjsonStream ndjson([&](std::string_view s) {
        std::lock_guard lock(textMutex);
        text.append(s);
        return true;
    });
    ASSERT_TRUE(ndjson.Start());
    Events events;
    CBenchStream tee(bench, &events);
    tee.AddSink(&ndjson);
    bench.SetListener(&tee);

    std::map<std::uint32_t, int> stored;
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(bench.Start(), StartResult::Started);
        const auto end = std::chrono::steady_clock::now() + 8s;
        while (bench.Data(3).GetCount() < 3 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        // The first run is ended as by SIGTERM; the second's stop is the usual one again.
        if (run == 0) tee.SetStopReason(kStopReasonInterrupted);
        bench.Stop();
        for (std::size_t i = 0; i < bench.StoreCount(); ++i)
            stored[bench.Settings().devices.Active()[i].address] += bench.Data(i).GetCount();
    }
    bench.SetListener(nullptr);
    ndjson.Finish(10000);
    EXPECT_EQ(ndjson.Dropped(), 0u);

    std::istringstream lines(text);
    std::map<std::uint32_t, int> streamed;
    std::map<std::uint32_t, long> lastTime;
    std::vector<std::string> sequence, reasons;
    for (std::string l; std::getline(lines, l);) {
        const auto j = nlohmann::json::parse(l);
        if (j.contains("event")) {
            sequence.push_back(j["event"]);
            if (j["event"] == "stop") reasons.push_back(j["reason"]);
            lastTime.clear();
            continue;
        }
        ASSERT_FALSE(sequence.empty() || sequence.back() != "start") << "a record outside a run";
        const auto address = j["address"].get<std::uint32_t>();
        const long time = j["time"].get<long>();
        if (lastTime.count(address)) {
            EXPECT_LT(lastTime[address], time) << address;
        }
        lastTime[address] = time;
        ++streamed[address];
    }
    EXPECT_EQ(sequence, (std::vector<std::string>{"start", "stop", "start", "stop"}));
    EXPECT_EQ(reasons, (std::vector<std::string>{"interrupted", "stopped"}));
    EXPECT_EQ(streamed, stored);
    fs::remove_all(out);
}

}  // namespace
}  // namespace dravmer
