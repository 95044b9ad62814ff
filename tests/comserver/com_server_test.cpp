#include "comserver/com_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "com_test_support.h"
#include "link/link_r307.h"
#include "link/port.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer {
namespace {

using comserver::CComServer;
using comserver::SComServerOptions;

class ComServer : public ::testing::Test {
protected:
    void StartWith(std::vector<std::string> lines, int replyTimeoutMs = 300) {
        SComServerOptions o;
        o.lines = std::move(lines);
        o.listen = "127.0.0.1";
        o.port = 0;
        o.replyTimeoutMs = replyTimeoutMs;
        m_server = std::make_unique<CComServer>(o);
        std::string error;
        ASSERT_TRUE(m_server->Listen(error)) << error;
        ASSERT_TRUE(m_server->Start());
    }
    void TearDown() override { m_server.reset(); }
    std::unique_ptr<CComServer> m_server;
};

// The bench's own port, through the server, to simulated devices on a pseudo-terminal.
class SharedSimulatedLine : public ComServer {
protected:
    void SetUp() override {
        line.AddDevices(2, 6001, 1);
        ASSERT_TRUE(pty.Open()) << pty.Error();
        ASSERT_TRUE(pty.Start());
        StartWith({pty.SlavePath()});
        for (int i = 0; i < 2; ++i) {
            SPortSettings s = SPortSettings::Defaults(i);
            s.linkMode = kLinkModeServer;
            s.useServer = true;
            s.serverName = "127.0.0.1";
            s.serverPort = 0;  // the server's COM1
            ports[i].SetSettings(s);
            ports[i].SetComServerTcpPort(m_server->TcpPort());
            links[i].AttachPort(&ports[i]);
        }
    }
    void TearDown() override {
        for (auto& p : ports) p.Close();
        m_server.reset();
    }
    sim::CSimLine line;
    sim::CSimPtyServer pty{line};
    CLinkPort ports[2] = {CLinkPort(0), CLinkPort(1)};
    CLinkR307 links[2];
};

TEST_F(SharedSimulatedLine, TwoBenchPortsReachTheDevicesAndSeeEachOther) {
    ASSERT_TRUE(ports[0].Open()) << WordOpenResult(ports[0].LastOpenResult(), Language::Russian);
    ASSERT_TRUE(ports[1].Open()) << WordOpenResult(ports[1].LastOpenResult(), Language::Russian);
    for (auto& link : links) {
        std::uint32_t answered = 0;
        EXPECT_EQ(link.ReadAddress(6002, answered), 0);
        EXPECT_EQ(answered, 6002u);
        link.SetPollingMark();
        std::uint8_t adc[kFrameBufferSize];
        EXPECT_EQ(link.ReadAdc(6001, 0, adc), 0);
    }
    ports[0].QueryClients();
    const std::string host = HostName();
    EXPECT_EQ(ports[0].ClientsText(), "1. " + host + " 2. " + host + " ");
    EXPECT_EQ(ports[0].LoadText().substr(ports[0].LoadText().size() - 3), "/ 2");
    ports[1].Close();
    for (int i = 0; i < 100 && m_server->Line(0).Clients().size() != 1; ++i) usleep(10000);
    ports[0].QueryClients();
    EXPECT_EQ(ports[0].ClientsText(), "1. " + host + " ");
}

TEST_F(SharedSimulatedLine, ConcurrentBenchesGetRepliesOrOverloadNeverGarbage) {
    ASSERT_TRUE(ports[0].Open());
    ASSERT_TRUE(ports[1].Open());
    std::atomic<int> good[2] = {0, 0};
    std::atomic<int> other{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, i] {
            for (int n = 0; n < 40; ++n) {
                std::uint32_t answered = 0;
                const int rc = links[i].ReadAddress(6001 + static_cast<std::uint32_t>(i), answered);
                if (rc == 0 && answered == 6001u + static_cast<std::uint32_t>(i)) {
                    ++good[i];
                } else if (rc != kLinkServerBusy) {
                    ++other;
                }
                usleep(3000);  // benches poll at their period, not back to back
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_GT(good[0].load(), 0);
    EXPECT_GT(good[1].load(), 0);
    EXPECT_EQ(other.load(), 0);
    EXPECT_GT(m_server->Line(0).Load(), 0.0f);
}

TEST_F(ComServer, RequestFindingTheLineTakenGetsOverloadAtOnce) {
    // A line whose device never answers: each exchange holds it for the whole reply time-out.
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    StartWith({name}, 800);
    CRawClient a(m_server->TcpPort()), b(m_server->TcpPort());
    ASSERT_EQ(a.Attach(0, "bench-a"), kCsStatusOk);
    ASSERT_EQ(b.Attach(0, "bench-b"), kCsStatusOk);
    SComServerMessage frame;
    frame.type = kCsFrame;
    frame.data.assign(8, 0x11);
    a.Send(BuildComServerMessage(frame));
    usleep(150000);
    const auto start = std::chrono::steady_clock::now();
    b.Send(BuildComServerMessage(frame));
    const SComServerMessage busy = b.Next();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(busy.type, kCsFrame);
    EXPECT_EQ(busy.status, kCsStatusOverload);
    EXPECT_EQ(busy.clients, 2);
    const SComServerMessage silent = a.Next();  // the time-out passed: no data, not overload
    EXPECT_EQ(silent.status, kCsStatusOk);
    EXPECT_TRUE(silent.data.empty());
    ::close(master);
}

TEST_F(ComServer, UnknownOrUnopenableLineIsRefusedAndBrokenMessagesCloseTheConnection) {
    StartWith({"/nonexistent/ttyX"});
    EXPECT_FALSE(m_server->Line(0).IsOpen());
    {
        CRawClient c(m_server->TcpPort());
        EXPECT_EQ(c.Attach(0, "bench"), kCsStatusPortClosed);
    }
    {
        CRawClient c(m_server->TcpPort());
        EXPECT_EQ(c.Attach(7, "bench"), kCsStatusPortClosed);
        // A frame before any line is attached is answered without data.
        SComServerMessage frame;
        frame.type = kCsFrame;
        frame.data.assign(8, 1);
        c.Send(BuildComServerMessage(frame));
        EXPECT_EQ(c.Next().status, kCsStatusPortClosed);
    }
    {
        CRawClient c(m_server->TcpPort());
        c.Next();
        auto bytes = BuildComServerConnect(0, "x", 9600);
        bytes[2] = '!';
        c.Send(bytes);
        EXPECT_TRUE(c.ClosedByServer());
    }
    {
        CRawClient c(m_server->TcpPort());
        c.Next();
        auto bytes = BuildComServerConnect(0, "x", 9600);
        PutLe32(bytes.data() + 15, 100000);
        c.Send(bytes);
        EXPECT_TRUE(c.ClosedByServer());
    }
    CRawClient after(m_server->TcpPort());
    EXPECT_EQ(after.Attach(0, "bench"), kCsStatusPortClosed);
}

}  // namespace
}  // namespace dravmer
