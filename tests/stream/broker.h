#pragma once
// A private mosquitto broker for one test: a free loopback port, a configuration and a log in a
// temporary folder of its own, no persistence. It can be killed and started again on the same
// port, and its log tells which topics it received.
#include <mosquitto.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace dravmer::testing_stream {

class CTestBroker {
public:
    CTestBroker();
    ~CTestBroker();
    // From the next start on, only this user with this password may connect (a password file
    // made by mosquitto_passwd); false when it could not be made.
    bool RequirePassword(const std::string& user, const std::string& password);
    // Starts the broker (again on the same port) and waits until it takes connections.
    bool Start();
    // SIGKILL: the broker is gone at once, as in a crash.
    void Kill();
    int Port() const { return m_port; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }
    // Topics of the PUBLISH packets the broker received, in order, over all its runs.
    std::vector<std::string> ReceivedTopics() const;
    // Lines of its log, over all its runs, that hold `text`.
    int LogLines(const std::string& text) const;

private:
    std::string m_dir;
    int m_port = 0;
    int m_run = 0;
    int m_pid = -1;
    std::string m_passwordFile;
};

// A subscriber on its own libmosquitto thread, subscribed to PREFIX/# before Connect returns.
class CTestSubscriber {
public:
    struct SMessage {
        std::string topic, payload;
        bool retained = false;
    };
    CTestSubscriber();
    ~CTestSubscriber();
    bool Connect(int port, const std::string& filter, const std::string& user = {},
                 const std::string& password = {});
    std::vector<SMessage> Messages() const;
    // Waits (bounded) until at least n messages arrived.
    bool WaitFor(std::size_t n, int ms) const;

private:
    mosquitto* m_mosq = nullptr;
    std::string m_filter;
    mutable std::mutex m_mutex;
    std::vector<SMessage> m_messages;
    std::atomic<bool> m_subscribed{false};
    bool m_loop = false;
};

// Polls a condition every 20 ms for at most ms; true when it held.
bool WaitUntil(const std::function<bool()>& condition, int ms);

}  // namespace dravmer::testing_stream
