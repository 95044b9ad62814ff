#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "link/com_server_message.h"
#include "link/link_r307.h"
#include "link/port.h"
#include "platform/worker_thread.h"
#include "sim/sim_com_server.h"
#include "sim/sim_line.h"

namespace dravmer {
namespace {

TEST(ComServerMessage, FrameMessageRoundTrip) {
    SComServerMessage m;
    m.type = kCsFrame;
    m.status = kCsStatusOverload;
    m.load = 37.5f;
    m.clients = 3;
    m.data = {1, 2, 3, 4, 5, 6, 7, 8};
    const auto bytes = BuildComServerMessage(m);
    ASSERT_EQ(bytes.size(), 8u + 31u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "COMServerQuery");
    EXPECT_EQ(GetLe32(bytes.data() + 15), 39u);
    EXPECT_EQ(GetLe32(bytes.data() + 26), 8u);
    const auto parsed = ParseComServerMessages(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].type, kCsFrame);
    EXPECT_EQ(parsed[0].status, kCsStatusOverload);
    EXPECT_FLOAT_EQ(parsed[0].load, 37.5f);
    EXPECT_EQ(parsed[0].clients, 3);
    EXPECT_EQ(parsed[0].data, m.data);
}

TEST(ComServerMessage, MismatchedLengthOrTagIsIgnoredWholeMessagesBackToBackAreTaken) {
    SComServerMessage m;
    m.type = kCsStatus;
    auto bytes = BuildComServerMessage(m);
    auto two = bytes;
    two.insert(two.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(ParseComServerMessages(two.data(), static_cast<int>(two.size())).size(), 2u);

    auto longer = bytes;
    PutLe32(longer.data() + 15, static_cast<std::uint32_t>(bytes.size() + 1));
    EXPECT_TRUE(ParseComServerMessages(longer.data(), static_cast<int>(longer.size())).empty());
    auto trailing = bytes;
    trailing.push_back(0);
    EXPECT_TRUE(ParseComServerMessages(trailing.data(), static_cast<int>(trailing.size())).empty());
    auto badTag = bytes;
    badTag[0] = 'X';
    EXPECT_TRUE(ParseComServerMessages(badTag.data(), static_cast<int>(badTag.size())).empty());
}

TEST(ComServerMessage, ConnectAnswerCarriesPortHostAndSpeedCode) {
    const auto bytes = BuildComServerConnect(2, std::string(200, 'h'), 57600);
    ASSERT_EQ(bytes.size(), 160u);
    EXPECT_EQ(bytes[19], kCsConnect);
    EXPECT_EQ(bytes[30], 2);
    EXPECT_EQ(bytes[31 + 125], 'h');
    EXPECT_EQ(bytes[157], '_');
    EXPECT_EQ(bytes[158], 3);
    EXPECT_EQ(ComServerSpeedCode(9600), 0);
    EXPECT_EQ(ComServerSpeedCode(115200), 4);
    EXPECT_EQ(ComServerSpeedCode(14400), 5);
}

class ComServerPort : public ::testing::Test {
protected:
    void SetUp() override {
        line.AddDevices(2, 6001, 1);
        ASSERT_TRUE(server.Listen(0));
        ASSERT_TRUE(server.Start());
        settings = SPortSettings::Defaults(1);
        settings.linkMode = kLinkModeServer;
        settings.useServer = true;
        settings.serverName = "127.0.0.1";
        port.SetSettings(settings);
        port.SetComServerTcpPort(server.TcpPort());
        port.SetOpenListener([&](int, int status) { notices.push_back(status); });
        link.AttachPort(&port);
    }

    sim::CSimLine line;
    sim::CSimComServer server{line};
    SPortSettings settings;
    CLinkPort port{1};
    CLinkR307 link;
    std::vector<int> notices;
};

TEST_F(ComServerPort, FramesTravelThroughTheServer) {
    ASSERT_TRUE(port.Open()) << WordOpenResult(port.LastOpenResult(), Language::Russian);
    EXPECT_EQ(notices, std::vector<int>{0});
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_EQ(server.LastClientName(), host);
    std::uint32_t answered = 0;
    EXPECT_EQ(link.ReadAddress(6002, answered), 0);
    EXPECT_EQ(answered, 6002u);
    EXPECT_EQ(server.PollFrames(), 0);

    link.SetPollingMark();
    std::uint8_t adc[kFrameBufferSize];
    EXPECT_EQ(link.ReadAdc(6001, 0, adc), 0);
    EXPECT_EQ(server.PollFrames(), 1);

    port.QueryClients();
    EXPECT_EQ(port.ClientsText(), std::string("1. ") + host + " ");
    EXPECT_EQ(port.LoadText(), "12% / 1");
    EXPECT_EQ(port.StatusText(), "127.0.0.1 (1)");
}

TEST_F(ComServerPort, OverloadGivesServerBusy) {
    ASSERT_TRUE(port.Open());
    server.SetOverloads(3);
    std::uint32_t answered = 0;
    EXPECT_EQ(link.ReadAddress(6001, answered), kLinkServerBusy);
    SLinkDevStat s;
    link.GetDeviceStat(6001, s);
    EXPECT_EQ(s.w[SLinkDevStat::CodeWord(kLinkServerBusy)], 3u);
    EXPECT_EQ(link.ReadAddress(6001, answered), 0);
}

TEST_F(ComServerPort, ServerWithClosedPortRefuses) {
    server.SetPortOpen(false);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenResult(), OpenResult::RemoteFailed);
    EXPECT_TRUE(notices.empty());
}

TEST_F(ComServerPort, BadNameAndMissingServer) {
    settings.serverName = "";
    port.SetSettings(settings);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenResult(), OpenResult::BadServerName);

    settings.serverName = "127.0.0.1";
    port.SetSettings(settings);
    server.Stop();
    int unused = 0;
    {
        // A port that was just free: nobody listens on it any more.
        sim::CSimLine other;
        sim::CSimComServer closed(other);
        ASSERT_TRUE(closed.Listen(0));
        unused = closed.TcpPort();
    }
    port.SetComServerTcpPort(unused);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenResult(), OpenResult::ServerNotFound);
}

TEST_F(ComServerPort, LostConnectionClosesThePort) {
    ASSERT_TRUE(port.Open());
    server.Stop();  // the server ends its client connection
    for (int i = 0; i < 400 && port.IsOpen(); ++i) usleep(5000);
    EXPECT_FALSE(port.IsOpen());
    // Why the port is not open is said as such, never with the success of its opening.
    EXPECT_EQ(port.OpenResultText(), "Соединение потеряно.");
    EXPECT_EQ(port.OpenResultText(Language::English), "The connection was lost.");
    std::uint32_t answered = 0;
    EXPECT_EQ(link.ReadAddress(6001, answered), kLinkNoLink);
    port.Close();
    EXPECT_EQ(port.OpenResultText(), "Порт закрыт.");
    EXPECT_EQ(port.OpenResultText(Language::English), "The port is closed.");
}


// A server that greets, takes the client in, and then never answers a frame: a COM server
// whose process was stopped, or a machine that froze.
class CFrozenServer {
public:
    CFrozenServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 1);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            m_client = ::accept(m_listen, nullptr, nullptr);
            if (m_client < 0) return;
            SComServerMessage hello;
            hello.type = kCsHello;
            auto bytes = BuildComServerMessage(hello);
            ::send(m_client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            std::uint8_t buffer[kComServerMaxMessage];
            if (::recv(m_client, buffer, sizeof buffer, 0) <= 0) return;  // the client's name
            SComServerMessage verdict;
            verdict.type = kCsConnect;
            bytes = BuildComServerMessage(verdict);
            ::send(m_client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            // Frames are read and never answered, until the test ends.
            while (::recv(m_client, buffer, sizeof buffer, 0) > 0) {
            }
        });
    }
    ~CFrozenServer() {
        ::shutdown(m_listen, SHUT_RDWR);
        if (m_client >= 0) ::shutdown(m_client, SHUT_RDWR);
        m_thread.join();
        if (m_client >= 0) ::close(m_client);
        ::close(m_listen);
    }
    int Port() const { return m_port; }

private:
    int m_listen = -1;
    int m_client = -1;
    int m_port = 0;
    std::thread m_thread;
};

// A worker that asks one device over the port until it is stopped.
class CAsker : public CWorkerThread {
public:
    explicit CAsker(CLinkR307& link) : m_link(link) {}
    ~CAsker() override { Stop(); }
    std::atomic<int> asked{0};

protected:
    int Run() override {
        while (!StopRequested()) {
            ++asked;
            std::uint32_t answered = 0;
            m_link.ReadAddress(6001, answered);
        }
        return 7;
    }

private:
    CLinkR307& m_link;
};

TEST(ComServerStop, AWaitForAReplyThatNeverComesEndsOnTheWorkersStop) {
    CFrozenServer frozen;
    SPortSettings settings = SPortSettings::Defaults(0);
    settings.linkMode = kLinkModeServer;
    settings.useServer = true;
    settings.serverName = "127.0.0.1";
    CLinkPort port(0);
    port.SetSettings(settings);
    port.SetComServerTcpPort(frozen.Port());
    ASSERT_TRUE(port.Open()) << WordOpenResult(port.LastOpenResult(), Language::Russian);
    CLinkR307 link;
    link.AttachPort(&port);
    CAsker asker(link);
    ASSERT_TRUE(asker.Start());
    for (int i = 0; i < 400 && asker.asked == 0; ++i) usleep(5000);
    usleep(100000);  // inside the wait for the reply (4 s) or for the pending one (2 s)
    // The reply wait alone is 4 s: a worker that ends within 2 s woke on its stop.
    EXPECT_EQ(asker.StopWithin(2000), 7);
    EXPECT_EQ(asker.asked, 1);
}

}  // namespace
}  // namespace dravmer
