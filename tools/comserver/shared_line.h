#pragma once
// One serial line the COM server shares: the line itself, who uses it and how busy it is. A
// line that hangs up (an adapter pulled, the far side of a pseudo-terminal gone) is closed and
// opened again with a growing pause, as the bench does with its own ports; so is a line that
// could not be opened at start.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/serial_line.h"

namespace dravmer::comserver {

using LogFn = std::function<void(const std::string& line)>;

struct SReopenPause {
    int firstMs = 250;
    int longestMs = 2000;
};

enum class EExchange { kDone, kBusy, kClosed };

class CSharedLine {
public:
    using Clock = std::chrono::steady_clock;
    // index 0 is the server's COM1. The log receives the line's losses and returns.
    CSharedLine(int index, std::string path, const SLineParams& params, SReopenPause pause = {},
                LogFn log = {});
    bool IsOpen() const { return m_open.load(); }
    const std::string& Path() const { return m_path; }
    // The errno value of the last failed open, 0 while none failed.
    int OpenError() const { return m_openError.load(); }
    // "COM1 (/dev/ttyUSB0)", for the log.
    std::string Title() const;

    // Runs one exchange unless another runs (kBusy) or the line is closed (kClosed).
    EExchange TryExchange(const std::vector<std::uint8_t>& frame, int timeoutMs,
                          std::vector<std::uint8_t>& reply);
    // Percent of the last 3 s the line spent in exchanges.
    float Load() const;

    // A client is known by its connection: one name each, replaced when it connects again.
    void Attach(const void* client, const std::string& name);
    void Detach(const void* client);
    std::vector<std::string> Clients() const;
    std::size_t ClientCount() const;

    // Closes the line when it has hung up, opens it when it is closed and its pause is over.
    // The server's line keeper calls this a few times a second; it never waits for an exchange.
    void Maintain(Clock::time_point now = Clock::now());
    // Opens made since the start (the first one included), for the log and for tests.
    int Opens() const { return m_opens.load(); }

private:
    void ReadReply(int timeoutMs, std::vector<std::uint8_t>& reply);
    void Open();                 // with m_exchange held
    void Lose(const char* why);  // with m_exchange held
    void Log(const std::string& text) const;

    int m_index;
    std::string m_path;
    SLineParams m_params;
    SReopenPause m_pause;
    LogFn m_log;
    CSerialLine m_line;  // used only with m_exchange held
    std::atomic<bool> m_open{false};
    std::atomic<int> m_openError{0};
    std::atomic<int> m_opens{0};
    std::mutex m_exchange;
    // Reopening, with m_exchange held.
    int m_pauseMs = 0;
    Clock::time_point m_nextTry{};
    bool m_failureLogged = false;
    bool m_lost = false;

    mutable std::mutex m_mutex;  // clients and busy intervals
    std::vector<std::pair<const void*, std::string>> m_clients;
    std::deque<std::pair<Clock::time_point, Clock::time_point>> m_busy;
};

}  // namespace dravmer::comserver
