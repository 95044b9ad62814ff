// Speed of the link's pure parts and of whole transactions against the simulated firmware.
#include <benchmark/benchmark.h>

#include <vector>

#include "link/frame.h"
#include "link/link_r307.h"
#include "sim/sim_line.h"
#include "link/port.h"
#include "sim/sim_port.h"
#include "sim/sim_pty.h"

namespace {

using namespace dravmer;

void BM_Crc16Kermit512(benchmark::State& state) {
    std::vector<std::uint8_t> data(512);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31);
    for (auto _ : state) benchmark::DoNotOptimize(Crc16Kermit(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 512);
}
BENCHMARK(BM_Crc16Kermit512);

// The worst case of the reply check: a 512-byte reply whose CRC matches no prefix.
void BM_CrcSearchNoMatch(benchmark::State& state) {
    std::vector<std::uint8_t> data(512, 0x5A);
    for (auto _ : state) benchmark::DoNotOptimize(FrameLengthFromCrcSearch(data.data(), 512));
}
BENCHMARK(BM_CrcSearchNoMatch);

// One measurement read (command 25, mode 0) through a transit device, in process.
void BM_ReadAdcThroughTransit(benchmark::State& state) {
    sim::SLineConfig config;
    config.transitAddress = 9000;
    sim::CSimLine line(config);
    line.AddDevices(1, 4000001, 1);
    sim::CSimPort port(line);
    CLinkR307 link;
    link.AttachPort(&port);
    link.SetTransit(9000);
    std::uint8_t buffer[kFrameBufferSize];
    for (auto _ : state) {
        if (link.ReadAdc(4000001, 0, buffer) != 0) state.SkipWithError("read failed");
    }
}
BENCHMARK(BM_ReadAdcThroughTransit);

// One measurement read (command 25, mode 0, through a transit device) over a real
// pseudo-terminal against a simulator that answers at once: the link's and the serial line's own
// time per transaction. The wire time the same frames take at 115200 baud is the counter.
void BM_ReadAdcOverPty(benchmark::State& state) {
    sim::SLineConfig config;
    config.transitAddress = 9000;
    sim::CSimLine line(config);
    line.AddDevices(1, 4000001, 1);
    sim::CSimPtyServer server(line, 115200);
    server.SetInstant(true);
    if (!server.Open()) {
        state.SkipWithError(server.Error().c_str());
        return;
    }
    server.Start();
    CMemorySettingsStore store;
    store.SetString("ComSettingsPort0", "DevicePath", server.SlavePath());
    CLinkPort port(0);
    port.LoadSettings(store);
    if (port.Open() != 1) {
        state.SkipWithError("port did not open");
        return;
    }
    CLinkR307 link;
    link.AttachPort(&port);
    link.SetTransit(9000);
    std::uint8_t buffer[kFrameBufferSize];
    const auto bytesBefore = port.BytesSent() + port.BytesReceived();
    for (auto _ : state) {
        if (link.ReadAdc(4000001, 0, buffer) != 0) state.SkipWithError("read failed");
    }
    const double bytes = static_cast<double>(port.BytesSent() + port.BytesReceived() - bytesBefore);
    state.counters["wire_ms_115200"] = bytes / static_cast<double>(state.iterations()) * 10.0 / 115.2;
    port.Close();
}
BENCHMARK(BM_ReadAdcOverPty)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// A whole search of N devices behind a transit device, in process.
void BM_SearchDevices(benchmark::State& state) {
    for (auto _ : state) {
        sim::SLineConfig config;
        config.transitAddress = 9000;
        sim::CSimLine line(config);
        line.AddDevices(static_cast<int>(state.range(0)), 4000001, 7);
        sim::CSimPort port(line);
        CLinkR307 link;
        link.AttachPort(&port);
        SSearchResult result;
        link.SearchDevices(result, false);
        state.counters["found"] = static_cast<double>(result.addresses.size());
        state.counters["requests"] = line.RequestCount();
    }
}
BENCHMARK(BM_SearchDevices)->Arg(10)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
