#pragma once
// One client of the file server: its records in, the replies out, until it leaves, goes
// quiet past the idle limit, leaves a record unfinished past the record limit, or is let go
// to make room for a newcomer. Replies are made one record at a time, and none while more
// than a bound of them waits for the client to take it: a client that sends requests and
// never reads holds a bounded buffer, not the replies to everything it sent.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fileserver/file_server.h"

namespace dravmer::fileserver {

// Reply bytes a connection may hold for its client before it stops reading requests.
inline constexpr std::size_t kMaxPendingReplies = 1 << 20;

class CFileConnection : public CWorkerThread {
public:
    using Clock = std::chrono::steady_clock;
    CFileConnection(CFileServer& server, int socket, std::uint64_t serial);
    ~CFileConnection() override;

    // Since when the connection has done nothing (no record on its way or answered, no reply
    // taken whole by the client); Clock::time_point::max() while it answers a request.
    Clock::time_point QuietSince() const {
        return Clock::time_point(Clock::duration(m_quietSince.load()));
    }
    const std::string& Peer() const { return m_peer; }
    const std::string& Host() const { return m_host; }
    std::uint64_t Serial() const { return m_serial; }
    Clock::time_point Since() const { return m_since; }
    // True once the client has finished a real exchange (see CFileSession::Proven).
    bool Proven() const { return m_proven.load(); }
    // The most reply bytes this connection has held for its client at once.
    std::size_t PeakPendingReplies() const { return m_peakPending.load(); }

protected:
    int Run() override;

private:
    bool Log(const std::string& computer, const std::string& line);
    void SetQuietSince(Clock::time_point t) { m_quietSince = t.time_since_epoch().count(); }

    CFileServer& m_server;
    int m_socket;
    std::string m_peer;
    std::string m_host;
    const std::uint64_t m_serial;
    const Clock::time_point m_since;
    CFileSession m_session;
    CRateLimit m_logRate;  // used by this connection's thread only
    std::atomic<Clock::rep> m_quietSince;
    std::atomic<bool> m_proven{false};
    std::atomic<std::size_t> m_peakPending{0};
};

}  // namespace dravmer::fileserver
