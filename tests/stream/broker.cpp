#include "broker.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace dravmer::testing_stream {

namespace {

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

CTestBroker::CTestBroker() {
    static int counter = 0;
    m_dir = (std::filesystem::temp_directory_path() /
             ("dravmer-broker-" + std::to_string(::getpid()) + "-" + std::to_string(++counter)))
                .string();
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    // Started as root the broker runs as its own user, which must be able to write its log.
    ::chmod(m_dir.c_str(), 0777);
}

CTestBroker::~CTestBroker() {
    Kill();
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

bool CTestBroker::Start() {
    Kill();
    const bool first = m_port == 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        // Another program may take a free port between our look and the broker's bind: a first
        // start tries another. A restart keeps its port, which the broker binds again at once
        // (SO_REUSEADDR).
        if (first) m_port = FreePort();
        ++m_run;
        const std::string conf = m_dir + "/broker-" + std::to_string(m_run) + ".conf";
        std::ofstream(conf) << "listener " << m_port << " 127.0.0.1\n"
                            << (m_passwordFile.empty()
                                    ? std::string("allow_anonymous true\n")
                                    : "allow_anonymous false\npassword_file " + m_passwordFile +
                                          "\n")
                            << "persistence false\n"
                            << "log_dest file " << m_dir << "/broker-" << m_run << ".log\n"
                            << "log_type all\n";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(MOSQUITTO_BROKER, MOSQUITTO_BROKER, "-c", conf.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        m_pid = pid;
        const bool up = WaitUntil(
            [&] {
                int status = 0;
                if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_pid = -1;
                    return true;  // it ended: no use waiting
                }
                return Accepts(m_port);
            },
            10000);
        if (up && m_pid > 0) return true;
        Kill();
    }
    return false;
}

bool CTestBroker::RequirePassword(const std::string& user, const std::string& password) {
    const std::string file = m_dir + "/passwords";
    const std::string command = "mosquitto_passwd -c -b '" + file + "' '" + user + "' '" +
                                password + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return false;
    // The broker, started as root, reads it as its own user.
    ::chmod(file.c_str(), 0644);
    m_passwordFile = file;
    return true;
}

int CTestBroker::LogLines(const std::string& text) const {
    int n = 0;
    for (int run = 1; run <= m_run; ++run) {
        std::ifstream log(m_dir + "/broker-" + std::to_string(run) + ".log");
        for (std::string line; std::getline(log, line);) n += line.find(text) != std::string::npos;
    }
    return n;
}

void CTestBroker::Kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::vector<std::string> CTestBroker::ReceivedTopics() const {
    std::vector<std::string> topics;
    for (int run = 1; run <= m_run; ++run) {
        std::ifstream log(m_dir + "/broker-" + std::to_string(run) + ".log");
        for (std::string line; std::getline(log, line);) {
            if (line.find("Received PUBLISH from") == std::string::npos) continue;
            const std::size_t open = line.find(", '");
            const std::size_t close = line.find("', ", open + 3);
            if (open != std::string::npos && close != std::string::npos)
                topics.push_back(line.substr(open + 3, close - open - 3));
        }
    }
    return topics;
}

CTestSubscriber::CTestSubscriber() {
    mosquitto_lib_init();
    m_mosq = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(m_mosq, [](mosquitto* m, void* obj, int rc) {
        auto* self = static_cast<CTestSubscriber*>(obj);
        // Subscribed anew on every connection: the broker forgets us when it restarts.
        if (rc == 0) mosquitto_subscribe(m, nullptr, self->m_filter.c_str(), 0);
    });
    mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* obj, int, int, const int*) {
        static_cast<CTestSubscriber*>(obj)->m_subscribed = true;
    });
    mosquitto_message_callback_set(m_mosq, [](mosquitto*, void* obj, const mosquitto_message* msg) {
        auto* self = static_cast<CTestSubscriber*>(obj);
        std::lock_guard lock(self->m_mutex);
        self->m_messages.push_back({msg->topic,
                                    std::string(static_cast<const char*>(msg->payload),
                                                static_cast<std::size_t>(msg->payloadlen)),
                                    msg->retain});
    });
}

CTestSubscriber::~CTestSubscriber() {
    if (m_loop) {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
    }
    mosquitto_destroy(m_mosq);
}

bool CTestSubscriber::Connect(int port, const std::string& filter, const std::string& user,
                              const std::string& password) {
    m_filter = filter;
    if (!user.empty()) mosquitto_username_pw_set(m_mosq, user.c_str(), password.c_str());
    mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
    if (mosquitto_connect(m_mosq, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) return false;
    if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS) return false;
    m_loop = true;
    return WaitUntil([&] { return m_subscribed.load(); }, 10000);
}

std::vector<CTestSubscriber::SMessage> CTestSubscriber::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

bool CTestSubscriber::WaitFor(std::size_t n, int ms) const {
    return WaitUntil(
        [&] {
            std::lock_guard lock(m_mutex);
            return m_messages.size() >= n;
        },
        ms);
}

}  // namespace dravmer::testing_stream
