#pragma once
// Serves a simulated line as a raw frame stream on loopback TCP: the bytes a client sends are
// request frames, the bytes it gets back are the replies, timed like a wire of the given speed.
// One client at a time; a new connection replaces the old one, as when a cable is re-plugged.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/worker_thread.h"
#include "sim/sim_line.h"

namespace dravmer::sim {

// Cuts a byte stream into request frames the way the firmware does: a frame announces its
// length in byte 4, and after noise the firmware slides byte by byte until a block count and a
// CRC agree.
class CSimFrameAssembler {
public:
    // Appends bytes and returns the frames they complete, in order.
    std::vector<Frame> Feed(const std::uint8_t* data, std::size_t length);
    // Forgets a partial frame (silence on the line, or a new client).
    void Clear() { m_pending.clear(); }
    bool Empty() const { return m_pending.empty(); }

private:
    Frame m_pending;
};

class CSimTcpServer : public CWorkerThread {
public:
    explicit CSimTcpServer(CSimLine& line, int baud = 115200);
    ~CSimTcpServer() override;

    // Listens on 127.0.0.1:tcpPort (0 picks a free port). False with a message in Error().
    bool Listen(int tcpPort = 0);
    int TcpPort() const { return m_tcpPort; }
    const std::string& Error() const { return m_error; }
    // Advance the devices' second on the real clock (on by default).
    void SetRealTimeSeconds(bool on) { m_realTime = on; }
    int FramesAnswered() const { return m_answered.load(); }
    // Connections accepted so far.
    int Connections() const { return m_connections.load(); }

protected:
    int Run() override;

private:
    CSimLine& m_line;
    int m_baud;
    int m_listen = -1;
    int m_tcpPort = 0;
    std::string m_error;
    std::atomic<bool> m_realTime{true};
    std::atomic<int> m_answered{0};
    std::atomic<int> m_connections{0};
};

}  // namespace dravmer::sim
