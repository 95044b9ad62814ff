#include "link/adc_reply.h"

#include <gtest/gtest.h>

#include <vector>

namespace dravmer {
namespace {

std::vector<std::uint8_t> Reply(std::uint8_t mode, std::initializer_list<std::uint8_t> codes,
                                std::uint8_t count) {
    std::vector<std::uint8_t> r = {mode, 0x2A, 16, 3, 0x34, 0x12, count};
    for (std::uint8_t b : codes) r.push_back(b);
    return r;
}

TEST(AdcReply, ThirtyTwoBitCodesOfModesZeroAndOneAndSixteenBitCodesOfTheOthers) {
    // Mode 0: -8388608 and 8388607, the ADC's two ends.
    auto r = Reply(0, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}, 2);
    SAdcReply out;
    ASSERT_TRUE(DecodeAdcReply(r.data(), static_cast<int>(r.size()), out));
    EXPECT_EQ(out.mode, 0);
    EXPECT_EQ(out.cycle, 0x2A);
    EXPECT_EQ(out.kg, 16);
    EXPECT_EQ(out.kr, 3);
    EXPECT_EQ(out.state, 0x1234);
    EXPECT_EQ(out.codes, (std::vector<std::int32_t>{-8388608, 8388607}));
    // Mode 2: two bytes a code, signed.
    r = Reply(2, {0xFE, 0xFF, 0x10, 0x00, 0x00, 0x80}, 3);
    ASSERT_TRUE(DecodeAdcReply(r.data(), static_cast<int>(r.size()), out));
    EXPECT_EQ(out.codes, (std::vector<std::int32_t>{-2, 16, -32768}));
    EXPECT_EQ(AdcReplyBytes(2, 30), 67);
    EXPECT_EQ(AdcReplyBytes(1, 10), 47);
}

TEST(AdcReply, AReplyShorterThanItsCountOrWithoutCodesIsRefusedAndChangesNothing) {
    SAdcReply out;
    out.cycle = 9;
    auto r = Reply(1, {0x01, 0x00, 0x00}, 1);  // one byte short of its code
    EXPECT_FALSE(DecodeAdcReply(r.data(), static_cast<int>(r.size()), out));
    r = Reply(0, {}, 0);
    EXPECT_FALSE(DecodeAdcReply(r.data(), static_cast<int>(r.size()), out));
    EXPECT_FALSE(DecodeAdcReply(r.data(), 3, out));
    EXPECT_EQ(out.cycle, 9);
    EXPECT_TRUE(out.codes.empty());
}

}  // namespace
}  // namespace dravmer
