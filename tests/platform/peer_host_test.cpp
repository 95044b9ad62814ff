// The address a server counts a peer's connections by: the same for a peer reached over IPv4
// and over a dual-stack IPv6 socket, never with its port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "platform/tcp_listen.h"

namespace dravmer {
namespace {

// The host the listening socket sees for a connection from the loopback address `from`.
std::string HostSeen(const std::string& listen, const char* from) {
    int port = 0;
    std::string error;
    const int server = ListenTcp(listen, port, error);
    EXPECT_GE(server, 0) << error;
    if (server < 0) return error;
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &a.sin_addr);
    EXPECT_EQ(::bind(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const int accepted = ::accept(server, nullptr, nullptr);
    const std::string host = PeerHost(accepted);
    const std::string address = PeerAddress(accepted);
    EXPECT_NE(address.find(host), std::string::npos) << address;  // the log names it too
    ::close(accepted);
    ::close(client);
    ::close(server);
    return host;
}

TEST(PeerHost, IsTheNumericAddressWithoutPortOverIpv4AndDualStack) {
    EXPECT_EQ(HostSeen("127.0.0.1", "127.0.0.3"), "127.0.0.3");
    EXPECT_EQ(HostSeen("::", "127.0.0.4"), "127.0.0.4");  // not ::ffff:127.0.0.4
    EXPECT_EQ(PeerHost(-1), "?");
}

}  // namespace
}  // namespace dravmer
