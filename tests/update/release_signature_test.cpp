// Release keys and signatures: the lab's tool that makes and uses them, and the format the
// benches read.
#include "update/release_signature.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "fileserver/file_server.h"
#include "fileserver/release_signing.h"
#include "update/query_client.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ReleaseSigning : public ::testing::Test {
protected:
    void SetUp() override {
        m_top = fs::temp_directory_path() /
                ("signing-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_top);
        fs::create_directories(m_top / "releases");
    }
    void TearDown() override { fs::remove_all(m_top); }

    // A key pair in DIR, its public key.
    ReleaseKey MakeKey(const std::string& dir) {
        std::string publicHex, error;
        EXPECT_TRUE(fileserver::GenerateReleaseKey(m_top / dir, publicHex, error)) << error;
        const auto key = ParseReleaseKey(publicHex);
        EXPECT_TRUE(key.has_value());
        return key.value_or(ReleaseKey{});
    }
    fs::path Release(const std::string& name, const std::string& content) {
        const fs::path p = m_top / "releases" / name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    bool Sign(const std::string& keyDir, const fs::path& file, int major = 5, int minor = 44) {
        std::string publicHex, warning, error;
        const bool ok = fileserver::SignRelease(m_top / keyDir / fileserver::kSecretKeyFile, file,
                                                major, minor, publicHex, warning, error);
        EXPECT_TRUE(ok) << error;
        EXPECT_TRUE(warning.empty()) << warning;
        return ok;
    }
    // What a bench concludes: the bytes, fed in pieces as a download brings them, verified
    // against the signature file beside them.
    static bool Verifies(const std::string& name, const std::string& bytes,
                         const std::string& signatureText, const ReleaseKey& key) {
        const auto signature = ParseReleaseSignature(signatureText);
        if (!signature) return false;
        CReleaseVerifier verifier(name);
        for (std::size_t at = 0; at < bytes.size(); at += 7000) {
            const std::size_t n = std::min<std::size_t>(7000, bytes.size() - at);
            verifier.Add(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, n);
        }
        return verifier.Verify(*signature, key);
    }
    // The same for NAME.sig2, checked for the version a server offers.
    static bool Verifies2(const std::string& name, int major, int minor, const std::string& bytes,
                          const std::string& signatureText, const ReleaseKey& key) {
        const auto signature = ParseReleaseSignature2(signatureText);
        if (!signature) return false;
        CReleaseVerifier verifier(name, major, minor);
        for (std::size_t at = 0; at < bytes.size(); at += 7000) {
            const std::size_t n = std::min<std::size_t>(7000, bytes.size() - at);
            verifier.Add(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, n);
        }
        return verifier.Verify(*signature, key);
    }

    fs::path m_top;
};

TEST_F(ReleaseSigning, KeyPairIsKeptFromOthersAndNeverOverwritten) {
    std::string publicHex, error;
    ASSERT_TRUE(fileserver::GenerateReleaseKey(m_top / "keys" / "lab", publicHex, error)) << error;
    const fs::path dir = m_top / "keys" / "lab";
    struct stat st {};
    ASSERT_EQ(::stat((dir / fileserver::kSecretKeyFile).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "the key's folder is the owner's alone";
    EXPECT_EQ(publicHex.size(), 64u);
    EXPECT_EQ(ReadText(dir / fileserver::kPublicKeyFile), publicHex + "\n");
    EXPECT_EQ(ReadText(dir / fileserver::kSecretKeyFile).size(), 129u);

    // A second key in the same place would lock out every bench that trusts the first.
    const std::string secret = ReadText(dir / fileserver::kSecretKeyFile);
    std::string again;
    EXPECT_FALSE(fileserver::GenerateReleaseKey(dir, again, error));
    EXPECT_NE(error.find("already holds"), std::string::npos);
    EXPECT_EQ(ReadText(dir / fileserver::kSecretKeyFile), secret);

    // Two key pairs are two keys.
    std::string other;
    ASSERT_TRUE(fileserver::GenerateReleaseKey(m_top / "other", other, error));
    EXPECT_NE(other, publicHex);
}

TEST_F(ReleaseSigning, SignatureHoldsOnlyForItsKeyItsNameAndItsBytes) {
    const ReleaseKey lab = MakeKey("lab");
    const ReleaseKey stranger = MakeKey("stranger");
    std::string content(300000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 % 251);
    const fs::path prog = Release("prog", content);
    ASSERT_TRUE(Sign("lab", prog));
    const std::string sig = ReadText(m_top / "releases" / "prog.sig");
    EXPECT_EQ(sig.rfind("dravmer-release-signature ed25519ph ", 0), 0u) << sig;
    EXPECT_EQ(sig.back(), '\n');

    EXPECT_TRUE(Verifies("prog", content, sig, lab));
    EXPECT_FALSE(Verifies("prog", content, sig, stranger)) << "another lab's key";
    EXPECT_FALSE(Verifies("prog-cli", content, sig, lab)) << "signed for another program";
    std::string changed = content;
    changed[123456] ^= 1;
    EXPECT_FALSE(Verifies("prog", changed, sig, lab)) << "one bit changed";
    EXPECT_FALSE(Verifies("prog", content.substr(0, content.size() - 1), sig, lab));

    // A signature of the stranger's names the stranger's key, however it is presented.
    ASSERT_TRUE(Sign("stranger", prog));
    const auto strangers = ParseReleaseSignature(ReadText(m_top / "releases" / "prog.sig"));
    ASSERT_TRUE(strangers.has_value());
    EXPECT_EQ(strangers->key, stranger);
    EXPECT_FALSE(Verifies("prog", content, ReadText(m_top / "releases" / "prog.sig"), lab));

    // An empty release is signed and checked like any other.
    const fs::path empty = Release("empty", "");
    ASSERT_TRUE(Sign("lab", empty));
    EXPECT_TRUE(Verifies("empty", "", ReadText(m_top / "releases" / "empty.sig"), lab));
}

TEST_F(ReleaseSigning, VersionedSignatureHoldsOnlyForTheVersionItWasMadeFor) {
    const ReleaseKey lab = MakeKey("lab");
    const std::string content(150000, 'v');
    const fs::path prog = Release("prog", content);
    ASSERT_TRUE(Sign("lab", prog, 5, 44));
    const std::string sig2 = ReadText(m_top / "releases" / "prog.sig2");
    EXPECT_EQ(sig2.rfind("dravmer-release-signature-2 ed25519ph 05.44 ", 0), 0u) << sig2;
    const auto parsed = ParseReleaseSignature2(sig2);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->key, lab);
    EXPECT_EQ(parsed->major, 5);
    EXPECT_EQ(parsed->minor, 44);
    EXPECT_EQ(FormatReleaseSignature2(*parsed), sig2);
    // The old signature beside it still serves benches that know only it.
    EXPECT_TRUE(Verifies("prog", content, ReadText(m_top / "releases" / "prog.sig"), lab));
    EXPECT_FALSE(ParseReleaseSignature(sig2).has_value()) << "the two formats are not mixed up";

    EXPECT_TRUE(Verifies2("prog", 5, 44, content, sig2, lab));
    EXPECT_FALSE(Verifies2("prog", 5, 45, content, sig2, lab)) << "offered as a newer version";
    EXPECT_FALSE(Verifies2("prog", 6, 44, content, sig2, lab));
    EXPECT_FALSE(Verifies2("prog-cli", 5, 44, content, sig2, lab));
    EXPECT_FALSE(Verifies2("prog", 5, 44, content + "x", sig2, lab));
    // The version written in the line is the signer's word, but what is checked is the offer:
    // a line edited to a newer version no longer verifies for it.
    std::string edited = sig2;
    edited.replace(edited.find("05.44"), 5, "05.50");
    ASSERT_TRUE(ParseReleaseSignature2(edited).has_value());
    EXPECT_FALSE(Verifies2("prog", 5, 50, content, edited, lab));
}

TEST_F(ReleaseSigning, SigningRefusesWhatIsNotAKeyAndWarnsOfAKeyOthersCanRead) {
    MakeKey("lab");
    const fs::path prog = Release("prog", "content");
    const fs::path secret = m_top / "lab" / fileserver::kSecretKeyFile;
    std::string publicHex, warning, error;
    EXPECT_FALSE(fileserver::SignRelease(m_top / "lab" / fileserver::kPublicKeyFile, prog, 5, 44,
                                         publicHex, warning, error));
    EXPECT_NE(error.find("not a release key"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(m_top / "releases" / "prog.sig"));
    EXPECT_FALSE(fs::exists(m_top / "releases" / "prog.sig2"));
    error.clear();
    EXPECT_FALSE(
        fileserver::SignRelease(secret, m_top / "missing", 5, 44, publicHex, warning, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    ::chmod(secret.c_str(), 0644);
    EXPECT_TRUE(fileserver::SignRelease(secret, prog, 5, 44, publicHex, warning, error)) << error;
    EXPECT_NE(warning.find("chmod 600"), std::string::npos);
    EXPECT_EQ(ReadText(m_top / "lab" / fileserver::kPublicKeyFile), publicHex + "\n");
    // A version other than the manifest's is signed as asked, with a warning: benches would
    // refuse what the folder then offers.
    ::chmod(secret.c_str(), 0600);
    std::ofstream(m_top / "releases" / "versions.txt") << "prog 05.45\n";
    warning.clear();
    EXPECT_TRUE(fileserver::SignRelease(secret, prog, 5, 44, publicHex, warning, error)) << error;
    EXPECT_NE(warning.find("versions.txt gives prog version 05.45"), std::string::npos) << warning;
    warning.clear();
    EXPECT_TRUE(fileserver::SignRelease(secret, prog, 5, 45, publicHex, warning, error)) << error;
    EXPECT_TRUE(warning.empty()) << warning;
}

TEST(ReleaseSignatureFormat, TakesOnlyItsOwnLine) {
    const std::string key(64, 'a'), sig(128, 'B');
    const std::string good = "dravmer-release-signature ed25519ph " + key + " " + sig + "\n";
    ASSERT_TRUE(ParseReleaseSignature(good).has_value());
    EXPECT_EQ(ParseReleaseSignature(good)->key[0], 0xaa);
    EXPECT_EQ(ParseReleaseSignature(good)->signature[63], 0xbb);
    EXPECT_EQ(FormatReleaseSignature(*ParseReleaseSignature(good)),
              "dravmer-release-signature ed25519ph " + key + " " + std::string(128, 'b') + "\n");
    for (const std::string& bad : {
             std::string(),
             "dravmer-release-signature ed25519 " + key + " " + sig,
             "other-tag ed25519ph " + key + " " + sig,
             "dravmer-release-signature ed25519ph " + key.substr(2) + " " + sig,
             "dravmer-release-signature ed25519ph " + key + " " + sig + "0",
             "dravmer-release-signature ed25519ph " + key + " " + sig + " extra",
             "dravmer-release-signature ed25519ph " + key + "\n" + sig,
             "dravmer-release-signature ed25519ph " + std::string(63, 'a') + "g " + sig,
             "dravmer-release-signature ed25519ph " + key + " " + sig + std::string(2000, ' '),
         }) {
        EXPECT_FALSE(ParseReleaseSignature(bad).has_value()) << bad;
    }
    EXPECT_TRUE(ParseReleaseKey(" " + key + "\n").has_value());
    EXPECT_FALSE(ParseReleaseKey(key.substr(1)).has_value());
    EXPECT_FALSE(ParseReleaseKey(key + "00").has_value());
    EXPECT_FALSE(ParseReleaseKey("").has_value());

    const std::string good2 = "dravmer-release-signature-2 ed25519ph 05.44 " + key + " " + sig;
    ASSERT_TRUE(ParseReleaseSignature2(good2).has_value());
    EXPECT_EQ(ParseReleaseSignature2(good2)->minor, 44);
    for (const std::string& bad : {
             good,
             "dravmer-release-signature-2 ed25519ph " + key + " " + sig,
             "dravmer-release-signature-2 ed25519ph 5 " + key + " " + sig,
             "dravmer-release-signature-2 ed25519ph 05.256 " + key + " " + sig,
             "dravmer-release-signature-2 ed25519ph 05.4a " + key + " " + sig,
             "dravmer-release-signature-2 ed25519ph -5.44 " + key + " " + sig,
             "dravmer-release-signature-2 ed25519ph 05.44 " + key + " " + sig + " extra",
         }) {
        EXPECT_FALSE(ParseReleaseSignature2(bad).has_value()) << bad;
    }
}

int RunCommand(const std::string& command, std::string* output = nullptr) {
    const std::string line = command + " 2>&1";
    FILE* pipe = ::popen(line.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[512];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The lab's commands, as an administrator types them, and the server serving what they made.
TEST_F(ReleaseSigning, ServerProgramMakesTheKeyAndSignsAndServesTheSignature) {
    const std::string program = FILESERVER_PROGRAM;
    const fs::path keys = m_top / "keys";
    std::string out;
    ASSERT_EQ(RunCommand(program + " --gen-key " + keys.string(), &out), 0) << out;
    const std::string publicHex = ReadText(keys / fileserver::kPublicKeyFile).substr(0, 64);
    EXPECT_NE(out.find("dravmer-cli settings set UpdateVersionSettings/PublicKey " + publicHex),
              std::string::npos)
        << out;
    EXPECT_EQ(RunCommand(program + " --gen-key " + keys.string(), &out), 1) << out;

    const fs::path prog = Release("prog", std::string(200000, 'p'));
    const std::string sign = program + " --sign " + (keys / fileserver::kSecretKeyFile).string();
    ASSERT_EQ(RunCommand(sign + " " + prog.string() + " --release-version 5.44", &out), 0) << out;
    EXPECT_TRUE(Verifies("prog", std::string(200000, 'p'), ReadText(prog.string() + ".sig"),
                         *ParseReleaseKey(publicHex)));
    EXPECT_TRUE(Verifies2("prog", 5, 44, std::string(200000, 'p'),
                          ReadText(prog.string() + ".sig2"), *ParseReleaseKey(publicHex)));
    EXPECT_EQ(RunCommand(program + " --sign " + prog.string() + " --release-version 05.44", &out),
              2)
        << "needs a key and a file";
    // Without the version nothing is signed: benches would refuse a release without FILE.sig2.
    fs::remove(prog.string() + ".sig2");
    EXPECT_EQ(RunCommand(sign + " " + prog.string(), &out), 2) << out;
    EXPECT_NE(out.find("--release-version"), std::string::npos) << out;
    EXPECT_EQ(RunCommand(sign + " " + prog.string() + " --release-version 5.444", &out), 2) << out;
    EXPECT_EQ(
        RunCommand(program + " --gen-key " + keys.string() + " --release-version 05.44", &out), 2)
        << out;
    EXPECT_FALSE(fs::exists(prog.string() + ".sig2"));
    ASSERT_EQ(RunCommand(sign + " " + prog.string() + " --release-version 05.44", &out), 0) << out;
    EXPECT_EQ(
        RunCommand(sign + " " + (m_top / "missing").string() + " --release-version 05.44", &out),
        1);
    EXPECT_EQ(RunCommand(program + " --gen-key " + keys.string() + " --sign a b", &out), 2);
    ASSERT_EQ(RunCommand(program + " --help", &out), 0);
    EXPECT_NE(out.find("--gen-key DIR"), std::string::npos) << out;
    EXPECT_NE(out.find("--sign KEY FILE --release-version MM.mm"), std::string::npos) << out;

    // The server hands out the signature like any file of its folder.
    fileserver::SFileServerOptions o;
    o.root = m_top / "releases";
    o.listen = "127.0.0.1";
    o.port = 0;
    fileserver::CFileServer server(o);
    std::string error;
    ASSERT_TRUE(server.Listen(error)) << error;
    server.Start();
    CQueryClient client;
    client.SetServer("127.0.0.1", server.TcpPort());
    ASSERT_EQ(client.Connect(), kQrOk);
    SFileDescription d;
    std::vector<std::uint8_t> got;
    for (const char* suffix : {".sig", ".sig2"}) {
        ASSERT_EQ(client.Describe(std::string("prog") + suffix, d), kQrOk) << suffix;
        ASSERT_EQ(client.Download(got, d.size), d.size);
        EXPECT_EQ(std::string(got.begin(), got.end()), ReadText(prog.string() + suffix));
    }
    // The bench asks for its program by name: the signature beside it does not change what
    // the program is described as.
    ASSERT_EQ(client.Describe("prog", d), kQrOk);
    EXPECT_EQ(d.size, 200000);
    client.Disconnect();
}

}  // namespace
}  // namespace dravmer
