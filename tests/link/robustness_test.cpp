// Outside bytes of every shape must give a result code, never a crash or an overrun: random
// replies for the transaction, random COM-server messages and random telnet streams.
#include <gtest/gtest.h>

#include <random>

#include "link/com_server_message.h"
#include "link/link_r307.h"
#include "link/rfc2217.h"
#include "link/scripted_port.h"

namespace dravmer {
namespace {

using test::Bytes;

Bytes RandomBytes(std::mt19937& random, std::size_t maxLength) {
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes out(length(random));
    for (auto& b : out) b = static_cast<std::uint8_t>(byte(random));
    return out;
}

TEST(Robustness, RandomRepliesGiveLinkCodes) {
    std::mt19937 random(20240611);
    test::CScriptedPort port;
    CLinkR307 link;
    link.AttachPort(&port);
    for (int round = 0; round < 3000; ++round) {
        link.SetTransit(round % 3 == 0 ? 77 : 0);
        Bytes reply = RandomBytes(random, 600);
        // Some replies get a valid CRC over a random block prefix, to reach the deeper checks.
        if (round % 2 && reply.size() >= 16) {
            reply[4] = static_cast<std::uint8_t>(1 + reply.size() / 8 / 2);
            SealFrame(reply.data());
        }
        port.replies.assign(3, reply);
        std::uint8_t buffer[kFrameBufferSize];
        const int code = round % 4 == 0 ? link.ReadAdc(5, round % 4, buffer) : [&] {
            link.Prepare(5, 25, 2, 0, 0);
            return link.Transact(true);
        }();
        ASSERT_LE(code, 0);
        ASSERT_GE(code, -16);
    }
}

TEST(Robustness, RandomComServerBytesAreIgnoredOrParsed) {
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = RandomBytes(random, 300);
        if (round % 2 && bytes.size() >= kComServerHeaderSize) {
            std::memcpy(bytes.data(), kComServerTag, sizeof kComServerTag);
            PutLe32(bytes.data() + 15, static_cast<std::uint32_t>(bytes.size()));
        }
        for (const auto& m : ParseComServerMessages(bytes.data(), static_cast<int>(bytes.size()))) {
            ASSERT_LE(m.data.size(), bytes.size());
        }
    }
}

TEST(Robustness, RandomTelnetStreamsDecode) {
    std::mt19937 random(99);
    CTelnetDecoder decoder;
    for (int round = 0; round < 3000; ++round) {
        const Bytes bytes = RandomBytes(random, 64);
        Bytes data, reply;
        decoder.Feed(bytes.data(), static_cast<int>(bytes.size()), data, reply);
        ASSERT_LE(data.size(), bytes.size());
    }
}

}  // namespace
}  // namespace dravmer
