// The COM server against clients that are gone, slow or too many, and lines that come and go.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "com_test_support.h"
#include "comserver/com_server.h"
#include "link/link_r307.h"
#include "link/port.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using comserver::CComServer;
using comserver::SComServerOptions;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Waits in bounded steps until done() holds: false when it never did.
template <typename F>
bool Eventually(F done, int limitMs = 20000) {
    for (int waited = 0; waited < limitMs; waited += 20) {
        if (done()) return true;
        Sleep(20);
    }
    return done();
}

class CLogLines {
public:
    comserver::LogFn Sink() {
        return [this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        };
    }
    bool Has(const std::string& part) const {
        std::lock_guard lock(m_mutex);
        for (const auto& l : m_lines) {
            if (l.find(part) != std::string::npos) return true;
        }
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

class ComServerLimits : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("comserver-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_linkPath = (m_dir / "ttySIM").string();
        m_line.AddDevices(2, 6001, 1);
    }
    void TearDown() override {
        m_port.Close();
        m_server.reset();
        m_pty.reset();
        fs::remove_all(m_dir);
    }
    // Simulated devices behind a pseudo-terminal reached through the test's own link path.
    void PlugLine() {
        m_pty = std::make_unique<sim::CSimPtyServer>(m_line);
        ASSERT_TRUE(m_pty->Open(m_linkPath)) << m_pty->Error();
        ASSERT_TRUE(m_pty->Start());
    }
    void StartServer(SComServerOptions o) {
        o.lines = {m_linkPath};
        o.listen = "127.0.0.1";
        o.port = 0;
        o.log = m_log.Sink();
        m_server = std::make_unique<CComServer>(o);
        std::string error;
        ASSERT_TRUE(m_server->Listen(error)) << error;
        ASSERT_TRUE(m_server->Start());
        SPortSettings s = SPortSettings::Defaults(0);
        s.linkMode = kLinkModeServer;
        s.useServer = true;
        s.serverName = "127.0.0.1";
        s.serverPort = 0;
        m_port.SetSettings(s);
        m_port.SetComServerTcpPort(m_server->TcpPort());
        m_link.AttachPort(&m_port);
    }
    // The bench's own port opens and a device answers through it.
    bool BenchServed() {
        m_port.Close();
        if (!m_port.Open()) return false;
        std::uint32_t answered = 0;
        return m_link.ReadAddress(6002, answered) == 0 && answered == 6002u;
    }

    fs::path m_dir;
    std::string m_linkPath;
    sim::CSimLine m_line;
    std::unique_ptr<sim::CSimPtyServer> m_pty;
    CLogLines m_log;
    std::unique_ptr<CComServer> m_server;
    CLinkPort m_port{0};
    CLinkR307 m_link;
};

TEST_F(ComServerLimits, SilentAndDrippingClientsAreLetGoWhileABusyOneIsKept) {
    PlugLine();
    SComServerOptions o;
    o.idleTimeoutMs = 1500;
    o.messageTimeoutMs = 600;
    StartServer(o);
    CRawClient silent(m_server->TcpPort(), 10), mute(m_server->TcpPort(), 10),
        drip(m_server->TcpPort(), 10), busy(m_server->TcpPort(), 10);
    ASSERT_EQ(silent.Attach(0, "silent"), kCsStatusOk);
    ASSERT_EQ(mute.Next().type, kCsHello);  // and never answers it
    ASSERT_EQ(drip.Attach(0, "drip"), kCsStatusOk);
    ASSERT_EQ(busy.Attach(0, "busy"), kCsStatusOk);
    SComServerMessage frame;
    frame.type = kCsFrame;
    frame.data.assign(8, 0x11);
    const std::vector<std::uint8_t> message = BuildComServerMessage(frame);
    // A byte every 100 ms: the message would be whole after 3.8 s, far past its 0.6 s, and every
    // byte comes well within the idle limit.
    std::size_t dripped = 0;
    bool dripLetGo = false;
    for (int round = 0; round < 40; ++round) {
        if (!dripLetGo && dripped < message.size()) {
            dripLetGo = drip.ClosedYet();
            if (!dripLetGo) {
                ::send(drip.Fd(), message.data() + dripped++, 1, MSG_NOSIGNAL);
            }
        }
        if (round % 3 == 0) {
            const auto names = busy.Clients();  // a whole message every 300 ms
            ASSERT_FALSE(names.empty()) << "the busy client was let go in round " << round;
        }
        Sleep(100);
    }
    EXPECT_TRUE(dripLetGo || drip.ClosedByServer());
    EXPECT_LT(dripped, message.size()) << "the dripping client finished its message";
    EXPECT_TRUE(silent.ClosedByServer());
    EXPECT_TRUE(mute.ClosedByServer());
    EXPECT_FALSE(busy.ClosedYet());
    EXPECT_EQ(busy.Clients(), std::vector<std::string>{"busy"});
    EXPECT_TRUE(m_log.Has("let go: a message unfinished after 600 ms"));
    EXPECT_TRUE(m_log.Has("let go: no whole message for 1500 ms"));
    EXPECT_TRUE(m_log.Has("let go: no answer to the greeting"));
}

TEST_F(ComServerLimits, AFullServerAnswersNotOpenAndABenchIsServedOnceTheFloodIsLetGo) {
    PlugLine();
    constexpr int kFlood = 200;
    SComServerOptions o;
    o.idleTimeoutMs = 6000;
    o.messageTimeoutMs = 6000;
    o.maxPerPeer = kFlood;       // all from this computer's one address
    o.evictUnprovenMs = 600000;  // and none of them there long enough to be let go
    StartServer(o);
    std::vector<std::unique_ptr<CRawClient>> flood;
    for (int i = 0; i < kFlood; ++i) {
        flood.push_back(std::make_unique<CRawClient>(m_server->TcpPort(), 10));
    }
    int greeted = 0, notOpen = 0;
    for (auto& c : flood) {
        const SComServerMessage first = c->Next();
        if (first.type == kCsHello) {
            ++greeted;
        } else if (first.type == kCsConnect && first.status == kCsStatusPortClosed) {
            ++notOpen;
            EXPECT_TRUE(c->ClosedByServer());
        }
    }
    EXPECT_EQ(greeted, o.maxClients);
    EXPECT_EQ(notOpen, kFlood - o.maxClients);
    EXPECT_LE(m_server->ClientCount(), o.maxClients);
    // A bench that comes now is told at once that the line is not open for it.
    EXPECT_FALSE(m_port.Open());
    EXPECT_EQ(m_port.LastOpenResult(), OpenResult::RemoteFailed);
    EXPECT_TRUE(m_log.Has("refused: all 32 connections are taken"));
    // The flood never answers its greeting; once it is let go the bench is served.
    EXPECT_TRUE(Eventually([&] { return m_server->ClientCount() == 0; }));
    EXPECT_TRUE(Eventually([&] { return BenchServed(); }, 5000));
}

TEST_F(ComServerLimits, ASlowDripFloodDoesNotKeepABenchOut) {
    PlugLine();
    SComServerOptions o;
    o.idleTimeoutMs = 30000;
    o.messageTimeoutMs = 800;
    o.maxPerPeer = 1000;  // the drips and the bench alike come from 127.0.0.1
    StartServer(o);
    std::vector<std::unique_ptr<CRawClient>> drips;
    for (int i = 0; i < o.maxClients; ++i) {
        drips.push_back(std::make_unique<CRawClient>(m_server->TcpPort(), 10));
        ASSERT_EQ(drips.back()->Attach(0, "drip" + std::to_string(i)), kCsStatusOk);
    }
    SComServerMessage frame;
    frame.type = kCsFrame;
    frame.data.assign(8, 0x22);
    const std::vector<std::uint8_t> message = BuildComServerMessage(frame);
    bool served = false;
    int refused = 0;
    std::size_t dripped = 0;
    for (; dripped < message.size() && !served; ++dripped) {
        for (auto& d : drips) ::send(d->Fd(), message.data() + dripped, 1, MSG_NOSIGNAL);
        served = BenchServed();
        if (!served && m_port.LastOpenResult() == OpenResult::RemoteFailed) ++refused;
        Sleep(200);
    }
    EXPECT_TRUE(served) << "a byte every 200 ms kept the bench out for the whole message";
    EXPECT_GT(refused, 0) << "the server was never full";
    for (auto& d : drips) EXPECT_TRUE(d->ClosedByServer());
}

TEST(ComServerNames, AConnectionHasOneNameThatLeavesWithIt) {
    int masters[2], slaves[2];
    char names[2][256] = {};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(::openpty(&masters[i], &slaves[i], names[i], nullptr, nullptr), 0);
        ::close(slaves[i]);
    }
    SComServerOptions o;
    o.lines = {names[0], names[1]};
    o.listen = "127.0.0.1";
    o.port = 0;
    CComServer server(o);
    std::string error;
    ASSERT_TRUE(server.Listen(error)) << error;
    ASSERT_TRUE(server.Start());
    {
        CRawClient renamer(server.TcpPort()), other(server.TcpPort());
        ASSERT_EQ(renamer.Attach(0, "bench-a"), kCsStatusOk);
        // A client that answers again and again under new names keeps one place.
        for (int i = 0; i < 300; ++i) {
            renamer.Send(BuildComServerConnect(0, "n" + std::to_string(i), 115200));
            ASSERT_EQ(renamer.Next().status, kCsStatusOk);
        }
        ASSERT_EQ(other.Attach(0, "other"), kCsStatusOk);
        EXPECT_EQ(renamer.Clients(), (std::vector<std::string>{"n299", "other"}));
        EXPECT_EQ(renamer.LastClientCount(), 2);
        // Moving to another line leaves the first one.
        renamer.Send(BuildComServerConnect(1, "moved", 115200));
        ASSERT_EQ(renamer.Next().status, kCsStatusOk);
        EXPECT_EQ(other.Clients(), std::vector<std::string>{"other"});
        EXPECT_EQ(server.Line(1).Clients(), std::vector<std::string>{"moved"});
        // A line it cannot have leaves it on none.
        renamer.Send(BuildComServerConnect(7, "nowhere", 115200));
        ASSERT_EQ(renamer.Next().status, kCsStatusPortClosed);
        EXPECT_EQ(server.Line(1).ClientCount(), 0u);
        renamer.Send(BuildComServerConnect(1, "back", 115200));
        ASSERT_EQ(renamer.Next().status, kCsStatusOk);
    }
    // The names leave with their connections.
    EXPECT_TRUE(Eventually(
        [&] { return server.Line(0).ClientCount() == 0 && server.Line(1).ClientCount() == 0; }));
    for (const int m : masters) ::close(m);
}

TEST_F(ComServerLimits, ALostLineIsReopenedAndTheSameConnectionIsServedAgain) {
    PlugLine();
    SComServerOptions o;
    o.reopen = {50, 400};
    StartServer(o);
    ASSERT_TRUE(m_port.Open());
    std::uint32_t answered = 0;
    ASSERT_EQ(m_link.ReadAddress(6001, answered), 0);
    m_pty.reset();  // the adapter is pulled
    EXPECT_TRUE(Eventually([&] { return !m_server->Line(0).IsOpen(); }));
    EXPECT_TRUE(m_log.Has("COM1 (" + m_linkPath + "): line lost (hung up), reopening"));
    EXPECT_NE(m_link.ReadAddress(6001, answered), 0);
    Sleep(1000);  // several failed tries while it is away
    EXPECT_TRUE(m_log.Has("cannot be opened yet"));
    PlugLine();  // and plugged in again
    EXPECT_TRUE(Eventually([&] { return m_server->Line(0).IsOpen(); }));
    EXPECT_EQ(m_server->Line(0).Opens(), 2);
    EXPECT_TRUE(m_log.Has("reopened"));
    // The bench never reconnected: its requests are served on the returned line.
    EXPECT_TRUE(Eventually([&] { return m_link.ReadAddress(6001, answered) == 0; }, 5000));
    EXPECT_EQ(answered, 6001u);
}

TEST_F(ComServerLimits, ALineMissingAtStartIsOpenedWhenItComes) {
    SComServerOptions o;
    o.reopen = {50, 400};
    StartServer(o);
    EXPECT_FALSE(m_server->Line(0).IsOpen());
    EXPECT_NE(m_server->Line(0).OpenError(), 0);
    {
        CRawClient c(m_server->TcpPort());
        EXPECT_EQ(c.Attach(0, "early"), kCsStatusPortClosed);
    }
    PlugLine();
    EXPECT_TRUE(Eventually([&] { return m_server->Line(0).IsOpen(); }));
    EXPECT_TRUE(m_log.Has("COM1 (" + m_linkPath + "): opened"));
    EXPECT_TRUE(Eventually([&] { return BenchServed(); }, 5000));
}

}  // namespace
}  // namespace dravmer
