#include "stream/mqtt_publisher.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>

namespace dravmer {

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void LibInit() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// A TCP connection to the broker, made apart from libmosquitto (whose connect blocks without a
// time limit on a host that does not answer) so that it can time out and wake on a stop.
bool ProbeTcp(const std::string& host, int port, int timeoutMs, SMqttWhy& why) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        why = {SMqttWhy::Kind::AddressNotFound, ::gai_strerror(rc)};
        return false;
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, ::freeaddrinfo);
    why = {SMqttWhy::Kind::NoAnswer, {}};
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int err = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                pollfd fds[2] = {{fd, POLLOUT, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
                const int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, timeoutMs);
                socklen_t len = sizeof err;
                if (ready > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)))
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                else
                    err = ETIMEDOUT;
            }
        }
        ::close(fd);
        if (err == 0) return true;
        why = {SMqttWhy::Kind::System, std::strerror(err)};
        if (CWorkerThread::CurrentStopRequested()) return false;
    }
    return false;
}

}  // namespace

// ---- the publisher ----

// What libmosquitto's callbacks report, on the publisher's own thread.
struct CMqttPublisher::SSession {
    mosquitto* mosq = nullptr;
    bool socketUp = false;
    bool acked = false;
    int refused = 0;  // the broker's refusal code, 0 when none
    bool offlineSent = false;
    std::int64_t connectedAtMs = 0;
    std::set<int> pending;  // QoS 1 messages the broker has not acknowledged yet
    SMqttWhy lost;          // why the session ended
};

CMqttPublisher::CMqttPublisher(SMqttSettings settings,
                               std::function<void(const SMqttStatus&)> onStatus)
    : m_settings(std::move(settings)),
      m_onStatus(std::move(onStatus)),
      m_queue(m_settings.capacity) {
    if (m_settings.topicPrefix.empty()) m_settings.topicPrefix = DefaultMqttTopicPrefix();
    if (m_settings.clientId.empty())
        m_settings.clientId = "dravmer-" + MqttHostName() + "-" + std::to_string(::getpid());
    m_status.broker = BrokerName();
    m_status.topicPrefix = m_settings.topicPrefix;
}

CMqttPublisher::~CMqttPublisher() { Stop(); }

std::string CMqttPublisher::RecordTopic(std::uint32_t address) const {
    return m_settings.topicPrefix + "/" + std::to_string(address) + "/record";
}

std::string CMqttPublisher::EventTopic() const { return m_settings.topicPrefix + "/experiment"; }

std::string CMqttPublisher::StatusTopic() const { return m_settings.topicPrefix + "/status"; }

std::string CMqttPublisher::BrokerName() const {
    const bool v6 = m_settings.host.find(':') != std::string::npos;
    return (v6 ? "[" + m_settings.host + "]" : m_settings.host) + ":" +
           std::to_string(m_settings.port);
}

SMqttStatus CMqttPublisher::Status() const {
    std::lock_guard lock(m_statusMutex);
    return m_status;
}

void CMqttPublisher::PushRecord(const SStreamRecord& r) {
    if (m_gaveUp) {
        m_queue.CountDropped(1);
        return;
    }
    SStreamItem item;
    item.record = r;
    m_queue.Push(std::move(item));
}

void CMqttPublisher::PushEvent(const SExperimentEvent& e) {
    if (m_gaveUp) return;
    SStreamItem item;
    item.isEvent = true;
    item.event = e;
    m_queue.Push(std::move(item));
}

void CMqttPublisher::Finish(int ms) {
    m_finishDeadlineMs = NowMs() + ms;
    m_finishing = true;
    m_queue.Wake();
    StopWithin(ms + 2000);
}

void CMqttPublisher::SetState(MqttState state, const SMqttWhy& why) {
    bool changed;
    SMqttStatus copy;
    {
        std::lock_guard lock(m_statusMutex);
        changed = m_status.state != state;
        m_status.state = state;
        m_status.why = why;
        copy = m_status;
    }
    if (changed && m_onStatus) m_onStatus(copy);
}

void CMqttPublisher::GoDown(const SMqttWhy& why) {
    if (Status().state != MqttState::Down) ++m_outages;
    SetState(MqttState::Down, why);
}

bool CMqttPublisher::Serve(SSession& s) {
    mosquitto* mosq = s.mosq;
    // Publish what waits once libmosquitto has written the last batch: its own queue then never
    // holds more than one batch, and the bound of ours holds.
    if (s.acked && !mosquitto_want_write(mosq)) {
        m_queue.Drained();
        auto items = m_queue.Take(256);
        if (m_queue.Size() > 0) m_queue.Wake();  // the rest goes in the next pass, at once
        for (std::size_t i = 0; i < items.size(); ++i) {
            const SStreamItem& item = items[i];
            const std::string payload =
                item.isEvent ? ExperimentEventJson(item.event) : RecordJson(item.record);
            const std::string topic =
                item.isEvent ? EventTopic() : RecordTopic(item.record.address);
            int mid = 0;
            const int rc =
                mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                  payload.data(), item.isEvent ? 1 : 0, item.isEvent);
            if (rc != MOSQ_ERR_SUCCESS) {
                m_queue.PushFront(
                    std::vector<SStreamItem>(std::make_move_iterator(items.begin() + i),
                                             std::make_move_iterator(items.end())));
                s.lost = {SMqttWhy::Kind::System, mosquitto_strerror(rc)};
                return false;
            }
            if (item.isEvent)
                s.pending.insert(mid);
            else
                ++m_published;
        }
    }
    const int sock = mosquitto_socket(mosq);
    if (sock < 0) {
        s.lost = {SMqttWhy::Kind::Closed, {}};
        return false;
    }
    const bool wantQueue = s.acked && !mosquitto_want_write(mosq);
    pollfd fds[3] = {
        {sock, static_cast<short>(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0)), 0},
        {m_queue.WakeFd(), static_cast<short>(wantQueue ? POLLIN : 0), 0},
        {CurrentStopFd(), POLLIN, 0}};
    int timeout = 1000;
    if (m_finishing) timeout = 50;
    if (!s.acked) timeout = std::min<int>(timeout, 100);
    const int ready = ::poll(fds, fds[2].fd >= 0 && !m_finishing ? 3 : 2, timeout);
    if (ready < 0 && errno != EINTR) {
        s.lost = {SMqttWhy::Kind::System, std::strerror(errno)};
        return false;
    }
    int rc = MOSQ_ERR_SUCCESS;
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) rc = mosquitto_loop_read(mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS && (fds[0].revents & POLLOUT)) rc = mosquitto_loop_write(mosq, 1);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(mosq);
    if (s.refused) {
        s.lost = {SMqttWhy::Kind::Refused, mosquitto_connack_string(s.refused),
                  MqttRefusalIsFinal(s.refused)};
        return false;
    }
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq) < 0) {
        s.lost = rc == MOSQ_ERR_ERRNO ? SMqttWhy{SMqttWhy::Kind::System, std::strerror(errno)}
                 : rc == MOSQ_ERR_SUCCESS
                     ? SMqttWhy{SMqttWhy::Kind::Closed, {}}
                     : SMqttWhy{SMqttWhy::Kind::System, mosquitto_strerror(rc)};
        return false;
    }
    if (!s.acked && NowMs() - s.connectedAtMs > m_settings.connectTimeoutMs) {
        s.lost = {SMqttWhy::Kind::NoConnack, {}};
        return false;
    }
    return true;
}

bool CMqttPublisher::PublishPresence(SSession& s, bool online) {
    const std::string text = online ? "online" : "offline";
    int mid = 0;
    if (mosquitto_publish(s.mosq, &mid, StatusTopic().c_str(), static_cast<int>(text.size()),
                          text.data(), 1, true) != MOSQ_ERR_SUCCESS)
        return false;
    s.pending.insert(mid);
    return true;
}

void CMqttPublisher::GiveUp(const SMqttWhy& why) {
    m_gaveUp = true;
    GoDown(why);
    // Nothing queued or pushed from now on reaches the broker: counted as dropped, until the
    // stop or the finish.
    while (!StopRequested() && !m_finishing) {
        pollfd fds[2] = {{m_queue.WakeFd(), POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
        ::poll(fds, fds[1].fd >= 0 ? 2 : 1, 200);
        m_queue.Drained();
        std::uint64_t left = 0;
        for (const auto& item : m_queue.Take(m_queue.Size()))
            if (!item.isEvent) ++left;
        m_queue.CountDropped(left);
    }
}

int CMqttPublisher::Run() {
    LibInit();
    SSession s;
    std::unique_ptr<mosquitto, void (*)(mosquitto*)> owner(
        mosquitto_new(m_settings.clientId.c_str(), true, &s), mosquitto_destroy);
    if (!owner) {
        GoDown({SMqttWhy::Kind::NoClient, {}});
        return 1;
    }
    s.mosq = owner.get();
    mosquitto_int_option(s.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // The broker says "offline" for us when the connection breaks without a goodbye.
    static constexpr char kOffline[] = "offline";
    if (const int rc = mosquitto_will_set(s.mosq, StatusTopic().c_str(), sizeof kOffline - 1,
                                          kOffline, 1, true);
        rc != MOSQ_ERR_SUCCESS) {
        GiveUp({SMqttWhy::Kind::System, mosquitto_strerror(rc), true});
        return 1;
    }
    // A record is one small packet: sent at once, not held back to be joined with the next.
    mosquitto_int_option(s.mosq, MOSQ_OPT_TCP_NODELAY, 1);
    if (!m_settings.user.empty())
        mosquitto_username_pw_set(
            s.mosq, m_settings.user.c_str(),
            m_settings.password.empty() ? nullptr : m_settings.password.c_str());
    mosquitto_connect_callback_set(s.mosq, [](mosquitto*, void* obj, int rc) {
        auto* session = static_cast<SSession*>(obj);
        if (rc == 0)
            session->acked = true;
        else
            session->refused = rc;
    });
    mosquitto_publish_callback_set(s.mosq, [](mosquitto*, void* obj, int mid) {
        static_cast<SSession*>(obj)->pending.erase(mid);
    });

    std::int64_t nextTry = 0;
    int retryMs = m_settings.retryMinMs;
    for (;;) {
        const bool finishing = m_finishing;
        if (StopRequested() && !finishing) break;
        if (finishing && (NowMs() >= m_finishDeadlineMs || !s.socketUp)) break;
        if (!s.socketUp) {
            if (NowMs() >= nextTry) {
                SMqttWhy why;
                if (ProbeTcp(m_settings.host, m_settings.port, m_settings.connectTimeoutMs, why)) {
                    const int rc = mosquitto_connect(s.mosq, m_settings.host.c_str(),
                                                     m_settings.port, m_settings.keepaliveSeconds);
                    if (rc == MOSQ_ERR_SUCCESS) {
                        s.socketUp = true;
                        s.acked = false;
                        s.refused = 0;
                        s.connectedAtMs = NowMs();
                    } else {
                        why = {SMqttWhy::Kind::System, rc == MOSQ_ERR_ERRNO
                                                           ? std::strerror(errno)
                                                           : mosquitto_strerror(rc)};
                    }
                }
                if (!s.socketUp) {
                    if (StopRequested() && !m_finishing) break;
                    GoDown(why);
                    nextTry = NowMs() + retryMs;
                    retryMs = std::min(retryMs * 2, m_settings.retryMaxMs);
                }
            }
            if (!s.socketUp) {
                // Wait for the next try; pushes wake the wait but only a stop ends it early.
                pollfd fds[2] = {{m_queue.WakeFd(), POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
                const int left = static_cast<int>(std::max<std::int64_t>(0, nextTry - NowMs()));
                ::poll(fds, fds[1].fd >= 0 ? 2 : 1, std::min(left, 200));
                m_queue.Drained();
                continue;
            }
        }
        const bool wasAcked = s.acked;
        if (!Serve(s)) {
            s.socketUp = false;
            s.acked = false;
            mosquitto_disconnect(s.mosq);
            if (StopRequested() && !m_finishing) break;
            if (s.lost.final) {
                GiveUp(s.lost);
                break;
            }
            GoDown(s.lost);
            nextTry = NowMs() + retryMs;
            retryMs = std::min(retryMs * 2, m_settings.retryMaxMs);
            continue;
        }
        if (s.acked && !wasAcked) {
            retryMs = m_settings.retryMinMs;
            // Before anything queued: a dashboard sees the bench online, then its records.
            PublishPresence(s, true);
            SetState(MqttState::Connected);
        }
        if (finishing && m_queue.Size() == 0 && s.pending.empty() &&
            !mosquitto_want_write(s.mosq)) {
            // Everything is out: the goodbye, acknowledged like the events, then the end.
            if (s.acked && !s.offlineSent && PublishPresence(s, false)) {
                s.offlineSent = true;
                continue;
            }
            break;
        }
    }
    if (s.socketUp) {
        // A stop without a finish, or a finish out of time, still says goodbye (a clean
        // disconnect keeps the broker from telling the will).
        if (s.acked && !s.offlineSent) PublishPresence(s, false);
        mosquitto_disconnect(s.mosq);
        if (mosquitto_want_write(s.mosq)) mosquitto_loop_write(s.mosq, 1);
    }
    // What never reached the broker counts as dropped.
    std::uint64_t left = 0;
    for (const auto& item : m_queue.Take(m_queue.Size()))
        if (!item.isEvent) ++left;
    m_queue.CountDropped(left);
    return 0;
}

}  // namespace dravmer
