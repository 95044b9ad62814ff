// The file server against clients that flood its log, stay quiet, drip their records or come
// two hundred at once, and against a release too large to hash while others wait.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "fileserver/file_server.h"
#include "update/query_client.h"
#include "update/sha256.h"
#include "update/test_server.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using fileserver::CFileServer;
using fileserver::SFileServerOptions;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

template <typename F>
bool Eventually(F done, int limitMs = 20000) {
    for (int waited = 0; waited < limitMs; waited += 20) {
        if (done()) return true;
        Sleep(20);
    }
    return done();
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    return v;
}

void WriteFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class FileServerLimits : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_root = fs::temp_directory_path() /
                 ("fileserver-limits-" + std::to_string(::getpid()) + "-" + name);
        m_outside = fs::path(m_root.string() + "-outside");
        fs::remove_all(m_root);
        fs::remove_all(m_outside);
        fs::create_directories(m_root);
        fs::create_directories(m_outside);
        m_options.root = m_root;
        m_options.listen = "127.0.0.1";
        m_options.port = 0;
        m_options.logFile = m_outside / "fileserver.log";
        m_options.notice = [this](const std::string& text) {
            std::lock_guard lock(m_noticeMutex);
            m_notices.push_back(text);
        };
    }
    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_root);
        fs::remove_all(m_outside);
    }
    void Start() {
        m_server = std::make_unique<CFileServer>(m_options);
        std::string error;
        ASSERT_TRUE(m_server->Listen(error)) << error;
        ASSERT_TRUE(m_server->Start());
    }
    int RawConnect(int receiveLimitS = 10) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(m_server->TcpPort()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        timeval tv{receiveLimitS, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return fd;
    }
    static bool ClosedByServer(int fd) {
        std::uint8_t b[256];
        for (;;) {
            const ssize_t n = ::recv(fd, b, sizeof b, 0);
            if (n == 0) return true;
            if (n < 0) return false;
        }
    }
    static bool ClosedYet(int fd) {
        std::uint8_t b[256];
        for (;;) {
            const ssize_t n = ::recv(fd, b, sizeof b, MSG_DONTWAIT);
            if (n == 0) return true;
            if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
        }
    }
    bool Noticed(const std::string& part) {
        std::lock_guard lock(m_noticeMutex);
        for (const auto& n : m_notices) {
            if (n.find(part) != std::string::npos) return true;
        }
        return false;
    }
    // A bench's whole exchange: connect, describe, download.
    bool BenchServed(const std::string& name, const std::vector<std::uint8_t>& content) {
        CQueryClient client;
        client.SetServer("127.0.0.1", m_server->TcpPort());
        SFileDescription d;
        std::vector<std::uint8_t> got;
        return client.Connect() == kQrOk && client.Describe(name, d) == kQrOk &&
               client.Download(got, d.size) == d.size && got == content;
    }

    fs::path m_root;
    fs::path m_outside;
    SFileServerOptions m_options;
    std::unique_ptr<CFileServer> m_server;
    std::mutex m_noticeMutex;
    std::vector<std::string> m_notices;
};

TEST_F(FileServerLimits, LogLinesAreBoundedEscapedAndRateLimitedOutsideTheReleaseFolder) {
    m_options.logBurst = 5;
    m_options.logLinesPerSecond = 2;
    Start();
    CQueryClient client;
    client.SetServer("127.0.0.1", m_server->TcpPort());
    ASSERT_EQ(client.Connect(), kQrOk);
    ASSERT_EQ(client.Log("updated\n2099-01-01 00:00:00 forged: installed"), kQrOk);
    ASSERT_EQ(client.Log(std::string(5000, 'x')), kQrOk);
    const auto start = std::chrono::steady_clock::now();
    int written = 2, leftOut = 0;
    for (int i = 0; i < 100; ++i) {
        const int rc = client.Log("flood " + std::to_string(i));
        if (rc == kQrOk) {
            ++written;
        } else {
            EXPECT_EQ(rc, kQrFileWrite);
            ++leftOut;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(leftOut, 0);
    EXPECT_LE(written, 5 + static_cast<int>(seconds * 2) + 1);
    Sleep(700);  // the rate lets one more through
    ASSERT_EQ(client.Log("after the pause"), kQrOk);

    const auto lines = Lines(m_server->LogFile());
    int notes = 0;
    for (const std::string& line : lines) {
        notes += line.find("lines of this connection left out") != std::string::npos ? 1 : 0;
    }
    EXPECT_GE(notes, 1);
    ASSERT_EQ(static_cast<int>(lines.size()), written + 1 + notes);
    for (const std::string& line : lines) {
        // Every line is the server's: a date, the computer, then the client's text.
        EXPECT_EQ(line.find(client.ComputerName() + ": "), 20u) << line;
        EXPECT_LE(line.size(), 20u + client.ComputerName().size() + 2 + 1024) << line;
    }
    EXPECT_NE(lines[0].find("updated\\n2099-01-01 00:00:00 forged: installed"), std::string::npos);
    EXPECT_NE(lines[1].find(std::string(1021, 'x') + "..."), std::string::npos);
    EXPECT_NE(lines.back().find("after the pause"), std::string::npos);
    // Nothing of the log in the folder the benches download from.
    EXPECT_TRUE(fs::is_empty(m_root));
}

TEST_F(FileServerLimits, ALogInTheReleaseFolderIsRefusedAndTheDefaultIsInTheLogFolder) {
    for (const fs::path& inside : {m_root / "server.log", m_root / "sub" / ".." / ".hidden.log"}) {
        m_options.logFile = inside;
        CFileServer server(m_options);
        std::string error;
        EXPECT_FALSE(server.Listen(error)) << inside;
        EXPECT_NE(error.find("release folder"), std::string::npos) << error;
    }
    EXPECT_TRUE(fs::is_empty(m_root));
    ::setenv("DRAVMER_LOG_DIR", (m_outside / "logs").c_str(), 1);
    m_options.logFile.clear();
    Start();
    EXPECT_EQ(m_server->LogFile(), m_outside / "logs" / "dravmer-fileserver.log");
    EXPECT_TRUE(fs::exists(m_server->LogFile()));
    ::unsetenv("DRAVMER_LOG_DIR");
}

TEST_F(FileServerLimits, IdleLimitRunsFromTheLastWholeRecordAndARecordMustFinishInTime) {
    m_options.idleTimeoutMs = 1500;
    m_options.recordTimeoutMs = 600;
    Start();
    const int silent = RawConnect();
    const int drip = RawConnect();
    CQueryClient busy;
    busy.SetServer("127.0.0.1", m_server->TcpPort());
    ASSERT_EQ(busy.Connect(), kQrOk);
    const std::vector<std::uint8_t> record = BuildTextRecord(kQcFileExists, 0, "pc", "dravmer");
    std::size_t dripped = 0;
    bool dripLetGo = false;
    // A byte every 100 ms: each one well within the idle limit, the record never in time.
    for (int round = 0; round < 40; ++round) {
        if (!dripLetGo && dripped < record.size()) {
            dripLetGo = ClosedYet(drip);
            if (!dripLetGo) ::send(drip, record.data() + dripped++, 1, MSG_NOSIGNAL);
        }
        if (round % 3 == 0) {
            SServerTime t;
            ASSERT_EQ(busy.ServerTime(t), kQrOk) << "the busy client was let go in round " << round;
        }
        Sleep(100);
    }
    EXPECT_TRUE(dripLetGo || ClosedByServer(drip));
    EXPECT_LT(dripped, record.size()) << "the dripping client finished its record";
    EXPECT_TRUE(ClosedByServer(silent));
    SServerTime t;
    EXPECT_EQ(busy.ServerTime(t), kQrOk);
    ::close(silent);
    ::close(drip);
}

TEST_F(FileServerLimits, QuietAndDrippingConnectionsMakeRoomForABench) {
    const auto prog = RandomBytes(kQueryMaxChunk + 10, 1);
    WriteFile(m_root / "dravmer", prog);
    m_options.evictQuietMs = 300;  // the idle limit stays at its 30 s
    m_options.maxPerPeer = 1000;  // the flood and the bench alike come from 127.0.0.1
    Start();
    std::vector<int> hostile;
    for (int i = 0; i < 24; ++i) hostile.push_back(RawConnect());
    const std::vector<std::uint8_t> record = BuildTextRecord(kQcDescribe, 0, "pc", "dravmer");
    for (int i = 0; i < 8; ++i) {
        hostile.push_back(RawConnect());
        ::send(hostile.back(), record.data(), 5, MSG_NOSIGNAL);  // and never the rest
    }
    ASSERT_TRUE(Eventually([&] { return m_server->ClientCount() == m_options.maxClients; }));
    Sleep(400);
    for (int bench = 0; bench < 5; ++bench) {
        EXPECT_TRUE(BenchServed("dravmer", prog)) << "bench " << bench;
        EXPECT_LE(m_server->ClientCount(), m_options.maxClients);
    }
    // Quiet the longest, or (should making the flood have taken its 2 s) the longest there
    // without a request answered.
    EXPECT_TRUE(Noticed("let go to make room: "));
    for (const int fd : hostile) ::close(fd);
}

TEST_F(FileServerLimits, TwoHundredConnectionsAtOnceLeaveABenchServed) {
    const auto prog = RandomBytes(3000, 2);
    WriteFile(m_root / "dravmer", prog);
    m_options.evictQuietMs = 300;
    m_options.maxPerPeer = 1000;  // the flood and the bench alike come from 127.0.0.1
    Start();
    std::vector<int> flood;
    for (int i = 0; i < 200; ++i) flood.push_back(RawConnect());
    EXPECT_TRUE(Eventually([&] { return m_server->ClientCount() == m_options.maxClients; }));
    bool served = false;
    for (int attempt = 0; attempt < 20 && !served; ++attempt) {
        served = BenchServed("dravmer", prog);
        if (!served) Sleep(200);
    }
    EXPECT_TRUE(served);
    EXPECT_LE(m_server->ClientCount(), m_options.maxClients);
    for (const int fd : flood) ::close(fd);
}

// Holds the digest of one file midway until released.
class CDigestGate {
public:
    void operator()(const std::string& name) {
        if (name != m_name) return;
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_cv.notify_all();
        m_cv.wait_for(lock, std::chrono::seconds(30), [&] { return !m_holding; });
    }
    void Hold(const std::string& name) {
        std::lock_guard lock(m_mutex);
        m_name = name;
        m_holding = true;
        m_entered = false;
    }
    bool WaitEntered() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(20), [&] { return m_entered; });
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_holding = false;
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::string m_name;
    bool m_holding = false;
    bool m_entered = false;
};

// The SHA-256 a raw describe of name gets, or the result code as text.
std::string DescribeRaw(int fd, const std::string& name) {
    test::SendBytes(fd, BuildTextRecord(kQcDescribe, 0, "pc", name));
    const auto reply = test::ReadRecord(fd);
    if (reply.empty()) return "no reply";
    if (reply[kQueryResultAt] != kQrOk) return "result " + std::to_string(reply[kQueryResultAt]);
    return DecodeFileDescription(reply.data() + kQueryPayloadAt).entry.Sha256().value_or("none");
}

TEST_F(FileServerLimits, DigestIsComputedOutsideTheFolderLockOncePerContent) {
    const auto big = RandomBytes(2 << 20, 3);
    const auto small = RandomBytes(100, 4);
    WriteFile(m_root / "big", big);
    WriteFile(m_root / "small", small);
    Start();
    CDigestGate gate;
    m_server->Folder().SetHashObserver([&gate](const std::string& name) { gate(name); });
    gate.Hold("big");
    const int first = RawConnect(30), second = RawConnect(30);
    std::string firstSha, secondSha;
    std::thread a([&] { firstSha = DescribeRaw(first, "big"); });
    ASSERT_TRUE(gate.WaitEntered());
    std::thread b([&] { secondSha = DescribeRaw(second, "big"); });  // waits for the same digest
    // Other requests are answered meanwhile, within the bench's 2 s.
    CQueryClient other;
    other.SetServer("127.0.0.1", m_server->TcpPort());
    ASSERT_EQ(other.Connect(), kQrOk);
    SFileDescription d;
    EXPECT_EQ(other.Describe("small", d), kQrOk);
    EXPECT_EQ(d.entry.Sha256(), Sha256Hex(small.data(), small.size()));
    EXPECT_EQ(other.ListFiles(), kQrOk);
    gate.Release();
    a.join();
    b.join();
    const std::string bigSha = Sha256Hex(big.data(), big.size());
    EXPECT_EQ(firstSha, bigSha);
    EXPECT_EQ(secondSha, bigSha);
    EXPECT_EQ(m_server->Folder().DigestsComputed(), 2);  // big once, small once

    // Kept while the content is the same; a new content of the same size and time is seen.
    ASSERT_EQ(other.Describe("big", d), kQrOk);
    EXPECT_EQ(m_server->Folder().DigestsComputed(), 2);
    struct stat before {};
    ASSERT_EQ(::stat((m_root / "big").c_str(), &before), 0);
    auto changed = big;
    changed[12345] ^= 0xFF;
    WriteFile(m_root / "big", changed);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, (m_root / "big").c_str(), times, 0), 0);
    ASSERT_EQ(other.Describe("big", d), kQrOk);
    EXPECT_EQ(d.entry.Sha256(), Sha256Hex(changed.data(), changed.size()));
    ::close(first);
    ::close(second);
}

TEST_F(FileServerLimits, ACatalogEntryTheManifestCannotHoldIsRefused) {
    m_options.allowUpload = true;
    Start();
    CQueryClient client;
    client.SetServer("127.0.0.1", m_server->TcpPort());
    ASSERT_EQ(client.Connect(), kQrOk);
    SCatalogEntry entry;
    entry.major = 5;
    entry.minor = 44;
    for (const std::string name : {"my prog", "#prog", "prog "}) {
        entry.SetName(name);
        EXPECT_EQ(client.AddCatalog(entry), kQrAccessDenied) << name;
        EXPECT_EQ(client.UpdateCatalog(entry), kQrAccessDenied) << name;
    }
    EXPECT_FALSE(fs::exists(m_root / "versions.txt"));
    entry.SetName("prog");
    EXPECT_EQ(client.AddCatalog(entry), kQrOk);
    EXPECT_EQ(Lines(m_root / "versions.txt"), std::vector<std::string>{"prog 05.44"});
}

}  // namespace
}  // namespace dravmer
