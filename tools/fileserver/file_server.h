#pragma once
// The file server: serves a release folder to the benches of a lab over TCP, one thread per
// client. A client that completes no record for the idle limit, or leaves a record unfinished
// for the record limit, is let go. One address holds at most maxPerPeer connections; a full
// server makes room for a newcomer by letting go of the longest-connected connection that has
// not had a request on the release folder answered (CFileSession::Proven), or else of one of an
// address holding far more than the newcomer's, or else of the one quiet longest (the rule:
// platform/peer_admission.h). The benches' log lines go to a capped,
// rotated log file outside the release folder, a few lines a second per connection at most.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "fileserver/file_session.h"
#include "fileserver/release_folder.h"
#include "fileserver/server_log.h"
#include "platform/rate_limit.h"
#include "platform/worker_thread.h"

namespace dravmer::fileserver {

struct SFileServerOptions {
    std::filesystem::path root;
    std::string listen = "0.0.0.0";
    int port = kFileServerTcpPort;
    bool allowUpload = false;
    std::filesystem::path logFile;  // empty: dravmer-fileserver.log in the log folder
    int idleTimeoutMs = 30000;      // from the last whole record, never from a lone byte
    int recordTimeoutMs = 10000;    // from a record's first byte to its last
    int maxClients = 32;
    int maxPerPeer = 8;  // connections from one address at a time
    // A full server lets go of the longest-connected connection without a real exchange for a
    // newcomer once that one has been there this long (a bench's first request follows its
    // connection closely)...
    int evictUnprovenMs = 2000;
    // ...and, failing such a one, of its quietest connection when that one has done nothing
    // for at least this long (a bench's own requests follow each other closely).
    int evictQuietMs = 2000;
    SLogLimits logLimits;
    double logLinesPerSecond = 2.0;  // per connection, after a burst of logBurst lines
    double logBurst = 20.0;
    // The server's own notices (connections let go, accept failures), not the benches' lines.
    std::function<void(const std::string&)> notice;
};

class CFileConnection;

class CFileServer : public CWorkerThread {
public:
    explicit CFileServer(SFileServerOptions options);
    ~CFileServer() override;

    // Opens the folder, the log and the listening socket; false with a message in error. The
    // log must lie outside the release folder.
    bool Listen(std::string& error);
    int TcpPort() const { return m_options.port; }
    int ClientCount() const;
    // The most reply bytes one connection now open has held for its client at once.
    std::size_t PeakPendingReplies() const;
    const std::filesystem::path& LogFile() const { return m_options.logFile; }
    const SFileServerOptions& Options() const { return m_options; }
    CReleaseFolder& Folder() { return *m_folder; }
    // Appends a bench's line to the log file within the server-wide rate (thread-safe); false
    // when the line was left out.
    bool WriteLog(const std::string& computer, const std::string& line);
    void Notice(const std::string& text, bool flood = false);

protected:
    int Run() override;

private:
    void Reap();
    void Take(int client);
    bool Admit(int client);

    SFileServerOptions m_options;
    std::unique_ptr<CReleaseFolder> m_folder;
    int m_listen = -1;
    mutable std::mutex m_mutex;  // the connections
    std::list<std::unique_ptr<CFileConnection>> m_connections;
    std::uint64_t m_accepted = 0;  // connections accepted so far, by the accepting thread
    CServerLog m_log;
    std::mutex m_rateMutex;
    CRateLimit m_logRate{50.0, 200.0};  // all connections together
    CRateLimit m_noticeRate{2.0, 10.0};
};

}  // namespace dravmer::fileserver
