#include "platform/tcp_listen.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
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

int AcceptClients(int listen, int maxClients, const std::function<void()>& reap,
                  const std::function<int()>& count, const std::function<void(int)>& take) {
    pollfd fds[2] = {{listen, POLLIN, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
    while (!CWorkerThread::CurrentStopRequested()) {
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return 1;
        if (fds[1].revents & POLLIN) break;
        reap();
        if (!(fds[0].revents & POLLIN)) continue;
        const int client = ::accept4(listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        if (count() >= maxClients) {
            ::close(client);
            continue;
        }
        take(client);
    }
    return 0;
}

}  // namespace dravmer
