#pragma once
// SHA-256 of a byte string, for checking a downloaded release against its catalog entry. The
// crypto library's digest, which uses the processor's SHA instructions where it has them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct evp_md_ctx_st;

namespace dravmer {

class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest; all zero when the library failed (then FinishHex is empty). Call once.
    std::array<std::uint8_t, 32> Finish();
    // 64 lower-case hex digits of the digest; empty when the library failed, so that it never
    // matches a published one.
    std::string FinishHex();

private:
    bool Done(std::array<std::uint8_t, 32>& digest);
    evp_md_ctx_st* m_ctx = nullptr;
    bool m_ok = false;
};

std::string Sha256Hex(const void* data, std::size_t size);

}  // namespace dravmer
