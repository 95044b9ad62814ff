#include "link/frame.h"

#include <array>
#include <cstring>

#include "link/link_result.h"

namespace dravmer {
namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr auto kCrcTable = MakeCrcTable();

}  // namespace

std::uint16_t Crc16Kermit(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
    }
    return crc;
}

std::uint32_t GetLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t GetLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutLe16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

int SealFrame(std::uint8_t* frame) {
    const int blocks = frame[4];
    if (blocks < 1 || blocks > kMaxBlocks) return 0;
    const int length = blocks * kBlockSize;
    PutLe16(frame + length - 2, Crc16Kermit(frame, static_cast<std::size_t>(length - 2)));
    return length;
}

int FrameLengthFromCrcSearch(const std::uint8_t* data, int length) {
    if (length < kBlockSize) return 0;
    for (int k = length / kBlockSize; k >= 1; --k) {
        const int end = k * kBlockSize;
        if (Crc16Kermit(data, static_cast<std::size_t>(end - 2)) == GetLe16(data + end - 2)) {
            return end;
        }
    }
    return 0;
}

void WrapTransit(std::uint8_t* frame, int innerBlocks, std::uint32_t transitAddress,
                 std::uint8_t transitCommand) {
    std::memmove(frame + kBlockSize, frame, static_cast<std::size_t>(innerBlocks * kBlockSize));
    std::memset(frame, 0, kBlockSize);
    PutLe32(frame, transitAddress);
    frame[4] = static_cast<std::uint8_t>(innerBlocks + 1);
    frame[5] = transitCommand;
}

int TransitStatusToResult(std::uint8_t status) {
    switch (status) {
        case 8:
            return kLinkTrRes08;
        case 9:
            return kLinkTrRes09;
        case 10:
            return kLinkTrRes0A;
        case 11:
            return kLinkTrRes0B;
        case 12:
        case 17:
            return kLinkTrRes0C;
        default:
            return kLinkOk;
    }
}

}  // namespace dravmer
