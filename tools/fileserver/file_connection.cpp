#include "fileserver/file_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/tcp_listen.h"

namespace dravmer::fileserver {

CFileConnection::CFileConnection(CFileServer& server, int socket)
    : m_server(server),
      m_socket(socket),
      m_peer(PeerAddress(socket)),
      m_session(server.Folder(), server.Options().allowUpload,
                [this](const std::string& computer, const std::string& line) {
                    return Log(computer, line);
                }),
      m_logRate(server.Options().logLinesPerSecond, server.Options().logBurst),
      m_quietSince(Clock::now().time_since_epoch().count()) {}

CFileConnection::~CFileConnection() {
    Stop();
    ::close(m_socket);
}

bool CFileConnection::Log(const std::string& computer, const std::string& line) {
    if (!m_logRate.Take()) return false;
    if (const auto left = m_logRate.TakeRefusedCount()) {
        m_server.WriteLog(computer, "(" + std::to_string(left) +
                                        " lines of this connection left out: too many at once)");
    }
    return m_server.WriteLog(computer, line);
}

int CFileConnection::Run() {
    const SFileServerOptions& options = m_server.Options();
    const auto idle = std::chrono::milliseconds(options.idleTimeoutMs);
    const auto recordLimit = std::chrono::milliseconds(options.recordTimeoutMs);
    Clock::time_point lastWhole = Clock::now();
    // When the unfinished record began; max() while none is on its way.
    constexpr Clock::time_point kNone = Clock::time_point::max();
    Clock::time_point partSince = kNone;
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::vector<std::uint8_t> replies;
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
    while (!StopRequested()) {
        Clock::time_point deadline = lastWhole + idle;
        if (partSince != kNone) deadline = std::min(deadline, partSince + recordLimit);
        const Clock::time_point now = Clock::now();
        if (now >= deadline) break;
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(waitMs, 60000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (fds[1].revents & POLLIN) break;
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::recv(m_socket, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const Clock::time_point arrived = Clock::now();
        const bool fresh = !m_session.Pending();
        SetQuietSince(Clock::time_point::max());
        replies.clear();
        const bool ok = m_session.Feed(buffer.data(), static_cast<std::size_t>(n), replies);
        // Every whole record has its reply: replies mean the client finished one.
        const bool whole = !replies.empty();
        if (whole &&
            !SendAllBefore(m_socket, replies.data(), replies.size(), Clock::now() + idle)) {
            break;
        }
        if (!ok) break;  // not this service's records: nothing more can be understood
        if (whole) lastWhole = Clock::now();
        if (!m_session.Pending()) {
            partSince = kNone;
        } else if (fresh || whole) {
            partSince = arrived;  // the unfinished record began in these bytes
        }
        SetQuietSince(m_session.Pending() ? partSince : Clock::now());
    }
    ::shutdown(m_socket, SHUT_RDWR);
    return 0;
}

}  // namespace dravmer::fileserver
