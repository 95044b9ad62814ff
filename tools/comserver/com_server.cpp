#include "comserver/com_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/frame.h"
#include "platform/perf_timer.h"
#include "platform/tcp_listen.h"

namespace dravmer::comserver {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClientNameSize = 128;
constexpr int kLoadWindowMs = 3000;
constexpr int kMaxReply = 2048;
constexpr int kSendWaitMs = 5000;

}  // namespace

EMessageState TakeComServerMessage(std::vector<std::uint8_t>& in, SComServerMessage& message) {
    if (in.empty()) return EMessageState::kNeedMore;
    const std::size_t tagSeen = std::min<std::size_t>(in.size(), sizeof kComServerTag);
    if (std::memcmp(in.data(), kComServerTag, tagSeen) != 0) return EMessageState::kInvalid;
    if (in.size() < 19) return EMessageState::kNeedMore;
    const std::uint32_t total = GetLe32(in.data() + 15);
    if (total < static_cast<std::uint32_t>(kComServerHeaderSize) ||
        total > static_cast<std::uint32_t>(kComServerMaxMessage)) {
        return EMessageState::kInvalid;
    }
    if (in.size() < total) return EMessageState::kNeedMore;
    const auto parsed = ParseComServerMessages(in.data(), static_cast<int>(total));
    if (parsed.size() != 1) return EMessageState::kInvalid;
    message = parsed[0];
    in.erase(in.begin(), in.begin() + total);
    return EMessageState::kComplete;
}

CSharedLine::CSharedLine(std::string path, const SLineParams& params) : m_path(std::move(path)) {
    m_openError = m_line.Open(m_path, params);
}

bool CSharedLine::TryExchange(const std::vector<std::uint8_t>& frame, int timeoutMs,
                              std::vector<std::uint8_t>& reply) {
    std::unique_lock exchange(m_exchange, std::try_to_lock);
    if (!exchange.owns_lock()) return false;
    const Clock::time_point start = Clock::now();
    reply.clear();
    m_line.Purge();
    if (m_line.Write(frame.data(), static_cast<int>(frame.size()))) ReadReply(timeoutMs, reply);
    std::lock_guard lock(m_mutex);
    m_busy.emplace_back(start, Clock::now());
    while (m_busy.size() > 1024) m_busy.pop_front();
    return true;
}

void CSharedLine::ReadReply(int timeoutMs, std::vector<std::uint8_t>& in) {
    CPerfTimer timer;
    std::uint8_t chunk[kMaxReply];
    auto readUntil = [&](std::size_t target) {
        target = std::min<std::size_t>(target, kMaxReply);
        while (in.size() < target) {
            const int left = timeoutMs - static_cast<int>(timer.GetElapsedMs());
            if (left < 0) return;
            const int n = m_line.Read(chunk, static_cast<int>(target - in.size()), left);
            if (n < 0) return;
            in.insert(in.end(), chunk, chunk + n);
        }
    };
    // A frame says its own length in blocks; four copies of its first byte may precede it.
    readUntil(kBlockSize);
    if (in.size() < kBlockSize) return;
    if (in[0] == in[1] && in[0] == in[2] && in[0] == in[3] && in[0] == in[4]) {
        readUntil(12);
        if (in.size() >= 12) readUntil(static_cast<std::size_t>(kBlockSize * in[8] + 4));
        in.erase(in.begin(), in.begin() + 4);
    } else {
        readUntil(static_cast<std::size_t>(kBlockSize * in[4]));
    }
}

float CSharedLine::Load() const {
    const Clock::time_point now = Clock::now();
    const Clock::time_point from = now - std::chrono::milliseconds(kLoadWindowMs);
    double busyMs = 0;
    std::lock_guard lock(m_mutex);
    for (const auto& [start, end] : m_busy) {
        if (end <= from) continue;
        busyMs += std::chrono::duration<double, std::milli>(end - std::max(start, from)).count();
    }
    return static_cast<float>(std::min(100.0, busyMs * 100.0 / kLoadWindowMs));
}

void CSharedLine::Attach(const std::string& client) {
    std::lock_guard lock(m_mutex);
    m_clients.push_back(client);
}

void CSharedLine::Detach(const std::string& client) {
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_clients.begin(), m_clients.end(), client);
    if (it != m_clients.end()) m_clients.erase(it);
}

std::vector<std::string> CSharedLine::Clients() const {
    std::lock_guard lock(m_mutex);
    return m_clients;
}

// One client: greeted, attached to the line it names, served until it leaves.
class CComClientConnection : public CWorkerThread {
public:
    CComClientConnection(CComServer& server, int socket) : m_server(server), m_socket(socket) {}
    ~CComClientConnection() override {
        Stop();
        ::close(m_socket);
    }

protected:
    int Run() override {
        SComServerMessage hello;
        hello.type = kCsHello;
        if (!Send(hello)) return 0;
        std::vector<std::uint8_t> in;
        std::uint8_t buffer[kComServerMaxMessage];
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
        while (!StopRequested()) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[1].revents & POLLIN) break;
            const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            in.insert(in.end(), buffer, buffer + n);
            SComServerMessage m;
            EMessageState state;
            while ((state = TakeComServerMessage(in, m)) == EMessageState::kComplete) {
                if (!Serve(m)) break;
            }
            if (state == EMessageState::kInvalid) break;
        }
        if (m_line) m_line->Detach(m_name);
        ::shutdown(m_socket, SHUT_RDWR);
        return 0;
    }

private:
    bool Send(const SComServerMessage& m) {
        const std::vector<std::uint8_t> bytes = BuildComServerMessage(m);
        return SendAllWithin(m_socket, bytes.data(), bytes.size(), kSendWaitMs);
    }

    void Describe(SComServerMessage& out) const {
        if (!m_line) return;
        out.load = m_line->Load();
        out.clients =
            static_cast<std::uint8_t>(std::min<std::size_t>(m_line->Clients().size(), 255));
    }

    bool Serve(const SComServerMessage& m) {
        SComServerMessage out;
        out.type = m.type;
        switch (m.type) {
            case kCsConnect: {
                const int wanted = m.data.empty() ? -1 : m.data[0];
                if (m.data.size() > 1) {
                    const char* name = reinterpret_cast<const char*>(m.data.data() + 1);
                    m_name.assign(name,
                                  strnlen(name, std::min<std::size_t>(m.data.size() - 1, 127)));
                }
                if (m_line) m_line->Detach(m_name);
                m_line = nullptr;
                if (wanted >= 0 && wanted < m_server.LineCount() &&
                    m_server.Line(wanted).IsOpen()) {
                    m_line = &m_server.Line(wanted);
                    m_line->Attach(m_name);
                    out.status = kCsStatusOk;
                } else {
                    out.status = kCsStatusPortClosed;
                }
                Describe(out);
                return Send(out);
            }
            case kCsFrame:
            case kCsPollFrame:
                if (!m_line) {
                    out.status = kCsStatusPortClosed;
                } else if (!m_line->TryExchange(m.data, m_server.m_options.replyTimeoutMs,
                                                out.data)) {
                    out.status = kCsStatusOverload;
                }
                Describe(out);
                return Send(out);
            case kCsClients:
                if (m_line) {
                    for (const std::string& name : m_line->Clients()) {
                        std::vector<std::uint8_t> field(kClientNameSize, 0);
                        std::memcpy(field.data(), name.data(),
                                    std::min<std::size_t>(name.size(), 127));
                        out.data.insert(out.data.end(), field.begin(), field.end());
                        if (out.data.size() + kClientNameSize + 31 > kComServerMaxMessage) break;
                    }
                }
                Describe(out);
                return Send(out);
            case kCsStatus:
                Describe(out);
                return Send(out);
            default:
                return true;  // nothing to answer
        }
    }

    CComServer& m_server;
    int m_socket;
    CSharedLine* m_line = nullptr;
    std::string m_name;
};

CComServer::CComServer(SComServerOptions options) : m_options(std::move(options)) {}

CComServer::~CComServer() {
    Stop();
    {
        std::lock_guard lock(m_mutex);
        m_connections.clear();
    }
    if (m_listen >= 0) ::close(m_listen);
}

bool CComServer::Listen(std::string& error) {
    m_lines.clear();
    for (const std::string& path : m_options.lines) {
        m_lines.push_back(std::make_unique<CSharedLine>(path, m_options.params));
    }
    m_listen = ListenTcp(m_options.listen, m_options.port, error);
    return m_listen >= 0;
}

int CComServer::ClientCount() const {
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& c : m_connections) n += c->IsRunning() ? 1 : 0;
    return n;
}

int CComServer::Run() {
    if (m_listen < 0) return 1;
    const auto reap = [this] {
        std::lock_guard lock(m_mutex);
        m_connections.remove_if(
            [](const std::unique_ptr<CComClientConnection>& c) { return !c->IsRunning(); });
    };
    return AcceptClients(
        m_listen, m_options.maxClients, reap, [this] { return ClientCount(); },
        [this](int client) {
            auto connection = std::make_unique<CComClientConnection>(*this, client);
            connection->Start();
            std::lock_guard lock(m_mutex);
            m_connections.push_back(std::move(connection));
        });
}

}  // namespace dravmer::comserver
