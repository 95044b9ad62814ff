#include "comserver/com_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/frame.h"
#include "platform/cp1251.h"
#include "platform/tcp_listen.h"

namespace dravmer::comserver {

namespace {

constexpr int kClientNameSize = 128;
constexpr int kSendWaitMs = 5000;

std::string Seconds(int ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

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

CComClientConnection::CComClientConnection(CComServer& server, int socket, std::uint64_t serial)
    : m_server(server),
      m_options(server.Options()),
      m_socket(socket),
      m_peer(PeerAddress(socket)),
      m_host(PeerHost(socket)),
      m_serial(serial),
      m_since(Clock::now()) {}

CComClientConnection::~CComClientConnection() {
    Stop();
    ::close(m_socket);
}

std::string CComClientConnection::Who() const {
    if (m_name.empty()) return m_peer;
    // The name is the client's own bytes: nothing in it may start a line of the log.
    std::string name = Cp1251ToUtf8(m_name);
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return m_peer + " (" + name + ")";
}

int CComClientConnection::Run() {
    SComServerMessage hello;
    hello.type = kCsHello;
    if (!Send(hello)) return 0;
    const auto idle = std::chrono::milliseconds(m_options.idleTimeoutMs);
    const auto messageLimit = std::chrono::milliseconds(m_options.messageTimeoutMs);
    // The idle limit runs from the last whole message, never from a lone byte, and the
    // message limit from the first byte of an unfinished one.
    Clock::time_point lastWhole = Clock::now();
    // When the unfinished message began; max() while none is on its way.
    constexpr Clock::time_point kNone = Clock::time_point::max();
    Clock::time_point partSince = kNone;
    std::vector<std::uint8_t> in;
    std::uint8_t buffer[kComServerMaxMessage];
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
    bool open = true;
    while (open && !StopRequested()) {
        Clock::time_point deadline = lastWhole + (m_greeted ? idle : std::min(idle, messageLimit));
        if (partSince != kNone) deadline = std::min(deadline, partSince + messageLimit);
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            const std::string why =
                partSince != kNone && partSince + messageLimit <= now
                    ? "a message unfinished after " + Seconds(m_options.messageTimeoutMs)
                : m_greeted
                    ? "no whole message for " + Seconds(m_options.idleTimeoutMs)
                    : "no answer to the greeting for " +
                          Seconds(std::min(m_options.idleTimeoutMs, m_options.messageTimeoutMs));
            m_server.Log("client " + Who() + " let go: " + why, true);
            break;
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        if (::poll(fds, 2, static_cast<int>(std::min<long long>(waitMs, 60000))) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents & POLLIN) break;
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const Clock::time_point arrived = Clock::now();
        const bool fresh = in.empty();
        in.insert(in.end(), buffer, buffer + n);
        SComServerMessage m;
        EMessageState state;
        bool whole = false;
        while (open && (state = TakeComServerMessage(in, m)) == EMessageState::kComplete) {
            whole = true;
            lastWhole = arrived;
            open = Serve(m);
        }
        if (open && state == EMessageState::kInvalid) break;
        if (in.empty()) {
            partSince = kNone;
        } else if (fresh || whole) {
            partSince = arrived;  // the unfinished message began in these bytes
        }
    }
    Leave();
    ::shutdown(m_socket, SHUT_RDWR);
    return 0;
}

void CComClientConnection::Leave() {
    if (m_line) m_line->Detach(this);
    m_line = nullptr;
}

bool CComClientConnection::Send(const SComServerMessage& m) {
    const std::vector<std::uint8_t> bytes = BuildComServerMessage(m);
    return SendAllWithin(m_socket, bytes.data(), bytes.size(), kSendWaitMs);
}

void CComClientConnection::Describe(SComServerMessage& out) const {
    if (!m_line) return;
    out.load = m_line->Load();
    out.clients = static_cast<std::uint8_t>(std::min<std::size_t>(m_line->ClientCount(), 255));
}

void CComClientConnection::Connect(const SComServerMessage& m, SComServerMessage& out) {
    m_greeted = true;
    const int wanted = m.data.empty() ? -1 : m.data[0];
    // One name per connection: a new answer replaces the old name, on the old line too.
    Leave();
    m_name.clear();
    if (m.data.size() > 1) {
        const char* name = reinterpret_cast<const char*>(m.data.data() + 1);
        m_name.assign(name, strnlen(name, std::min<std::size_t>(m.data.size() - 1, 127)));
    }
    if (wanted >= 0 && wanted < m_server.LineCount() && m_server.Line(wanted).IsOpen()) {
        m_line = &m_server.Line(wanted);
        m_line->Attach(this, m_name);
        m_attached = true;
        out.status = kCsStatusOk;
    } else {
        out.status = kCsStatusPortClosed;
    }
}

bool CComClientConnection::Serve(const SComServerMessage& m) {
    SComServerMessage out;
    out.type = m.type;
    switch (m.type) {
        case kCsConnect:
            Connect(m, out);
            break;
        case kCsFrame:
        case kCsPollFrame:
            if (!m_line) {
                out.status = kCsStatusPortClosed;
                break;
            }
            switch (m_line->TryExchange(m.data, m_options.replyTimeoutMs, out.data)) {
                case EExchange::kDone:
                    break;
                case EExchange::kBusy:
                    out.status = kCsStatusOverload;
                    break;
                case EExchange::kClosed:  // lost and not back yet: no data, as from a dead line
                    out.status = kCsStatusPortClosed;
                    break;
            }
            break;
        case kCsClients:
            if (m_line) {
                for (const std::string& name : m_line->Clients()) {
                    if (out.data.size() + kClientNameSize + 31 > kComServerMaxMessage) break;
                    std::vector<std::uint8_t> field(kClientNameSize, 0);
                    std::memcpy(field.data(), name.data(), std::min<std::size_t>(name.size(), 127));
                    out.data.insert(out.data.end(), field.begin(), field.end());
                }
            }
            break;
        case kCsStatus:
            break;
        default:
            return true;  // nothing to answer
    }
    Describe(out);
    return Send(out);
}

}  // namespace dravmer::comserver
