#include "sim/sim_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/frame.h"
#include "platform/perf_timer.h"
#include "sim/sim_tcp.h"

namespace dravmer::sim {
namespace {

// The firmware forgets a partial frame after this much silence between bytes.
constexpr int kInterByteTimeoutMs = 50;
// Time the firmware takes before it starts to send its reply.
constexpr double kTurnaroundMs = 1.0;

std::string LinkTarget(const std::string& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool IsPtyLink(const std::string& path) { return LinkTarget(path).rfind("/dev/pts/", 0) == 0; }

}  // namespace

CSimPtyServer::CSimPtyServer(CSimLine& line, int baud) : m_line(line), m_baud(baud) {}

CSimPtyServer::~CSimPtyServer() {
    Stop();
    // The link goes only while it still points at this simulator's terminal.
    if (!m_linkPath.empty() && LinkTarget(m_linkPath) == m_slavePath) ::unlink(m_linkPath.c_str());
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
}

bool CSimPtyServer::Open(const std::string& linkPath) {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = name;
    if (!linkPath.empty()) {
        // Only a link to a pseudo-terminal (one a simulator made, maybe left by one that was
        // killed) is replaced; anything else at that path may be someone's data.
        struct stat st {};
        if (::lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode) || !IsPtyLink(linkPath)) {
                m_error = linkPath + " exists and is not a link to a pseudo-terminal; not replaced";
                return false;
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(name, linkPath.c_str()) != 0) {
            m_error = "symlink " + linkPath + ": " + std::strerror(errno);
            return false;
        }
        m_linkPath = linkPath;
    }
    return true;
}

void CSimPtyServer::Answer(const Frame& request) {
    int lateMs = 0;
    Frame reply = m_line.Exchange(request, &lateMs);
    if (reply.empty()) return;
    // A pseudo-terminal has no baud timing: the request reaches the device after its own wire
    // time and the reply comes back after its wire time (10 bits a byte).
    if (!m_instant) {
        const double ms =
            kTurnaroundMs + lateMs + (request.size() + reply.size()) * 10.0 * 1000.0 / m_baud;
        const auto due = std::chrono::steady_clock::now() +
                         std::chrono::microseconds(static_cast<std::int64_t>(ms * 1000));
        if (!WaitForStopUntil(due)) return;
    }
    std::size_t sent = 0;
    while (sent < reply.size()) {
        const ssize_t n = ::write(m_master, reply.data() + sent, reply.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd out{m_master, POLLOUT, 0};
            ::poll(&out, 1, 10);
        }
    }
    m_answered.fetch_add(1);
}

int CSimPtyServer::Run() {
    if (m_master < 0) return 1;
    // Frames are self-delimiting (byte 4 gives the block count); after noise the firmware
    // slides byte by byte until a block count and a CRC agree.
    CSimFrameAssembler pending;
    // The devices' second runs on a quartz: ticks keep their phase instead of restarting from
    // whenever the loop noticed them, which would stretch every second by the loop's lateness.
    auto nextTick = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    CPerfTimer sinceByte;
    pollfd fds[2] = {{m_master, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
    while (!StopRequested()) {
        const int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, 20);
        if (m_realTime && std::chrono::steady_clock::now() >= nextTick) {
            nextTick += std::chrono::seconds(1);
            m_line.Tick();
        }
        if (ready < 0 && errno != EINTR) return 1;
        if (!pending.Empty() && sinceByte.GetElapsedMs() > kInterByteTimeoutMs) pending.Clear();
        if (ready <= 0 || !(fds[0].revents & POLLIN)) continue;
        std::uint8_t chunk[512];
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0) continue;
        sinceByte.Restart();
        for (const Frame& request : pending.Feed(chunk, static_cast<std::size_t>(n))) Answer(request);
    }
    return 0;
}

}  // namespace dravmer::sim
