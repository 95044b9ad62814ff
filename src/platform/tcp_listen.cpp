#include "platform/tcp_listen.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/worker_thread.h"

namespace dravmer {

int ListenTcp(const std::string& address, int& port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc =
        ::getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || !found) {
        error = "cannot resolve " + address + ": " + ::gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, kListenBacklog) != 0) {
            error = "listen on " + address + ":" + service + ": " + std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) return -1;
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len) == 0) {
        if (bound.ss_family == AF_INET) {
            port = ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        } else if (bound.ss_family == AF_INET6) {
            port = ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
        }
    }
    return fd;
}

bool SendAllWithin(int socket, const unsigned char* data, std::size_t size, int timeoutMs) {
    while (size > 0) {
        const ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        pollfd fds[2] = {{socket, POLLOUT, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
        const int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        if (fds[1].fd >= 0 && (fds[1].revents & POLLIN)) return false;
        if (fds[0].revents & (POLLERR | POLLHUP)) return false;
    }
    return true;
}

bool SendAllBefore(int socket, const unsigned char* data, std::size_t size,
                   std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    while (size > 0) {
        const auto now = steady_clock::now();
        if (now >= deadline) return false;
        const auto left = ceil<milliseconds>(deadline - now).count();
        // Each wait is cut to what is left of the whole.
        const int step = static_cast<int>(std::min<long long>(left, 1000));
        const ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        pollfd fds[2] = {{socket, POLLOUT, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
        const int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, step);
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        if (fds[1].fd >= 0 && (fds[1].revents & POLLIN)) return false;
        if (fds[0].revents & (POLLERR | POLLHUP)) return false;
    }
    return true;
}

void EnableKeepAlive(int socket, int idleS, int intervalS, int count) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &yes, sizeof yes);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

std::string PeerAddress(int socket) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &len) != 0) return "?";
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(reinterpret_cast<sockaddr*>(&peer), len, host, sizeof host, service,
                      sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return "?";
    }
    return peer.ss_family == AF_INET6 ? std::string("[") + host + "]:" + service
                                      : std::string(host) + ":" + service;
}

std::string PeerHost(int socket) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &len) != 0) return "?";
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<sockaddr*>(&peer), len, host, sizeof host, nullptr, 0,
                      NI_NUMERICHOST) != 0) {
        return "?";
    }
    const std::string text = host;
    constexpr char kMapped[] = "::ffff:";
    if (text.rfind(kMapped, 0) == 0 && text.find('.') != std::string::npos) {
        return text.substr(sizeof kMapped - 1);
    }
    return text;
}

namespace {

// Failures of accept that leave the connection waiting in the backlog: trying again at once
// fails again, so the loop pauses instead of spinning on a listening socket that stays ready.
bool IsStarved(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

int AcceptClients(int listen, const SAcceptLoop& loop) {
    constexpr int kFirstStarvedPauseMs = 50;
    constexpr int kLongestStarvedPauseMs = 1000;
    int starvedPauseMs = 0;
    pollfd fds[2] = {{listen, POLLIN, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
    while (!CWorkerThread::CurrentStopRequested()) {
        if (starvedPauseMs > 0) {
            // Only a stop ends the pause early; the listening socket stays ready meanwhile.
            pollfd stop{fds[1].fd, POLLIN, 0};
            if (::poll(&stop, stop.fd >= 0 ? 1 : 0, starvedPauseMs) > 0) break;
            if (loop.reap) loop.reap();
        }
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return 1;
        if (fds[1].revents & POLLIN) break;
        if (loop.reap) loop.reap();
        if (!(fds[0].revents & POLLIN)) continue;
        const int client = ::accept4(listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            const int error = errno;
            if (!IsStarved(error)) {
                starvedPauseMs = 0;  // this connection failed, not the server
                continue;
            }
            starvedPauseMs = starvedPauseMs == 0
                                 ? kFirstStarvedPauseMs
                                 : std::min(starvedPauseMs * 2, kLongestStarvedPauseMs);
            if (loop.starved) loop.starved(error, starvedPauseMs);
            continue;
        }
        starvedPauseMs = 0;
        loop.take(client);
    }
    return 0;
}

}  // namespace dravmer
