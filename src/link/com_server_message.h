#pragma once
// Messages between a port and a COM server (TCP port 34002): a 30-byte header tagged
// "COMServerQuery", then the data. Pure functions over bytes, shared with the simulator.
#include <cstdint>
#include <string>
#include <vector>

namespace dravmer {

inline constexpr int kComServerTcpPort = 34002;
inline constexpr int kComServerHeaderSize = 30;
inline constexpr int kComServerMaxMessage = 4096;
inline constexpr char kComServerTag[] = "COMServerQuery";  // 14 characters and the zero

enum EComServerType : std::uint8_t {
    kCsFrame = 1,      // a request frame, or the reply to it
    kCsPollFrame = 2,  // the same while the link polls measurements
    kCsStatus = 3,     // load and client count
    kCsClients = 4,    // list of clients
    kCsConnect = 5,    // the client's answer to kCsHello; the server's verdict
    kCsHello = 6,      // the server asks who connects
};

inline constexpr std::uint8_t kCsStatusOk = 0;
inline constexpr std::uint8_t kCsStatusOverload = 2;
inline constexpr std::uint8_t kCsStatusPortClosed = 4;

struct SComServerMessage {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    float load = 0.0f;
    std::uint8_t clients = 0;
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> BuildComServerMessage(const SComServerMessage& message);
// The type 5 answer: wanted serial port, host name (at most 126 characters), '_', speed code.
std::vector<std::uint8_t> BuildComServerConnect(int serverPort, const std::string& hostName,
                                                int baud);
// Speed code of the type 5 answer: 0 9600, 1 19200, 2 38400, 3 57600, 4 115200, 5 others.
int ComServerSpeedCode(int baud);

// Splits received bytes into messages. A piece is taken only when its tag matches and its
// length field fits exactly into what was received (several whole messages back to back are
// all taken); anything else is ignored as a whole. Returns the messages taken.
std::vector<SComServerMessage> ParseComServerMessages(const std::uint8_t* data, int length);

}  // namespace dravmer
