#pragma once
// What the link needs from a port: one request frame out, one reply in. The local serial line,
// the COM-server client and the in-process simulator all offer it.
#include <cstdint>

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

}  // namespace dravmer
