#pragma once
// One client of the file server: its records in, the replies out, until it leaves, goes
// quiet past the idle limit, leaves a record unfinished past the record limit, or is let go
// to make room for a newcomer.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "fileserver/file_server.h"

namespace dravmer::fileserver {

class CFileConnection : public CWorkerThread {
public:
    using Clock = std::chrono::steady_clock;
    CFileConnection(CFileServer& server, int socket);
    ~CFileConnection() override;

    // Since when the connection has done nothing (no record on its way, no reply being made);
    // Clock::time_point::max() while it works.
    Clock::time_point QuietSince() const {
        return Clock::time_point(Clock::duration(m_quietSince.load()));
    }
    const std::string& Peer() const { return m_peer; }

protected:
    int Run() override;

private:
    bool Log(const std::string& computer, const std::string& line);
    void SetQuietSince(Clock::time_point t) { m_quietSince = t.time_since_epoch().count(); }

    CFileServer& m_server;
    int m_socket;
    std::string m_peer;
    CFileSession m_session;
    CRateLimit m_logRate;  // used by this connection's thread only
    std::atomic<Clock::rep> m_quietSince;
};

}  // namespace dravmer::fileserver
