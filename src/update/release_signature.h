#pragma once
// Signed releases: a lab signs each release file with its Ed25519 key, the signature lies beside
// the file on the file server, and a bench that knows the lab's public key installs only a
// release whose signature verifies. One format for the signing tool and the benches:
//
//   NAME.sig2 = "dravmer-release-signature-2 ed25519ph " MM.mm " " KEY " " SIGNATURE "\n"
//   NAME.sig  = "dravmer-release-signature ed25519ph " KEY " " SIGNATURE "\n"
//
// KEY is the 32-byte public key of the signer and SIGNATURE the 64-byte signature, both as
// lower-case hex. The signature is Ed25519ph (the file is hashed with SHA-512 as it streams, so
// neither side holds it in memory). NAME.sig2 signs "dravmer-release-2\n" NAME "\n" MM.mm "\n"
// and the file's bytes: it holds for one program file in one version only, so an older signed
// release cannot be published again as a newer one. Benches take only NAME.sig2; NAME.sig
// (the same without the version, over "dravmer-release\n" NAME "\n" and the bytes) is still
// written for benches of earlier versions, which know only it.
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
inline constexpr char kReleaseSignature2Suffix[] = ".sig2";
inline constexpr char kReleaseSignature2Tag[] = "dravmer-release-signature-2";
inline constexpr char kReleaseSignatureScheme[] = "ed25519ph";
// A signature file is one short line; anything longer is not one.
inline constexpr int kReleaseSignatureMaxBytes = 1024;

using ReleaseKey = std::array<std::uint8_t, kReleaseKeyBytes>;

struct SReleaseSignature {
    ReleaseKey key{};  // the signer's public key, as the signer wrote it
    std::array<std::uint8_t, kReleaseSignatureBytes> signature{};
    // The release's version as the signer named it (NAME.sig2 only; 0.0 in NAME.sig).
    int major = 0, minor = 0;
};

// "MM.mm" (each part a number 0..255 of at most three digits) into major and minor; false
// otherwise.
bool ParseReleaseVersion(const std::string& text, int& major, int& minor);
// "05.44".
std::string ReleaseVersionText(int major, int minor);

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
// The same for NAME.sig2, with the version.
std::string FormatReleaseSignature2(const SReleaseSignature& s);
std::optional<SReleaseSignature> ParseReleaseSignature2(const std::string& text);

// What the signature covers before the file's bytes: NAME.sig's, and NAME.sig2's.
std::string ReleaseSignedPrefix(const std::string& name);
std::string ReleaseSignedPrefix2(const std::string& name, int major, int minor);

// The verifying side, fed the file's bytes as they arrive.
class CReleaseVerifier {
public:
    // For NAME.sig.
    explicit CReleaseVerifier(const std::string& name);
    // For NAME.sig2 of the given version: a signature made for another version does not verify.
    CReleaseVerifier(const std::string& name, int major, int minor);
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
