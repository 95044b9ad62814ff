#pragma once
// The file server: serves a release folder to the benches of a lab over TCP, one thread per
// client. A client that completes no record for the idle limit, or leaves a record unfinished
// for the record limit, is let go; a full server makes room for a newcomer by letting go of
// the connection that has been quiet longest. The benches' log lines go to a capped, rotated
// log file outside the release folder, a few lines a second per connection at most.
#include <atomic>
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
    // A full server lets go of its quietest connection for a newcomer when that one has done
    // nothing for at least this long (a bench's own requests follow each other closely).
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
    bool MakeRoom();

    SFileServerOptions m_options;
    std::unique_ptr<CReleaseFolder> m_folder;
    int m_listen = -1;
    mutable std::mutex m_mutex;  // the connections
    std::list<std::unique_ptr<CFileConnection>> m_connections;
    CServerLog m_log;
    std::mutex m_rateMutex;
    CRateLimit m_logRate{50.0, 200.0};  // all connections together
    CRateLimit m_noticeRate{2.0, 10.0};
};

}  // namespace dravmer::fileserver
