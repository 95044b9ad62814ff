#include "update/release_signature.h"

#include <sodium.h>

#include <cstring>
#include <sstream>

namespace dravmer {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

bool ReleaseCryptoReady() {
    static const bool ready = ::sodium_init() >= 0;
    return ready;
}

std::string HexText(const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

bool ParseHex(const std::string& text, std::uint8_t* out, std::size_t size) {
    if (text.size() != size * 2) return false;
    for (std::size_t i = 0; i < size; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

std::optional<ReleaseKey> ParseReleaseKey(const std::string& text) {
    ReleaseKey key{};
    if (!ParseHex(Trimmed(text), key.data(), key.size())) return std::nullopt;
    return key;
}

std::string FormatReleaseSignature(const SReleaseSignature& s) {
    return std::string(kReleaseSignatureTag) + " " + kReleaseSignatureScheme + " " +
           HexText(s.key.data(), s.key.size()) + " " +
           HexText(s.signature.data(), s.signature.size()) + "\n";
}

std::optional<SReleaseSignature> ParseReleaseSignature(const std::string& text) {
    if (text.size() > static_cast<std::size_t>(kReleaseSignatureMaxBytes)) return std::nullopt;
    const std::string line = Trimmed(text);
    if (line.find_first_of("\r\n") != std::string::npos) return std::nullopt;
    std::istringstream fields(line);
    std::string tag, scheme, key, signature, extra;
    if (!(fields >> tag >> scheme >> key >> signature) || (fields >> extra)) return std::nullopt;
    if (tag != kReleaseSignatureTag || scheme != kReleaseSignatureScheme) return std::nullopt;
    SReleaseSignature s;
    if (!ParseHex(key, s.key.data(), s.key.size()) ||
        !ParseHex(signature, s.signature.data(), s.signature.size())) {
        return std::nullopt;
    }
    return s;
}

std::string ReleaseSignedPrefix(const std::string& name) {
    return "dravmer-release\n" + name + "\n";
}

struct CReleaseVerifier::SState {
    crypto_sign_state sign{};
    bool used = false;
};

CReleaseVerifier::CReleaseVerifier(const std::string& name) : m_state(std::make_unique<SState>()) {
    ReleaseCryptoReady();
    crypto_sign_init(&m_state->sign);
    const std::string prefix = ReleaseSignedPrefix(name);
    crypto_sign_update(&m_state->sign, reinterpret_cast<const unsigned char*>(prefix.data()),
                       prefix.size());
}

CReleaseVerifier::~CReleaseVerifier() = default;

void CReleaseVerifier::Add(const std::uint8_t* data, std::size_t size) {
    if (size > 0) crypto_sign_update(&m_state->sign, data, size);
}

bool CReleaseVerifier::Verify(const SReleaseSignature& signature, const ReleaseKey& key) {
    if (m_state->used || !ReleaseCryptoReady()) return false;
    m_state->used = true;
    if (std::memcmp(signature.key.data(), key.data(), key.size()) != 0) return false;
    // crypto_sign_final_verify takes the signature as non-const.
    auto sig = signature.signature;
    return crypto_sign_final_verify(&m_state->sign, sig.data(), key.data()) == 0;
}

}  // namespace dravmer
