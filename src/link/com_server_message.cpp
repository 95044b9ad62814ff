#include "link/com_server_message.h"

#include <algorithm>
#include <cstring>

#include "link/frame.h"

namespace dravmer {
namespace {

constexpr int kConnectMessageSize = 160;
constexpr int kHostNameRoom = 126;

SComServerMessage Decode(const std::uint8_t* p, int length) {
    SComServerMessage m;
    m.type = p[19];
    m.status = p[20];
    std::uint32_t bits = GetLe32(p + 21);
    std::memcpy(&m.load, &bits, sizeof m.load);
    m.clients = p[25];
    if (m.type == kCsFrame || m.type == kCsPollFrame || m.type == kCsClients) {
        const std::uint32_t dataLength = GetLe32(p + 26);
        const std::uint32_t room = static_cast<std::uint32_t>(length - kComServerHeaderSize);
        const std::uint32_t take = dataLength < room ? dataLength : room;
        m.data.assign(p + kComServerHeaderSize, p + kComServerHeaderSize + take);
    } else if (length > kComServerHeaderSize) {
        m.data.assign(p + kComServerHeaderSize, p + length);
    }
    return m;
}

}  // namespace

int ComServerSpeedCode(int baud) {
    switch (baud) {
        case 9600:
            return 0;
        case 19200:
            return 1;
        case 38400:
            return 2;
        case 57600:
            return 3;
        case 115200:
            return 4;
        default:
            return 5;
    }
}

std::vector<std::uint8_t> BuildComServerMessage(const SComServerMessage& m) {
    const bool carriesLength = m.type == kCsFrame || m.type == kCsPollFrame;
    // Frame messages count one byte beyond their data, as servers have always expected.
    const std::size_t total = kComServerHeaderSize + m.data.size() + (carriesLength ? 1 : 0);
    std::vector<std::uint8_t> out(total < 31 ? 31 : total, 0);
    std::memcpy(out.data(), kComServerTag, sizeof kComServerTag);
    PutLe32(out.data() + 15, static_cast<std::uint32_t>(out.size()));
    out[19] = m.type;
    out[20] = m.status;
    std::uint32_t bits;
    std::memcpy(&bits, &m.load, sizeof bits);
    PutLe32(out.data() + 21, bits);
    out[25] = m.clients;
    PutLe32(out.data() + 26, static_cast<std::uint32_t>(m.data.size()));
    std::copy(m.data.begin(), m.data.end(), out.begin() + kComServerHeaderSize);
    return out;
}

std::vector<std::uint8_t> BuildComServerConnect(int serverPort, const std::string& hostName,
                                                int baud) {
    std::vector<std::uint8_t> out(kConnectMessageSize, 0);
    std::memcpy(out.data(), kComServerTag, sizeof kComServerTag);
    PutLe32(out.data() + 15, kConnectMessageSize);
    out[19] = kCsConnect;
    out[30] = static_cast<std::uint8_t>(serverPort);
    const std::size_t n = hostName.size() < kHostNameRoom ? hostName.size() : kHostNameRoom;
    std::memcpy(out.data() + 31, hostName.data(), n);
    out[157] = '_';
    out[158] = static_cast<std::uint8_t>(ComServerSpeedCode(baud));
    return out;
}

std::vector<SComServerMessage> ParseComServerMessages(const std::uint8_t* data, int length) {
    std::vector<SComServerMessage> messages;
    int at = 0;
    while (at < length) {
        const int left = length - at;
        if (left < kComServerHeaderSize ||
            std::memcmp(data + at, kComServerTag, sizeof kComServerTag) != 0) {
            return {};
        }
        const std::uint32_t total = GetLe32(data + at + 15);
        if (total < kComServerHeaderSize || total > static_cast<std::uint32_t>(left)) return {};
        messages.push_back(Decode(data + at, static_cast<int>(total)));
        at += static_cast<int>(total);
    }
    return messages;
}

}  // namespace dravmer
