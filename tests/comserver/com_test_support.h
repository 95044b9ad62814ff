#pragma once
// What the COM server's tests share: a raw client for what the bench's port would never do.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "comserver/com_server.h"
#include "link/com_server_message.h"

namespace dravmer {

inline std::string HostName() {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return host;
}

class CRawClient {
public:
    // A connection from the loopback address `from` (any of 127.0.0.0/8), so that the server
    // tells peers apart.
    explicit CRawClient(int tcpPort, int receiveLimitS = 3, const char* from = nullptr) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        if (from) {
            ::inet_pton(AF_INET, from, &a.sin_addr);
            EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << from;
        }
        a.sin_port = htons(static_cast<std::uint16_t>(tcpPort));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        timeval tv{receiveLimitS, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~CRawClient() { ::close(m_fd); }
    CRawClient(const CRawClient&) = delete;
    CRawClient& operator=(const CRawClient&) = delete;

    void Send(const std::vector<std::uint8_t>& bytes) {
        ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // The next whole message; type 0 when the connection ended or nothing came.
    SComServerMessage Next() {
        for (;;) {
            SComServerMessage m;
            if (comserver::TakeComServerMessage(m_in, m) == comserver::EMessageState::kComplete) {
                return m;
            }
            std::uint8_t b[4096];
            const ssize_t n = ::recv(m_fd, b, sizeof b, 0);
            if (n <= 0) return {};
            m_in.insert(m_in.end(), b, b + n);
        }
    }
    // True when the server closed the connection within the receive limit.
    bool ClosedByServer() {
        std::uint8_t b[256];
        for (;;) {
            const ssize_t n = ::recv(m_fd, b, sizeof b, 0);
            if (n == 0) return true;
            if (n < 0) return false;
        }
    }
    // True when the server has closed the connection by now (what it sent before is dropped).
    bool ClosedYet() {
        std::uint8_t b[256];
        for (;;) {
            const ssize_t n = ::recv(m_fd, b, sizeof b, MSG_DONTWAIT);
            if (n == 0) return true;
            if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
        }
    }
    // Greeting, then the answer naming the wanted line: the server's verdict status.
    int Attach(int line, const std::string& name) {
        if (Next().type != kCsHello) return -1;
        Send(BuildComServerConnect(line, name, 115200));
        const SComServerMessage verdict = Next();
        return verdict.type == kCsConnect ? verdict.status : -1;
    }
    // The names the server lists for this client's line.
    std::vector<std::string> Clients() {
        SComServerMessage ask;
        ask.type = kCsClients;
        Send(BuildComServerMessage(ask));
        const SComServerMessage list = Next();
        std::vector<std::string> names;
        for (std::size_t at = 0; at + 128 <= list.data.size(); at += 128) {
            const char* name = reinterpret_cast<const char*>(list.data.data() + at);
            names.emplace_back(name, strnlen(name, 128));
        }
        m_lastClientCount = list.clients;
        return names;
    }
    int LastClientCount() const { return m_lastClientCount; }
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
    std::vector<std::uint8_t> m_in;
    int m_lastClientCount = -1;
};

}  // namespace dravmer
