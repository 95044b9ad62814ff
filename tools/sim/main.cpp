// dravmer-sim: simulated devices on a pseudo-terminal, for the bench program and its tests.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "sim/lib/sim_line.h"
#include "sim/lib/sim_pty.h"

namespace {

volatile std::sig_atomic_t g_quit = 0;

void OnSignal(int) { g_quit = 1; }

const char* kUsage =
    "usage: dravmer-sim [--link PATH] [--devices N] [--first ADDRESS] [--step N]\n"
    "                   [--transit ADDRESS] [--transit-kind K] [--baud B] [--loss PERCENT]\n"
    "  Serves N simulated devices (default 3) on a pseudo-terminal and prints its path.\n"
    "  --link PATH       also make PATH a symbolic link to the pseudo-terminal\n"
    "  --transit ADDRESS put the devices behind a transit device with that address\n"
    "  --transit-kind K  identity kind of the transit device (4; 16 = not usable as transit)\n"
    "  --baud B          wire speed whose byte time the replies take (115200)\n"
    "  --loss PERCENT    drop that share of the replies at random\n";

bool ParseNumber(const std::string& text, long long low, long long high, long long& out) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || value < low || value > high) return false;
    out = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace dravmer::sim;
    std::string linkPath;
    long long devices = 3, first = 4000001, step = 1, transit = 0, kind = 4, baud = 115200,
              loss = 0;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "dravmer-sim: %s needs a value\n%s", a.c_str(), kUsage);
            return 2;
        }
        const std::string& v = args[++i];
        bool ok = true;
        if (a == "--link")
            linkPath = v;
        else if (a == "--devices")
            ok = ParseNumber(v, 0, 100, devices);
        else if (a == "--first")
            ok = ParseNumber(v, 1, 0xFFFFFFFFLL, first);
        else if (a == "--step")
            ok = ParseNumber(v, 1, 1000000, step);
        else if (a == "--transit")
            ok = ParseNumber(v, 1, 0xFFFFFFFFLL, transit);
        else if (a == "--transit-kind")
            ok = ParseNumber(v, 0, 255, kind);
        else if (a == "--baud")
            ok = ParseNumber(v, 110, 4000000, baud);
        else if (a == "--loss")
            ok = ParseNumber(v, 0, 100, loss);
        else {
            std::fprintf(stderr, "dravmer-sim: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "dravmer-sim: bad value for %s: %s\n", a.c_str(), v.c_str());
            return 2;
        }
    }
    SLineConfig config;
    config.transitAddress = static_cast<std::uint32_t>(transit);
    config.transitKind = static_cast<std::uint8_t>(kind);
    CSimLine line(config);
    line.AddDevices(static_cast<int>(devices), static_cast<std::uint32_t>(first),
                    static_cast<std::uint32_t>(step));
    SFaults faults;
    faults.lossPercent = static_cast<int>(loss);
    line.SetFaults(faults);

    CSimPtyServer server(line, static_cast<int>(baud));
    if (!server.Open(linkPath)) {
        std::fprintf(stderr, "dravmer-sim: %s\n", server.Error().c_str());
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    server.Start();
    std::printf("%s\n", server.SlavePath().c_str());
    std::fflush(stdout);
    while (!g_quit && server.IsRunning()) ::usleep(100000);
    server.Stop();
    std::fprintf(stderr, "dravmer-sim: %d frames answered\n", server.FramesAnswered());
    return 0;
}
