// The network-serial-server port against ser2net, a peer nobody here wrote: the port speaks
// RFC 2217 to ser2net, which carries the frames to simulated devices on a pseudo-terminal.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "link/link_r307.h"
#include "link/port.h"
#include "platform/perf_timer.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

extern char** environ;

namespace dravmer {
namespace {

int FreeTcpPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(s);
    return ntohs(addr.sin_port);
}

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

class Ser2net : public ::testing::Test {
protected:
    void SetUp() override {
        line.AddDevices(2, 3100, 1);
        server.SetRealTimeSeconds(false);
        ASSERT_TRUE(server.Open()) << server.Error();
        ASSERT_TRUE(server.Start());
        tcpPort = FreeTcpPort();
        char dir[] = "/tmp/dravmer-ser2net-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        folder = dir;
        const std::string config = folder + "/ser2net.yaml";
        std::ofstream(config) << "%YAML 1.1\n---\nconnection: &meter0\n"
                              << "    accepter: telnet(rfc2217),tcp,127.0.0.1," << tcpPort << "\n"
                              << "    enable: on\n    options:\n      kickolduser: true\n"
                              << "    connector: serialdev," << server.SlavePath()
                              << ",115200n81,local\n";
        StartSer2net();
    }

    void StartSer2net() {
        const std::string config = folder + "/ser2net.yaml";
        const char* argv[] = {"ser2net", "-n", "-d", "-c", config.c_str(), nullptr};
        ASSERT_EQ(::posix_spawnp(&ser2net, "ser2net", nullptr, nullptr,
                                 const_cast<char* const*>(argv), environ),
                  0)
            << "ser2net is not installed (scripts/setup-deps installs it)";
        for (int i = 0; i < 400 && !Accepts(tcpPort); ++i) CPerfTimer::Wait(10);
        ASSERT_TRUE(Accepts(tcpPort)) << "ser2net does not listen";
    }

    void StopSer2net() {
        if (ser2net > 0) {
            ::kill(ser2net, SIGTERM);
            ::waitpid(ser2net, nullptr, 0);
        }
        ser2net = -1;
    }

    void TearDown() override {
        StopSer2net();
        if (!folder.empty()) {
            std::remove((folder + "/ser2net.yaml").c_str());
            ::rmdir(folder.c_str());
        }
    }

    sim::CSimLine line;
    sim::CSimPtyServer server{line};
    int tcpPort = 0;
    pid_t ser2net = -1;
    std::string folder;
};

TEST_F(Ser2net, FramesCrossTheTelnetLayerIncludingIacBytes) {
    CLinkPort port(2);
    SPortSettings s = SPortSettings::Defaults(2);
    s.linkMode = kLinkModeNetServer;
    s.ipAddress = "127.0.0.1";
    s.tcpIpPort = 1;
    s.timeOutMs = 1000;
    port.SetSettings(s);
    port.SetNetSerialProvider(MakeRfc2217Provider(tcpPort - 1));
    ASSERT_TRUE(port.Open()) << WordOpenResult(port.LastOpenResult(), Language::Russian);
    EXPECT_EQ(port.StatusText(), "127.0.0.1 (1)");

    CLinkR307 link;
    link.AttachPort(&port);
    std::uint32_t answered = 0;
    ASSERT_EQ(link.ReadAddress(3101, answered), 0);
    EXPECT_EQ(answered, 3101u);
    // The FLASH image holds 0xFF bytes, which telnet doubles on the TCP side.
    std::uint8_t image[kDeviceImageSize];
    ASSERT_EQ(link.ReadFlash(3100, image), 0);
    EXPECT_EQ(0, std::memcmp(image, line.Find(3100)->Flash().data(), kDeviceImageSize));
    EXPECT_EQ(port.Close(), 1);
}

TEST_F(Ser2net, AServerThatRestartsIsNoticedAndTheLineOpenedAgain) {
    CLinkPort port(2);
    SPortSettings s = SPortSettings::Defaults(2);
    s.linkMode = kLinkModeNetServer;
    s.ipAddress = "127.0.0.1";
    s.tcpIpPort = 1;
    s.timeOutMs = 300;
    port.SetSettings(s);
    port.SetNetSerialProvider(MakeRfc2217Provider(tcpPort - 1));
    ASSERT_TRUE(port.Open()) << WordOpenResult(port.LastOpenResult(), Language::Russian);
    CLinkR307 link;
    link.AttachPort(&port);
    std::uint32_t answered = 0;
    ASSERT_EQ(link.ReadAddress(3101, answered), 0);

    StopSer2net();
    // The connection is found dead by the next exchanges; the port no longer claims to be open.
    for (int i = 0; i < 5 && port.IsOpen(); ++i) link.ReadAddress(3101, answered);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(port.OpenResultText().find("соединение с сервером потеряно"), std::string::npos)
        << port.OpenResultText();
    EXPECT_EQ(port.HangUps(), 1);

    StartSer2net();
    ASSERT_TRUE(port.Open()) << WordOpenResult(port.LastOpenResult(), Language::Russian);
    answered = 0;
    EXPECT_EQ(link.ReadAddress(3101, answered), 0);
    EXPECT_EQ(answered, 3101u);
}

}  // namespace
}  // namespace dravmer
