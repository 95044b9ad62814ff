#include "fileserver/file_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/tcp_listen.h"

namespace dravmer::fileserver {

class CFileConnection : public CWorkerThread {
public:
    CFileConnection(CFileServer& server, int socket)
        : m_server(server),
          m_socket(socket),
          m_session(*server.m_folder, server.m_options.allowUpload,
                    [&server](const std::string& computer, const std::string& line) {
                        server.WriteLog(computer, line);
                    }) {}
    ~CFileConnection() override {
        Stop();
        ::close(m_socket);
    }

protected:
    int Run() override {
        std::vector<std::uint8_t> buffer(64 * 1024);
        std::vector<std::uint8_t> replies;
        const int idleMs = m_server.m_options.idleTimeoutMs;
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
        while (!StopRequested()) {
            const int ready = ::poll(fds, 2, idleMs);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) break;  // silent for too long
            if (fds[1].revents & POLLIN) break;
            const ssize_t n = ::recv(m_socket, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            replies.clear();
            const bool ok = m_session.Feed(buffer.data(), static_cast<std::size_t>(n), replies);
            if (!replies.empty() &&
                !SendAllWithin(m_socket, replies.data(), replies.size(), idleMs)) {
                break;
            }
            if (!ok) break;  // not this service's records: nothing more can be understood
        }
        ::shutdown(m_socket, SHUT_RDWR);
        return 0;
    }

private:
    CFileServer& m_server;
    int m_socket;
    CFileSession m_session;
};

CFileServer::CFileServer(SFileServerOptions options) : m_options(std::move(options)) {
    if (m_options.logFile.empty()) m_options.logFile = m_options.root / ".dravmer-fileserver.log";
}

CFileServer::~CFileServer() {
    Stop();
    {
        std::lock_guard lock(m_mutex);
        m_connections.clear();  // each stops and joins its thread
    }
    if (m_listen >= 0) ::close(m_listen);
}

bool CFileServer::Listen(std::string& error) {
    m_folder = std::make_unique<CReleaseFolder>(m_options.root);
    if (!m_folder->IsOpen()) {
        error = "cannot open the release folder " + m_options.root.string();
        return false;
    }
    m_log.open(m_options.logFile, std::ios::app);
    if (!m_log) {
        error = "cannot open the log file " + m_options.logFile.string();
        return false;
    }
    m_listen = ListenTcp(m_options.listen, m_options.port, error);
    return m_listen >= 0;
}

void CFileServer::WriteLog(const std::string& computer, const std::string& line) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::lock_guard lock(m_mutex);
    m_log << stamp << " " << computer << ": " << line << std::endl;
}

int CFileServer::ClientCount() const {
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& c : m_connections) n += c->IsRunning() ? 1 : 0;
    return n;
}

void CFileServer::Reap() {
    std::lock_guard lock(m_mutex);
    m_connections.remove_if(
        [](const std::unique_ptr<CFileConnection>& c) { return !c->IsRunning(); });
}

int CFileServer::Run() {
    if (m_listen < 0) return 1;
    return AcceptClients(
        m_listen, m_options.maxClients, [this] { Reap(); }, [this] { return ClientCount(); },
        [this](int client) {
            auto connection = std::make_unique<CFileConnection>(*this, client);
            connection->Start();
            std::lock_guard lock(m_mutex);
            m_connections.push_back(std::move(connection));
        });
}

}  // namespace dravmer::fileserver
