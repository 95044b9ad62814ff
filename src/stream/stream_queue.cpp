#include "stream/stream_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace dravmer {

CStreamQueue::CStreamQueue(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(capacity, 1)),
      m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CStreamQueue::~CStreamQueue() {
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

void CStreamQueue::Push(SStreamItem item) {
    {
        std::lock_guard lock(m_mutex);
        if (m_items.size() >= m_capacity) {
            auto oldest = std::find_if(m_items.begin(), m_items.end(),
                                       [](const SStreamItem& i) { return !i.isEvent; });
            if (oldest != m_items.end()) {
                m_items.erase(oldest);
                ++m_dropped;
            } else if (!item.isEvent) {
                ++m_dropped;  // a queue full of events: the new record goes
                return;
            }
        }
        m_items.push_back(std::move(item));
    }
    Wake();
}

void CStreamQueue::PushFront(std::vector<SStreamItem> items) {
    if (items.empty()) return;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = items.rbegin(); it != items.rend(); ++it) m_items.push_front(std::move(*it));
        // What came back may overfill the queue: the oldest records go, as on a push.
        while (m_items.size() > m_capacity) {
            auto oldest = std::find_if(m_items.begin(), m_items.end(),
                                       [](const SStreamItem& i) { return !i.isEvent; });
            if (oldest == m_items.end()) break;
            m_items.erase(oldest);
            ++m_dropped;
        }
    }
    Wake();
}

std::vector<SStreamItem> CStreamQueue::Take(std::size_t max) {
    std::vector<SStreamItem> out;
    std::lock_guard lock(m_mutex);
    const std::size_t n = std::min(max, m_items.size());
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(std::move(m_items.front()));
        m_items.pop_front();
    }
    return out;
}

void CStreamQueue::Drained() {
    std::uint64_t value;
    while (::read(m_wakeFd, &value, sizeof value) > 0) {
    }
}

void CStreamQueue::Wake() {
    const std::uint64_t one = 1;
    // A full counter (never in practice) still leaves the descriptor readable.
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

std::size_t CStreamQueue::Size() const {
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

}  // namespace dravmer
