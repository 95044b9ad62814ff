#pragma once
// The reply of command 25 (ReadAdc), the one place that knows its layout: the mode echo, the
// cycle counter byte, KG, KR, a 16-bit state word, the code count n, then n codes, signed 32-bit
// for modes 0 and 1 and signed 16-bit for the others, all little-endian.
#include <cstdint>
#include <vector>

namespace dravmer {

struct SAdcReply {
    std::uint8_t mode = 0;
    std::uint8_t cycle = 0;
    std::uint8_t kg = 0;
    std::uint8_t kr = 0;
    std::uint16_t state = 0;
    std::vector<std::int32_t> codes;  // one per channel
};

inline constexpr int kAdcReplyHeaderBytes = 7;

constexpr int AdcCodeWidth(int mode) { return mode == 0 || mode == 1 ? 4 : 2; }
// The code count a reply gives in its header.
inline int AdcReplyCount(const std::uint8_t* reply) { return reply[6]; }
// The bytes a reply of `mode` with `count` codes takes.
constexpr int AdcReplyBytes(int mode, int count) {
    return kAdcReplyHeaderBytes + count * AdcCodeWidth(mode);
}

// Decodes the `length` bytes of a reply whose mode echo is `reply[0]`. False, with `out` left
// as it was, when the bytes hold fewer codes than the header counts or no code at all.
bool DecodeAdcReply(const std::uint8_t* reply, int length, SAdcReply& out);

}  // namespace dravmer
