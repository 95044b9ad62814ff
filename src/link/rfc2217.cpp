#include "link/rfc2217.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "link/net_serial.h"
#include "platform/perf_timer.h"
#include "platform/worker_thread.h"

namespace dravmer {

std::vector<std::uint8_t> TelnetEscape(const std::uint8_t* data, int length) {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(length) + 8);
    for (int i = 0; i < length; ++i) {
        out.push_back(data[i]);
        if (data[i] == kTelnetIac) out.push_back(kTelnetIac);
    }
    return out;
}

std::vector<std::uint8_t> ComPortCommand(std::uint8_t command,
                                         const std::vector<std::uint8_t>& value) {
    std::vector<std::uint8_t> out = {kTelnetIac, kTelnetSb, kTelnetComPort, command};
    const auto escaped = TelnetEscape(value.data(), static_cast<int>(value.size()));
    out.insert(out.end(), escaped.begin(), escaped.end());
    out.push_back(kTelnetIac);
    out.push_back(kTelnetSe);
    return out;
}

void CTelnetDecoder::Negotiate(std::uint8_t verb, std::uint8_t option,
                               std::vector<std::uint8_t>& reply) {
    const bool wanted = option == kTelnetBinary || option == kTelnetSga || option == kTelnetComPort;
    std::uint8_t answer = 0;
    if (verb == kTelnetWill)
        answer = (wanted && option != kTelnetComPort) ? kTelnetDo : kTelnetDont;
    if (verb == kTelnetDo) answer = wanted ? kTelnetWill : kTelnetWont;
    if (answer == 0) return;  // WONT and DONT need no answer
    // Each option is answered once: answering an agreement again could start a loop.
    const int key = verb * 256 + option;
    if (m_answered.count(key)) return;
    m_answered.insert(key);
    reply.insert(reply.end(), {kTelnetIac, answer, option});
}

void CTelnetDecoder::Subnegotiation() {
    if (m_sb.size() >= 2 && m_sb[0] == kTelnetComPort && m_sb[1] >= kCpcServerOffset &&
        m_sb[1] < kCpcServerOffset + 20) {
        const int command = m_sb[1] - kCpcServerOffset;
        ++m_acks[command];
        m_ackValues[command].assign(m_sb.begin() + 2, m_sb.end());
    }
    m_sb.clear();
}

void CTelnetDecoder::Feed(const std::uint8_t* in, int length, std::vector<std::uint8_t>& data,
                          std::vector<std::uint8_t>& reply) {
    for (int i = 0; i < length; ++i) {
        const std::uint8_t b = in[i];
        switch (m_state) {
            case EState::kData:
                if (b == kTelnetIac) {
                    m_state = EState::kIac;
                } else {
                    data.push_back(b);
                }
                break;
            case EState::kIac:
                if (b == kTelnetIac) {
                    data.push_back(b);
                    m_state = EState::kData;
                } else if (b >= kTelnetWill) {
                    m_verb = b;
                    m_state = EState::kVerb;
                } else if (b == kTelnetSb) {
                    m_sb.clear();
                    m_state = EState::kSb;
                } else {
                    m_state = EState::kData;  // other commands carry nothing for us
                }
                break;
            case EState::kVerb:
                Negotiate(m_verb, b, reply);
                m_state = EState::kData;
                break;
            case EState::kSb:
                if (b == kTelnetIac) {
                    m_state = EState::kSbIac;
                } else if (m_sb.size() < 512) {
                    m_sb.push_back(b);
                }
                break;
            case EState::kSbIac:
                if (b == kTelnetSe) {
                    Subnegotiation();
                    m_state = EState::kData;
                } else {
                    if (b == kTelnetIac && m_sb.size() < 512) m_sb.push_back(b);
                    m_state = EState::kSb;
                }
                break;
        }
    }
}

int NetSerialSpeedCode(int baud) {
    switch (baud) {
        case 9600:
            return 12;
        case 19200:
            return 13;
        case 38400:
            return 14;
        case 57600:
            return 15;
        default:
            return 16;
    }
}

namespace {

constexpr int kAckWaitMs = 1000;

int BaudOfSpeedCode(int code) {
    switch (code) {
        case 12:
            return 9600;
        case 13:
            return 19200;
        case 14:
            return 38400;
        case 15:
            return 57600;
        default:
            return 115200;
    }
}

struct SConnection {
    int socket = -1;
    CTelnetDecoder decoder;
    std::vector<std::uint8_t> pending;  // data decoded but not yet read
};

class CRfc2217Provider : public INetSerialProvider {
public:
    explicit CRfc2217Provider(int basePort) : m_basePort(basePort) {}
    ~CRfc2217Provider() override {
        for (auto& [handle, c] : m_connections) ::close(c.socket);
    }

    int Init() override { return 0; }

    int Open(const std::string& address, int serialPort, int timeoutMs) override {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(m_basePort + serialPort);
        if (::getaddrinfo(address.c_str(), port.c_str(), &hints, &found) != 0 || !found) return -1;
        int s = -1;
        for (addrinfo* a = found; a && s < 0; a = a->ai_next) {
            s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                         a->ai_protocol);
            if (s < 0) continue;
            if (::connect(s, a->ai_addr, a->ai_addrlen) != 0 && errno == EINPROGRESS) {
                pollfd fds[2] = {{s, POLLOUT, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
                int error = 0;
                socklen_t len = sizeof error;
                if (::poll(fds, fds[1].fd >= 0 ? 2 : 1, timeoutMs) <= 0 ||
                    !(fds[0].revents & POLLOUT) ||
                    ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
                    ::close(s);
                    s = -1;
                }
            }
        }
        ::freeaddrinfo(found);
        if (s < 0) return -1;
        std::lock_guard lock(m_mutex);
        const int handle = m_nextHandle++;
        m_connections[handle].socket = s;
        const std::uint8_t hello[] = {kTelnetIac, kTelnetWill, kTelnetComPort,
                                      kTelnetIac, kTelnetDo,   kTelnetBinary,
                                      kTelnetIac, kTelnetWill, kTelnetBinary};
        SConnection& c = m_connections[handle];
        c.decoder.Initiated(kTelnetDo, kTelnetComPort);
        c.decoder.Initiated(kTelnetWill, kTelnetBinary);
        c.decoder.Initiated(kTelnetDo, kTelnetBinary);
        SendRaw(c, hello, sizeof hello);
        return handle;
    }

    int Close(int handle) override {
        std::lock_guard lock(m_mutex);
        auto it = m_connections.find(handle);
        if (it == m_connections.end()) return -1;
        ::close(it->second.socket);
        m_connections.erase(it);
        return 0;
    }

    int Read(int handle, std::uint8_t* data, int capacity) override {
        std::lock_guard lock(m_mutex);
        auto it = m_connections.find(handle);
        if (it == m_connections.end()) return -1;
        SConnection& c = it->second;
        if (!Pump(c)) return -1;
        const int n = std::min(capacity, static_cast<int>(c.pending.size()));
        std::copy(c.pending.begin(), c.pending.begin() + n, data);
        c.pending.erase(c.pending.begin(), c.pending.begin() + n);
        return n;
    }

    int Write(int handle, const std::uint8_t* data, int length) override {
        std::lock_guard lock(m_mutex);
        auto it = m_connections.find(handle);
        if (it == m_connections.end()) return -1;
        const auto escaped = TelnetEscape(data, length);
        return SendRaw(it->second, escaped.data(), static_cast<int>(escaped.size())) ? length : -1;
    }

    int Ioctl(int handle, int speedCode, int mode) override {
        if (mode != 3) return -1;
        std::unique_lock lock(m_mutex);
        auto it = m_connections.find(handle);
        if (it == m_connections.end()) return -1;
        SConnection& c = it->second;
        const int before = c.decoder.Acks(kCpcSetBaudRate);
        const std::uint32_t baud = htonl(static_cast<std::uint32_t>(BaudOfSpeedCode(speedCode)));
        const auto* b = reinterpret_cast<const std::uint8_t*>(&baud);
        std::vector<std::uint8_t> request = ComPortCommand(kCpcSetBaudRate, {b, b + 4});
        for (const auto& part :
             {ComPortCommand(kCpcSetDataSize, {8}), ComPortCommand(kCpcSetParity, {1}),
              ComPortCommand(kCpcSetStopSize, {1})}) {
            request.insert(request.end(), part.begin(), part.end());
        }
        if (!SendRaw(c, request.data(), static_cast<int>(request.size()))) return -1;
        // The line settings count only once the server has acknowledged the speed.
        CPerfTimer timer;
        while (c.decoder.Acks(kCpcSetBaudRate) == before) {
            if (timer.GetElapsedMs() > kAckWaitMs || !Pump(c)) return -1;
            lock.unlock();
            const bool going = CPerfTimer::Wait(1);
            lock.lock();
            if (!going) return -1;
        }
        return 0;
    }

    int SetReadTimeouts(int, std::uint32_t) override { return 0; }

private:
    bool SendRaw(SConnection& c, const std::uint8_t* data, int length) {
        int sent = 0;
        CPerfTimer timer;
        while (sent < length) {
            const ssize_t n = ::send(c.socket, data + sent, static_cast<std::size_t>(length - sent),
                                     MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<int>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR) &&
                       timer.GetElapsedMs() < 1000) {
                pollfd out{c.socket, POLLOUT, 0};
                ::poll(&out, 1, 10);
            } else {
                return false;
            }
        }
        return true;
    }

    // Takes in whatever arrived; false when the connection is gone.
    bool Pump(SConnection& c) {
        std::uint8_t buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(c.socket, buffer, sizeof buffer, 0);
            if (n == 0) return false;
            if (n < 0) return errno == EAGAIN || errno == EINTR;
            std::vector<std::uint8_t> reply;
            c.decoder.Feed(buffer, static_cast<int>(n), c.pending, reply);
            if (!reply.empty() && !SendRaw(c, reply.data(), static_cast<int>(reply.size()))) {
                return false;
            }
        }
    }

    const int m_basePort;
    std::mutex m_mutex;
    std::map<int, SConnection> m_connections;
    int m_nextHandle = 0;
};

}  // namespace

std::shared_ptr<INetSerialProvider> MakeRfc2217Provider(int basePort) {
    return std::make_shared<CRfc2217Provider>(basePort);
}

}  // namespace dravmer
