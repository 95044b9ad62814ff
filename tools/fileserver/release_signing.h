#pragma once
// The lab's side of signed releases: making the key pair once, and signing each release file
// before it goes into the release folder. The benches verify with src/update/release_signature.
//
//   dravmer-fileserver --gen-key DIR     writes DIR/release.key (secret, mode 0600) and
//                                        DIR/release.pub (the public key as 64 hex digits)
//   dravmer-fileserver --sign KEY FILE   writes FILE.sig beside FILE
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
    "  --sign KEY FILE   sign a release with the secret key KEY: writes FILE.sig beside FILE";

// Makes a key pair in dir (created, owner only, when missing). Never overwrites a key: false
// with a message when dir already holds one. publicHex gets the public key.
bool GenerateReleaseKey(const std::filesystem::path& dir, std::string& publicHex,
                        std::string& error);

// Signs file with the secret key in keyFile, for the name the file has; writes file + ".sig"
// (replacing an older one). publicHex gets the signer's public key. warning is set when the
// key file can be read by others than its owner.
bool SignRelease(const std::filesystem::path& keyFile, const std::filesystem::path& file,
                 std::string& publicHex, std::string& warning, std::string& error);

// The signing commands of the server program: -1 when argv asks for none of them (the server
// then starts as usual), else the exit code (0 done, 1 failed, 2 a command line it cannot
// take), with messages on out and err.
int RunSigningCommand(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace dravmer::fileserver
