// Whom a full COM server lets in: connections from a few addresses that never answer the
// greeting against a bench on another address.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

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

class ComServerAdmission : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("comserver-admission-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_line.AddDevices(1, 6001, 1);
        m_pty = std::make_unique<sim::CSimPtyServer>(m_line);
        ASSERT_TRUE(m_pty->Open((m_dir / "ttySIM").string())) << m_pty->Error();
        ASSERT_TRUE(m_pty->Start());
    }
    void TearDown() override {
        m_port.Close();
        m_server.reset();
        m_pty.reset();
        fs::remove_all(m_dir);
    }
    void StartServer(SComServerOptions o) {
        o.lines = {(m_dir / "ttySIM").string()};
        o.listen = "127.0.0.1";
        o.port = 0;
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
    // The bench on 127.0.0.1 opens its port through the server and a device answers.
    bool BenchAnswered() {
        std::uint32_t answered = 0;
        return m_link.ReadAddress(6001, answered) == 0 && answered == 6001u;
    }

    fs::path m_dir;
    sim::CSimLine m_line;
    std::unique_ptr<sim::CSimPtyServer> m_pty;
    std::unique_ptr<CComServer> m_server;
    CLinkPort m_port{0};
    CLinkR307 m_link;
};

TEST_F(ComServerAdmission, AnAddressHoldsItsLimitAndAFullServerLetsABenchInBeforeItsFlood) {
    SComServerOptions o;
    o.evictUnprovenMs = 0;  // the flood's connections have had their time
    StartServer(o);
    const int port = m_server->TcpPort();
    // Ten connections from each of four addresses, one after another, none answering.
    std::vector<std::vector<std::unique_ptr<CRawClient>>> admitted(4);
    for (int a = 0; a < 4; ++a) {
        const std::string from = "127.0.0." + std::to_string(2 + a);
        int refused = 0;
        for (int i = 0; i < 10; ++i) {
            auto c = std::make_unique<CRawClient>(port, 10, from.c_str());
            const SComServerMessage first = c->Next();
            if (first.type == kCsHello) {
                admitted[static_cast<std::size_t>(a)].push_back(std::move(c));
            } else {
                EXPECT_EQ(first.type, kCsConnect) << from;
                EXPECT_EQ(first.status, kCsStatusPortClosed) << from;
                ++refused;
            }
        }
        EXPECT_EQ(admitted[static_cast<std::size_t>(a)].size(), 8u) << from;
        EXPECT_EQ(refused, 2) << from;
    }
    ASSERT_EQ(m_server->ClientCount(), o.maxClients);

    // The bench takes the place of the connection there longest without a line.
    ASSERT_TRUE(m_port.Open()) << "the bench was refused";
    EXPECT_TRUE(BenchAnswered());
    EXPECT_TRUE(admitted[0][0]->ClosedByServer());
    // The flood comes back and takes the next flood connection's place, never the bench's.
    CRawClient again(port, 10, "127.0.0.2");
    EXPECT_EQ(again.Next().type, kCsHello);
    EXPECT_TRUE(admitted[0][1]->ClosedByServer());
    EXPECT_TRUE(BenchAnswered());
    for (std::size_t i = 2; i < 8; ++i) EXPECT_FALSE(admitted[0][i]->ClosedYet()) << i;
    EXPECT_LE(m_server->ClientCount(), o.maxClients);
}

// A flood that answers the greeting and takes a line, as a bench would: four addresses of
// eight cannot keep a fifth out, and the one holding no more than the bench's is refused.
TEST_F(ComServerAdmission, AFloodThatTakesLinesStillLeavesABenchItsShare) {
    SComServerOptions o;
    o.evictUnprovenMs = 0;
    StartServer(o);
    const int port = m_server->TcpPort();
    std::vector<std::unique_ptr<CRawClient>> flood;
    for (int a = 0; a < 4; ++a) {
        const std::string from = "127.0.0." + std::to_string(2 + a);
        for (int i = 0; i < 8; ++i) {
            flood.push_back(std::make_unique<CRawClient>(port, 10, from.c_str()));
            ASSERT_EQ(flood.back()->Attach(0, "flood"), kCsStatusOk) << from << " " << i;
        }
    }
    ASSERT_EQ(m_server->ClientCount(), o.maxClients);
    ASSERT_TRUE(m_port.Open()) << "the bench was refused";
    EXPECT_TRUE(BenchAnswered());
    EXPECT_TRUE(flood[0]->ClosedByServer());
    // Its address now holds 7, the bench's 1: nobody is let go for the flood.
    CRawClient again(port, 10, "127.0.0.2");
    const SComServerMessage first = again.Next();
    EXPECT_EQ(first.type, kCsConnect);
    EXPECT_EQ(first.status, kCsStatusPortClosed);
    EXPECT_TRUE(BenchAnswered());
    for (std::size_t i = 1; i < flood.size(); ++i) EXPECT_FALSE(flood[i]->ClosedYet()) << i;
}

}  // namespace
}  // namespace dravmer
