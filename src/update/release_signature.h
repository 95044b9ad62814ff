#pragma once
// Signed releases: a lab signs each release file with its Ed25519 key, the signature lies beside
// the file on the file server as NAME.sig, and a bench that knows the lab's public key installs
// only a release whose signature verifies. One format for the signing tool and the benches:
//
//   NAME.sig = "dravmer-release-signature ed25519ph " KEY " " SIGNATURE "\n"
//
// KEY is the 32-byte public key of the signer and SIGNATURE the 64-byte signature, both as
// lower-case hex. The signature is Ed25519ph (the file is hashed with SHA-512 as it streams, so
// neither side holds it in memory) over "dravmer-release\n" NAME "\n" and the file's bytes: a
// signature made for one program file does not pass for another one of the lab's programs.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace dravmer {

inline constexpr std::size_t kReleaseKeyBytes = 32;
inline constexpr std::size_t kReleaseSecretKeyBytes = 64;
inline constexpr std::size_t kReleaseSignatureBytes = 64;
inline constexpr char kReleaseSignatureSuffix[] = ".sig";
inline constexpr char kReleaseSignatureTag[] = "dravmer-release-signature";
inline constexpr char kReleaseSignatureScheme[] = "ed25519ph";
// A signature file is one short line; anything longer is not one.
inline constexpr int kReleaseSignatureMaxBytes = 1024;

using ReleaseKey = std::array<std::uint8_t, kReleaseKeyBytes>;

struct SReleaseSignature {
    ReleaseKey key{};  // the signer's public key, as the signer wrote it
    std::array<std::uint8_t, kReleaseSignatureBytes> signature{};
};

// False when the crypto library cannot be started (no usable random source).
bool ReleaseCryptoReady();

std::string HexText(const std::uint8_t* data, std::size_t size);
// Exactly 2 x size hex digits (either case) into out; false otherwise.
bool ParseHex(const std::string& text, std::uint8_t* out, std::size_t size);
// A public key as 64 hex digits; blanks and a line end around it are ignored.
std::optional<ReleaseKey> ParseReleaseKey(const std::string& text);

std::string FormatReleaseSignature(const SReleaseSignature& s);
// Nothing when text is not one signature line of the format above.
std::optional<SReleaseSignature> ParseReleaseSignature(const std::string& text);

// What the signature covers before the file's bytes.
std::string ReleaseSignedPrefix(const std::string& name);

// The verifying side, fed the file's bytes as they arrive.
class CReleaseVerifier {
public:
    explicit CReleaseVerifier(const std::string& name);
    ~CReleaseVerifier();
    CReleaseVerifier(const CReleaseVerifier&) = delete;
    CReleaseVerifier& operator=(const CReleaseVerifier&) = delete;

    void Add(const std::uint8_t* data, std::size_t size);
    // Whether the bytes added were signed by key; the signature's own key field must be key too.
    // Ends the verifier: call once.
    bool Verify(const SReleaseSignature& signature, const ReleaseKey& key);

private:
    struct SState;
    std::unique_ptr<SState> m_state;
};

}  // namespace dravmer
