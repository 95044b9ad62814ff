// What a bench takes from its update server: with the lab's key only a release signed with it,
// without one only a release whose SHA-256 the server published, never one described larger than
// the bench takes; the download goes to disk as it comes and a cancel removes it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "fileserver/file_server.h"
#include "fileserver/release_signing.h"
#include "update/release_fake.h"
#include "update/update_service.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Waits for cond with a deadline far beyond what a loaded machine needs.
template <class F>
bool WaitFor(F cond, int ms = 20000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class SignedUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        m_top = fs::temp_directory_path() /
                ("signedupdate-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_top);
        m_bench = m_top / "bench";
        m_releases = m_top / "releases";
        fs::create_directories(m_bench);
        fs::create_directories(m_releases);
        fs::copy_file(TESTPROG_OLD, m_bench / "prog");
    }
    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_top);
    }
    std::string MakeKey(const std::string& dir) {
        std::string publicHex, error;
        EXPECT_TRUE(fileserver::GenerateReleaseKey(m_top / dir, publicHex, error)) << error;
        return publicHex;
    }
    void SignAs(const std::string& keyDir, const fs::path& file, int major = 5, int minor = 44) {
        std::string publicHex, warning, error;
        ASSERT_TRUE(fileserver::SignRelease(m_top / keyDir / fileserver::kSecretKeyFile, file,
                                            major, minor, publicHex, warning, error))
            << error;
    }
    // The real server with prog (the new build of the test program, 05.44) in its folder,
    // published as version.
    void Serve(const std::string& version = "05.44") {
        fs::copy_file(TESTPROG_NEW, m_releases / "prog", fs::copy_options::overwrite_existing);
        std::ofstream(m_releases / "versions.txt") << "prog " << version << "\n";
        if (m_server) return;
        fileserver::SFileServerOptions o;
        o.root = m_releases;
        o.listen = "127.0.0.1";
        o.port = 0;
        o.idleTimeoutMs = m_idleTimeoutMs;
        m_server = std::make_unique<fileserver::CFileServer>(o);
        std::string error;
        ASSERT_TRUE(m_server->Listen(error)) << error;
        m_server->Start();
    }
    std::unique_ptr<CUpdateService> Service(const std::string& key, int port) {
        SUpdateConfig c;
        c.executable = m_bench / "prog";
        c.settings = &m_settings;
        auto s = std::make_unique<CUpdateService>(c);
        s->SetServerName("127.0.0.1", port);
        s->SetPublicKey(key);
        return s;
    }
    // Prepares the offer and downloads it: DownloadOffer's result.
    static int Download(CUpdateService& service) {
        SUpdateOffer offer;
        if (service.PrepareOffer(offer) != 1) return -2;
        return service.DownloadOffer();
    }
    std::vector<std::string> BenchFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_bench)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_top, m_bench, m_releases;
    int m_idleTimeoutMs = 30000;
    std::unique_ptr<fileserver::CFileServer> m_server;
    CMemorySettingsStore m_settings;
};

TEST_F(SignedUpdate, BenchWithTheLabsKeyTakesTheSignedReleaseAndHandsOffOnlyWhenTold) {
    const std::string key = MakeKey("lab");
    Serve();
    SignAs("lab", m_releases / "prog");
    ASSERT_TRUE(test::WarmUpDescribe(m_server->TcpPort(), "prog"));
    auto service = Service(key, m_server->TcpPort());
    ASSERT_EQ(Download(*service), 1) << service->LastError();
    EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kNone);
    // Downloaded and checked, but nothing of the running version is touched before the hand-off.
    EXPECT_TRUE(service->HasDownload());
    EXPECT_EQ(BenchFiles(), (std::vector<std::string>{"prog", "prog_05.44"}));
    EXPECT_EQ(ReadBytes(m_bench / "prog_05.44"), ReadBytes(TESTPROG_NEW));
    EXPECT_EQ(fs::status(m_bench / "prog_05.44").permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec);
    service->DiscardDownload();
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
    EXPECT_EQ(service->StartHandOff(), -1) << "nothing left to hand over to";

    // A key written in capitals with a line end, as pasted, is the same key.
    std::string pasted = key;
    for (char& c : pasted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto again = Service(pasted + "\n", m_server->TcpPort());
    EXPECT_EQ(Download(*again), 1) << again->LastError();
}

TEST_F(SignedUpdate, BenchWithAKeyRefusesEveryReleaseItsKeyDidNotSign) {
    const std::string key = MakeKey("lab");
    MakeKey("stranger");
    struct Case {
        const char* what;
        std::function<void()> publish;
        std::string key;
        EUpdateRefusal refusal;
    };
    const std::vector<Case> cases = {
        {"no signature", [] {}, key, EUpdateRefusal::kNoSignature},
        {"another lab's key", [&] { SignAs("stranger", m_releases / "prog"); }, key,
         EUpdateRefusal::kOtherKey},
        {"changed after signing",
         [&] {
             SignAs("lab", m_releases / "prog");
             std::fstream f(m_releases / "prog", std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(static_cast<std::streamoff>(fs::file_size(m_releases / "prog") / 2));
             f.put('\x5a');
         },
         key, EUpdateRefusal::kBadSignature},
        {"signed as another program",
         [&] {
             fs::copy_file(m_releases / "prog", m_releases / "prog-cli");
             SignAs("lab", m_releases / "prog-cli");
             fs::rename(m_releases / "prog-cli.sig2", m_releases / "prog.sig2");
         },
         key, EUpdateRefusal::kBadSignature},
        {"not a signature", [&] { std::ofstream(m_releases / "prog.sig2") << "trust me\n"; }, key,
         EUpdateRefusal::kBadSignature},
        // Signed before benches checked the version: the signature without it is not enough.
        {"only the signature without the version",
         [&] {
             SignAs("lab", m_releases / "prog");
             fs::remove(m_releases / "prog.sig2");
         },
         key, EUpdateRefusal::kNoSignature},
        // The old format under the new name.
        {"unversioned signature as the versioned one",
         [&] {
             SignAs("lab", m_releases / "prog");
             fs::rename(m_releases / "prog.sig", m_releases / "prog.sig2");
         },
         key, EUpdateRefusal::kBadSignature},
        // An older signed release published again as a newer version: its own signature names
        // the version it was signed for, and one edited to the new version no longer verifies.
        {"older signed release replayed as newer",
         [&] {
             SignAs("lab", m_releases / "prog", 5, 44);
             Serve("05.50");
         },
         key, EUpdateRefusal::kSignatureVersion},
        // Signed by the lab as 05.44, but a build that answers another version.
        {"signed, but answers another version",
         [&] {
             fs::copy_file(TESTPROG_OLD, m_releases / "prog", fs::copy_options::overwrite_existing);
             SignAs("lab", m_releases / "prog", 5, 44);
         },
         key, EUpdateRefusal::kVersionAnswer},
        {"older signed release with its version edited",
         [&] {
             SignAs("lab", m_releases / "prog", 5, 44);
             Serve("05.50");
             std::string line;
             std::getline(std::ifstream(m_releases / "prog.sig2"), line);
             line.replace(line.find("05.44"), 5, "05.50");
             std::ofstream(m_releases / "prog.sig2") << line << "\n";
         },
         key, EUpdateRefusal::kBadSignature},
        {"key in the settings is no key", [&] { SignAs("lab", m_releases / "prog"); },
         key.substr(0, 63) + "x", EUpdateRefusal::kBadKey},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* name :
             {"prog.sig", "prog.sig2", "prog-cli", "prog-cli.sig", "prog-cli.sig2"})
            fs::remove(m_releases / name);
        Serve();
        c.publish();
        ASSERT_TRUE(test::WarmUpDescribe(m_server->TcpPort(), "prog"));
        auto service = Service(c.key, m_server->TcpPort());
        EXPECT_EQ(Download(*service), -1);
        EXPECT_EQ(service->LastRefusal(), c.refusal) << service->LastError();
        EXPECT_FALSE(service->HasDownload());
        // Nothing is left behind: no release, no partial file, the running program untouched.
        EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
        EXPECT_EQ(ReadBytes(m_bench / "prog"), ReadBytes(TESTPROG_OLD));
    }
}

TEST_F(SignedUpdate, BenchWithoutAKeyRefusesAReleaseWithoutAPublishedDigest) {
    test::CReleaseFake fake;
    test::CReleaseFake::SFile release;
    release.bytes = ReadBytes(TESTPROG_NEW);
    release.major = 5;
    release.minor = 44;
    release.publishSha = false;
    fake.Add("prog", release);
    auto service = Service("", fake.Port());
    EXPECT_EQ(Download(*service), -1);
    EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kNoChecksum);
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
    EXPECT_EQ(fake.ChunksSent(), 0) << "refused before anything was downloaded";

    // The same release with its digest published is taken.
    release.publishSha = true;
    fake.Add("prog", release);
    auto withDigest = Service("", fake.Port());
    EXPECT_EQ(Download(*withDigest), 1) << withDigest->LastError();
    withDigest->DiscardDownload();
}

TEST_F(SignedUpdate, ReleaseDescribedLargerThanABenchTakesIsNeverDownloaded) {
    test::CReleaseFake fake;
    test::CReleaseFake::SFile release;
    release.bytes = ReadBytes(TESTPROG_NEW);
    release.major = 5;
    release.minor = 44;
    release.describedSize = kMaxReleaseBytes + 1;
    fake.Add("prog", release);
    auto service = Service("", fake.Port());
    EXPECT_EQ(Download(*service), -1);
    EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kTooLarge);
    EXPECT_EQ(fake.ChunksSent(), 0);
    for (const std::string& r : fake.Requests()) EXPECT_NE(r.rfind("2 ", 0), 0u) << r;
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});

    // Exactly the limit is described to a bench that still asks for it (and then finds the
    // download short of it).
    release.describedSize = kMaxReleaseBytes;
    fake.Add("prog", release);
    auto atLimit = Service("", fake.Port());
    EXPECT_EQ(Download(*atLimit), -1);
    EXPECT_EQ(atLimit->LastRefusal(), EUpdateRefusal::kDownload);
    EXPECT_GT(fake.ChunksSent(), 0);
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
}

TEST_F(SignedUpdate, DownloadGoesToDiskAsItComesAndACancelRemovesIt) {
    test::CReleaseFake fake;
    test::CReleaseFake::SFile release;
    release.bytes.assign(3 * kQueryMaxChunk + 100, 0x42);
    release.major = 5;
    release.minor = 44;
    fake.Add("prog", release);
    fake.PauseAfterChunks(2);
    auto service = Service("", fake.Port());
    SUpdateOffer offer;
    ASSERT_EQ(service->PrepareOffer(offer), 1);
    std::atomic<int> rc{0};
    std::thread download([&] { rc = service->DownloadOffer(); });
    // While the server holds the third chunk back, the first two lie in a file beside the
    // program, not in the bench's memory, and nobody can run it.
    fs::path part;
    for (int i = 0; i < 1000 && part.empty(); ++i) {
        if (fake.Paused()) {
            for (const auto& e : fs::directory_iterator(m_bench)) {
                if (e.path().filename().string().rfind(".prog_05.44.part", 0) == 0 &&
                    fs::file_size(e.path()) == 2u * kQueryMaxChunk) {
                    part = e.path();
                }
            }
        }
        if (part.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(part.empty()) << "no part of the release on disk while the rest is held back";
    if (!part.empty()) {
        EXPECT_EQ(fs::status(part).permissions() &
                      (fs::perms::owner_exec | fs::perms::group_read | fs::perms::others_read),
                  fs::perms::none);
    }
    service->CancelDownload();
    download.join();
    EXPECT_EQ(rc.load(), -1);
    EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kCancelled);
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
    EXPECT_EQ(fake.ChunksSent(), 2);
}

// The operator takes longer over the question than the server keeps an idle client: the
// download connects anew, and it refuses a release that changed its version meanwhile.
TEST_F(SignedUpdate, DownloadAfterTheServerLetTheQuestionsConnectionGoStillSucceeds) {
    m_idleTimeoutMs = 1500;
    Serve();
    ASSERT_TRUE(test::WarmUpDescribe(m_server->TcpPort(), "prog"));
    ASSERT_TRUE(WaitFor([&] { return m_server->ClientCount() == 0; }));
    auto service = Service("", m_server->TcpPort());
    SUpdateOffer offer;
    ASSERT_EQ(service->PrepareOffer(offer), 1) << service->LastError();
    // The question is on screen until the server has let every idle client go.
    ASSERT_TRUE(WaitFor([&] { return m_server->ClientCount() == 0; }));
    EXPECT_EQ(service->DownloadOffer(), 1) << service->LastError();
    EXPECT_EQ(ReadBytes(m_bench / "prog_05.44"), ReadBytes(TESTPROG_NEW));
    service->DiscardDownload();

    // Published anew as 05.45 while the operator thought about 05.44: nothing is downloaded.
    ASSERT_EQ(service->PrepareOffer(offer), 1) << service->LastError();
    Serve("05.45");
    EXPECT_EQ(service->DownloadOffer(), -1);
    EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kDownload);
    EXPECT_NE(service->LastError().find("now offers prog 05.45 instead of 05.44"),
              std::string::npos)
        << service->LastError();
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
}

// A server that stops sending midway: the refusal says how much had come.
TEST_F(SignedUpdate, StalledDownloadSaysHowManyBytesHadArrived) {
    test::CReleaseFake fake;
    test::CReleaseFake::SFile release;
    release.bytes.assign(5 * kQueryMaxChunk + 100, 0x42);
    release.major = 5;
    release.minor = 44;
    fake.Add("prog", release);
    fake.PauseAfterChunks(2);  // and never goes on
    auto service = Service("", fake.Port());
    EXPECT_EQ(Download(*service), -1);
    EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kDownload);
    const std::string expected = "gave " + std::to_string(2 * kQueryMaxChunk) + " of " +
                                 std::to_string(release.bytes.size()) + " bytes";
    EXPECT_NE(service->LastError().find(expected), std::string::npos) << service->LastError();
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
}

// A disk that fills while the release comes: refused as unwritable, the part file removed.
TEST_F(SignedUpdate, ReleaseThatCannotBeWrittenIsRefusedAndLeavesNothing) {
    test::CReleaseFake fake;
    test::CReleaseFake::SFile release;
    release.bytes.assign(3 * kQueryMaxChunk, 0x42);
    release.major = 5;
    release.minor = 44;
    fake.Add("prog", release);
    auto service = Service("", fake.Port());
    SUpdateOffer offer;
    ASSERT_EQ(service->PrepareOffer(offer), 1);
    // A file size limit stands in for the full disk: writes past it fail with EFBIG.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = kQueryMaxChunk + 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int rc = service->DownloadOffer();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(service->LastRefusal(), EUpdateRefusal::kWrite) << service->LastError();
    EXPECT_NE(service->LastError().find("File too large"), std::string::npos)
        << service->LastError();
    EXPECT_EQ(BenchFiles(), std::vector<std::string>{"prog"});
}

}  // namespace
}  // namespace dravmer
