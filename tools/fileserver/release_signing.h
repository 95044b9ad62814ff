#pragma once
// The lab's side of signed releases: making the key pair once, and signing each release file
// before it goes into the release folder. The benches verify with src/update/release_signature.
//
//   dravmer-fileserver --gen-key DIR     writes DIR/release.key (secret, mode 0600) and
//                                        DIR/release.pub (the public key as 64 hex digits)
//   dravmer-fileserver --sign KEY FILE --release-version MM.mm
//                                        writes FILE.sig2 (for this version of FILE, what
//                                        benches take) and FILE.sig (for earlier benches)
#include <filesystem>
#include <ostream>
#include <string>

namespace dravmer::fileserver {

inline constexpr char kSecretKeyFile[] = "release.key";
inline constexpr char kPublicKeyFile[] = "release.pub";

// A line for --help.
inline constexpr char kSigningUsage[] =
    "Release signing (no server is started):\n"
    "  --gen-key DIR     make the lab's key pair: DIR/release.key (secret, owner only) and\n"
    "                    DIR/release.pub (public key, 64 hex digits, for the benches'\n"
    "                    UpdateVersionSettings/PublicKey)\n"
    "  --sign KEY FILE --release-version MM.mm\n"
    "                    sign release MM.mm (as in versions.txt) with the secret key KEY:\n"
    "                    writes FILE.sig2 (for that version only; what benches check) and\n"
    "                    FILE.sig (for benches that know only it) beside FILE";

// Makes a key pair in dir (created, owner only, when missing). Never overwrites a key: false
// with a message when dir already holds one. publicHex gets the public key.
bool GenerateReleaseKey(const std::filesystem::path& dir, std::string& publicHex,
                        std::string& error);

// Signs file, as release major.minor, with the secret key in keyFile, for the name the file
// has; writes file + ".sig2" and file + ".sig" (replacing older ones). publicHex gets the
// signer's public key. warning is set when the key file can be read by others than its owner,
// or when versions.txt beside the file gives it another version.
bool SignRelease(const std::filesystem::path& keyFile, const std::filesystem::path& file, int major,
                 int minor, std::string& publicHex, std::string& warning, std::string& error);

// The signing commands of the server program: -1 when argv asks for none of them (the server
// then starts as usual), else the exit code (0 done, 1 failed, 2 a command line it cannot
// take), with messages on out and err.
int RunSigningCommand(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace dravmer::fileserver
