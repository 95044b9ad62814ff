#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <chrono>
#include <thread>

#include "test_server.h"
#include "update/query_client.h"

namespace dravmer {
namespace {

using test::CScriptedServer;
using test::ReadRecord;
using test::SendBytes;

std::vector<std::uint8_t> DescriptionReply(int size, int major, int minor) {
    SFileDescription d;
    d.entry.SetName("dravmer");
    d.entry.major = static_cast<std::uint8_t>(major);
    d.entry.minor = static_cast<std::uint8_t>(minor);
    d.size = size;
    std::uint8_t raw[kFileDescriptionSize];
    EncodeFileDescription(d, raw);
    return BuildPayloadRecord(kQcDescribe, 0, {}, raw, sizeof raw);
}

TEST(QueryClient, ConnectFailuresHaveTheirCodes) {
    CQueryClient client;
    EXPECT_EQ(client.Connect(), kQrNoServer);
    client.SetServer("no-such-host.invalid", 34001);
    EXPECT_EQ(client.Connect(), kQrHostLookup);
    // A port nobody listens on.
    int port = 0;
    std::string error;
    const int fd = ListenTcp("127.0.0.1", port, error);
    ::close(fd);
    client.SetServer("127.0.0.1", port);
    EXPECT_EQ(client.Connect(), kQrConnect);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.Disconnect(), kQrNotConnected);
}

TEST(QueryClient, ConnectWithinGivesUpInTimeAndLeavesNothingConnected) {
    // A server that accepts nobody: once its queue is full, connections stay pending.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::vector<CQueryClient> fillers(3);
    for (auto& f : fillers) {
        f.SetServer("127.0.0.1", ntohs(a.sin_port));
        f.ConnectWithin(200);
    }
    CQueryClient client;
    client.SetServer("127.0.0.1", ntohs(a.sin_port));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.ConnectWithin(CQueryClient::kConnectWithinMs), -1);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    EXPECT_FALSE(client.IsConnected());
    ::close(listener);
}

TEST(QueryClient, RequestBeforeConnectSendsNothing) {
    CQueryClient client;
    SFileDescription d;
    EXPECT_EQ(client.Describe("dravmer", d), kQrNotConnected);
    std::vector<std::uint8_t> buffer;
    EXPECT_EQ(client.Download(buffer, 10), -1);
    EXPECT_EQ(client.LastResult(), kQrNotConnected);
    EXPECT_EQ(client.Log("x"), kQrNotConnected);
}

TEST(QueryClient, RecordSplitOverReadsIsAssembled) {
    CScriptedServer server([](int fd) {
        const auto request = ReadRecord(fd);
        EXPECT_EQ(request[kQueryCommandAt], kQcDescribe);
        EXPECT_EQ(RecordText(request.data(), static_cast<int>(request.size())), "dravmer");
        const auto reply = DescriptionReply(4000, 5, 44);
        // In pieces of 7 bytes with pauses, so that every read brings a part.
        for (std::size_t at = 0; at < reply.size(); at += 7) {
            SendBytes(fd, std::vector<std::uint8_t>(reply.begin() + static_cast<long>(at),
                                                    reply.begin() + static_cast<long>(std::min(at + 7, reply.size()))));
            if (at % 70 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ReadRecord(fd);
    });
    CQueryClient client;
    client.SetServer("127.0.0.1", server.Port());
    ASSERT_EQ(client.Connect(), kQrOk);
    EXPECT_EQ(client.Connect(), kQrOk);  // already connected
    SFileDescription d;
    ASSERT_EQ(client.Describe("dravmer", d), kQrOk);
    EXPECT_EQ(d.size, 4000);
    EXPECT_EQ(d.entry.Version(), 5 * 256 + 44);
    EXPECT_EQ(client.Disconnect(), kQrOk);
}

TEST(QueryClient, LateReplyTimesOutAndDoesNotAnswerTheNextRequest) {
    CScriptedServer server([](int fd) {
        ReadRecord(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(2300));
        SendBytes(fd, DescriptionReply(1, 9, 9));  // too late for the first request
        const auto second = ReadRecord(fd);
        EXPECT_EQ(second[kQueryCommandAt], kQcLog);
        SendBytes(fd, BuildBareRecord(kQcLog, 0, {}));
        ReadRecord(fd);
    });
    CQueryClient client;
    client.SetServer("127.0.0.1", server.Port());
    ASSERT_EQ(client.Connect(), kQrOk);
    SFileDescription d;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Describe("dravmer", d), kQrReplyTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
    EXPECT_TRUE(client.IsConnected());  // a time-out leaves the connection open
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(client.Log("after"), kQrOk);
}

TEST(QueryClient, ReplyWithoutTagAndServerResultsAndClosedConnection) {
    CScriptedServer server([](int fd) {
        auto reply = BuildBareRecord(kQcLog, 0, {});
        reply[0] = 'X';
        ReadRecord(fd);
        SendBytes(fd, reply);  // no tag: 3
        ReadRecord(fd);
        reply[kQueryCommandAt] = kQcListFiles;
        SendBytes(fd, reply);  // no tag on a list: 7
        ReadRecord(fd);
        SendBytes(fd, BuildBareRecord(kQcDescribe, kQrFileOpen, {}));  // the server's result
        ReadRecord(fd);
        // closes while the request waits
    });
    CQueryClient client;
    client.SetServer("127.0.0.1", server.Port());
    ASSERT_EQ(client.Connect(), kQrOk);
    EXPECT_EQ(client.Log("x"), kQrUnknown);
    EXPECT_EQ(client.ListFiles(), kQrNetwork);
    SFileDescription d;
    EXPECT_EQ(client.Describe("missing", d), kQrFileOpen);
    EXPECT_EQ(client.Log("y"), kQrServerClosed);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.Log("z"), kQrNotConnected);
}

TEST(QueryClient, DownloadEndsOnTheFirstShortChunkAndRefusesMoreThanDescribed) {
    // 131072 bytes: one full chunk, then an empty one ends the file.
    int chunkRequests = 0;
    {
        CScriptedServer server([&](int fd) {
            std::vector<std::uint8_t> full(kQueryMaxChunk, 0x5A);
            for (;;) {
                const auto request = ReadRecord(fd);
                if (request.empty()) return;
                ++chunkRequests;
                if (chunkRequests == 1) {
                    SendBytes(fd, BuildChunkRecord(kQcChunk, 0, full.data(), kQueryMaxChunk));
                } else {
                    SendBytes(fd, BuildChunkRecord(kQcChunk, 0, nullptr, 0));
                }
            }
        });
        CQueryClient client;
        client.SetServer("127.0.0.1", server.Port());
        std::vector<int> progress;
        client.SetProgress([&](int p) { progress.push_back(p); });
        ASSERT_EQ(client.Connect(), kQrOk);
        std::vector<std::uint8_t> buffer;
        EXPECT_EQ(client.Download(buffer, kQueryMaxChunk), kQueryMaxChunk);
        EXPECT_EQ(buffer.size(), static_cast<std::size_t>(kQueryMaxChunk));
        EXPECT_EQ(buffer.back(), 0x5A);
        EXPECT_EQ(progress, (std::vector<int>{100, 100}));
        client.Disconnect();
    }
    EXPECT_EQ(chunkRequests, 2);

    // A server that keeps sending full chunks beyond the described size is refused.
    CScriptedServer endless([](int fd) {
        std::vector<std::uint8_t> full(kQueryMaxChunk, 1);
        while (!ReadRecord(fd).empty()) {
            SendBytes(fd, BuildChunkRecord(kQcChunk, 0, full.data(), kQueryMaxChunk));
        }
    });
    CQueryClient client;
    client.SetServer("127.0.0.1", endless.Port());
    ASSERT_EQ(client.Connect(), kQrOk);
    std::vector<std::uint8_t> buffer;
    EXPECT_EQ(client.Download(buffer, 200000), -1);
    EXPECT_EQ(client.LastResult(), kQrFileRead);
}

}  // namespace
}  // namespace dravmer
