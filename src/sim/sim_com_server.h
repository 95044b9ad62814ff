#pragma once
// A COM server in front of a simulated line: accepts one client at a time on loopback TCP,
// greets it, and answers its request frames with what the line answers.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/worker_thread.h"
#include "sim/sim_line.h"

namespace dravmer::sim {

class CSimComServer : public CWorkerThread {
public:
    explicit CSimComServer(CSimLine& line) : m_line(line) {}
    ~CSimComServer() override;

    // Listens on 127.0.0.1:tcpPort (0 picks a free port); false on failure.
    bool Listen(int tcpPort = 0);
    int TcpPort() const { return m_tcpPort; }
    // Status of the connect answer: 0 the shared port is open, 4 it is not.
    void SetPortOpen(bool open) { m_portOpen = open; }
    // The next n frame replies report overload instead of data.
    void SetOverloads(int n) { m_overloads = n; }
    // Replies with a length field that does not match what is sent, for robustness tests.
    void SetBrokenLengths(int n) { m_brokenLengths = n; }
    int PollFrames() const { return m_pollFrames.load(); }
    std::string LastClientName() const;

protected:
    int Run() override;

private:
    void Serve(int client);
    bool Reply(int client, const std::vector<std::uint8_t>& bytes);

    CSimLine& m_line;
    int m_listen = -1;
    int m_tcpPort = 0;
    std::atomic<bool> m_portOpen{true};
    std::atomic<int> m_overloads{0};
    std::atomic<int> m_brokenLengths{0};
    std::atomic<int> m_pollFrames{0};
    mutable std::mutex m_mutex;
    std::string m_clientName;
};

}  // namespace dravmer::sim
