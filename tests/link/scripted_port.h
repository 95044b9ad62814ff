#pragma once
// A port that answers each write with the next scripted reply and records what was written.
#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "link/frame.h"
#include "link/link_port.h"

namespace dravmer::test {

using Bytes = std::vector<std::uint8_t>;

class CScriptedPort : public ILinkPort {
public:
    bool open = true;
    std::deque<Bytes> replies;  // one per write; an exhausted script answers nothing
    std::vector<Bytes> writes;

    bool IsOpen() const override { return open; }
    void Purge() override { m_pending.clear(); }
    bool Write(const std::uint8_t* data, int length) override {
        writes.emplace_back(data, data + length);
        if (!replies.empty()) {
            m_pending = replies.front();
            replies.pop_front();
        }
        return true;
    }
    int ReadReply(std::uint8_t* buffer, int& length) override {
        return HandOverReply(m_pending, buffer, length);
    }

private:
    Bytes m_pending;
};

// A sealed frame of the given blocks: address, N, command, result byte, payload.
inline Bytes MakeFrame(std::uint32_t address, std::uint8_t command, int blocks,
                       std::uint8_t byte6 = 0, const Bytes& payload = {}) {
    Bytes frame(static_cast<std::size_t>(blocks * kBlockSize), 0);
    PutLe32(frame.data(), address);
    frame[4] = static_cast<std::uint8_t>(blocks);
    frame[5] = command;
    if (blocks >= 2) frame[6] = byte6;
    std::copy(payload.begin(), payload.end(), frame.begin() + kPayloadOffset);
    SealFrame(frame.data());
    return frame;
}

// A transit reply: outer header from the transit device around an inner reply.
inline Bytes WrapReply(std::uint32_t transit, std::uint8_t status, const Bytes& inner) {
    Bytes outer(inner.size() + kBlockSize, 0);
    PutLe32(outer.data(), transit);
    outer[4] = static_cast<std::uint8_t>(outer.size() / kBlockSize);
    outer[5] = 63 | 0x80;
    outer[6] = status;
    std::memcpy(outer.data() + kBlockSize, inner.data(), inner.size());
    SealFrame(outer.data());
    return outer;
}

}  // namespace dravmer::test
