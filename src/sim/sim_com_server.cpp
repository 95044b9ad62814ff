#include "sim/sim_com_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/com_server_message.h"
#include "link/frame.h"
#include "sim/sim_socket.h"

namespace dravmer::sim {

CSimComServer::~CSimComServer() {
    Stop();
    if (m_listen >= 0) ::close(m_listen);
}

bool CSimComServer::Listen(int tcpPort) {
    std::string error;
    m_listen = ListenOnLoopback(tcpPort, error);
    if (m_listen < 0) return false;
    m_tcpPort = tcpPort;
    return true;
}

std::string CSimComServer::LastClientName() const {
    std::lock_guard lock(m_mutex);
    return m_clientName;
}

bool CSimComServer::Reply(int client, const std::vector<std::uint8_t>& bytes) {
    return ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

void CSimComServer::Serve(int client) {
    SComServerMessage hello;
    hello.type = kCsHello;
    Reply(client, BuildComServerMessage(hello));
    std::uint8_t buffer[kComServerMaxMessage];
    pollfd fds[2] = {{client, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
    while (!StopRequested()) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents & POLLIN) return;
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        for (const SComServerMessage& m : ParseComServerMessages(buffer, static_cast<int>(n))) {
            SComServerMessage out;
            out.type = m.type;
            out.load = 12.0f;
            out.clients = 1;
            if (m.type == kCsConnect) {
                if (m.data.size() > 1) {
                    const char* name = reinterpret_cast<const char*>(m.data.data() + 1);
                    std::lock_guard lock(m_mutex);
                    m_clientName.assign(name, strnlen(name, m.data.size() - 1));
                }
                out.status = m_portOpen ? kCsStatusOk : kCsStatusPortClosed;
            } else if (m.type == kCsFrame || m.type == kCsPollFrame) {
                if (m.type == kCsPollFrame) m_pollFrames.fetch_add(1);
                if (m_overloads > 0) {
                    --m_overloads;
                    out.status = kCsStatusOverload;
                } else {
                    out.data = m_line.Exchange(m.data);
                }
            } else if (m.type == kCsClients) {
                out.data.assign(128, 0);
                const std::string name = LastClientName();
                std::memcpy(out.data.data(), name.data(), std::min<std::size_t>(name.size(), 127));
            } else {
                continue;
            }
            std::vector<std::uint8_t> bytes = BuildComServerMessage(out);
            if (m_brokenLengths > 0) {
                --m_brokenLengths;
                PutLe32(bytes.data() + 15, static_cast<std::uint32_t>(bytes.size() + 5));
            }
            Reply(client, bytes);
        }
    }
}

int CSimComServer::Run() {
    if (m_listen < 0) return 1;
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
    while (!StopRequested()) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return 1;
        if (fds[1].revents & POLLIN) break;
        if (!(fds[0].revents & POLLIN)) continue;
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Serve(client);
        ::close(client);
    }
    return 0;
}

}  // namespace dravmer::sim
