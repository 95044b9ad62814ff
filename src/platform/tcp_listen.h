#pragma once
// Listening TCP sockets for the servers: an address to listen on ("0.0.0.0", "::",
// "127.0.0.1" or a host name) and a port (0 picks a free one, then returned in port).
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace dravmer {

// Connections the kernel may hold for a server that has not accepted them yet; it clamps this
// to net.core.somaxconn (4096 on current kernels, 128 on old ones).
inline constexpr int kListenBacklog = 1024;

// The listening descriptor (close-on-exec), or -1 with a message in error.
int ListenTcp(const std::string& address, int& port, std::string& error);

// Sends everything, waiting for room at most timeoutMs at a time and waking on a stop of the
// calling worker; false when the peer is gone, stalls or a stop came.
bool SendAllWithin(int socket, const unsigned char* data, std::size_t size, int timeoutMs);
// The same with one deadline for the whole: a peer that reads a byte now and then cannot hold
// the sender longer than that.
bool SendAllBefore(int socket, const unsigned char* data, std::size_t size,
                   std::chrono::steady_clock::time_point deadline);

// Keepalive probes on an accepted connection: a peer that vanished without a word (power
// lost, cable pulled) is found after idleS + intervalS * count seconds of silence.
void EnableKeepAlive(int socket, int idleS = 30, int intervalS = 10, int count = 3);

// "address:port" of a connected socket's peer, for logs ("?" when it cannot be told).
std::string PeerAddress(int socket);
// The peer's address alone, as limits per peer count it: numeric, an IPv4 peer reached over an
// IPv6 socket as plain IPv4 ("?" when it cannot be told).
std::string PeerHost(int socket);

struct SAcceptLoop {
    // Drops finished connections: about once a second, before each accept and while the loop
    // waits for descriptors.
    std::function<void()> reap;
    // Takes a new client's descriptor and owns it from then on (serves, refuses or closes it).
    std::function<void(int client)> take;
    // Told when an accept fails for want of descriptors or memory (the errno value) and how
    // long the loop now pauses before it tries again; the pause grows while the want lasts.
    std::function<void(int error, int pauseMs)> starved;
};

// A server worker's accept loop, until the worker is asked to stop. 1 when poll fails.
int AcceptClients(int listen, const SAcceptLoop& loop);

}  // namespace dravmer
