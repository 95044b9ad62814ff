#include "sim/sim_tcp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "link/frame.h"
#include "sim/sim_options.h"

namespace dravmer::sim {
namespace {

// Generous bound for a reply on a loaded machine; never reached when things work.
constexpr int kReplyWaitMs = 3000;

Frame Request(std::uint32_t address, std::uint8_t command = 0) {
    Frame f(2 * kBlockSize, 0);
    PutLe32(f.data(), address);
    f[4] = 2;
    f[5] = command;
    f[6] = 0x40;
    SealFrame(f.data());
    return f;
}

bool Valid(const Frame& f) {
    return !f.empty() && FrameLengthFromCrcSearch(f.data(), static_cast<int>(f.size())) ==
                             static_cast<int>(f.size());
}

class CClient {
public:
    explicit CClient(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CClient() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool Connected() const { return m_fd >= 0; }
    bool Send(const Frame& bytes) {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Reads until length bytes arrived; fewer when the server closes or nothing comes.
    Frame Read(std::size_t length) {
        Frame got;
        while (got.size() < length) {
            pollfd in{m_fd, POLLIN, 0};
            if (::poll(&in, 1, kReplyWaitMs) <= 0) break;
            std::uint8_t chunk[512];
            const ssize_t n = ::recv(m_fd, chunk, std::min(sizeof chunk, length - got.size()), 0);
            if (n <= 0) break;
            got.insert(got.end(), chunk, chunk + n);
        }
        return got;
    }
    // True when the server has closed this connection.
    bool ClosedByServer() {
        pollfd in{m_fd, POLLIN, 0};
        if (::poll(&in, 1, kReplyWaitMs) <= 0) return false;
        std::uint8_t byte;
        return ::recv(m_fd, &byte, 1, 0) == 0;
    }

private:
    int m_fd = -1;
};

class SimTcp : public ::testing::Test {
protected:
    void SetUp() override {
        line.AddDevices(2, 100, 1);
        server.SetRealTimeSeconds(false);
        ASSERT_TRUE(server.Listen(0)) << server.Error();
        ASSERT_GT(server.TcpPort(), 0);
        ASSERT_TRUE(server.Start());
    }
    void TearDown() override { EXPECT_EQ(server.Stop(), 0); }

    CSimLine line;
    CSimTcpServer server{line, 115200};
};

TEST_F(SimTcp, AnswersARequestFrameWithACrcValidReply) {
    CClient client(server.TcpPort());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(Request(101)));
    const Frame reply = client.Read(16);
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_TRUE(Valid(reply));
    EXPECT_EQ(GetLe32(reply.data()), 101u);
    EXPECT_EQ(reply[5], 0x80);
    EXPECT_EQ(GetLe32(reply.data() + kPayloadOffset), 101u);
}

TEST_F(SimTcp, FindsFramesAfterNoiseAndAcrossWritesAndAnswersEachInTurn) {
    CClient client(server.TcpPort());
    ASSERT_TRUE(client.Connected());
    const Frame first = Request(100);
    Frame bytes = {0x00, 0x41, 0x02, 0x07};  // noise: no block count and CRC agree here
    bytes.insert(bytes.end(), first.begin(), first.begin() + 7);
    ASSERT_TRUE(client.Send(bytes));
    Frame rest(first.begin() + 7, first.end());
    const Frame second = Request(101);
    rest.insert(rest.end(), second.begin(), second.end());
    ASSERT_TRUE(client.Send(rest));
    const Frame replies = client.Read(32);
    ASSERT_EQ(replies.size(), 32u);
    const Frame a(replies.begin(), replies.begin() + 16), b(replies.begin() + 16, replies.end());
    EXPECT_TRUE(Valid(a));
    EXPECT_TRUE(Valid(b));
    EXPECT_EQ(GetLe32(a.data()), 100u);
    EXPECT_EQ(GetLe32(b.data()), 101u);
}

TEST_F(SimTcp, ANewConnectionReplacesTheOldOne) {
    CClient old(server.TcpPort());
    ASSERT_TRUE(old.Connected());
    ASSERT_TRUE(old.Send(Request(100)));
    ASSERT_EQ(old.Read(16).size(), 16u);

    CClient fresh(server.TcpPort());
    ASSERT_TRUE(fresh.Connected());
    EXPECT_TRUE(old.ClosedByServer());
    ASSERT_TRUE(fresh.Send(Request(101)));
    const Frame reply = fresh.Read(16);
    ASSERT_TRUE(Valid(reply));
    EXPECT_EQ(GetLe32(reply.data()), 101u);
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(SimTcp, ServesTheNextClientAfterOneHangsUp) {
    {
        CClient gone(server.TcpPort());
        ASSERT_TRUE(gone.Connected());
        ASSERT_TRUE(gone.Send(Request(100)));  // its reply has nowhere to go
    }
    CClient next(server.TcpPort());
    ASSERT_TRUE(next.Connected());
    ASSERT_TRUE(next.Send(Request(100)));
    EXPECT_TRUE(Valid(next.Read(16)));
}

TEST_F(SimTcp, OperatorCommandsShapeTheRepliesOnTheWire) {
    CClient client(server.TcpPort());
    ASSERT_TRUE(client.Connected());
    SSimCommand command;
    std::string answer;
    // A lost reply leaves nothing on the wire: the next frame read answers the next request.
    ASSERT_TRUE(ParseSimCommand("drop 1", command, answer));
    ASSERT_TRUE(ApplySimCommand(command, line, answer));
    ASSERT_TRUE(client.Send(Request(100)));
    ASSERT_TRUE(client.Send(Request(101)));
    Frame reply = client.Read(16);
    ASSERT_TRUE(Valid(reply));
    EXPECT_EQ(GetLe32(reply.data()), 101u);

    ASSERT_TRUE(ParseSimCommand("crc 1", command, answer));
    ASSERT_TRUE(ApplySimCommand(command, line, answer));
    ASSERT_TRUE(client.Send(Request(100)));
    reply = client.Read(16);
    EXPECT_EQ(reply.size(), 16u);
    EXPECT_FALSE(Valid(reply));

    ASSERT_TRUE(ParseSimCommand("off 100", command, answer));
    ASSERT_TRUE(ApplySimCommand(command, line, answer));
    ASSERT_TRUE(client.Send(Request(100)));
    ASSERT_TRUE(client.Send(Request(101)));
    reply = client.Read(16);
    ASSERT_TRUE(Valid(reply));
    EXPECT_EQ(GetLe32(reply.data()), 101u);
}

TEST(SimTcpListen, ABusyPortIsReportedNotServed) {
    CSimLine line;
    CSimTcpServer first(line);
    ASSERT_TRUE(first.Listen(0)) << first.Error();
    CSimTcpServer second(line);
    EXPECT_FALSE(second.Listen(first.TcpPort()));
    EXPECT_NE(second.Error().find(std::to_string(first.TcpPort())), std::string::npos);
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.Stop(), 1);  // nothing to serve: the thread ends with an error
}

TEST(SimFrameAssembler, SkipsNoiseByteByByteAndKeepsAPartialFrame) {
    CSimFrameAssembler assembler;
    const Frame frame = Request(100);
    // Announces two blocks but fails the CRC: the firmware slides on instead of swallowing the
    // frame that follows. (A byte that looks like a larger block count would make it wait for
    // that many bytes, as the real firmware does, until a pause clears it.)
    Frame bytes(16, 0);
    bytes[4] = 2;
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    bytes.insert(bytes.end(), frame.begin(), frame.begin() + 10);
    const auto frames = assembler.Feed(bytes.data(), bytes.size());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], frame);
    EXPECT_FALSE(assembler.Empty());
    const auto rest = assembler.Feed(frame.data() + 10, frame.size() - 10);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0], frame);
    EXPECT_TRUE(assembler.Empty());
}

TEST(SimFrameAssembler, ClearDropsAHalfFrame) {
    CSimFrameAssembler assembler;
    const Frame frame = Request(100);
    EXPECT_TRUE(assembler.Feed(frame.data(), 9).empty());
    assembler.Clear();
    // Without the Clear the stale head would spoil the frame sent again after a pause.
    const auto again = assembler.Feed(frame.data(), frame.size());
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0], frame);
}

}  // namespace
}  // namespace dravmer::sim
