#include "fileserver/file_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "fileserver/file_connection.h"
#include "platform/paths.h"
#include "platform/peer_admission.h"
#include "platform/tcp_listen.h"

namespace dravmer::fileserver {

namespace fs = std::filesystem;

namespace {

// True when path lies in folder or below it (both may name things that do not exist yet).
bool IsInside(const fs::path& path, const fs::path& folder) {
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    const fs::path f = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    auto pi = p.begin();
    for (auto fi = f.begin(); fi != f.end(); ++fi, ++pi) {
        if (fi->empty()) continue;  // a trailing separator
        if (pi == p.end() || *pi != *fi) return false;
    }
    return true;
}

}  // namespace

CFileServer::CFileServer(SFileServerOptions options)
    : m_options(std::move(options)), m_log(m_options.logLimits) {
    if (m_options.logFile.empty()) m_options.logFile = LogDir() / "dravmer-fileserver.log";
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
    // The benches write the log: in the folder they download from, it would be theirs to fill.
    if (IsInside(m_options.logFile, m_options.root)) {
        error = "the log file " + m_options.logFile.string() +
                " lies in the release folder; give --log a file outside it";
        return false;
    }
    if (!EnsureDir(m_options.logFile.parent_path().empty() ? fs::path(".")
                                                           : m_options.logFile.parent_path()) ||
        !m_log.Open(m_options.logFile, error)) {
        if (error.empty())
            error = "cannot make the folder of the log file " + m_options.logFile.string();
        return false;
    }
    m_listen = ListenTcp(m_options.listen, m_options.port, error);
    return m_listen >= 0;
}

bool CFileServer::WriteLog(const std::string& computer, const std::string& line) {
    std::uint64_t left = 0;
    {
        std::lock_guard lock(m_rateMutex);
        if (!m_logRate.Take()) return false;
        left = m_logRate.TakeRefusedCount();
    }
    if (left) {
        m_log.Write("dravmer-fileserver",
                    std::to_string(left) + " lines of all clients left out: too many at once");
    }
    return m_log.Write(computer, line);
}

void CFileServer::Notice(const std::string& text, bool flood) {
    if (!m_options.notice) return;
    std::lock_guard lock(m_rateMutex);
    if (flood) {
        if (!m_noticeRate.Take()) return;
        if (const auto left = m_noticeRate.TakeRefusedCount()) {
            m_options.notice(std::to_string(left) + " more notices like the next one left out");
        }
    }
    m_options.notice(text);
}

int CFileServer::ClientCount() const {
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& c : m_connections) n += c->IsRunning() && !c->StopRequested() ? 1 : 0;
    return n;
}

void CFileServer::Reap() {
    std::lock_guard lock(m_mutex);
    m_connections.remove_if(
        [](const std::unique_ptr<CFileConnection>& c) { return !c->IsRunning(); });
}

std::size_t CFileServer::PeakPendingReplies() const {
    std::lock_guard lock(m_mutex);
    std::size_t peak = 0;
    for (const auto& c : m_connections) peak = std::max(peak, c->PeakPendingReplies());
    return peak;
}

// Takes the newcomer, letting another connection go for it when the rule says so; false when
// it is refused (its descriptor is then closed).
bool CFileServer::Admit(int client) {
    const std::string host = PeerHost(client);
    std::string refusal;
    {
        std::lock_guard lock(m_mutex);
        std::vector<SAdmittedConnection> live;
        std::vector<CFileConnection*> which;
        for (const auto& c : m_connections) {
            if (!c->IsRunning() || c->StopRequested()) continue;
            live.push_back({c->Host(), c->Serial(), c->Since(), c->Proven(), c->QuietSince()});
            which.push_back(c.get());
        }
        SAdmissionLimits limits;
        limits.maxClients = m_options.maxClients;
        limits.maxPerPeer = m_options.maxPerPeer;
        limits.unprovenGrace = std::chrono::milliseconds(m_options.evictUnprovenMs);
        limits.quietGrace = std::chrono::milliseconds(m_options.evictQuietMs);
        const SAdmissionVerdict verdict =
            dravmer::Admit(live, host, limits, CFileConnection::Clock::now());
        switch (verdict.what) {
            case EAdmission::kTake:
                return true;
            case EAdmission::kTakeInPlace: {
                CFileConnection* gone = which[verdict.evict];
                gone->Stop(true);
                const char* why = verdict.why == ELetGo::kUnproven
                                      ? "connected the longest without a request answered"
                                  : verdict.why == ELetGo::kOverShare
                                      ? "its address holds the most connections"
                                      : "quiet the longest";
                Notice("client " + gone->Peer() + " let go to make room: " + why, true);
                return true;
            }
            case EAdmission::kRefusePeer:
                refusal = std::to_string(m_options.maxPerPeer) +
                          " connections from this address already";
                break;
            case EAdmission::kRefuseFull:
                refusal = "all " + std::to_string(m_options.maxClients) +
                          " connections are busy";
                break;
        }
    }
    Notice("client " + PeerAddress(client) + " refused: " + refusal, true);
    ::close(client);
    return false;
}

void CFileServer::Take(int client) {
    if (!Admit(client)) return;
    EnableKeepAlive(client);
    auto connection = std::make_unique<CFileConnection>(*this, client, ++m_accepted);
    connection->Start();
    std::lock_guard lock(m_mutex);
    m_connections.push_back(std::move(connection));
}

int CFileServer::Run() {
    if (m_listen < 0) return 1;
    SAcceptLoop loop;
    loop.reap = [this] { Reap(); };
    loop.take = [this](int client) { Take(client); };
    loop.starved = [this](int error, int pauseMs) {
        Notice(std::string("cannot accept a connection (") + std::strerror(error) + "), pausing " +
                   std::to_string(pauseMs) + " ms",
               true);
    };
    return AcceptClients(m_listen, loop);
}

}  // namespace dravmer::fileserver
