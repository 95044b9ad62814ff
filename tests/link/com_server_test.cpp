#include <gtest/gtest.h>
#include <unistd.h>

#include "link/com_server_message.h"
#include "link/link_r307.h"
#include "link/port.h"
#include "sim/lib/sim_com_server.h"
#include "sim/lib/sim_line.h"

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
    ASSERT_EQ(port.Open(), 1) << port.OpenResult();
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
    ASSERT_EQ(port.Open(), 1);
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
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.OpenResult(), kOpenRemoteFailed);
    EXPECT_TRUE(notices.empty());
}

TEST_F(ComServerPort, BadNameAndMissingServer) {
    settings.serverName = "";
    port.SetSettings(settings);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.OpenResult(), kOpenBadServerName);

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
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.OpenResult(), kOpenServerNotFound);
}

TEST_F(ComServerPort, LostConnectionClosesThePort) {
    ASSERT_EQ(port.Open(), 1);
    server.Stop();  // the server ends its client connection
    for (int i = 0; i < 400 && port.IsOpen(); ++i) usleep(5000);
    EXPECT_FALSE(port.IsOpen());
    // Why the port is not open is said as such, never with the success of its opening.
    EXPECT_EQ(port.OpenResultText(), "Соединение потеряно.");
    std::uint32_t answered = 0;
    EXPECT_EQ(link.ReadAddress(6001, answered), kLinkNoLink);
    port.Close();
    EXPECT_EQ(port.OpenResultText(), "Порт закрыт.");
}

}  // namespace
}  // namespace dravmer
