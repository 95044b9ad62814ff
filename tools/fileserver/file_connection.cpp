#include "fileserver/file_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <vector>

#include "platform/tcp_listen.h"

namespace dravmer::fileserver {

CFileConnection::CFileConnection(CFileServer& server, int socket, std::uint64_t serial)
    : m_server(server),
      m_socket(socket),
      m_peer(PeerAddress(socket)),
      m_host(PeerHost(socket)),
      m_serial(serial),
      m_since(Clock::now()),
      m_session(server.Folder(), server.Options().allowUpload,
                [this](const std::string& computer, const std::string& line) {
                    return Log(computer, line);
                }),
      m_logRate(server.Options().logLinesPerSecond, server.Options().logBurst),
      m_quietSince(m_since.time_since_epoch().count()) {}

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
    // The last whole record answered or whole reply the client took: the idle limit runs from
    // there, never from a lone byte, and a client that stops reading its replies (or reads a
    // byte now and then) is let go after as long.
    Clock::time_point lastActive = Clock::now();
    // When the unfinished record began; max() while none is on its way.
    constexpr Clock::time_point kNone = Clock::time_point::max();
    Clock::time_point partSince = kNone;
    Clock::time_point arrived = lastActive;
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::deque<std::vector<std::uint8_t>> replies;
    std::size_t pending = 0;    // reply bytes not sent yet
    std::size_t frontSent = 0;  // of replies.front()
    bool ending = false;  // bytes that are not records came: what was answered goes out first
    while (!StopRequested()) {
        // Replies one record at a time while the client takes them; with the bound reached,
        // the requests wait in the socket, and then in the client's own send buffer.
        bool answered = false;
        while (!ending && pending <= kMaxPendingReplies && m_session.Pending()) {
            SetQuietSince(Clock::time_point::max());
            std::vector<std::uint8_t> reply;
            const CFileSession::EAnswer a = m_session.AnswerNext(reply);
            if (a == CFileSession::EAnswer::kNeedMore) break;
            if (a == CFileSession::EAnswer::kInvalid) {
                ending = true;
                break;
            }
            answered = true;
            pending += reply.size();
            replies.push_back(std::move(reply));
            if (pending > m_peakPending.load()) m_peakPending = pending;
        }
        m_proven = m_session.Proven();
        const Clock::time_point now = Clock::now();
        if (answered) lastActive = now;
        const bool reading = !ending && pending <= kMaxPendingReplies;
        if (!m_session.Pending()) {
            partSince = kNone;
        } else if (reading && answered) {
            partSince = now;  // the record after the last one answered is read from now on
        } else if (reading && partSince == kNone) {
            partSince = arrived;  // the unfinished record began in the last bytes received
        }
        SetQuietSince(partSince != kNone ? std::min(partSince, lastActive) : lastActive);
        if (ending && pending == 0) break;

        Clock::time_point deadline = lastActive + idle;
        if (reading && partSince != kNone) deadline = std::min(deadline, partSince + recordLimit);
        if (now >= deadline) break;
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd fds[2] = {{m_socket, 0, 0}, {CurrentStopFd(), POLLIN, 0}};
        if (reading) fds[0].events |= POLLIN;
        if (pending > 0) fds[0].events |= POLLOUT;
        const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(waitMs, 60000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (fds[1].revents & POLLIN) break;
        if (fds[0].revents & (POLLERR | POLLNVAL)) break;
        if (pending > 0 && (fds[0].revents & (POLLOUT | POLLHUP))) {
            const std::vector<std::uint8_t>& front = replies.front();
            const ssize_t n = ::send(m_socket, front.data() + frontSent, front.size() - frontSent,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) break;
            if (n > 0) {
                frontSent += static_cast<std::size_t>(n);
                pending -= static_cast<std::size_t>(n);
                if (frontSent == front.size()) {
                    replies.pop_front();
                    frontSent = 0;
                    lastActive = Clock::now();
                }
            }
        }
        if (reading && (fds[0].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::recv(m_socket, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 && pending > 0) {
                ending = true;  // the client sent its last request: its replies still go out
                continue;
            }
            if (n <= 0) break;
            arrived = Clock::now();
            m_session.Take(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    ::shutdown(m_socket, SHUT_RDWR);
    return 0;
}

}  // namespace dravmer::fileserver
