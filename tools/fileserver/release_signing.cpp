#include "fileserver/release_signing.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

#include "fileserver/release_folder.h"
#include "update/release_signature.h"

namespace dravmer::fileserver {

namespace fs = std::filesystem;

namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates path anew (never over an existing file) with mode, writes text and syncs it.
bool WriteNewFile(const fs::path& path, mode_t mode, const std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = Errno("cannot create " + path.string());
        return false;
    }
    // The process's umask may only have narrowed the mode; make it exactly what was asked.
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    if (!ok) error = Errno("cannot write " + path.string());
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = Errno("cannot write " + path.string());
    }
    if (!ok) ::unlink(path.c_str());
    return ok;
}

std::string ReadSmallFile(const fs::path& path, std::size_t limit, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = Errno("cannot open " + path.string());
        return {};
    }
    std::string text;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = Errno("cannot read " + path.string());
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > limit) {
            error = path.string() + " is not a release key";
            break;
        }
    }
    ::close(fd);
    sodium_memzero(buffer, sizeof buffer);
    return error.empty() ? text : std::string();
}

// An existing folder for the key pair: whoever else may write it could replace release.pub
// before it is handed out to the benches (or the secret key's file before it is used), so it
// must be its owner's alone. The folder is left as it is: its mode may be meant for other files.
bool KeyFolderIsPrivate(const fs::path& dir, std::string& error) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        error = Errno("cannot examine " + dir.string());
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = dir.string() + " is not a folder";
        return false;
    }
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        error = dir.string() + " belongs to another user, who could replace the keys in it; "
                               "name a folder of your own";
        return false;
    }
    if ((st.st_mode & 022) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = dir.string() + " can be written by others than its owner (mode " + mode +
                "), who could replace release.pub before it is handed out; "
                "chmod go-w it, or name a new folder";
        return false;
    }
    return true;
}

}  // namespace

bool GenerateReleaseKey(const fs::path& dir, std::string& publicHex, std::string& error) {
    if (!ReleaseCryptoReady()) {
        error = "the crypto library cannot start (no random source)";
        return false;
    }
    std::error_code ec;
    if (!fs::exists(dir, ec)) {
        fs::create_directories(dir, ec);
        if (ec) {
            error = "cannot create " + dir.string() + ": " + ec.message();
            return false;
        }
        ::chmod(dir.c_str(), 0700);
    } else if (!KeyFolderIsPrivate(dir, error)) {
        return false;
    }
    const fs::path secretPath = dir / kSecretKeyFile;
    const fs::path publicPath = dir / kPublicKeyFile;
    if (fs::exists(secretPath, ec) || fs::exists(publicPath, ec)) {
        error = dir.string() +
                " already holds a release key; a new key would lock out every "
                "bench that trusts the old one (remove it first if that is meant)";
        return false;
    }
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> pk{};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> sk{};
    crypto_sign_keypair(pk.data(), sk.data());
    std::string secretHex = HexText(sk.data(), sk.size()) + "\n";
    sodium_memzero(sk.data(), sk.size());
    publicHex = HexText(pk.data(), pk.size());
    const bool ok = WriteNewFile(secretPath, 0600, secretHex, error) &&
                    WriteNewFile(publicPath, 0644, publicHex + "\n", error);
    sodium_memzero(secretHex.data(), secretHex.size());
    if (!ok) ::unlink(secretPath.c_str());
    return ok;
}

namespace {

// Writes text to path through a temporary file renamed over it: a bench never reads half.
bool WriteBeside(const fs::path& path, const std::string& text, std::string& error) {
    const fs::path part = path.parent_path() / ("." + path.filename().string() + ".part");
    ::unlink(part.c_str());
    if (!WriteNewFile(part, 0644, text, error)) return false;
    if (::rename(part.c_str(), path.c_str()) != 0) {
        error = Errno("cannot write " + path.string());
        ::unlink(part.c_str());
        return false;
    }
    return true;
}

// The version versions.txt beside file gives it, when it has a line for it.
std::optional<SVersion> ManifestVersion(const fs::path& file) {
    std::ifstream in(file.parent_path() / kManifestName);
    if (!in) return std::nullopt;
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const auto versions = ParseManifest(text);
    const auto found = versions.find(file.filename().string());
    if (found == versions.end()) return std::nullopt;
    return found->second;
}

}  // namespace

bool SignRelease(const fs::path& keyFile, const fs::path& file, int major, int minor,
                 std::string& publicHex, std::string& warning, std::string& error) {
    if (!ReleaseCryptoReady()) {
        error = "the crypto library cannot start";
        return false;
    }
    if (major < 0 || major > 255 || minor < 0 || minor > 255) {
        error = "a release version is MM.mm with each part 0..255";
        return false;
    }
    struct stat st {};
    if (::stat(keyFile.c_str(), &st) == 0 && (st.st_mode & 077) != 0) {
        warning = keyFile.string() + " can be read by others than its owner (chmod 600 it)";
    }
    std::string text = ReadSmallFile(keyFile, 4 * crypto_sign_SECRETKEYBYTES, error);
    if (!error.empty()) return false;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> sk{};
    const bool parsed = ParseHex(text, sk.data(), sk.size());
    sodium_memzero(text.data(), text.size());
    if (!parsed) {
        error = keyFile.string() + " is not a release key (128 hex digits)";
        return false;
    }
    SReleaseSignature signature, signature2;
    crypto_sign_ed25519_sk_to_pk(signature.key.data(), sk.data());
    signature2.key = signature.key;
    signature2.major = major;
    signature2.minor = minor;
    publicHex = HexText(signature.key.data(), signature.key.size());

    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        sodium_memzero(sk.data(), sk.size());
        error = Errno("cannot open " + file.string());
        return false;
    }
    // Both signatures in one pass over the file.
    const std::string name = file.filename().string();
    crypto_sign_state state, state2;
    crypto_sign_init(&state);
    crypto_sign_init(&state2);
    const std::string prefix = ReleaseSignedPrefix(name);
    const std::string prefix2 = ReleaseSignedPrefix2(name, major, minor);
    crypto_sign_update(&state, reinterpret_cast<const unsigned char*>(prefix.data()),
                       prefix.size());
    crypto_sign_update(&state2, reinterpret_cast<const unsigned char*>(prefix2.data()),
                       prefix2.size());
    std::vector<unsigned char> block(1 << 16);
    bool readOk = true;
    for (;;) {
        const ssize_t n = ::read(in, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) readOk = false;
        if (n <= 0) break;
        crypto_sign_update(&state, block.data(), static_cast<unsigned long long>(n));
        crypto_sign_update(&state2, block.data(), static_cast<unsigned long long>(n));
    }
    if (!readOk) error = Errno("cannot read " + file.string());
    ::close(in);
    if (readOk) {
        crypto_sign_final_create(&state, signature.signature.data(), nullptr, sk.data());
        crypto_sign_final_create(&state2, signature2.signature.data(), nullptr, sk.data());
    }
    sodium_memzero(sk.data(), sk.size());
    if (!readOk) return false;

    if (const auto listed = ManifestVersion(file);
        listed && (listed->major != major || listed->minor != minor)) {
        if (!warning.empty()) warning += "; ";
        warning += kManifestName + std::string(" gives ") + name + " version " +
                   ReleaseVersionText(listed->major, listed->minor) +
                   ": benches refuse it unless the signed version " +
                   ReleaseVersionText(major, minor) + " is the one published";
    }
    // The new signature first: a folder never offers an old FILE.sig2 beside a new FILE.sig.
    return WriteBeside(file.string() + kReleaseSignature2Suffix,
                       FormatReleaseSignature2(signature2), error) &&
           WriteBeside(file.string() + kReleaseSignatureSuffix, FormatReleaseSignature(signature),
                       error);
}

int RunSigningCommand(int argc, char** argv, std::ostream& out, std::ostream& err) {
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--gen-key", 0) == 0 || arg.rfind("--sign", 0) == 0 ||
            arg.rfind("--release-version", 0) == 0) {
            asked = true;
        }
    }
    if (!asked) return -1;

    std::string keyDir;
    std::vector<std::string> sign;
    std::string version;
    CLI::App app{"Makes the lab's release key or signs a release."};
    auto* gen = app.add_option("--gen-key", keyDir, "folder for release.key and release.pub");
    auto* signOption =
        app.add_option("--sign", sign, "secret key file and release file")->expected(2);
    auto* versionOption = app.add_option("--release-version", version,
                                         "the version FILE is published as (MM.mm, as in "
                                         "versions.txt); the signature holds for it only");
    gen->excludes(signOption);
    gen->excludes(versionOption);
    signOption->needs(versionOption);
    versionOption->needs(signOption);
    app.require_option(1, 2);
    int major = 0, minor = 0;
    try {
        app.parse(argc, argv);
        if (!version.empty() && !ParseReleaseVersion(version, major, minor)) {
            throw CLI::ValidationError("--release-version",
                                       "'" + version + "' is not MM.mm (each part 0..255)");
        }
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? 0 : 2;
    }
    std::string publicHex, warning, error;
    if (!keyDir.empty()) {
        if (!GenerateReleaseKey(keyDir, publicHex, error)) {
            err << "dravmer-fileserver: " << error << "\n";
            return 1;
        }
        const fs::path dir = keyDir;
        out << "secret key: " << (dir / kSecretKeyFile).string()
            << " (keep it off the file server, readable by its owner only)\n"
            << "public key: " << (dir / kPublicKeyFile).string() << "\n"
            << publicHex << "\n"
            << "on each bench: dravmer-cli settings set UpdateVersionSettings/PublicKey "
            << publicHex << "\n";
        return 0;
    }
    if (!SignRelease(sign[0], sign[1], major, minor, publicHex, warning, error)) {
        err << "dravmer-fileserver: " << error << "\n";
        return 1;
    }
    if (!warning.empty()) err << "dravmer-fileserver: warning: " << warning << "\n";
    out << "signed " << sign[1] << " " << ReleaseVersionText(major, minor) << " -> " << sign[1]
        << kReleaseSignature2Suffix << " and " << sign[1] << kReleaseSignatureSuffix << " (key "
        << publicHex << ")\n";
    return 0;
}

}  // namespace dravmer::fileserver
