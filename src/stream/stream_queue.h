#pragma once
// The bounded queue between the poll threads and a stream's own thread. A push never blocks:
// when the queue is full the oldest record makes room (and is counted); experiment events are
// never dropped. The consumer sleeps in poll() on WakeFd, beside its sockets and its stop
// descriptor.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "stream/stream_record.h"

namespace dravmer {

struct SStreamItem {
    bool isEvent = false;
    SStreamRecord record;
    SExperimentEvent event;
};

class CStreamQueue {
public:
    explicit CStreamQueue(std::size_t capacity);
    ~CStreamQueue();
    CStreamQueue(const CStreamQueue&) = delete;
    CStreamQueue& operator=(const CStreamQueue&) = delete;

    void Push(SStreamItem item);
    // Puts items the consumer could not send back at the front, in their order.
    void PushFront(std::vector<SStreamItem> items);
    // Takes up to max items from the front.
    std::vector<SStreamItem> Take(std::size_t max);
    // Readable while items wait. The consumer calls Drained after waking and before Take, so a
    // push after its Take wakes it again.
    int WakeFd() const { return m_wakeFd; }
    void Drained();
    // Makes WakeFd readable with nothing pushed (a consumer asked to finish).
    void Wake();

    std::size_t Size() const;
    std::size_t Capacity() const { return m_capacity; }
    // Records dropped because the queue was full.
    std::uint64_t Dropped() const { return m_dropped.load(); }
    // Records dropped by the consumer (a stream that ended with records left); counted here so
    // that one figure tells what the stream missed.
    void CountDropped(std::uint64_t n) { m_dropped += n; }

private:
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::deque<SStreamItem> m_items;
    std::atomic<std::uint64_t> m_dropped{0};
    int m_wakeFd = -1;
};

}  // namespace dravmer
