#include "sim/sim_port.h"

#include <cstring>

namespace dravmer::sim {

void CSimPort::Purge() {
    std::lock_guard lock(m_mutex);
    m_pending.clear();
}

bool CSimPort::Write(const std::uint8_t* data, int length) {
    if (!m_open || length <= 0) return false;
    Frame reply = m_line.Exchange(Frame(data, data + length));
    std::lock_guard lock(m_mutex);
    m_pending = std::move(reply);
    return true;
}

int CSimPort::ReadReply(std::uint8_t* buffer, int& length) {
    std::lock_guard lock(m_mutex);
    return HandOverReply(m_pending, buffer, length);
}

}  // namespace dravmer::sim
