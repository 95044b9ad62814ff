#include "link/adc_reply.h"

namespace dravmer {

bool DecodeAdcReply(const std::uint8_t* reply, int length, SAdcReply& out) {
    if (length < kAdcReplyHeaderBytes) return false;
    const int mode = reply[0];
    const int count = AdcReplyCount(reply);
    if (count == 0 || length < AdcReplyBytes(mode, count)) return false;
    out.mode = reply[0];
    out.cycle = reply[1];
    out.kg = reply[2];
    out.kr = reply[3];
    out.state = static_cast<std::uint16_t>(reply[4] | (reply[5] << 8));
    const int width = AdcCodeWidth(mode);
    out.codes.resize(static_cast<std::size_t>(count));
    for (int c = 0; c < count; ++c) {
        const std::uint8_t* p = reply + kAdcReplyHeaderBytes + width * c;
        const std::uint32_t low = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
        out.codes[static_cast<std::size_t>(c)] =
            width == 4 ? static_cast<std::int32_t>(low | (static_cast<std::uint32_t>(p[2]) << 16) |
                                                   (static_cast<std::uint32_t>(p[3]) << 24))
                       : static_cast<std::int16_t>(low);
    }
    return true;
}

}  // namespace dravmer
