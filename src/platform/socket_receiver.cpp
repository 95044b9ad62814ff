#include "platform/socket_receiver.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace dravmer {

CSocketReceiver::CSocketReceiver(int socket, std::size_t chunkSize, BytesFn onBytes,
                                 std::function<void()> onClosed)
    : m_socket(socket),
      m_chunk(chunkSize),
      m_onBytes(std::move(onBytes)),
      m_onClosed(std::move(onClosed)) {}

int CSocketReceiver::Run() {
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
    while (!StopRequested()) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents & POLLIN) break;
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::recv(m_socket, m_chunk.data(), m_chunk.size(), 0);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            m_onClosed();
            break;
        }
        m_onBytes(m_chunk.data(), static_cast<int>(n));
    }
    return 0;
}

}  // namespace dravmer
