#include "link/port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link_r307.h"
#include "platform/perf_timer.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer {
namespace {

TEST(PortSettings, MissingSectionGivesDefaultsWithPortIndexAsComNumber) {
    CMemorySettingsStore store;
    SPortSettings s;
    s.Load(store, 2);
    EXPECT_TRUE(s.useLink);
    EXPECT_EQ(s.comNumber, 2);
    EXPECT_EQ(s.Baud(), 115200);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.dtrControl, 1);
    EXPECT_EQ(s.timeOutMs, 300);
    EXPECT_EQ(s.serverName, "LOCAL MACHINE");
    EXPECT_EQ(s.tcpIpPort, 1);
    EXPECT_EQ(s.modemWaitForConnectS, 60);
    EXPECT_EQ(s.linkMode, kLinkModeCom);
}

TEST(PortSettings, TypeSetsDefaultTimeOutButStoredTimeOutWins) {
    CMemorySettingsStore store;
    store.SetInt("ComSettingsPort1", "bComType", kComXBee);
    SPortSettings s;
    s.Load(store, 1);
    EXPECT_EQ(s.timeOutMs, 1000);
    store.SetInt("ComSettingsPort1", "TimeOut", 450);
    s.Load(store, 1);
    EXPECT_EQ(s.timeOutMs, 450);
    store.SetInt("ComSettingsPort1", "bComType", 9);  // ignored
    s.Load(store, 1);
    EXPECT_EQ(s.comType, kComRs232);
}

TEST(PortSettings, UseServerSetsLinkModeUnlessLinkModeIsStored) {
    CMemorySettingsStore store;
    store.SetInt("ComSettingsPort0", "UseServer", 1);
    SPortSettings s;
    s.Load(store, 0);
    EXPECT_EQ(s.linkMode, kLinkModeServer);
    store.SetInt("ComSettingsPort0", "bLinkMode", kLinkModeZhvl);
    s.Load(store, 0);
    EXPECT_EQ(s.linkMode, kLinkModeZhvl);
}

TEST(PortSettings, SaveAndLoadRoundTrip) {
    CMemorySettingsStore store;
    SPortSettings s = SPortSettings::Defaults(3);
    s.speed = 6;
    s.parity = 2;
    s.stopBits = 2;
    s.serverName = "bench-pc";
    s.ipAddress = "10.0.0.7";
    s.devicePath = "/dev/ttyUSB0";
    s.ApplyComType(kComModemGsm);
    s.Save(store, 3);
    SPortSettings back;
    back.Load(store, 3);
    EXPECT_EQ(back.Baud(), 9600);
    EXPECT_EQ(back.parity, 2);
    EXPECT_EQ(back.stopBits, 2);
    EXPECT_EQ(back.comType, kComModemGsm);
    EXPECT_EQ(back.timeOutMs, 5000);
    EXPECT_EQ(back.serverName, "bench-pc");
    EXPECT_EQ(back.LocalDevicePath(), "/dev/ttyUSB0");
}

TEST(PortSettings, OpenResultsAndDetailsInEitherLanguage) {
    SPortState state;
    state.openResult = OpenResult::LocalFailed;
    state.detail = {SOpenDetail::Why::SystemError, "/dev/ttyUSB0", "No such file or directory"};
    EXPECT_EQ(WordPortState(state, Language::Russian),
              "Ошибка инициализации локального СОМ порта. (/dev/ttyUSB0: No such file or "
              "directory)");
    EXPECT_EQ(WordPortState(state, Language::English),
              "The local COM port could not be opened. (/dev/ttyUSB0: No such file or directory)");
    state.detail = {SOpenDetail::Why::LineDropped, "/dev/ttyUSB0", {}};
    EXPECT_EQ(WordPortState(state, Language::Russian),
              "Ошибка инициализации локального СОМ порта. (/dev/ttyUSB0: линия оборвана)");
    EXPECT_EQ(WordPortState(state, Language::English),
              "The local COM port could not be opened. (/dev/ttyUSB0: line drop)");
    state.openResult = OpenResult::NetworkError;
    state.detail = {SOpenDetail::Why::ServerLost, "10.0.0.5", {}};
    EXPECT_EQ(WordPortState(state, Language::English),
              "Local network error. (10.0.0.5: the connection to the server was lost)");
    // Success is never the reason a port is not open.
    state = {};
    EXPECT_EQ(WordPortState(state, Language::English), "The port is closed.");
    state.wasOpen = true;
    EXPECT_EQ(WordPortState(state, Language::Russian), "Соединение потеряно.");
    state.open = true;
    EXPECT_EQ(WordPortState(state, Language::English), "Completed successfully.");
    EXPECT_EQ(WordOpenResult(static_cast<OpenResult>(99), Language::English), "Unknown error.");
    EXPECT_EQ(WordOpenResult(static_cast<OpenResult>(-1), Language::Russian),
              "Неизвестная ошибка.");
    for (int result = 0; result < kOpenResultCount; ++result)
        EXPECT_NE(WordOpenResult(static_cast<OpenResult>(result), Language::English),
                  WordOpenResult(static_cast<OpenResult>(result), Language::Russian))
            << result;
    EXPECT_STREQ(ComTypeName(4, Language::English), "XBee radio modem");
    EXPECT_STREQ(ComTypeName(4, Language::Russian), "Радиомодем XBee");
    EXPECT_STREQ(LinkModeCaption(1, Language::English), "Server:");
    EXPECT_STREQ(ComTypeName(7, Language::English), "");
}

TEST(PortSettings, StatusTexts) {
    SPortSettings s = SPortSettings::Defaults(0);
    EXPECT_EQ(PortStatusText(s, false), "COM1,115200,N,8,1");
    s.parity = 2;
    s.stopBits = 1;
    s.speed = 6;
    EXPECT_EQ(PortStatusText(s, false), "COM1,9600,E,8,1/2");
    s.ApplyComType(kComModemLine);
    EXPECT_EQ(PortStatusText(s, true), "COM1: Modem online.");
    EXPECT_EQ(PortStatusText(s, false), "COM1: Modem offline.");
    s.linkMode = kLinkModeServer;
    s.serverName = "host";
    s.serverPort = 2;
    EXPECT_EQ(PortStatusText(s, false), "host (3)");
    s.linkMode = kLinkModeZhvl;
    s.ipAddress = "10.1.1.1";
    EXPECT_EQ(PortStatusText(s, false), "ЖВЛ 10.1.1.1");
    EXPECT_EQ(PortStatusText(s, false, Language::English), "ZhVL 10.1.1.1");
    s.useLink = false;
    EXPECT_EQ(PortStatusText(s, false), "DISABLED");
    EXPECT_EQ(PortName(127), "COM128");
    EXPECT_EQ(PortName(128), "");
}

// Records the order of line operations of an RS-485 frame.
class CRecordingLine : public ISerialLine {
public:
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
};

TEST(Rs485, DirectionIsSwitchedAroundTheWrite) {
    const std::uint8_t frame[16] = {};
    const std::pair<int, std::vector<std::string>> cases[] = {
        {kComRs485DtrLow, {"dtr-", "write 16", "dtr+"}},
        {kComRs485RtsLow, {"rts-", "write 16", "rts+"}},
        {kComRs485RtsHi, {"rts+", "write 16", "rts-"}},
        {kComRs232, {"write 16"}},
    };
    for (const auto& [type, expected] : cases) {
        CRecordingLine line;
        EXPECT_TRUE(WriteRs485(line, type, frame, 16, Rs485ByteTimeUs(115200)));
        EXPECT_EQ(line.calls, expected) << type;
    }
}

TEST(Rs485, PortOpensInReceiveAndSwitchesForEachFrame) {
    CLinkPort port(0);
    SPortSettings s = SPortSettings::Defaults(0);
    s.ApplyComType(kComRs485RtsHi);
    port.SetSettings(s);
    CRecordingLine* line = nullptr;
    port.SetLineFactory([&](const SPortSettings&, int&) {
        auto made = std::make_unique<CRecordingLine>();
        line = made.get();
        return made;
    });
    ASSERT_TRUE(port.Open());
    // The calibration writes in transmit; the port then waits in receive.
    ASSERT_EQ(line->calls.size(), 101u + 3u);
    EXPECT_EQ(line->calls.front(), "rts+");
    EXPECT_EQ(line->calls[1], "write 4");
    EXPECT_EQ(line->calls[102], "rts-");
    EXPECT_EQ(line->calls.back(), "purge");
    line->calls.clear();
    const std::uint8_t frame[8] = {};
    ASSERT_TRUE(port.Write(frame, 8));
    EXPECT_EQ(line->calls, (std::vector<std::string>{"rts+", "write 8", "rts-"}));
    // A line whose driver cannot tell its queue gets the expected byte time.
    EXPECT_DOUBLE_EQ(port.UsPerByte(), 1e7 / 115200 * 1.02);
}

TEST(LineControl, RtsToggleRaisesRtsWhileSendingOnAPlainLine) {
    for (const int type : {kComRs232, kComXBee}) {
        CLinkPort port(0);
        SPortSettings s = SPortSettings::Defaults(0);
        s.ApplyComType(type);
        s.rtsControl = kRtsToggle;
        port.SetSettings(s);
        CRecordingLine* line = nullptr;
        port.SetLineFactory([&](const SPortSettings&, int&) {
            auto made = std::make_unique<CRecordingLine>();
            line = made.get();
            return made;
        });
        ASSERT_TRUE(port.Open());
        EXPECT_EQ(line->calls.front(), "rts+") << "calibrated in transmit";
        line->calls.clear();
        const std::uint8_t frame[8] = {};
        ASSERT_TRUE(port.Write(frame, 8));
        EXPECT_EQ(line->calls, (std::vector<std::string>{"rts+", "write 8", "rts-"})) << type;
    }
    // Any other RTS mode leaves the line alone while sending.
    for (const int rts : {kRtsDisable, kRtsEnable, kRtsHandshake}) {
        CLinkPort port(0);
        SPortSettings s = SPortSettings::Defaults(0);
        s.rtsControl = rts;
        port.SetSettings(s);
        CRecordingLine* line = nullptr;
        port.SetLineFactory([&](const SPortSettings&, int&) {
            auto made = std::make_unique<CRecordingLine>();
            line = made.get();
            return made;
        });
        ASSERT_TRUE(port.Open());
        line->calls.clear();
        const std::uint8_t frame[8] = {};
        ASSERT_TRUE(port.Write(frame, 8));
        EXPECT_EQ(line->calls, (std::vector<std::string>{"write 8"})) << rts;
    }
}

TEST(LineControl, HandshakeRaisesTheLineAsEnableDoes) {
    SPortSettings s = SPortSettings::Defaults(0);
    const std::pair<int, bool> dtr[] = {
        {kDtrDisable, false}, {kDtrEnable, true}, {kDtrHandshake, true}};
    for (const auto& [mode, raised] : dtr) {
        s.dtrControl = mode;
        EXPECT_EQ(s.DtrRaised(), raised) << mode;
    }
    // Toggle rests low and rises only around a frame.
    const std::pair<int, bool> rts[] = {
        {kRtsDisable, false}, {kRtsEnable, true}, {kRtsHandshake, true}, {kRtsToggle, false}};
    for (const auto& [mode, raised] : rts) {
        s.rtsControl = mode;
        EXPECT_EQ(s.RtsRaised(), raised) << mode;
    }
}

// A line whose output queue drains at a fixed byte time.
class CPacedLine : public CRecordingLine {
public:
    explicit CPacedLine(double usPerByte) : m_usPerByte(usPerByte) {}
    bool Write(const std::uint8_t* data, int length) override {
        m_written.Restart();
        m_bytes = length;
        return CRecordingLine::Write(data, length);
    }
    int OutputQueue() const override {
        return m_written.GetElapsedUs() < m_bytes * m_usPerByte ? 1 : 0;
    }

private:
    double m_usPerByte;
    CPerfTimer m_written;
    int m_bytes = 0;
};

TEST(Rs485, CalibrationMeasuresTheLinesByteTime) {
    // 3 % slower than 10 bits per byte: inside the 5 % window, so the measurement counts.
    const double actual = 1e7 / 9600 * 1.03;
    CPacedLine line(actual);
    const double measured = CalibrateRs485ByteTimeUs(line, 9600);
    EXPECT_NEAR(measured, actual * 1.02, actual * 0.01);
    // 20 % slower: no sample inside the window, the expected time stands.
    CPacedLine slow(1e7 / 9600 * 1.2);
    EXPECT_DOUBLE_EQ(CalibrateRs485ByteTimeUs(slow, 9600), Rs485ByteTimeUs(9600));
}

TEST(PortOpen, DisabledPortFailsWithoutNotice) {
    CLinkPort port(1);
    SPortSettings s = SPortSettings::Defaults(1);
    s.useLink = false;
    port.SetSettings(s);
    int notices = 0;
    port.SetOpenListener([&](int, int) { ++notices; });
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenResult(), OpenResult::Disabled);
    EXPECT_EQ(notices, 0);
    EXPECT_EQ(port.StatusText(), "DISABLED");
}

TEST(PortOpen, MissingDeviceFailsWithLocalResult) {
    CLinkPort port(2);
    SPortSettings s = SPortSettings::Defaults(2);
    s.devicePath = "/nonexistent/ttyX";
    port.SetSettings(s);
    std::vector<std::pair<int, int>> notices;
    port.SetOpenListener([&](int i, int st) { notices.emplace_back(i, st); });
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenResult(), OpenResult::LocalFailed);
    EXPECT_EQ(notices, (std::vector<std::pair<int, int>>{{2, 3}}));
    EXPECT_FALSE(port.IsOpen());
}

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SDeviceModel model;
        model.address = 777001;
        line.AddDevice(model);
        server.SetRealTimeSeconds(false);
        ASSERT_TRUE(server.Open()) << server.Error();
        ASSERT_TRUE(server.Start());
        SPortSettings s = SPortSettings::Defaults(0);
        s.devicePath = server.SlavePath();
        s.timeOutMs = 200;
        port.SetSettings(s);
        port.SetOpenListener([&](int, int status) { notices.push_back(status); });
        link.AttachPort(&port);
    }

    sim::CSimLine line;
    sim::CSimPtyServer server{line};
    CLinkPort port{0};
    CLinkR307 link;
    std::vector<int> notices;
};

TEST_F(PtyPort, TransactionsRunOverThePseudoTerminal) {
    ASSERT_TRUE(port.Open()) << WordOpenResult(port.LastOpenResult(), Language::Russian);
    EXPECT_EQ(notices, std::vector<int>{0});
    std::uint32_t answered = 0;
    EXPECT_EQ(link.ReadAddress(ADDR_ANY_DEVICE, answered), 0);
    EXPECT_EQ(answered, 777001u);
    std::uint8_t image[kDeviceImageSize];
    EXPECT_EQ(link.ReadFlash(777001, image), 0);
    EXPECT_EQ(port.FramesSent(), 19u);
    EXPECT_EQ(port.RepliesReceived(), 19u);

    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenResult(), OpenResult::AlreadyOpen);
    EXPECT_EQ(notices.back(), 3);
}

TEST_F(PtyPort, SpeedsWithoutTermiosConstantOpen) {
    for (int speedIndex : {7, 10}) {  // 14400 and 56000 baud
        SPortSettings s = port.Settings();
        s.speed = speedIndex;
        port.SetSettings(s);
        ASSERT_TRUE(port.Open()) << s.Baud();
        std::uint32_t answered = 0;
        EXPECT_EQ(link.ReadAddress(777001, answered), 0);
        EXPECT_EQ(port.Close(), 1);
    }
}

TEST_F(PtyPort, ReplyPrecededByPreambleIsDeliveredWithoutIt) {
    ASSERT_TRUE(port.Open());
    sim::SFaults faults;
    faults.preamble = 1;
    line.SetFaults(faults);
    std::uint32_t answered = 0;
    EXPECT_EQ(link.ReadAddress(777001, answered), 0);
    SLinkDevStat s;
    link.GetDeviceStat(777001, s);
    EXPECT_EQ(s.w[SLinkDevStat::kCommands], 1u);
}

TEST_F(PtyPort, LateReplyIsTakenByTheRepeat) {
    ASSERT_TRUE(port.Open());
    sim::SFaults faults;
    faults.slowReplies = 1;
    faults.slowMs = 350;  // beyond the 200 ms reply time-out
    line.SetFaults(faults);
    std::uint32_t answered = 0;
    EXPECT_EQ(link.ReadAddress(777001, answered), 0);
    SLinkDevStat s;
    link.GetDeviceStat(777001, s);
    EXPECT_GE(s.w[SLinkDevStat::CodeWord(kLinkEmpty)], 1u);
    EXPECT_EQ(s.w[SLinkDevStat::kErrorsWithRepeat], 0u);
}

TEST_F(PtyPort, SilentLineGivesEmptyReply) {
    ASSERT_TRUE(port.Open());
    const std::uint8_t frame[8] = {1, 2, 3, 4, 1, 0, 0, 0};  // bad CRC: the device ignores it
    ASSERT_TRUE(port.Write(frame, 8));
    std::uint8_t reply[512];
    int length = sizeof reply;
    EXPECT_EQ(port.ReadReply(reply, length), -1);
    EXPECT_EQ(length, 0);
}

TEST_F(PtyPort, OpenAfterOpensOnAWorkerAndCloseEndsIt) {
    port.OpenAfter(10);
    for (int i = 0; i < 500 && !port.IsOpen(); ++i) CPerfTimer::Wait(5);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Close(), 1);
    EXPECT_FALSE(port.IsOpen());
    port.OpenAfter(60000);  // a pending open is cut short by destruction
}

}  // namespace
}  // namespace dravmer
