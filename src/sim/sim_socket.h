#pragma once
// The simulator's servers listen on the loopback interface only.
#include <string>

namespace dravmer::sim {

// A listening socket on 127.0.0.1:tcpPort (0 picks a free port, then returned in tcpPort);
// -1 with a message in error when it cannot be had.
int ListenOnLoopback(int& tcpPort, std::string& error);

}  // namespace dravmer::sim
