#include "link/frame.h"

#include <gtest/gtest.h>

#include <cstring>

#include "link/scripted_port.h"

namespace dravmer {
namespace {

TEST(Crc16Kermit, MatchesPublishedCheckValue) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc16Kermit(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x2189);
}

TEST(Frame, OneBlockFrameCarriesCrcInBytesSixAndSeven) {
    std::uint8_t frame[8] = {0x10, 0x20, 0x30, 0x40, 1, 5, 0xAA, 0xBB};
    EXPECT_EQ(SealFrame(frame), 8);
    EXPECT_EQ(GetLe16(frame + 6), Crc16Kermit(frame, 6));
}

TEST(Frame, SealRefusesBlockCountsOutsideTheBuffer) {
    std::uint8_t frame[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(SealFrame(frame), 0);
    frame[4] = 65;
    EXPECT_EQ(SealFrame(frame), 0);
}

TEST(FrameReply, AcceptsLongestPrefixWithValidCrc) {
    test::Bytes reply = test::MakeFrame(7, 1, 2);
    reply.resize(24, 0x33);  // a trailing block of noise
    EXPECT_EQ(FrameLengthFromCrcSearch(reply.data(), 24), 16);

    test::Bytes three = test::MakeFrame(7, 1, 3);
    // A prefix that happens to be valid does not shorten a longer valid frame.
    EXPECT_EQ(FrameLengthFromCrcSearch(three.data(), 24), 24);
    three[20] ^= 1;
    EXPECT_EQ(FrameLengthFromCrcSearch(three.data(), 24), 0);
    EXPECT_EQ(FrameLengthFromCrcSearch(three.data(), 5), 0);
}

TEST(Frame, TransitWrapMovesInnerFrameUnderOuterHeader) {
    std::uint8_t frame[kFrameBufferSize] = {};
    PutLe32(frame, 1234);
    frame[4] = 2;
    frame[5] = 25;
    frame[6] = 0x40;
    frame[7] = 2;
    WrapTransit(frame, 2, 777, 63);
    EXPECT_EQ(GetLe32(frame), 777u);
    EXPECT_EQ(frame[4], 3);
    EXPECT_EQ(frame[5], 63);
    EXPECT_EQ(frame[6], 0);
    EXPECT_EQ(frame[7], 0);
    EXPECT_EQ(GetLe32(frame + 8), 1234u);
    EXPECT_EQ(frame[12], 2);
    EXPECT_EQ(frame[13], 25);
    EXPECT_EQ(frame[15], 2);
    EXPECT_EQ(SealFrame(frame), 24);
}

TEST(Frame, TransitStatusesMapToLinkResults) {
    EXPECT_EQ(TransitStatusToResult(8), -4);
    EXPECT_EQ(TransitStatusToResult(11), -7);
    EXPECT_EQ(TransitStatusToResult(12), -8);
    EXPECT_EQ(TransitStatusToResult(17), -8);
    for (int ok : {0, 1, 7, 13, 14, 15, 16, 18, 31}) {
        EXPECT_EQ(TransitStatusToResult(static_cast<std::uint8_t>(ok)), 0) << ok;
    }
}

}  // namespace
}  // namespace dravmer
