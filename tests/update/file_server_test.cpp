#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "fileserver/file_server.h"
#include "test_server.h"
#include "update/query_client.h"
#include "update/sha256.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using fileserver::CFileServer;
using fileserver::SFileServerOptions;

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    return v;
}

void WriteFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class FileServer : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("fileserver-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        m_outside = m_root.parent_path() / (m_root.filename().string() + "-outside");
        fs::create_directories(m_outside);
    }
    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_root);
        fs::remove_all(m_outside);
    }
    void Start(bool allowUpload = false, int idleMs = 60000) {
        SFileServerOptions o;
        o.root = m_root;
        o.listen = "127.0.0.1";
        o.port = 0;
        o.allowUpload = allowUpload;
        o.idleTimeoutMs = idleMs;
        o.logFile = m_outside / "fileserver.log";
        m_server = std::make_unique<CFileServer>(o);
        std::string error;
        ASSERT_TRUE(m_server->Listen(error)) << error;
        m_server->Start();
    }
    void Connect(CQueryClient& client) {
        client.SetServer("127.0.0.1", m_server->TcpPort());
        ASSERT_EQ(client.Connect(), kQrOk);
    }
    // A raw connection for what the client would never send.
    int RawConnect() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(m_server->TcpPort()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        timeval tv{3, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return fd;
    }
    // True when the server closed the connection (a read gives 0) within the receive limit.
    static bool ClosedByServer(int fd) {
        std::uint8_t b[256];
        for (;;) {
            const ssize_t n = ::recv(fd, b, sizeof b, 0);
            if (n == 0) return true;
            if (n < 0) return false;
        }
    }

    fs::path m_root;
    fs::path m_outside;
    std::unique_ptr<CFileServer> m_server;
};

TEST_F(FileServer, DescribesWithManifestVersionAndDigestAndDownloadsWholeFiles) {
    const auto prog = RandomBytes(3 * kQueryMaxChunk + 17, 1);
    const auto exact = RandomBytes(kQueryMaxChunk, 2);
    WriteFile(m_root / "dravmer", prog);
    WriteFile(m_root / "exact", exact);
    WriteFile(m_root / "versions.txt", {});
    std::ofstream(m_root / "versions.txt") << "# releases\ndravmer 05.44\nbroken 5\nexact 6.0\n";
    Start();
    CQueryClient client;
    Connect(client);

    SFileDescription d;
    ASSERT_EQ(client.Describe("dravmer", d), kQrOk);
    EXPECT_EQ(d.entry.Name(), "dravmer");
    EXPECT_EQ(d.entry.major, 5);
    EXPECT_EQ(d.entry.minor, 44);
    EXPECT_EQ(d.size, static_cast<int>(prog.size()));
    EXPECT_EQ(d.entry.Sha256(), Sha256Hex(prog.data(), prog.size()));
    std::vector<std::uint8_t> got;
    ASSERT_EQ(client.Download(got, d.size), d.size);
    EXPECT_EQ(got, prog);
    // The file was closed by its short last chunk.
    EXPECT_EQ(client.Download(got, 10), -1);
    EXPECT_EQ(client.LastResult(), kQrFileNotOpen);

    ASSERT_EQ(client.Describe("exact", d), kQrOk);
    EXPECT_EQ(d.entry.Version(), 6 * 256);
    ASSERT_EQ(client.Download(got, d.size), kQueryMaxChunk);
    EXPECT_EQ(got, exact);

    EXPECT_EQ(client.Describe("missing", d), kQrFileOpen);
    EXPECT_EQ(client.FileExists("dravmer"), kQrOk);
    EXPECT_EQ(client.FileExists("missing"), kQrFileOpen);
}

TEST_F(FileServer, FileWithoutManifestLineIsVersionZeroAndListsLeaveOutTheServersOwnFiles) {
    WriteFile(m_root / "b-tool", RandomBytes(10, 3));
    WriteFile(m_root / "a-tool", RandomBytes(20, 4));
    std::ofstream(m_root / "versions.txt") << "a-tool 01.02\n";
    Start();
    CQueryClient client;
    Connect(client);
    ASSERT_EQ(client.Log("a line for the log"), kQrOk);
    ASSERT_EQ(client.ListFiles(), kQrOk);
    ASSERT_EQ(client.Files().size(), 2u);
    EXPECT_EQ(client.Files()[0].name, "a-tool");
    EXPECT_EQ(client.Files()[0].size, 20);
    ASSERT_EQ(client.ListCatalog(), kQrOk);
    ASSERT_EQ(client.Catalog().size(), 2u);
    EXPECT_EQ(client.Catalog()[0].Version(), 0x0102);
    EXPECT_EQ(client.Catalog()[1].Name(), "b-tool");
    EXPECT_EQ(client.Catalog()[1].Version(), 0);
    SServerTime t;
    ASSERT_EQ(client.ServerTime(t), kQrOk);
    EXPECT_GE(t.year, 2024);
    EXPECT_LT(t.milliseconds, 1000);
}

TEST_F(FileServer, LogLinesReachTheLogFileDecodedFromTheBenchCodePage) {
    Start();
    CQueryClient client;
    Connect(client);
    ASSERT_EQ(client.Log("Check version: Current=05.43 Server=05.44"), kQrOk);
    ASSERT_EQ(client.Log("\xcd\xee\xe2\xe0\xff"), kQrOk);  // "Новая" in Windows-1251
    const std::string log = ReadText(m_server->LogFile());
    EXPECT_NE(log.find(client.ComputerName() + ": Check version: Current=05.43 Server=05.44"),
              std::string::npos);
    EXPECT_NE(log.find("Новая"), std::string::npos);
}

TEST_F(FileServer, WritesAreRefusedUnlessAllowed) {
    WriteFile(m_root / "dravmer", RandomBytes(100, 5));
    const fs::path local = m_outside / "upload.bin";
    WriteFile(local, RandomBytes(kQueryMaxChunk * 2, 6));
    Start(false);
    CQueryClient client;
    Connect(client);
    EXPECT_EQ(client.Upload(local.string()), kQrAccessDenied);
    EXPECT_EQ(client.DeleteFile("dravmer"), kQrAccessDenied);
    SCatalogEntry c;
    c.SetName("dravmer");
    EXPECT_EQ(client.AddCatalog(c), kQrAccessDenied);
    EXPECT_EQ(client.DeleteCatalog("dravmer"), kQrAccessDenied);
    EXPECT_STREQ(QueryResultText(kQrAccessDenied), "Доступ запрещен.");
    EXPECT_TRUE(fs::exists(m_root / "dravmer"));
    EXPECT_FALSE(fs::exists(m_root / "upload.bin"));
}

TEST_F(FileServer, UploadsDeletionsAndCatalogEditsWhenAllowed) {
    const auto content = RandomBytes(kQueryMaxChunk * 2, 7);  // two full chunks and an empty one
    const fs::path local = m_outside / "upload.bin";
    WriteFile(local, content);
    Start(true);
    CQueryClient client;
    Connect(client);
    ASSERT_EQ(client.Upload(local.string()), kQrOk);
    EXPECT_EQ(client.Upload(local.string()), kQrFileExists);  // never over an existing file
    SFileDescription d;
    ASSERT_EQ(client.Describe("upload.bin", d), kQrOk);
    std::vector<std::uint8_t> got;
    ASSERT_EQ(client.Download(got, d.size), static_cast<int>(content.size()));
    EXPECT_EQ(got, content);

    SCatalogEntry c;
    c.SetName("upload.bin");
    c.major = 7;
    c.minor = 1;
    ASSERT_EQ(client.AddCatalog(c), kQrOk);
    EXPECT_EQ(client.AddCatalog(c), kQrFileExists);
    c.minor = 2;
    ASSERT_EQ(client.UpdateCatalog(c), kQrOk);
    ASSERT_EQ(client.Describe("upload.bin", d), kQrOk);
    EXPECT_EQ(d.entry.Version(), 7 * 256 + 2);
    EXPECT_EQ(ReadText(m_root / "versions.txt"), "upload.bin 07.02\n");
    ASSERT_EQ(client.ListCatalog(), kQrOk);
    ASSERT_EQ(client.DeleteCatalog("upload.bin"), kQrOk);
    EXPECT_TRUE(client.Catalog().empty());
    EXPECT_EQ(client.DeleteCatalog("upload.bin"), kQrDelete);

    ASSERT_EQ(client.ListFiles(), kQrOk);
    ASSERT_EQ(client.DeleteFile("upload.bin"), kQrOk);
    EXPECT_TRUE(client.Files().empty());
    EXPECT_FALSE(fs::exists(m_root / "upload.bin"));
    EXPECT_EQ(client.DeleteFile("upload.bin"), kQrDelete);
    // No partial upload is ever left in the folder.
    for (const auto& e : fs::directory_iterator(m_root)) {
        EXPECT_EQ(e.path().filename().string().rfind(".upload-", 0), std::string::npos);
    }
}

TEST_F(FileServer, HostileNamesNeverReachOutsideTheFolder) {
    WriteFile(m_outside / "secret", RandomBytes(10, 8));
    fs::create_symlink(m_outside / "secret", m_root / "link");
    std::ofstream(m_root / "versions.txt") << "x 01.00\n";
    Start(true);
    CQueryClient client;
    Connect(client);
    const std::string up = "../" + m_outside.filename().string() + "/secret";
    SFileDescription d;
    for (const std::string& name : {up, std::string("/etc/passwd"), std::string(".."),
                                    std::string("versions.txt"), std::string(".dravmer-fileserver.log"),
                                    std::string("")}) {
        EXPECT_EQ(client.Describe(name, d), kQrAccessDenied) << name;
        EXPECT_EQ(client.DeleteFile(name), kQrAccessDenied) << name;
    }
    EXPECT_EQ(client.Describe("link", d), kQrFileOpen);  // a link out of the folder is not followed
    EXPECT_EQ(client.DeleteFile("link"), kQrDelete);
    SCatalogEntry c;
    c.SetName("../evil");
    EXPECT_EQ(client.AddCatalog(c), kQrAccessDenied);
    // An upload under a name with a folder part is refused before anything is written.
    const fs::path local = m_outside / "payload";
    WriteFile(local, RandomBytes(10, 9));
    std::uint8_t raw[kFileEntrySize];
    EncodeFileEntry(SFileEntry{"../payload-outside", 10, 0, 0}, raw);
    const int fd = RawConnect();
    test::SendBytes(fd, BuildPayloadRecord(kQcUploadEntry, 0, "pc", raw, sizeof raw));
    const auto reply = test::ReadRecord(fd);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[kQueryResultAt], kQrAccessDenied);
    ::close(fd);
    EXPECT_TRUE(fs::exists(m_outside / "secret"));
    EXPECT_FALSE(fs::exists(m_root.parent_path() / "payload-outside"));
}

TEST_F(FileServer, BrokenRecordsCloseTheConnectionAndTheServerServesOn) {
    WriteFile(m_root / "dravmer", RandomBytes(100, 10));
    Start(false, 400);
    {  // wrong tag
        const int fd = RawConnect();
        auto r = BuildBareRecord(kQcListFiles, 0, "pc");
        r[0] = 'q';
        test::SendBytes(fd, r);
        EXPECT_TRUE(ClosedByServer(fd));
        ::close(fd);
    }
    {  // a length field beyond the record buffer
        const int fd = RawConnect();
        auto r = BuildBareRecord(kQcListFiles, 0, "pc");
        const std::int32_t huge = 0x7FFFFFFF;
        std::memcpy(r.data() + kQueryLengthAt, &huge, 4);
        test::SendBytes(fd, r);
        EXPECT_TRUE(ClosedByServer(fd));
        ::close(fd);
    }
    {  // a length field that promises more than ever comes: the idle limit ends it
        const int fd = RawConnect();
        auto r = BuildBareRecord(kQcListFiles, 0, "pc");
        const std::int32_t more = 5000;
        std::memcpy(r.data() + kQueryLengthAt, &more, 4);
        test::SendBytes(fd, r);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(ClosedByServer(fd));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
        ::close(fd);
    }
    {  // a text that is not terminated inside its record, an unknown command
        const int fd = RawConnect();
        auto r = BuildTextRecord(kQcDescribe, 0, "pc", "dravmer");
        r.back() = 'x';
        test::SendBytes(fd, r);
        auto reply = test::ReadRecord(fd);
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(reply[kQueryResultAt], kQrUnknown);
        test::SendBytes(fd, BuildBareRecord(99, 0, "pc"));
        reply = test::ReadRecord(fd);
        ASSERT_FALSE(reply.empty());
        EXPECT_EQ(reply[kQueryResultAt], kQrUnknown);
        ::close(fd);
    }
    {  // a silent client is let go
        const int fd = RawConnect();
        EXPECT_TRUE(ClosedByServer(fd));
        ::close(fd);
    }
    CQueryClient client;
    Connect(client);
    SFileDescription d;
    EXPECT_EQ(client.Describe("dravmer", d), kQrOk);
}

TEST_F(FileServer, SeveralClientsAtOnce) {
    const auto prog = RandomBytes(kQueryMaxChunk * 4 + 3, 11);
    WriteFile(m_root / "dravmer", prog);
    Start();
    constexpr int kClients = 6;
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&] {
            CQueryClient client;
            client.SetServer("127.0.0.1", m_server->TcpPort());
            if (client.Connect() != kQrOk) return;
            for (int round = 0; round < 3; ++round) {
                SFileDescription d;
                std::vector<std::uint8_t> got;
                if (client.Describe("dravmer", d) != kQrOk) return;
                if (client.Download(got, d.size) != d.size || got != prog) return;
            }
            good.fetch_add(1);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), kClients);
}

}  // namespace
}  // namespace dravmer
