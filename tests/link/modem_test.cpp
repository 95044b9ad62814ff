#include "link/modem.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "link/port.h"

namespace dravmer {
namespace {

// A Hayes modem on the far side of the line: answers commands from a table.
class CFakeModem : public ISerialLine {
public:
    std::map<std::string, std::string> answers;  // command -> response
    std::vector<std::string> sent;
    bool carrier = false;
    std::vector<std::string>* journal = nullptr;  // outlives the modem when a port owns it

    bool IsOpen() const override { return true; }
    bool Write(const std::uint8_t* data, int length) override {
        const std::string text(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        sent.push_back(text);
        if (journal) journal->push_back(text);
        auto it = answers.find(text);
        m_pending = it == answers.end() ? "" : it->second;
        if (text == "ATH0\r") carrier = false;
        if (text.rfind("ATD", 0) == 0 && m_pending.rfind("\r\nCONNECT", 0) == 0) carrier = true;
        return true;
    }
    int Read(std::uint8_t* data, int capacity, int) override {
        const int n = std::min(capacity, static_cast<int>(m_pending.size()));
        std::copy(m_pending.begin(), m_pending.begin() + n, data);
        m_pending.erase(0, static_cast<size_t>(n));
        return n;
    }
    void Purge() override { m_pending.clear(); }
    bool SetDtr(bool) override { return true; }
    bool SetRts(bool) override { return true; }
    bool Carrier() const override { return carrier; }

private:
    std::string m_pending;
};

const std::string kOk = "\r\nOK\r\n";

SPortSettings ModemSettings() {
    SPortSettings s = SPortSettings::Defaults(0);
    s.ApplyComType(kComModemLine);
    s.modemPhoneNumber = "5551234";
    s.modemWaitForConnectS = 1;
    return s;
}

struct Dialogue {
    CFakeModem modem;
    std::vector<std::string> statuses;
    int restored = 0;
    CModemDialer Dialer(const SPortSettings& s = ModemSettings()) {
        return CModemDialer(
            modem, s, [this](const std::string& t) { statuses.push_back(t); },
            [this] { ++restored; });
    }
};

TEST(ModemResponse, Classification) {
    EXPECT_EQ(ClassifyModemResponse("\r\nOK\r\n", "OK"), kModemExpected);
    EXPECT_EQ(ClassifyModemResponse("\r\nCONNECT 9600\r\n", "CONNECT"), kModemExpected);
    EXPECT_EQ(ClassifyModemResponse("\r\nCARRIER\r\n", "CONNECT"), kModemExpected);
    EXPECT_EQ(ClassifyModemResponse("\r\nRING\r\n", "OK"), kModemBusy);
    EXPECT_EQ(ClassifyModemResponse("\r\nNO ANSWER\r\n", "OK"), kModemNoCarrier);
    EXPECT_EQ(ClassifyModemResponse("\r\nNO DIAL TONE\r\n", "OK"), kModemNoDialTone);
    EXPECT_EQ(ClassifyModemResponse("\r\nERROR\r\n", "OK"), kModemError);
    EXPECT_EQ(ClassifyModemResponse("OK\r\n", "OK"), kModemOther);
    EXPECT_EQ(ClassifyModemResponse("\r\nHELLO\r\n", "OK"), kModemOther);
}

TEST(ModemDialer, IdleModemStartsWithoutEscape) {
    Dialogue d;
    d.modem.answers["AT\r"] = kOk;
    EXPECT_EQ(d.Dialer().StartUp(), 1);
    EXPECT_EQ(d.modem.sent, std::vector<std::string>{"AT\r"});
    EXPECT_EQ(d.statuses, (std::vector<std::string>{"COM1: Modem init...", "COM1: Modem offline"}));
}

TEST(ModemDialer, ModemInDataModeGetsEscapeThenHangup) {
    Dialogue d;
    d.modem.carrier = true;
    d.modem.answers["+++"] = kOk;
    d.modem.answers["ATH0\r"] = kOk;
    EXPECT_EQ(d.Dialer().StartUp(), 1);
    EXPECT_EQ(d.modem.sent, (std::vector<std::string>{"AT\r", "+++", "ATH0\r"}));
    EXPECT_EQ(d.statuses.back(), "COM1: Modem hangup");
    EXPECT_EQ(d.restored, 1);
    EXPECT_FALSE(d.modem.carrier);
}

TEST(ModemDialer, DialSendsTheSetupAndNumber) {
    Dialogue d;
    for (const char* c : {"AT\r", "ATE0Q0V1X4\r", "AT&C1\r", "ATS0=0\r"}) d.modem.answers[c] = kOk;
    d.modem.answers["ATD5551234\r"] = "\r\nCONNECT 19200\r\n";
    EXPECT_EQ(d.Dialer().Dial(), 0);
    EXPECT_EQ(d.modem.sent,
              (std::vector<std::string>{"AT\r", "ATE0Q0V1X4\r", "AT&C1\r", "ATD5551234\r"}));
    EXPECT_EQ(d.restored, 1);

    SPortSettings withInit = ModemSettings();
    withInit.modemInitString = "S0=0";
    d.modem.sent.clear();
    EXPECT_EQ(d.Dialer(withInit).Dial(), 0);
    EXPECT_EQ(d.modem.sent.at(3), "ATS0=0\r");
}

TEST(ModemDialer, BusyLineAndRefusedCommandFail) {
    Dialogue d;
    for (const char* c : {"AT\r", "ATE0Q0V1X4\r", "AT&C1\r"}) d.modem.answers[c] = kOk;
    d.modem.answers["ATD5551234\r"] = "\r\nBUSY\r\n";
    EXPECT_EQ(d.Dialer().Dial(), CModemDialer::kDialNoConnection);
    EXPECT_EQ(d.statuses.back(), "COM1: Modem error.");

    d.modem.answers["AT&C1\r"] = "\r\nERROR\r\n";
    EXPECT_EQ(d.Dialer().Dial(), CModemDialer::kDialCommandFailed);
}

TEST(ModemPort, FailedDialClosesWithModemResult) {
    CLinkPort port(0);
    port.SetSettings(ModemSettings());
    port.SetLineFactory([](const SPortSettings&, int&) {
        auto modem = std::make_unique<CFakeModem>();
        modem->answers["AT\r"] = kOk;
        modem->answers["ATE0Q0V1X4\r"] = "\r\nERROR\r\n";
        return modem;
    });
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastOpenResult(), OpenResult::ModemFailed);
    EXPECT_EQ(port.StatusText(), "COM1: Modem error.");

    // Set to RS-232 and working: the status describes the line, not the failed dial before.
    SPortSettings rs232 = ModemSettings();
    rs232.ApplyComType(kComRs232);
    port.SetSettings(rs232);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.StatusText(), PortStatusText(rs232, false));
    EXPECT_EQ(port.StatusText().find("Modem"), std::string::npos);
    port.Close();

    // A modem that fails again says so once more, and a new attempt starts afresh.
    port.SetSettings(ModemSettings());
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.StatusText(), "COM1: Modem error.");
}

TEST(ModemPort, DialledPortShowsOnlineAndHangsUpOnClose) {
    CLinkPort port(0);
    port.SetSettings(ModemSettings());
    std::vector<std::string> journal;
    port.SetLineFactory([&](const SPortSettings&, int&) {
        auto made = std::make_unique<CFakeModem>();
        for (const char* c : {"AT\r", "ATE0Q0V1X4\r", "AT&C1\r", "ATH0\r"}) made->answers[c] = kOk;
        made->answers["ATD5551234\r"] = "\r\nCONNECT\r\n";
        made->journal = &journal;
        return made;
    });
    ASSERT_TRUE(port.Open()) << WordOpenResult(port.LastOpenResult(), Language::Russian);
    EXPECT_EQ(port.StatusText(), "COM1: Modem online.");
    journal.clear();
    EXPECT_EQ(port.Close(), 1);
    // The carrier was up: the modem is started up again, which hangs it up.
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.front(), "AT\r");
    EXPECT_EQ(journal.back(), "ATH0\r");
}

}  // namespace
}  // namespace dravmer
