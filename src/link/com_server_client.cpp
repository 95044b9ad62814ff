#include "link/com_server_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/worker_thread.h"

namespace dravmer {

namespace {

constexpr int kClientNameSize = 128;
constexpr int kClientsWaitMs = 200;

std::string OwnHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

}  // namespace

CComServerClient::CComServerClient(int tcpPort) : m_tcpPort(tcpPort) {}

CComServerClient::~CComServerClient() { Close(); }

OpenResult CComServerClient::Connect(const SPortSettings& settings) {
    Close();
    m_settings = settings;
    if (settings.serverName.empty()) return OpenResult::BadServerName;
    const std::string host =
        settings.serverName == "LOCAL MACHINE" ? OwnHostName() : settings.serverName;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(m_tcpPort);
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        return OpenResult::NetworkError;
    }
    OpenResult result = OpenResult::ServerNotFound;
    for (addrinfo* a = found; a && m_socket < 0; a = a->ai_next) {
        const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) {
            result = OpenResult::NetworkError;
            continue;
        }
        // Connect without blocking past the wait limit, and wake on a stop of the caller.
        ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
        int rc = ::connect(s, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd fds[2] = {{s, POLLOUT, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
            const int n = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, kConnectWaitMs);
            int error = 0;
            socklen_t len = sizeof error;
            rc = (n > 0 && (fds[0].revents & POLLOUT) &&
                  ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0)
                     ? 0
                     : -1;
        }
        if (rc != 0) {
            ::close(s);
            result = OpenResult::ServerNotFound;
            continue;
        }
        ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) & ~O_NONBLOCK);
        m_socket = s;
    }
    ::freeaddrinfo(found);
    if (m_socket < 0) return result;

    {
        std::lock_guard lock(m_mutex);
        m_connectAnswer = -1;
        m_replyPending = m_replyArrived = m_overload = false;
        m_data.clear();
    }
    m_connected = true;
    // Whatever the server sends is received until the connection ends or the client closes.
    m_receiver = std::make_unique<CSocketReceiver>(
        m_socket, kComServerMaxMessage,
        [this](const std::uint8_t* data, int length) { OnBytes(data, length); },
        [this] { OnDisconnected(); });
    m_receiver->Start();
    std::unique_lock lock(m_mutex);
    const bool answered =
        m_cv.wait_for(lock, CWorkerThread::CurrentStopToken(),
                      std::chrono::milliseconds(kConnectWaitMs),
                      [&] { return m_connectAnswer >= 0 || !m_connected; });
    const int answer = m_connectAnswer;
    lock.unlock();
    if (!answered || answer < 0) {
        Close();
        return OpenResult::ServerNotFound;
    }
    if (answer != kCsStatusOk) {
        Close();
        return OpenResult::RemoteFailed;
    }
    return OpenResult::Ok;
}

void CComServerClient::Close() {
    m_connected = false;
    if (m_socket >= 0) ::shutdown(m_socket, SHUT_RDWR);
    m_receiver.reset();  // joins the receiver
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
    m_cv.notify_all();
}

bool CComServerClient::SendAll(const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool CComServerClient::SendFrame(const std::uint8_t* frame, int length, bool polling) {
    if (!m_connected) return false;
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, CWorkerThread::CurrentStopToken(),
                           std::chrono::milliseconds(kPendingWaitMs),
                           [&] { return !m_replyPending || !m_connected; }) ||
            !m_connected) {
            return false;
        }
        m_replyPending = true;
        m_replyArrived = false;
        m_overload = false;
        m_data.clear();
    }
    SComServerMessage m;
    m.type = polling ? kCsPollFrame : kCsFrame;
    m.data.assign(frame, frame + length);
    return SendAll(BuildComServerMessage(m));
}

int CComServerClient::WaitReply(std::vector<std::uint8_t>& data) {
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, CWorkerThread::CurrentStopToken(), std::chrono::milliseconds(kReplyWaitMs),
                  [&] { return m_replyArrived || !m_connected; });
    m_replyArrived = false;
    if (m_overload) {
        m_overload = false;
        m_data.clear();
        return -2;
    }
    data.swap(m_data);
    m_data.clear();
    return 0;
}

void CComServerClient::QueryClients() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_connected || m_replyPending) return;
        m_replyPending = true;
        m_clientsArrived = false;
    }
    SComServerMessage m;
    m.type = kCsClients;
    if (!SendAll(BuildComServerMessage(m))) return;
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, CWorkerThread::CurrentStopToken(),
                  std::chrono::milliseconds(kClientsWaitMs),
                  [&] { return m_clientsArrived || !m_connected; });
}

void CComServerClient::OnBytes(const std::uint8_t* data, int length) {
    for (const SComServerMessage& m : ParseComServerMessages(data, length)) {
        if (m.type == kCsHello) {
            SendAll(BuildComServerConnect(m_settings.serverPort, OwnHostName(), m_settings.Baud()));
        }
        std::lock_guard lock(m_mutex);
        m_replyPending = false;
        switch (m.type) {
            case kCsConnect:
                if (m.status == kCsStatusOk || m.status == kCsStatusPortClosed) {
                    m_connectAnswer = m.status;
                }
                break;
            case kCsClients:
                if (m.status != kCsStatusOk) break;
                m_load = m.load;
                m_clientCount = m.clients;
                m_clientNames.clear();
                for (std::size_t at = 0; at + kClientNameSize <= m.data.size();
                     at += kClientNameSize) {
                    const char* name = reinterpret_cast<const char*>(m.data.data() + at);
                    m_clientNames.emplace_back(name, strnlen(name, kClientNameSize));
                }
                m_clientsArrived = true;
                break;
            case kCsStatus:
                if (m.status != kCsStatusOk) break;
                m_load = m.load;
                m_clientCount = m.clients;
                break;
            case kCsFrame:
            case kCsPollFrame:
                if (m.status == kCsStatusOk) {
                    m_data.insert(m_data.end(), m.data.begin(), m.data.end());
                    m_load = m.load;
                    m_clientCount = m.clients;
                } else if (m.status == kCsStatusOverload) {
                    m_overload = true;
                }
                m_replyArrived = true;
                break;
            default:
                break;
        }
    }
    m_cv.notify_all();
}

void CComServerClient::OnDisconnected() {
    m_connected = false;
    m_cv.notify_all();
}

float CComServerClient::Load() const {
    std::lock_guard lock(m_mutex);
    return m_load;
}

int CComServerClient::ClientCount() const {
    std::lock_guard lock(m_mutex);
    return m_clientCount;
}

std::vector<std::string> CComServerClient::ClientNames() const {
    std::lock_guard lock(m_mutex);
    return m_clientNames;
}

}  // namespace dravmer
