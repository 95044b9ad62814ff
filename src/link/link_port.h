#pragma once
// What the link needs from a port: one request frame out, one reply in. The local serial line,
// the COM-server client and the in-process simulator all offer it.
#include <cstdint>
#include <cstring>
#include <vector>

namespace dravmer {

class ILinkPort {
public:
    virtual ~ILinkPort() = default;

    virtual bool IsOpen() const = 0;
    // Drops pending input and output.
    virtual void Purge() = 0;
    // One whole frame; false when it could not be written.
    virtual bool Write(const std::uint8_t* data, int length) = 0;
    // 0: the reply is copied and length holds its byte count; -1: nothing arrived or the buffer
    // (capacity in length) is too small, length then holds the byte count; -2: the COM server
    // reported overload.
    virtual int ReadReply(std::uint8_t* buffer, int& length) = 0;
    // The next request is a polling request (COM-server message type 2); other ports ignore it.
    virtual void MarkPollingRequest() {}
};

// Hands bytes collected by an in-memory port over by the ReadReply rules above: 0 with all of
// them copied (and the collection emptied), or -1 with length set to the byte count when there
// are none or they do not fit.
inline int HandOverReply(std::vector<std::uint8_t>& pending, std::uint8_t* buffer, int& length) {
    const int count = static_cast<int>(pending.size());
    if (count == 0 || count > length) {
        length = count;
        return -1;
    }
    std::memcpy(buffer, pending.data(), pending.size());
    length = count;
    pending.clear();
    return 0;
}

}  // namespace dravmer
