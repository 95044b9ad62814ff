#pragma once
// Listening TCP sockets for the servers: an address to listen on ("0.0.0.0", "::",
// "127.0.0.1" or a host name) and a port (0 picks a free one, then returned in port).
#include <cstddef>
#include <functional>
#include <string>

namespace dravmer {

// The listening descriptor (close-on-exec), or -1 with a message in error.
int ListenTcp(const std::string& address, int& port, std::string& error);

// Sends everything, waiting for room at most timeoutMs at a time and waking on a stop of the
// calling worker; false when the peer is gone, stalls or a stop came.
bool SendAllWithin(int socket, const unsigned char* data, std::size_t size, int timeoutMs);

// A server worker's accept loop, until the worker is asked to stop. `reap` drops finished
// connections about once a second and before each accept; a client beyond `maxClients` (as
// `count` tells) is closed at once, every other one is handed to `take`. 1 when poll fails.
int AcceptClients(int listen, int maxClients, const std::function<void()>& reap,
                  const std::function<int()>& count, const std::function<void(int)>& take);

}  // namespace dravmer
