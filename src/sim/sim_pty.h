#pragma once
// Serves a simulated line on a pseudo-terminal: the bench opens the slave side like a serial
// port, the simulator answers on the master side with the wire time of the reply.
#include <atomic>
#include <string>

#include "platform/worker_thread.h"
#include "sim/sim_line.h"

namespace dravmer::sim {

class CSimPtyServer : public CWorkerThread {
public:
    CSimPtyServer(CSimLine& line, int baud = 115200);
    ~CSimPtyServer() override;

    // Opens the pseudo-terminal; linkPath, when given, becomes a symbolic link to the slave.
    // Returns false with a message in Error().
    bool Open(const std::string& linkPath = {});
    const std::string& SlavePath() const { return m_slavePath; }
    const std::string& Error() const { return m_error; }
    // Advance the devices' second on the real clock (on by default).
    void SetRealTimeSeconds(bool on) { m_realTime = on; }
    int FramesAnswered() const { return m_answered.load(); }
    // Answers at once, without wire time or the firmware's turnaround (for measuring the
    // bench's own overhead). Set before Start.
    void SetInstant(bool on) { m_instant = on; }

protected:
    int Run() override;

private:
    void Answer(const Frame& request);

    CSimLine& m_line;
    int m_baud;
    bool m_instant = false;
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_linkPath;
    std::string m_error;
    std::atomic<bool> m_realTime{true};
    std::atomic<int> m_answered{0};
};

}  // namespace dravmer::sim
