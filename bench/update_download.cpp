// The update service over loopback TCP against the lab's file server:
//   Download20MB  - a 20 MB release described and downloaded in 131072-byte chunks (bytes/s)
//   StartToOffer  - from the start of the background check to an offer ready for the question
//                   box (the check, then the offer's own connection and description)
//   OfferDownload400MB - the bench's own download of a 400 MB release (to its file beside the
//                   program, hashed as it comes); peak_rss_MB is the process's peak memory
//                   during it, which stays far below the release's size
//   Sha256_64MB   - the digest a bench computes over a release as it downloads (bytes/s)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fileserver/file_server.h"
#include "update/sha256.h"
#include "update/update_service.h"

namespace {

using namespace dravmer;
namespace fs = std::filesystem;

struct SLab {
    fs::path top;
    std::unique_ptr<fileserver::CFileServer> server;
    SLab() {
        top = fs::temp_directory_path() / ("bench-update-" + std::to_string(::getpid()));
        fs::create_directories(top / "releases");
        fs::create_directories(top / "bench");
        std::string release(20 * 1024 * 1024, '\0');
        for (std::size_t i = 0; i < release.size(); ++i) release[i] = static_cast<char>(i * 2654435761u >> 13);
        std::ofstream(top / "releases" / "dravmer", std::ios::binary) << release;
        std::ofstream(top / "releases" / "versions.txt") << "dravmer 05.44\n";
        std::ofstream(top / "bench" / "dravmer") << "the running program";
        fileserver::SFileServerOptions o;
        o.root = top / "releases";
        o.listen = "127.0.0.1";
        o.port = 0;
        o.logFile = top / "fileserver.log";
        server = std::make_unique<fileserver::CFileServer>(o);
        std::string error;
        if (!server->Listen(error) || !server->Start()) std::abort();
    }
    ~SLab() {
        server.reset();
        fs::remove_all(top);
    }
};

SLab& Lab() {
    static SLab lab;
    return lab;
}

void Download20MB(benchmark::State& state) {
    CQueryClient client;
    client.SetServer("127.0.0.1", Lab().server->TcpPort());
    if (client.Connect() != kQrOk) {
        state.SkipWithError("no connection");
        return;
    }
    std::vector<std::uint8_t> buffer;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        SFileDescription d;
        if (client.Describe("dravmer", d) != kQrOk || client.Download(buffer, d.size) != d.size) {
            state.SkipWithError("download failed");
            return;
        }
        bytes += d.size;
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(Download20MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void StartToOffer(benchmark::State& state) {
    SUpdateConfig config;
    config.executable = Lab().top / "bench" / "dravmer";
    for (auto _ : state) {
        CUpdateService service(config);
        service.SetServerName("127.0.0.1", Lab().server->TcpPort());
        service.StartCheck();
        while (service.CheckState() == CUpdateService::kChecking) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        SUpdateOffer offer;
        if (service.CheckState() != CUpdateService::kNewer || service.PrepareOffer(offer) != 1) {
            state.SkipWithError("no offer");
            return;
        }
        service.DeclineOffer();
    }
}
BENCHMARK(StartToOffer)->Unit(benchmark::kMillisecond)->UseRealTime();

// VmHWM of /proc/self/status in MB, after resetting it when reset is set.
double PeakRssMb(bool reset) {
    if (reset) std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

void OfferDownload400MB(benchmark::State& state) {
    const fs::path top = Lab().top / "large";
    fs::create_directories(top / "releases");
    fs::create_directories(top / "bench");
    {
        std::ofstream out(top / "releases" / "dravmer", std::ios::binary);
        std::vector<char> block(1 << 20);
        for (int mb = 0; mb < 400; ++mb) {
            for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + mb);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    std::ofstream(top / "releases" / "versions.txt") << "dravmer 05.44\n";
    std::ofstream(top / "bench" / "dravmer") << "the running program";
    fileserver::SFileServerOptions o;
    o.root = top / "releases";
    o.listen = "127.0.0.1";
    o.port = 0;
    fileserver::CFileServer server(o);
    std::string error;
    if (!server.Listen(error) || !server.Start()) std::abort();
    SUpdateConfig config;
    config.executable = top / "bench" / "dravmer";
    double peak = 0;
    for (auto _ : state) {
        CUpdateService service(config);
        service.SetServerName("127.0.0.1", server.TcpPort());
        SUpdateOffer offer;
        // The server hashes the release on its first description; the second finds it cached.
        for (int i = 0; i < 5 && service.PrepareOffer(offer) != 1; ++i) {
        }
        PeakRssMb(true);
        service.DownloadOffer();
        peak = std::max(peak, PeakRssMb(false));
        // Not a program: refused once it has all come, and removed.
        if (service.LastRefusal() != EUpdateRefusal::kNotProgram) {
            state.SkipWithError(service.LastError().c_str());
            break;
        }
    }
    state.counters["peak_rss_MB"] = peak;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 400 * 1024 * 1024);
    fs::remove_all(top);
}
BENCHMARK(OfferDownload400MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void Sha256_64MB(benchmark::State& state) {
    std::vector<std::uint8_t> block(kQueryMaxChunk);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 131);
    constexpr int kChunks = 64 * 1024 * 1024 / kQueryMaxChunk;
    for (auto _ : state) {
        CSha256 sha;
        for (int i = 0; i < kChunks; ++i) sha.Add(block.data(), block.size());
        benchmark::DoNotOptimize(sha.Finish());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kChunks *
                            static_cast<std::int64_t>(block.size()));
}
BENCHMARK(Sha256_64MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
