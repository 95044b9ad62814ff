#include "comserver/com_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "comserver/com_connection.h"
#include "platform/peer_admission.h"
#include "platform/tcp_listen.h"

namespace dravmer::comserver {

// Looks after the lines between exchanges: closes one that hung up, reopens a closed one.
class CLineKeeper : public CWorkerThread {
public:
    explicit CLineKeeper(std::vector<std::unique_ptr<CSharedLine>>& lines) : m_lines(lines) {}
    ~CLineKeeper() override { Stop(); }

protected:
    int Run() override {
        constexpr int kLookEveryMs = 100;
        do {
            for (auto& line : m_lines) line->Maintain();
        } while (WaitForStop(kLookEveryMs));
        return 0;
    }

private:
    std::vector<std::unique_ptr<CSharedLine>>& m_lines;
};

CComServer::CComServer(SComServerOptions options) : m_options(std::move(options)) {}

CComServer::~CComServer() {
    Stop();
    m_keeper.reset();
    {
        std::lock_guard lock(m_mutex);
        m_connections.clear();
    }
    if (m_listen >= 0) ::close(m_listen);
}

void CComServer::Log(const std::string& line, bool flood) {
    if (!m_options.log) return;
    std::lock_guard lock(m_logMutex);
    if (flood) {
        if (!m_floodLog.Take()) return;
        if (const auto left = m_floodLog.TakeRefusedCount()) {
            m_options.log(std::to_string(left) + " more lines like the next one left out");
        }
    }
    m_options.log(line);
}

bool CComServer::Listen(std::string& error) {
    m_keeper.reset();
    m_lines.clear();
    for (std::size_t i = 0; i < m_options.lines.size(); ++i) {
        m_lines.push_back(std::make_unique<CSharedLine>(
            static_cast<int>(i), m_options.lines[i], m_options.params, m_options.reopen,
            [this](const std::string& line) { Log(line); }));
    }
    m_listen = ListenTcp(m_options.listen, m_options.port, error);
    if (m_listen < 0) return false;
    m_keeper = std::make_unique<CLineKeeper>(m_lines);
    m_keeper->Start();
    return true;
}

int CComServer::ClientCount() const {
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& c : m_connections) n += c->IsRunning() && !c->StopRequested() ? 1 : 0;
    return n;
}

void CComServer::Refuse(int client, const std::string& why) {
    // The newcomer learns at once that it cannot have a line here (its bench shows "remote
    // port not open" and tries again later) instead of waiting for a greeting that never comes.
    SComServerMessage answer;
    answer.type = kCsConnect;
    answer.status = kCsStatusPortClosed;
    const std::vector<std::uint8_t> bytes = BuildComServerMessage(answer);
    [[maybe_unused]] const ssize_t sent =
        ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    Log("client " + PeerAddress(client) + " refused: " + why, true);
    ::shutdown(client, SHUT_WR);
    ::close(client);
}

// True when the newcomer may be served, another connection let go for it if the rule says so.
bool CComServer::Admit(int client) {
    std::lock_guard lock(m_mutex);
    std::vector<SAdmittedConnection> live;
    std::vector<CComClientConnection*> which;
    for (const auto& c : m_connections) {
        if (!c->IsRunning() || c->StopRequested()) continue;
        // Nobody is let go for being quiet here: a bench with its port open and no experiment
        // running only asks for the clients list.
        live.push_back({c->Host(), c->Serial(), c->Since(), c->Attached(), c->Since()});
        which.push_back(c.get());
    }
    SAdmissionLimits limits;
    limits.maxClients = m_options.maxClients;
    limits.maxPerPeer = m_options.maxPerPeer;
    limits.unprovenGrace = std::chrono::milliseconds(m_options.evictUnprovenMs);
    const SAdmissionVerdict verdict =
        dravmer::Admit(live, PeerHost(client), limits, std::chrono::steady_clock::now());
    switch (verdict.what) {
        case EAdmission::kTake:
            return true;
        case EAdmission::kTakeInPlace:
            which[verdict.evict]->Stop(true);
            Log("client " + which[verdict.evict]->Peer() + " let go to make room: " +
                    (verdict.why == ELetGo::kUnproven
                         ? "connected the longest without a line"
                         : "its address holds the most connections"),
                true);
            return true;
        case EAdmission::kRefusePeer:
            Refuse(client, std::to_string(m_options.maxPerPeer) +
                               " connections from this address already");
            return false;
        case EAdmission::kRefuseFull:
            Refuse(client, "all " + std::to_string(m_options.maxClients) +
                               " connections are taken");
            return false;
    }
    return false;
}

void CComServer::Take(int client) {
    if (!Admit(client)) return;
    EnableKeepAlive(client);
    auto connection = std::make_unique<CComClientConnection>(*this, client, ++m_accepted);
    // Started and listed under one lock: its thread may greet and serve the client at once, and
    // a client served must already count among the connections.
    std::lock_guard lock(m_mutex);
    connection->Start();
    m_connections.push_back(std::move(connection));
}

int CComServer::Run() {
    if (m_listen < 0) return 1;
    SAcceptLoop loop;
    loop.reap = [this] {
        std::lock_guard lock(m_mutex);
        m_connections.remove_if(
            [](const std::unique_ptr<CComClientConnection>& c) { return !c->IsRunning(); });
    };
    loop.take = [this](int client) { Take(client); };
    loop.starved = [this](int error, int pauseMs) {
        Log(std::string("cannot accept a connection (") + std::strerror(error) + "), pausing " +
                std::to_string(pauseMs) + " ms",
            true);
    };
    return AcceptClients(m_listen, loop);
}

}  // namespace dravmer::comserver
