// The file server against a client that asks for more than it reads, records shorter than their
// layout, and connections from a few addresses that fill every place.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "fileserver/file_connection.h"
#include "fileserver/file_server.h"
#include "update/query_client.h"
#include "update/test_server.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using fileserver::CFileServer;
using fileserver::kMaxPendingReplies;
using fileserver::SFileServerOptions;

template <typename F>
bool Eventually(F done, int limitMs = 20000) {
    for (int waited = 0; waited < limitMs; waited += 20) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// A connection to the server from the loopback address `from` (127.0.0.0/8 is all this
// computer's), so that the server tells the peers apart.
int ConnectFrom(const char* from, int port, int receiveLimitS = 10) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &a.sin_addr);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << from;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << from;
    timeval tv{receiveLimitS, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

// True when the server has closed the connection, whatever it sent before.
bool ClosedByServer(int fd) {
    std::uint8_t b[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, b, sizeof b, 0);
        if (n == 0) return true;
        if (n < 0) return false;
    }
}

// A record of command with its length field (and its bytes) cut to length.
std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> record, int length) {
    record.resize(static_cast<std::size_t>(length), 0);
    const std::int32_t field = length;
    std::memcpy(record.data() + kQueryLengthAt, &field, 4);
    return record;
}

class FileServerFlood : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_root = fs::temp_directory_path() /
                 ("fileserver-flood-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(m_root);
        fs::create_directories(m_root / "releases");
        m_options.root = m_root / "releases";
        m_options.listen = "127.0.0.1";
        m_options.port = 0;
        m_options.logFile = m_root / "fileserver.log";
    }
    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_root);
    }
    void Start() {
        m_server = std::make_unique<CFileServer>(m_options);
        std::string error;
        ASSERT_TRUE(m_server->Listen(error)) << error;
        ASSERT_TRUE(m_server->Start());
    }
    std::vector<std::uint8_t> Release(const std::string& name, std::size_t size) {
        std::mt19937 rng(7);
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        std::ofstream(m_options.root / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }
    // A bench's whole exchange from 127.0.0.1: connect, describe, download.
    bool BenchServed(CQueryClient& client, const std::vector<std::uint8_t>& content) {
        client.SetServer("127.0.0.1", m_server->TcpPort());
        SFileDescription d;
        std::vector<std::uint8_t> got;
        return client.Connect() == kQrOk && client.Describe("dravmer", d) == kQrOk &&
               client.Download(got, d.size) == d.size && got == content;
    }

    fs::path m_root;
    SFileServerOptions m_options;
    std::unique_ptr<CFileServer> m_server;
};

TEST_F(FileServerFlood, ARecordShorterThanItsLayoutEndsTheConnectionUnanswered) {
    Release("dravmer", 300000);
    m_options.maxPerPeer = 100;  // one connection after another, each ended by either side
    Start();
    const int port = m_server->TcpPort();
    // Seven descriptions, then five hundred chunk requests of 18 bytes each that would each be
    // answered with 128 KiB: the descriptions are answered, the first short record ends it.
    {
        const int fd = ConnectFrom("127.0.0.1", port);
        std::vector<std::uint8_t> attack;
        for (int i = 0; i < 7; ++i) {
            const auto d = BuildTextRecord(kQcDescribe, 0, "pc", "dravmer");
            attack.insert(attack.end(), d.begin(), d.end());
        }
        const auto chunk = Cut(BuildBareRecord(kQcChunk, 0, ""), kQueryMinRecord);
        for (int i = 0; i < 500; ++i) attack.insert(attack.end(), chunk.begin(), chunk.end());
        test::SendBytes(fd, attack);
        for (int i = 0; i < 7; ++i) {
            const auto reply = test::ReadRecord(fd);
            ASSERT_EQ(reply.size(), static_cast<std::size_t>(kQueryPayloadAt + kFileDescriptionSize));
            EXPECT_EQ(reply[kQueryResultAt], kQrOk);
        }
        EXPECT_TRUE(test::ReadRecord(fd).empty()) << "a short chunk request was answered";
        ::close(fd);
    }
    // Each command one byte short of its layout, then at its length.
    struct SShape {
        std::vector<std::uint8_t> record;
        int length;
    };
    const std::vector<std::uint8_t> entry(kFileEntrySize, 0), catalog(kCatalogEntrySize, 0);
    const std::vector<SShape> shapes = {
        {BuildBareRecord(kQcServerTime, 0, "pc"), kBareRecordLength},
        {BuildBareRecord(kQcChunk, 0, ""), kBareRecordLength},
        {BuildBareRecord(kQcCloseFile, 0, ""), kBareRecordLength},
        {BuildBareRecord(kQcListFiles, 0, "pc"), kBareRecordLength},
        {BuildBareRecord(kQcListCatalog, 0, "pc"), kBareRecordLength},
        {BuildBareRecord(99, 0, "pc"), kBareRecordLength},
        {BuildTextRecord(kQcDescribe, 0, "pc", ""), kQueryPayloadAt + 1},
        {BuildTextRecord(kQcLog, 0, "pc", ""), kQueryPayloadAt + 1},
        {BuildPayloadRecord(kQcUploadEntry, 0, "pc", entry.data(), kFileEntrySize),
         kQueryPayloadAt + kFileEntrySize},
        {BuildPayloadRecord(kQcAddCatalog, 0, "pc", catalog.data(), kCatalogEntrySize),
         kQueryPayloadAt + kCatalogEntrySize},
        {BuildChunkRecord(kQcUploadChunk, 0, nullptr, 0), kQueryChunkAt + 4},
    };
    for (const SShape& shape : shapes) {
        const int command = shape.record[kQueryCommandAt];
        SCOPED_TRACE("command " + std::to_string(command));
        ASSERT_EQ(static_cast<int>(shape.record.size()), shape.length);
        const int shortOne = ConnectFrom("127.0.0.1", port);
        test::SendBytes(shortOne, Cut(shape.record, shape.length - 1));
        EXPECT_TRUE(test::ReadRecord(shortOne).empty());
        ::close(shortOne);
        const int whole = ConnectFrom("127.0.0.1", port);
        test::SendBytes(whole, shape.record);
        const auto reply = test::ReadRecord(whole);
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(reply[kQueryCommandAt], command);
        ::close(whole);
    }
}

TEST_F(FileServerFlood, AClientThatNeverReadsHoldsABoundedBufferAndGetsEveryReplyInTurn) {
    // Each description opens the release at its start again: seven rounds of 72 chunks make
    // 504 replies of 128 KiB from one 9 MiB file, 63 MiB for 42 KiB of requests.
    constexpr int kChunksPerRound = 72;
    const auto release = Release("dravmer", kChunksPerRound * kQueryMaxChunk);
    Start();
    const int fd = ConnectFrom("127.0.0.1", m_server->TcpPort(), 30);
    std::vector<std::uint8_t> requests;
    for (int round = 0; round < 7; ++round) {
        const auto d = BuildTextRecord(kQcDescribe, 0, "pc", "dravmer");
        requests.insert(requests.end(), d.begin(), d.end());
        const auto chunk = BuildBareRecord(kQcChunk, 0, "");
        for (int i = 0; i < kChunksPerRound; ++i) {
            requests.insert(requests.end(), chunk.begin(), chunk.end());
        }
    }
    test::SendBytes(fd, requests);
    // The replies fill the socket's buffers, then the connection's own up to its bound, and
    // there the server stops answering.
    ASSERT_TRUE(Eventually([&] { return m_server->PeakPendingReplies() >= kMaxPendingReplies; }))
        << "peak " << m_server->PeakPendingReplies();
    EXPECT_LE(m_server->PeakPendingReplies(),
              kMaxPendingReplies + static_cast<std::size_t>(kQueryBufferSize));

    // Read now, every reply comes in order, each chunk the release's bytes.
    for (int round = 0; round < 7; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto reply = test::ReadRecord(fd);
        ASSERT_EQ(reply.size(), static_cast<std::size_t>(kQueryPayloadAt + kFileDescriptionSize));
        ASSERT_EQ(reply[kQueryCommandAt], kQcDescribe);
        for (int i = 0; i < kChunksPerRound; ++i) {
            reply = test::ReadRecord(fd);
            ASSERT_EQ(reply.size(), static_cast<std::size_t>(28 + kQueryMaxChunk)) << i;
            ASSERT_EQ(std::memcmp(reply.data() + kQueryChunkAt,
                                  release.data() + static_cast<std::size_t>(i) * kQueryMaxChunk,
                                  kQueryMaxChunk),
                      0)
                << i;
        }
    }
    test::SendBytes(fd, BuildBareRecord(kQcServerTime, 0, "pc"));
    const auto time = test::ReadRecord(fd);
    ASSERT_FALSE(time.empty());
    EXPECT_EQ(time[kQueryResultAt], kQrOk);
    EXPECT_LE(m_server->PeakPendingReplies(),
              kMaxPendingReplies + static_cast<std::size_t>(kQueryBufferSize));
    ::close(fd);
}

// Four addresses open ten connections each and ask for the server's time, as often as a
// request a second keeps them from ever being the quietest, or describe the release as a bench
// would; a bench on a fifth address.
TEST_F(FileServerFlood, AnAddressHoldsItsLimitAndAFullServerLetsABenchInBeforeItsFlood) {
    const auto release = Release("dravmer", 3 * kQueryMaxChunk + 5);
    m_options.evictQuietMs = 600000;  // never quiet long enough to be let go for that
    m_options.evictUnprovenMs = 0;
    for (const bool describing : {false, true}) {
        SCOPED_TRACE(describing ? "a flood that describes the release"
                                : "a flood of clock requests");
        Start();
        const int port = m_server->TcpPort();
        const auto request = describing ? BuildTextRecord(kQcDescribe, 0, "flood", "dravmer")
                                        : BuildBareRecord(kQcServerTime, 0, "flood");
        const auto answered = [&](int fd) {
            test::SendBytes(fd, request);
            const auto reply = test::ReadRecord(fd);
            return !reply.empty() && reply[kQueryResultAt] == kQrOk;
        };
        std::vector<std::vector<int>> admitted(4);
        for (int a = 0; a < 4; ++a) {
            const std::string from = "127.0.0." + std::to_string(2 + a);
            for (int i = 0; i < 10; ++i) {
                const int fd = ConnectFrom(from.c_str(), port);
                if (answered(fd)) {
                    admitted[static_cast<std::size_t>(a)].push_back(fd);
                } else {
                    ::close(fd);  // refused
                }
            }
            EXPECT_EQ(admitted[static_cast<std::size_t>(a)].size(), 8u) << from;
        }
        ASSERT_EQ(m_server->ClientCount(), m_options.maxClients);

        // The bench takes the place of the flood's connection there longest: without a real
        // request, or else of an address holding the most.
        CQueryClient bench;
        EXPECT_TRUE(BenchServed(bench, release));
        EXPECT_TRUE(ClosedByServer(admitted[0][0]));
        // The flood comes back: it takes the next clock flood connection's place, never the
        // bench's; a describing flood that holds no more than the bench's address is refused.
        const int again = ConnectFrom("127.0.0.2", port);
        EXPECT_EQ(answered(again), !describing);
        if (!describing) {
            EXPECT_TRUE(ClosedByServer(admitted[0][1]));
        }
        SServerTime t;
        EXPECT_EQ(bench.ServerTime(t), kQrOk);
        for (std::size_t i = 2; i < 8; ++i) EXPECT_TRUE(answered(admitted[0][i])) << i;
        EXPECT_LE(m_server->ClientCount(), m_options.maxClients);
        for (auto& fds : admitted) {
            for (const int fd : fds) ::close(fd);
        }
        ::close(again);
        bench.Disconnect();
        m_server.reset();
    }
}

}  // namespace
}  // namespace dravmer
