#include "update/release_signature.h"

#include <sodium.h>

#include <cstdio>
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

bool ParseReleaseVersion(const std::string& text, int& major, int& minor) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos) return false;
    const std::string parts[2] = {text.substr(0, dot), text.substr(dot + 1)};
    int values[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const std::string& p = parts[i];
        if (p.empty() || p.size() > 3 || p.find_first_not_of("0123456789") != std::string::npos)
            return false;
        values[i] = std::stoi(p);
        if (values[i] > 255) return false;
    }
    major = values[0];
    minor = values[1];
    return true;
}

std::string ReleaseVersionText(int major, int minor) {
    char text[16];
    std::snprintf(text, sizeof text, "%2.2d.%2.2d", major, minor);
    return text;
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

std::string FormatReleaseSignature2(const SReleaseSignature& s) {
    return std::string(kReleaseSignature2Tag) + " " + kReleaseSignatureScheme + " " +
           ReleaseVersionText(s.major, s.minor) + " " + HexText(s.key.data(), s.key.size()) + " " +
           HexText(s.signature.data(), s.signature.size()) + "\n";
}

std::optional<SReleaseSignature> ParseReleaseSignature2(const std::string& text) {
    if (text.size() > static_cast<std::size_t>(kReleaseSignatureMaxBytes)) return std::nullopt;
    const std::string line = Trimmed(text);
    if (line.find_first_of("\r\n") != std::string::npos) return std::nullopt;
    std::istringstream fields(line);
    std::string tag, scheme, version, key, signature, extra;
    if (!(fields >> tag >> scheme >> version >> key >> signature) || (fields >> extra))
        return std::nullopt;
    if (tag != kReleaseSignature2Tag || scheme != kReleaseSignatureScheme) return std::nullopt;
    SReleaseSignature s;
    if (!ParseReleaseVersion(version, s.major, s.minor) ||
        !ParseHex(key, s.key.data(), s.key.size()) ||
        !ParseHex(signature, s.signature.data(), s.signature.size())) {
        return std::nullopt;
    }
    return s;
}

std::string ReleaseSignedPrefix(const std::string& name) {
    return "dravmer-release\n" + name + "\n";
}

std::string ReleaseSignedPrefix2(const std::string& name, int major, int minor) {
    return "dravmer-release-2\n" + name + "\n" + ReleaseVersionText(major, minor) + "\n";
}

struct CReleaseVerifier::SState {
    crypto_sign_state sign{};
    bool used = false;
};

namespace {

void StartWith(crypto_sign_state& state, const std::string& prefix) {
    ReleaseCryptoReady();
    crypto_sign_init(&state);
    crypto_sign_update(&state, reinterpret_cast<const unsigned char*>(prefix.data()),
                       prefix.size());
}

}  // namespace

CReleaseVerifier::CReleaseVerifier(const std::string& name) : m_state(std::make_unique<SState>()) {
    StartWith(m_state->sign, ReleaseSignedPrefix(name));
}

CReleaseVerifier::CReleaseVerifier(const std::string& name, int major, int minor)
    : m_state(std::make_unique<SState>()) {
    StartWith(m_state->sign, ReleaseSignedPrefix2(name, major, minor));
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
