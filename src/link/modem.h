#pragma once
// The Hayes dialogue of the modem port types: bring the modem to a known state, dial, hang up.
#include <functional>
#include <string>

#include "link/port_settings.h"
#include "link/serial_line.h"

namespace dravmer {

// Response codes of a wait.
enum EModemResponse {
    kModemExpected = 0,   // the expected word, or "CARRIER"
    kModemBusy = 1,       // "BUSY" or "RING"
    kModemNoCarrier = 2,  // "NO CARRIER" or "NO ANSWER"
    kModemNoDialTone = 3,
    kModemError = 4,
    kModemOther = 5,  // anything else, or no leading CR LF
    kModemTimeOut = 6,
};

// Classifies a response line as received (with its CR LF framing).
int ClassifyModemResponse(const std::string& response, const std::string& expected);

class CModemDialer {
public:
    static constexpr int kDialCommandFailed = 7;
    static constexpr int kDialNoConnection = 8;

    // status receives the texts shown while the dialogue runs; restoreStatus is called where
    // the port's normal status text comes back.
    CModemDialer(ISerialLine& line, const SPortSettings& settings,
                 std::function<void(const std::string&)> status,
                 std::function<void()> restoreStatus);

    void Send(const std::string& text);
    int Wait(const std::string& expected, int limitMs);
    // 1 success, 0 failure. Hangs up a modem that has a carrier.
    int StartUp();
    // 0 success, 7 command failure, 8 no connection.
    int Dial();

private:
    void Status(const char* format);

    ISerialLine& m_line;
    SPortSettings m_settings;
    std::function<void(const std::string&)> m_status;
    std::function<void()> m_restoreStatus;
};

}  // namespace dravmer
