#pragma once
// Frames of the device protocol: N blocks of 8 bytes (1 <= N <= 64), 32-bit little-endian device
// address, block count, command, an attribute/result byte when N >= 2, payload, and a
// CRC-16/KERMIT in the last two bytes. Pure functions over bytes, usable without a port.
#include <cstddef>
#include <cstdint>

namespace dravmer {

// Reserved search addresses: never repeated, never counted in the link statistics.
inline constexpr std::uint32_t ADDR_ANY_DEVICE = 54535251;   // any directly attached device
inline constexpr std::uint32_t ADDR_ANY_TRANSIT = 64636261;  // any transit device on the line

inline constexpr int kBlockSize = 8;
inline constexpr int kMaxBlocks = 64;
inline constexpr int kFrameBufferSize = kBlockSize * kMaxBlocks;  // 512
inline constexpr std::uint8_t kDefaultTransitCommand = 63;
// Payload byte k of a frame is byte kPayloadOffset + k.
inline constexpr int kPayloadOffset = 7;

inline bool IsReservedAddress(std::uint32_t address) {
    return address == ADDR_ANY_DEVICE || address == ADDR_ANY_TRANSIT;
}

std::uint16_t Crc16Kermit(const std::uint8_t* data, std::size_t length);

std::uint32_t GetLe32(const std::uint8_t* p);
std::uint16_t GetLe16(const std::uint8_t* p);
void PutLe32(std::uint8_t* p, std::uint32_t value);
void PutLe16(std::uint8_t* p, std::uint16_t value);

// Writes the CRC of a frame into its last two bytes; the length is 8 x byte 4. Returns the frame
// length, or 0 when byte 4 is outside 1..64.
int SealFrame(std::uint8_t* frame);

// The longest prefix of whole blocks whose last two bytes are the CRC of the bytes before them;
// bytes after it are ignored. 0 when no prefix matches.
int FrameLengthFromCrcSearch(const std::uint8_t* data, int length);

// Carries the inner frame of innerBlocks blocks inside an outer frame addressed to a transit
// device: the inner blocks move 8 bytes up and an 8-byte outer header takes their place. The
// buffer must hold 8 x (innerBlocks + 1) bytes. The CRC is not written (SealFrame does it).
void WrapTransit(std::uint8_t* frame, int innerBlocks, std::uint32_t transitAddress,
                 std::uint8_t transitCommand);

// Link result of a transit status (bits 0..4 of byte 6 of a transit reply). Statuses other than
// 8..12 and 17 mean the inner reply is usable.
int TransitStatusToResult(std::uint8_t status);

}  // namespace dravmer
