// dravmer-sim: simulated devices on a pseudo-terminal, a raw TCP frame stream or a COM server,
// for the bench program and its tests. Commands on stdin change faults and devices while it
// serves; stdin may also be closed (started in the background) without ending it.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dravmer_version.h"
#include "sim/sim_com_server.h"
#include "sim/sim_line.h"
#include "sim/sim_options.h"
#include "sim/sim_pty.h"
#include "sim/sim_tcp.h"

namespace {

using namespace dravmer;
using namespace dravmer::sim;

volatile std::sig_atomic_t g_quit = 0;

void OnSignal(int) { g_quit = 1; }

void InstallSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: poll() returns at once on a signal
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// A simulator started with stdin (or stdout) closed would otherwise get its pseudo-terminal or
// socket as descriptor 0 or 1: the command reader would eat the requests, or the "where" line
// would be written to the client. Parking /dev/null on the free standard slots prevents that.
bool ReserveStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd) return false;  // lowest free descriptor, so it lands on fd
    }
    return true;
}

// Operator lines longer than this are typing accidents; they are refused, not cut.
constexpr std::size_t kMaxCommandLine = 256;

// Reads operator commands from stdin without blocking the loop, one answer line (or block) on
// stderr per command. Returns false when the operator asked to quit.
class CCommandReader {
public:
    explicit CCommandReader(CSimLine& line) : m_line(line) {}

    bool Open() const { return m_open; }
    void Close() { m_open = false; }

    bool ReadAvailable() {
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
        if (n <= 0) {
            // End of input is not the end of the service: the simulator may run detached.
            m_open = false;
            if (!m_text.empty()) return Execute(m_text);
            return true;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = chunk[i];
            if (c == '\n') {
                const bool goOn = m_tooLong ? Refuse() : Execute(m_text);
                m_text.clear();
                m_tooLong = false;
                if (!goOn) return false;
            } else if (m_text.size() >= kMaxCommandLine) {
                m_tooLong = true;
            } else if (c != '\r') {
                m_text.push_back(c);
            }
        }
        return true;
    }

private:
    bool Refuse() {
        std::fprintf(stderr, "error: command line longer than %zu characters\n", kMaxCommandLine);
        return true;
    }

    bool Execute(const std::string& text) {
        if (text.find_first_not_of(" \t") == std::string::npos) return true;
        SSimCommand command;
        std::string answer;
        if (!ParseSimCommand(text, command, answer)) {
            std::fprintf(stderr, "error: %s\n", answer.c_str());
            return true;
        }
        const bool ok = ApplySimCommand(command, m_line, answer);
        std::fprintf(stderr, "%s%s\n", ok ? "" : "error: ", answer.c_str());
        return command.kind != ESimCommand::Quit;
    }

    CSimLine& m_line;
    std::string m_text;
    bool m_tooLong = false;
    bool m_open = true;
};

}  // namespace

int main(int argc, char** argv) {
    if (!ReserveStandardDescriptors()) return 1;
    SSimOptions options;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "dravmer-sim: %s\n(dravmer-sim --help lists the options)\n",
                     error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("dravmer-sim %s\n", kProgramVersion);
        return 0;
    }
    SLineConfig config;
    config.transitAddress = options.transit;
    config.transitKind = static_cast<std::uint8_t>(options.transitKind);
    if (const std::string warning = SimLineWarning(options); !warning.empty())
        std::fprintf(stderr, "dravmer-sim: %s\n", warning.c_str());
    CSimLine line(config);
    line.AddDevices(options.devices, options.first, options.step);
    line.SetFaults(options.faults);
    std::FILE* log = nullptr;
    if (!options.logPath.empty()) {
        log = std::fopen(options.logPath.c_str(), "ae");
        if (!log) {
            std::fprintf(stderr, "dravmer-sim: cannot write %s\n", options.logPath.c_str());
            return 1;
        }
        // A line per reply, flushed at once: a simulator killed in a test loses none.
        line.SetDeliveryLog([log](std::uint32_t address, std::uint8_t cycle, std::uint8_t mode) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
            std::fprintf(log, "%lld %u %u %u\n", static_cast<long long>(ms), address, cycle, mode);
            std::fflush(log);
        });
    }

    std::unique_ptr<CWorkerThread> server;
    std::string where;
    std::string mode;
    if (options.mode == ESimMode::Pty) {
        auto pty = std::make_unique<CSimPtyServer>(line, options.baud);
        if (!pty->Open(options.linkPath)) {
            std::fprintf(stderr, "dravmer-sim: %s\n", pty->Error().c_str());
            return 1;
        }
        where = pty->SlavePath();
        mode = "pseudo-terminal";
        server = std::move(pty);
    } else if (options.mode == ESimMode::Tcp) {
        auto tcp = std::make_unique<CSimTcpServer>(line, options.baud);
        if (!tcp->Listen(options.tcpPort)) {
            std::fprintf(stderr, "dravmer-sim: %s\n", tcp->Error().c_str());
            return 1;
        }
        where = "127.0.0.1:" + std::to_string(tcp->TcpPort());
        mode = "raw TCP frame stream";
        server = std::move(tcp);
    } else {
        auto com = std::make_unique<CSimComServer>(line);
        if (!com->Listen(options.tcpPort)) {
            std::fprintf(stderr, "dravmer-sim: cannot listen on 127.0.0.1:%d\n", options.tcpPort);
            return 1;
        }
        where = "127.0.0.1:" + std::to_string(com->TcpPort());
        mode = "COM server";
        server = std::move(com);
    }
    InstallSignals();
    if (!server->Start()) {
        std::fprintf(stderr, "dravmer-sim: cannot start the server thread\n");
        return 1;
    }
    // stdout carries only where to connect, so scripts can read it with one `read`.
    std::printf("%s\n", where.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "dravmer-sim: %zu devices, %s on %s; type help for commands\n",
                 line.DeviceCount(), mode.c_str(), where.c_str());

    CCommandReader reader(line);
    bool serving = true;
    // The pseudo-terminal and TCP servers tick the devices' seconds themselves; behind the COM
    // server this loop does, or the devices would answer the same second for ever.
    const bool tickHere = options.mode == ESimMode::ComServer;
    auto nextTick = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (serving && !g_quit && server->IsRunning()) {
        if (tickHere && std::chrono::steady_clock::now() >= nextTick) {
            nextTick += std::chrono::seconds(1);
            line.Tick();
        }
        // Once stdin has ended the descriptor is left out and poll only paces the loop.
        pollfd in{reader.Open() ? STDIN_FILENO : -1, POLLIN, 0};
        if (::poll(&in, 1, 100) <= 0) continue;
        if (in.revents & POLLNVAL) {
            reader.Close();  // started with stdin closed: serve without commands
        } else if (in.revents & (POLLIN | POLLHUP | POLLERR)) {
            serving = reader.ReadAvailable();
        }
    }
    const bool failed = !server->IsRunning() && server->ExitCode() != 0;
    server->Stop();
    line.SetDeliveryLog(nullptr);
    if (log) std::fclose(log);
    if (auto* pty = dynamic_cast<CSimPtyServer*>(server.get())) {
        std::fprintf(stderr, "dravmer-sim: %d frames answered\n", pty->FramesAnswered());
    } else if (auto* tcp = dynamic_cast<CSimTcpServer*>(server.get())) {
        std::fprintf(stderr, "dravmer-sim: %d frames answered, %d connections\n",
                     tcp->FramesAnswered(), tcp->Connections());
    }
    if (failed) {
        std::fprintf(stderr, "dravmer-sim: the server stopped on an error\n");
        return 1;
    }
    return 0;
}
