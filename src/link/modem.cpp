#include "link/modem.h"

#include <cstdio>

#include "platform/perf_timer.h"

namespace dravmer {

int ClassifyModemResponse(const std::string& response, const std::string& expected) {
    if (response.size() < 2 || response[0] != '\r' || response[1] != '\n') return kModemOther;
    std::string line = response.substr(2);
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
        line.resize(line.size() - 2);
    }
    if (line.rfind(expected, 0) == 0) return kModemExpected;
    if (line == "CARRIER") return kModemExpected;
    if (line == "BUSY" || line == "RING") return kModemBusy;
    if (line == "NO CARRIER" || line == "NO ANSWER") return kModemNoCarrier;
    if (line == "NO DIAL TONE") return kModemNoDialTone;
    if (line == "ERROR") return kModemError;
    return kModemOther;
}

CModemDialer::CModemDialer(ISerialLine& line, const SPortSettings& settings,
                           std::function<void(const std::string&)> status,
                           std::function<void()> restoreStatus)
    : m_line(line),
      m_settings(settings),
      m_status(std::move(status)),
      m_restoreStatus(std::move(restoreStatus)) {}

void CModemDialer::Status(const char* format) {
    char text[128];
    std::snprintf(text, sizeof text, format, PortName(m_settings.comNumber).c_str());
    if (m_status) m_status(text);
}

void CModemDialer::Send(const std::string& text) {
    m_line.Purge();
    m_line.Write(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
}

int CModemDialer::Wait(const std::string& expected, int limitMs) {
    const std::size_t expectedLength = expected.size() + 4;
    CPerfTimer timer;
    if (!CPerfTimer::Wait(10)) return kModemTimeOut;
    std::string response;
    for (;;) {
        std::uint8_t chunk[128];
        const int room = static_cast<int>(expectedLength + 20);
        const int left = limitMs - static_cast<int>(timer.GetElapsedMs());
        const int n = m_line.Read(chunk, room < 128 ? room : 128, left > 0 ? left : 0);
        if (n > 0) response.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(n));
        if (timer.GetElapsedMs() > limitMs || n < 0) return kModemTimeOut;
        if (response.size() >= expectedLength) break;
        // Sleeps between reads wake on a stop of the calling worker.
        if (!CPerfTimer::Wait(100)) return kModemTimeOut;
    }
    return ClassifyModemResponse(response, expected);
}

int CModemDialer::StartUp() {
    Status("%s: Modem init...");
    Send("AT\r");
    int answer = Wait("OK", 1000);
    if (answer != kModemExpected) {
        // A modem in data mode hears commands only after a guard time and the escape.
        if (!CPerfTimer::Wait(1500)) return 0;
        Send("+++");
        answer = Wait("OK", 2000);
    }
    if (answer != kModemExpected || m_line.Carrier()) {
        Status("%s: Modem hangup");
        Send("ATH0\r");
        if (Wait("OK", 2000) != kModemExpected) {
            Status("%s: Modem error.");
            return 0;
        }
        if (m_restoreStatus) m_restoreStatus();
        return 1;
    }
    Status("%s: Modem offline");
    return 1;
}

int CModemDialer::Dial() {
    Status("%s: Modem dial...");
    Send("AT\r");
    Wait("OK", 1000);
    const std::string steps[] = {"ATE0Q0V1X4\r", "AT&C1\r"};
    for (const std::string& step : steps) {
        Send(step);
        if (Wait("OK", 2000) != kModemExpected) {
            Status("%s: Modem error.");
            return kDialCommandFailed;
        }
    }
    if (!m_settings.modemInitString.empty()) {
        Send("AT" + m_settings.modemInitString + "\r");
        if (Wait("OK", 2000) != kModemExpected) {
            Status("%s: Modem error.");
            return kDialCommandFailed;
        }
    }
    Send("ATD" + m_settings.modemPhoneNumber + "\r");
    if (Wait("CONNECT", m_settings.modemWaitForConnectS * 1000) != kModemExpected) {
        Status("%s: Modem error.");
        return kDialNoConnection;
    }
    if (m_restoreStatus) m_restoreStatus();
    return 0;
}

}  // namespace dravmer
