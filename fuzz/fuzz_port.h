#pragma once
// A port whose replies come from a fuzzer's input. The input is a run of records, one per
// request written: a 16-bit little-endian word and then the reply bytes. The low 14 bits of the
// word are the reply length (more than the rest of the input takes what is left; more than 512
// exercises the oversize path); bit 15 makes the record a COM-server overload, bit 14 a silent
// line, bit 13 seals the reply (and a frame carried at byte 8) with a good CRC, so that the fuzzer
// reaches the commands' checks of the reply content. An exhausted input answers nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/frame.h"
#include "link/link_port.h"

namespace dravmer::fuzz {

class CFuzzReplyPort : public ILinkPort {
public:
    static constexpr std::uint16_t kOverload = 0x8000;
    static constexpr std::uint16_t kSilent = 0x4000;
    static constexpr std::uint16_t kSeal = 0x2000;
    static constexpr std::uint16_t kLengthMask = 0x1FFF;

    CFuzzReplyPort(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool IsOpen() const override { return true; }
    void Purge() override { m_pending.clear(); }
    bool Write(const std::uint8_t* data, int length) override {
        // Every request the link builds must be a whole, sealed frame of at most 64 blocks.
        if (length <= 0 || length > 512 || length % 8 != 0) __builtin_trap();
        if (data[4] * 8 != length) __builtin_trap();
        ++m_writes;
        m_pending.clear();
        m_result = -1;
        if (m_size - m_at < 2) return true;
        const std::uint16_t word = static_cast<std::uint16_t>(m_data[m_at] | m_data[m_at + 1] << 8);
        m_at += 2;
        std::size_t take = word & kLengthMask;
        if (take > m_size - m_at) take = m_size - m_at;
        m_pending.assign(m_data + m_at, m_data + m_at + take);
        m_at += take;
        if (word & kSeal) Seal();
        if (word & kSilent) {
            m_pending.clear();
        } else {
            m_result = (word & kOverload) ? -2 : 0;
        }
        return true;
    }
    int ReadReply(std::uint8_t* buffer, int& length) override {
        if (m_result == -2) {
            length = 0;
            m_pending.clear();
            return -2;
        }
        return HandOverReply(m_pending, buffer, length);
    }

    int Writes() const { return m_writes; }
    bool Exhausted() const { return m_size - m_at < 2; }

private:
    // Seals the inner frame of a transit reply, then the reply itself, where the block counts fit.
    void Seal() {
        const std::size_t n = m_pending.size();
        if (n >= 16 && m_pending[12] >= 1 && 8 + m_pending[12] * std::size_t{8} <= n) {
            SealFrame(m_pending.data() + 8);
        }
        if (n >= 8 && m_pending[4] >= 1 && m_pending[4] * std::size_t{8} <= n) {
            SealFrame(m_pending.data());
        }
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    std::vector<std::uint8_t> m_pending;
    int m_result = -1;
    int m_writes = 0;
};

}  // namespace dravmer::fuzz
