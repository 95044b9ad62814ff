#include "sim/sim_tcp.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>

#include "link/frame.h"
#include "platform/perf_timer.h"
#include "sim/sim_socket.h"

namespace dravmer::sim {
namespace {

using Clock = std::chrono::steady_clock;

// The firmware forgets a partial frame after this much silence between bytes.
constexpr int kInterByteTimeoutMs = 50;
// Time the firmware takes before it starts to send its reply.
constexpr double kTurnaroundMs = 1.0;
// The loop wakes at least this often to keep the devices' second on time.
constexpr int kIdlePollMs = 20;

// What the server holds for the connected client. The device is half duplex: while it works
// on a request (until its reply has left), further bytes stay in the socket, so a client that
// floods the line is slowed down by the kernel instead of filling our memory.
struct SClient {
    int fd = -1;
    CSimFrameAssembler assembler;
    std::deque<Frame> requests;  // whole frames from the last read, answered one by one
    Frame reply;                 // the reply being timed on the wire
    Clock::time_point due;       // when it has fully arrived at the client
    Frame out;                   // bytes handed to the socket but not yet accepted by it
    CPerfTimer sinceByte;

    bool Busy() const { return !requests.empty() || !reply.empty() || !out.empty(); }
    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        assembler.Clear();
        requests.clear();
        reply.clear();
        out.clear();
    }
};

}  // namespace

std::vector<Frame> CSimFrameAssembler::Feed(const std::uint8_t* data, std::size_t length) {
    m_pending.insert(m_pending.end(), data, data + length);
    std::vector<Frame> frames;
    std::size_t at = 0;  // sliding by an index keeps a long run of noise linear
    while (m_pending.size() - at >= 5) {
        const int blocks = m_pending[at + 4];
        const std::size_t frameLength = static_cast<std::size_t>(blocks) * kBlockSize;
        if (blocks < 1 || blocks > kMaxBlocks) {
            ++at;
            continue;
        }
        if (m_pending.size() - at < frameLength) break;
        // Only the announced length counts, so one CRC per position (not one per prefix).
        const std::uint8_t* frame = m_pending.data() + at;
        if (Crc16Kermit(frame, frameLength - 2) != GetLe16(frame + frameLength - 2)) {
            ++at;
            continue;
        }
        const auto first = m_pending.begin() + static_cast<std::ptrdiff_t>(at);
        frames.emplace_back(first, first + static_cast<std::ptrdiff_t>(frameLength));
        at += frameLength;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(at));
    return frames;
}

CSimTcpServer::CSimTcpServer(CSimLine& line, int baud) : m_line(line), m_baud(baud) {}

CSimTcpServer::~CSimTcpServer() {
    Stop();
    if (m_listen >= 0) ::close(m_listen);
}

bool CSimTcpServer::Listen(int tcpPort) {
    m_listen = ListenOnLoopback(tcpPort, m_error);
    if (m_listen < 0) return false;
    m_tcpPort = tcpPort;
    return true;
}

int CSimTcpServer::Run() {
    if (m_listen < 0) return 1;
    SClient client;
    // The devices' second runs on a quartz: ticks keep their phase (as on the pseudo-terminal).
    auto nextTick = Clock::now() + std::chrono::seconds(1);
    while (!StopRequested()) {
        int timeoutMs = kIdlePollMs;
        if (!client.reply.empty()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(client.due - Clock::now());
            timeoutMs = static_cast<int>(std::clamp<std::int64_t>(left.count() + 1, 0, timeoutMs));
        }
        pollfd fds[3] = {{m_listen, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}, {-1, 0, 0}};
        if (client.fd >= 0) {
            fds[2].fd = client.fd;
            // Read only while the device listens; watch for hang-up either way.
            fds[2].events = static_cast<short>((client.Busy() ? 0 : POLLIN) |
                                               (client.out.empty() ? 0 : POLLOUT));
        }
        const int ready = ::poll(fds, 3, timeoutMs);
        if (ready < 0 && errno != EINTR) return 1;
        if (m_realTime && Clock::now() >= nextTick) {
            nextTick += std::chrono::seconds(1);
            m_line.Tick();
        }
        if (fds[1].revents & POLLIN) break;
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                // The newcomer takes the line; whatever the old client had in flight is lost.
                client.Close();
                client.fd = fd;
                client.sinceByte.Restart();
                m_connections.fetch_add(1);
            }
        }
        if (client.fd < 0) continue;
        const short events = fds[2].fd == client.fd ? fds[2].revents : 0;
        if (events & POLLIN) {
            std::uint8_t chunk[512];
            const ssize_t n = ::recv(client.fd, chunk, sizeof chunk, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                client.Close();
                continue;
            }
            if (n > 0) {
                if (!client.assembler.Empty() &&
                    client.sinceByte.GetElapsedMs() > kInterByteTimeoutMs) {
                    client.assembler.Clear();
                }
                client.sinceByte.Restart();
                for (Frame& f : client.assembler.Feed(chunk, static_cast<std::size_t>(n))) {
                    client.requests.push_back(std::move(f));
                }
            }
        } else if (events & (POLLHUP | POLLERR)) {
            client.Close();
            continue;
        }
        // Next request, when the device is free: the reply leaves after the wire time of the
        // request and of the reply itself (10 bits a byte), plus any slow-device delay.
        while (client.reply.empty() && client.out.empty() && !client.requests.empty()) {
            const Frame request = std::move(client.requests.front());
            client.requests.pop_front();
            int lateMs = 0;
            client.reply = m_line.Exchange(request, &lateMs);
            const double ms = kTurnaroundMs + lateMs +
                              (request.size() + client.reply.size()) * 10.0 * 1000.0 / m_baud;
            client.due =
                Clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(ms * 1000));
        }
        if (!client.reply.empty() && Clock::now() >= client.due) {
            client.out = std::move(client.reply);
            client.reply.clear();
        }
        if (!client.out.empty()) {
            const ssize_t n = ::send(client.fd, client.out.data(), client.out.size(),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                client.Close();
                continue;
            }
            if (n > 0) {
                client.out.erase(client.out.begin(), client.out.begin() + n);
                if (client.out.empty()) {
                    m_answered.fetch_add(1);
                    // The device listens again from here; silence while it talked is no gap.
                    client.sinceByte.Restart();
                }
            }
        }
    }
    client.Close();
    return 0;
}

}  // namespace dravmer::sim
