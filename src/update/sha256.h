#pragma once
// SHA-256 of a byte string, for checking a downloaded release against its catalog entry.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace dravmer {

class CSha256 {
public:
    CSha256();
    void Add(const void* data, std::size_t size);
    std::array<std::uint8_t, 32> Finish();
    // 64 lower-case hex digits of the digest.
    std::string FinishHex();

private:
    void Block(const std::uint8_t* p);
    std::uint32_t m_h[8];
    std::uint8_t m_buffer[64];
    std::size_t m_used = 0;
    std::uint64_t m_bits = 0;
};

std::string Sha256Hex(const void* data, std::size_t size);

}  // namespace dravmer
