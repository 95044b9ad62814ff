// A search that reaches no open port leaves the saved device list alone, also when the port's
// own open was still under way when the search asked for it and then failed.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "bench/bench.h"
#include "platform/tcp_listen.h"

namespace dravmer {
namespace {

// A COM server that holds its first client without a greeting until told to drop it, and
// drops every later client at once.
class CHoldingServer {
public:
    CHoldingServer() {
        std::string error;
        m_listen = ListenTcp("127.0.0.1", m_port, error);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CHoldingServer() {
        m_stop = true;
        Release();
        m_thread.join();
        if (m_listen >= 0) ::close(m_listen);
    }
    int Port() const { return m_port; }
    bool WaitHolding() {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::seconds(60), [this] { return m_held >= 0; });
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        if (m_held >= 0) ::shutdown(m_held, SHUT_RDWR);
    }

private:
    void Serve() {
        pollfd p{m_listen, POLLIN, 0};
        int accepted = 0;
        while (!m_stop) {
            if (::poll(&p, 1, 20) <= 0) continue;
            const int c = ::accept(m_listen, nullptr, nullptr);
            if (c < 0) continue;
            if (accepted++ > 0) {
                ::close(c);
                continue;
            }
            std::lock_guard lock(m_mutex);
            m_held = c;
            m_cv.notify_all();
        }
        if (m_held >= 0) ::close(m_held);
    }
    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_held = -1;
};

// The messages the bench raises, as codes and the ports they name.
struct SMessages : IBenchListener {
    std::mutex mutex;
    std::vector<SBenchMessage> seen;
    void OnError(const SBenchMessage& m) override {
        std::lock_guard lock(mutex);
        seen.push_back(m);
    }
};

TEST(SearchRefusal, AnOpenThatFailsWhileTheSearchWaitsForItKeepsTheList) {
    CHoldingServer server;
    ASSERT_GT(server.Port(), 0);
    SMessages messages;  // outlives the bench, which may still speak as it goes
    CMemorySettingsStore store;
    const std::string section = PortSection(0);
    store.SetInt(section, "UseLink", 1);
    store.SetInt(section, "UseServer", 1);
    store.SetInt(section, "bLinkMode", kLinkModeServer);
    store.SetString(section, "ServerName", "127.0.0.1");
    for (int p = 1; p < kPortCount; ++p) store.SetInt(PortSection(p), "UseLink", 0);
    store.SetString("DeviceList", "List", "7001;7002;");
    store.SetString("DeviceList", "PortList", "0;0;");
    store.SetString("DeviceList", "EnableList", "1;1;");
    CBench bench(store);
    bench.LoadSettings();
    bench.Port(0).SetComServerTcpPort(server.Port());
    bench.SetListener(&messages);

    // The window opens its ports off the UI thread at start; the operator searches meanwhile.
    std::thread opening([&] { bench.Port(0).Open(); });
    ASSERT_TRUE(server.WaitHolding());
    int found = 0;
    std::thread search([&] { found = bench.Search(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!bench.IsSearching() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    // The open under way fails: the server goes without a greeting.
    server.Release();
    opening.join();
    search.join();

    EXPECT_EQ(found, CBench::kSearchNoPort);
    EXPECT_FALSE(bench.Port(0).IsOpen());
    EXPECT_EQ(store.GetString("DeviceList", "List", ""), "7001;7002;");
    ASSERT_EQ(bench.ActiveCount(), 2u);
    EXPECT_EQ(bench.ActiveDevices()[1].address, 7002u);
    // The operator is told, with the one port and why it is not open.
    ASSERT_EQ(messages.seen.size(), 1u);
    EXPECT_EQ(messages.seen[0].code, BenchMessage::SearchNoOpenPort);
    ASSERT_EQ(messages.seen[0].ports.size(), 1u);
    EXPECT_EQ(messages.seen[0].ports[0].first, 0);
}

}  // namespace
}  // namespace dravmer
