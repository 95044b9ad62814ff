#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "link/net_serial_library.h"
#include "link/port.h"

namespace dravmer {
namespace {

// Records the line operations, and whether its driver takes the RS-485 switching over.
class CKernelLine : public ISerialLine {
public:
    explicit CKernelLine(bool driverHasRs485) : m_driverHasRs485(driverHasRs485) {}
    std::vector<std::string> calls;
    bool IsOpen() const override { return true; }
    bool Write(const std::uint8_t*, int length) override {
        calls.push_back("write " + std::to_string(length));
        return true;
    }
    int Read(std::uint8_t*, int, int) override { return 0; }
    void Purge() override { calls.push_back("purge"); }
    bool SetDtr(bool on) override {
        calls.push_back(on ? "dtr+" : "dtr-");
        return true;
    }
    bool SetRts(bool on) override {
        calls.push_back(on ? "rts+" : "rts-");
        return true;
    }
    bool SetKernelRs485(bool rtsOnSend) override {
        calls.push_back(std::string("kernel ") + (rtsOnSend ? "rts-on-send" : "rts-after-send"));
        return m_driverHasRs485;
    }

private:
    bool m_driverHasRs485;
};

CKernelLine* OpenWith(CLinkPort& port, int comType, bool driverHasRs485) {
    SPortSettings s = SPortSettings::Defaults(0);
    s.ApplyComType(comType);
    port.SetSettings(s);
    CKernelLine* line = nullptr;
    port.SetLineFactory([&](const SPortSettings&, int&) {
        auto made = std::make_unique<CKernelLine>(driverHasRs485);
        line = made.get();
        return made;
    });
    EXPECT_TRUE(port.Open());
    return line;
}

TEST(Rs485Kernel, DriverThatSwitchesItselfGetsPlainWrites) {
    const std::uint8_t frame[8] = {};
    for (const auto& [type, mode] : {std::pair{kComRs485RtsHi, "kernel rts-on-send"},
                                     std::pair{kComRs485RtsLow, "kernel rts-after-send"}}) {
        CLinkPort port(0);
        CKernelLine* line = OpenWith(port, type, true);
        ASSERT_NE(line, nullptr);
        // No calibration and no user-space switching: the driver does both.
        EXPECT_EQ(line->calls, (std::vector<std::string>{mode, "purge"})) << type;
        line->calls.clear();
        ASSERT_TRUE(port.Write(frame, 8));
        EXPECT_EQ(line->calls, std::vector<std::string>{"write 8"}) << type;
    }
}

TEST(Rs485Kernel, RefusedKernelModeKeepsTheUserSpaceSwitchInItsOrder) {
    const std::uint8_t frame[8] = {};
    CLinkPort port(0);
    CKernelLine* line = OpenWith(port, kComRs485RtsLow, false);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->calls.front(), "kernel rts-after-send");
    EXPECT_EQ(line->calls[1], "rts-");  // calibration in transmit
    line->calls.clear();
    ASSERT_TRUE(port.Write(frame, 8));
    EXPECT_EQ(line->calls, (std::vector<std::string>{"rts-", "write 8", "rts+"}));

    // A DTR-switched line is never offered to the kernel, which switches RTS only.
    CLinkPort dtrPort(1);
    CKernelLine* dtr = OpenWith(dtrPort, kComRs485DtrLow, true);
    ASSERT_NE(dtr, nullptr);
    EXPECT_EQ(dtr->calls.front(), "dtr-");
    dtr->calls.clear();
    ASSERT_TRUE(dtrPort.Write(frame, 8));
    EXPECT_EQ(dtr->calls, (std::vector<std::string>{"dtr-", "write 8", "dtr+"}));
}

TEST(Rs485Kernel, PseudoTerminalRefusesTheKernelMode) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    CSerialLine line;
    ASSERT_EQ(line.Open(name, SLineParams{}), 0);
    EXPECT_FALSE(line.SetKernelRs485(true));
    EXPECT_FALSE(UseKernelRs485(line, kComRs485RtsHi));
    line.Close();
    ::close(master);
}

std::string LibraryCalls(const char* path) {
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return "<not loaded>";
    auto calls = reinterpret_cast<const char* (*)()>(::dlsym(handle, "fake_nsio_calls"));
    std::string text = calls ? calls() : "";
    ::dlclose(handle);
    return text;
}

SPortSettings NetServerSettings(int serialPort, int speedIndex) {
    SPortSettings s = SPortSettings::Defaults(2);
    s.linkMode = kLinkModeNetServer;
    s.ipAddress = "10.0.0.5";
    s.tcpIpPort = serialPort;
    s.speed = speedIndex;
    return s;
}

TEST(NetSerialLibrary, PortOpensThroughTheLoadedLibraryInTheFixedOrder) {
    CLinkPort port(2);
    port.SetSettings(NetServerSettings(1, 11));  // 57600 baud: speed code 15
    port.SetNetSerialProvider(MakeNetSerialLibraryProvider(FAKE_NSIO));
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(LibraryCalls(FAKE_NSIO), "init;open 10.0.0.5 1 3000;timeouts 3 4294967295;ioctl 3 15 3;");
    const std::uint8_t frame[8] = {0x10, 0x20, 0x30, 0x40, 1, 0, 0, 0};
    ASSERT_TRUE(port.Write(frame, 8));
    std::uint8_t reply[64];
    int length = sizeof reply;
    ASSERT_EQ(port.ReadReply(reply, length), 0);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(reply[4], 1);
    port.Close();
    EXPECT_NE(LibraryCalls(FAKE_NSIO).find("close 3;"), std::string::npos);

    CLinkPort refused(3);
    refused.SetSettings(NetServerSettings(99, 12));
    refused.SetNetSerialProvider(MakeNetSerialLibraryProvider(FAKE_NSIO));
    EXPECT_FALSE(refused.Open());
    EXPECT_EQ(refused.LastOpenResult(), OpenResult::RemoteFailed);
}

TEST(NetSerialLibrary, MissingLibraryOrEntryPointFailsWithResultTen) {
    for (const char* path : {FAKE_NSIO_INCOMPLETE, "/nonexistent/libnsio.so"}) {
        CLinkPort port(2);
        port.SetSettings(NetServerSettings(1, 12));
        port.SetNetSerialProvider(MakeNetSerialLibraryProvider(path));
        EXPECT_FALSE(port.Open()) << path;
        EXPECT_EQ(port.LastOpenResult(), OpenResult::LibraryFailed) << path;
    }
    // Nothing of the incomplete library was called.
    EXPECT_EQ(LibraryCalls(FAKE_NSIO_INCOMPLETE).find("init"), std::string::npos);
}

}  // namespace
}  // namespace dravmer
