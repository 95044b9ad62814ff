#pragma once
// An in-process port onto a simulated line: what tests and the demonstration mode attach to a
// link instead of a serial line.
#include <atomic>
#include <mutex>

#include "link/link_port.h"
#include "sim/sim_line.h"

namespace dravmer::sim {

class CSimPort : public ILinkPort {
public:
    explicit CSimPort(CSimLine& line) : m_line(line) {}

    void SetOpen(bool open) { m_open = open; }
    bool IsOpen() const override { return m_open; }
    void Purge() override;
    bool Write(const std::uint8_t* data, int length) override;
    int ReadReply(std::uint8_t* buffer, int& length) override;
    void MarkPollingRequest() override { m_pollingRequests.fetch_add(1); }
    int PollingRequests() const { return m_pollingRequests.load(); }

private:
    CSimLine& m_line;
    std::atomic<bool> m_open{true};
    std::atomic<int> m_pollingRequests{0};
    std::mutex m_mutex;
    Frame m_pending;
};

}  // namespace dravmer::sim
