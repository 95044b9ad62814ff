#include "update/sha256.h"

#include <openssl/evp.h>

namespace dravmer {

CSha256::CSha256() : m_ctx(EVP_MD_CTX_new()) {
    m_ok = m_ctx != nullptr && EVP_DigestInit_ex(m_ctx, EVP_sha256(), nullptr) == 1;
}

CSha256::~CSha256() { EVP_MD_CTX_free(m_ctx); }

void CSha256::Add(const void* data, std::size_t size) {
    if (m_ok && size > 0) m_ok = EVP_DigestUpdate(m_ctx, data, size) == 1;
}

bool CSha256::Done(std::array<std::uint8_t, 32>& digest) {
    digest.fill(0);
    unsigned int length = 0;
    m_ok =
        m_ok && EVP_DigestFinal_ex(m_ctx, digest.data(), &length) == 1 && length == digest.size();
    const bool ok = m_ok;
    m_ok = false;  // finished: nothing more is added
    if (!ok) digest.fill(0);
    return ok;
}

std::array<std::uint8_t, 32> CSha256::Finish() {
    std::array<std::uint8_t, 32> digest{};
    Done(digest);
    return digest;
}

std::string CSha256::FinishHex() {
    std::array<std::uint8_t, 32> digest{};
    if (!Done(digest)) return {};
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (const std::uint8_t b : digest) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string Sha256Hex(const void* data, std::size_t size) {
    CSha256 sha;
    sha.Add(data, size);
    return sha.FinishHex();
}

}  // namespace dravmer
