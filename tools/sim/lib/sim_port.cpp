#include "sim/lib/sim_port.h"

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
    const int count = static_cast<int>(m_pending.size());
    if (count == 0 || count > length) {
        length = count;
        return -1;
    }
    std::memcpy(buffer, m_pending.data(), m_pending.size());
    length = count;
    m_pending.clear();
    return 0;
}

}  // namespace dravmer::sim
