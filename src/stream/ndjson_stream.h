#pragma once
// The live stream as NDJSON: one JSON object per record (and per experiment start and stop)
// and line, written to a descriptor (standard output) by a thread of its own and flushed line
// by line. A reader that falls behind never slows the polling: the queue between holds up to
// `capacity` records and then drops the oldest, counted.
#include <atomic>
#include <functional>
#include <string>
#include <string_view>

#include "platform/worker_thread.h"
#include "stream/stream_queue.h"

namespace dravmer {

class CNdjsonStream : public IRecordSink, public CWorkerThread {
public:
    // fd stays the caller's. onError gets one line when the reader has gone (a closed pipe).
    explicit CNdjsonStream(int fd, std::size_t capacity = 100000,
                           std::function<void(const std::string&)> onError = nullptr);
    // Lines handed to a function instead (false: the reader has gone).
    using Writer = std::function<bool(std::string_view)>;
    explicit CNdjsonStream(Writer writer, std::size_t capacity = 100000,
                           std::function<void(const std::string&)> onError = nullptr);
    ~CNdjsonStream() override;

    void PushRecord(const SStreamRecord& r) override;
    void PushEvent(const SExperimentEvent& e) override;

    // Writes what is queued (waiting up to ms for a slow reader), then ends the thread.
    void Finish(int ms = 5000);

    std::uint64_t Written() const { return m_written.load(); }  // records written
    std::uint64_t Dropped() const { return m_queue.Dropped(); }
    bool Broken() const { return m_broken.load(); }

protected:
    int Run() override;

private:
    // Writes all of text unless a stop, a finish past its deadline or a failed write comes
    // first; false then.
    bool WriteAll(const std::string& text);

    int m_fd = -1;
    Writer m_writer;
    CStreamQueue m_queue;
    std::function<void(const std::string&)> m_onError;
    std::atomic<bool> m_finishing{false};
    std::atomic<std::int64_t> m_finishDeadlineMs{0};  // steady clock, while finishing
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<bool> m_broken{false};
};

}  // namespace dravmer
