// Load figure of the acquisition: devices on four simulated ports at a given baud rate with
// wire-time emulation, polled for a while. Prints the share of device-seconds recorded, the
// measured poll cycle against the wire time of its frames, peak memory and how long Stop took.
//   bench_acquisition_load [SECONDS=60] [DEVICES_PER_PORT=25] [BAUD=115200] [transit|direct]
// transit: the devices of a port sit behind a transit device and are found by a search;
// direct: they share the line itself (an RS-485 multi-drop line) and the device list is given.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

using namespace dravmer;

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    const int perPort = argc > 2 ? std::atoi(argv[2]) : 25;
    const int baud = argc > 3 ? std::atoi(argv[3]) : 115200;
    const bool direct = argc > 4 && std::string(argv[4]) == "direct";
    const auto out = std::filesystem::temp_directory_path() / "dravmer-load";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);

    CMemorySettingsStore store;
    std::vector<std::unique_ptr<sim::CSimLine>> lines;
    std::vector<std::unique_ptr<sim::CSimPtyServer>> servers;
    int speedIndex = 12;
    const int speeds[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                          14400, 19200, 38400, 56000, 57600, 115200};
    for (int i = 0; i < 13; ++i)
        if (speeds[i] == baud) speedIndex = i;
    for (int p = 0; p < kPortCount; ++p) {
        sim::SLineConfig config;
        config.transitAddress = direct ? 0 : 900000 + static_cast<std::uint32_t>(p);
        lines.push_back(std::make_unique<sim::CSimLine>(config));
        lines.back()->AddDevices(perPort, 100000 * static_cast<std::uint32_t>(p + 1) + 1, 1);
        servers.push_back(std::make_unique<sim::CSimPtyServer>(*lines.back(), baud));
        if (!servers.back()->Open()) {
            std::fprintf(stderr, "pty: %s\n", servers.back()->Error().c_str());
            return 1;
        }
        servers.back()->Start();
        const std::string section = "ComSettingsPort" + std::to_string(p);
        store.SetString(section, "DevicePath", servers.back()->SlavePath());
        store.SetInt(section, "Speed", speedIndex);
    }
    store.SetString("ExperimentSettings", "strPathToSaveFile", out.string() + "/");

    if (direct) {
        // Several devices on one line cannot be told apart by a search: list them.
        std::string list, ports, enables;
        for (int p = 0; p < kPortCount; ++p)
            for (int d = 0; d < perPort; ++d) {
                list += std::to_string(100000 * (p + 1) + 1 + d) + ";";
                ports += std::to_string(p) + ";";
                enables += "1;";
            }
        store.SetString("DeviceList", "List", list);
        store.SetString("DeviceList", "PortList", ports);
        store.SetString("DeviceList", "EnableList", enables);
    }
    CBench bench(store);
    bench.LoadSettings();
    bench.OpenPorts();
    const int found =
        direct ? static_cast<int>(bench.Settings().devices.Active().size()) : bench.Search();
    std::printf("devices: %d on %d ports at %d baud, %s\n", found, kPortCount, baud,
                direct ? "directly on the lines" : "behind a transit device on each line");
    if (bench.Start() != StartResult::Started) {
        std::fprintf(stderr, "the experiment did not start\n");
        return 1;
    }
    std::array<std::uint64_t, kPortCount> bytes0{}, frames0{};
    for (int p = 0; p < kPortCount; ++p) {
        bytes0[p] = bench.Port(p).BytesSent() + bench.Port(p).BytesReceived();
        frames0[p] = bench.Port(p).FramesSent();
    }
    std::array<double, kPortCount> cycleSum{};
    int cycleSamples = 0;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
           seconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        for (int p = 0; p < kPortCount; ++p) cycleSum[p] += bench.PortCycleSeconds(p);
        ++cycleSamples;
    }
    const double elapsed = bench.Settings().experimentClock.GetElapsedSeconds();
    bench.Stop();

    long records = 0, possible = 0;
    for (std::size_t i = 0; i < bench.StoreCount(); ++i) {
        records += bench.Data(i).GetCount();
        possible += static_cast<long>(elapsed);  // whole seconds the experiment clock ran
    }
    std::printf("experiment: %.1f s, %zu devices, %ld records of %ld device-seconds: %.2f %%\n",
                elapsed, bench.StoreCount(), records, possible, 100.0 * records / possible);
    for (int p = 0; p < kPortCount; ++p) {
        const double bytes = static_cast<double>(bench.Port(p).BytesSent() +
                                                 bench.Port(p).BytesReceived() - bytes0[p]);
        const double frames = static_cast<double>(bench.Port(p).FramesSent() - frames0[p]);
        // Cycles of the port: every device gets the same four requests per cycle.
        const double cycles = frames / (4.0 * perPort);
        const double wirePerCycle = bytes * 10.0 / baud / cycles;
        const double cycle = cycleSum[p] / cycleSamples;
        const double wire = bytes * 10.0 / baud;
        const double busy = bench.PortBusySeconds(p);
        // The simulated firmware takes 1 ms to turn a request round, as a device does.
        const double turnaround = frames * 0.001;
        std::printf(
            "port %d: %.0f frames; in exchanges %.2f s against %.2f s of wire time "
            "(+%.1f %%; +%.1f %% over wire and device turnaround); full cycle of wire "
            "time %.0f ms, last cycle %.0f ms\n",
            p + 1, frames, busy, wire, 100.0 * (busy / wire - 1),
            100.0 * (busy / (wire + turnaround) - 1), wirePerCycle * 1000, cycle * 1000);
    }
    if (std::getenv("DRAVMER_LOAD_DEBUG")) {
        for (std::size_t i : {std::size_t{0}, std::size_t{12}, std::size_t{24}}) {
            std::printf("device %zu:", i);
            for (int r = 0; r < bench.Data(i).GetCount(); ++r)
                std::printf(" %u/%u", bench.Data(i).GetSample(r).time,
                            bench.Data(i).GetSample(r).cycle);
            std::printf("\n");
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %.1f MB, Stop took %.1f ms\n", usage.ru_maxrss / 1024.0,
                bench.StopSeconds() * 1000);
    std::filesystem::remove_all(out);
    return 0;
}
