#pragma once
// A loopback peer whose every step the test writes: accepts one client and runs a script on
// its socket. For the client's edge cases that a well-behaved file server never shows.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp_listen.h"
#include "update/query_client.h"
#include "update/query_record.h"

namespace dravmer::test {

inline bool ReadExactly(int fd, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// One whole record, by its length field; empty when the connection ends.
inline std::vector<std::uint8_t> ReadRecord(int fd) {
    std::vector<std::uint8_t> r(16);
    if (!ReadExactly(fd, r.data(), 16)) return {};
    std::int32_t length;
    std::memcpy(&length, r.data() + kQueryLengthAt, 4);
    if (length < 16 || length > kQueryBufferSize) return {};
    r.resize(static_cast<std::size_t>(length));
    if (!ReadExactly(fd, r.data() + 16, r.size() - 16)) return {};
    return r;
}

inline void SendBytes(int fd, const std::vector<std::uint8_t>& bytes) {
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

class CScriptedServer {
public:
    explicit CScriptedServer(std::function<void(int client)> script) {
        std::string error;
        m_listen = ListenTcp("127.0.0.1", m_port, error);
        m_thread = std::thread([this, script] {
            const int client = ::accept(m_listen, nullptr, nullptr);
            if (client < 0) return;
            script(client);
            ::close(client);
        });
    }
    ~CScriptedServer() {
        ::shutdown(m_listen, SHUT_RDWR);
        ::close(m_listen);
        if (m_thread.joinable()) m_thread.join();
    }
    int Port() const { return m_port; }

private:
    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
};

// Has the server describe name until it answers within the client's 2 s: the server hashes a
// release on its first description (slow in a sanitizer build on a loaded machine) and keeps
// the digest while the file stays as it is.
inline bool WarmUpDescribe(int port, const std::string& name, int attempts = 15) {
    for (int i = 0; i < attempts; ++i) {
        CQueryClient client;
        client.SetServer("127.0.0.1", port);
        SFileDescription d;
        if (client.Connect() == kQrOk && client.Describe(name, d) == kQrOk) return true;
    }
    return false;
}

}  // namespace dravmer::test
