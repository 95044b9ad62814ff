#pragma once
// The file server: serves a release folder to the benches of a lab over TCP, one thread per
// client. A client that stays silent longer than the idle limit (also in the middle of a
// record) is disconnected.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "fileserver/file_session.h"
#include "fileserver/release_folder.h"
#include "platform/worker_thread.h"

namespace dravmer::fileserver {

struct SFileServerOptions {
    std::filesystem::path root;
    std::string listen = "0.0.0.0";
    int port = kFileServerTcpPort;
    bool allowUpload = false;
    std::filesystem::path logFile;  // empty: ROOT/.dravmer-fileserver.log
    int idleTimeoutMs = 60000;
    int maxClients = 32;
};

class CFileConnection;

class CFileServer : public CWorkerThread {
public:
    explicit CFileServer(SFileServerOptions options);
    ~CFileServer() override;

    // Opens the folder and the listening socket; false with a message in error.
    bool Listen(std::string& error);
    int TcpPort() const { return m_options.port; }
    int ClientCount() const;
    const std::filesystem::path& LogFile() const { return m_options.logFile; }
    // Appends a line to the log file (thread-safe).
    void WriteLog(const std::string& computer, const std::string& line);

protected:
    int Run() override;

private:
    friend class CFileConnection;
    void Reap();

    SFileServerOptions m_options;
    std::unique_ptr<CReleaseFolder> m_folder;
    int m_listen = -1;
    mutable std::mutex m_mutex;  // the connections and the log
    std::list<std::unique_ptr<CFileConnection>> m_connections;
    std::ofstream m_log;
};

}  // namespace dravmer::fileserver
