#include "stream/ndjson_stream.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace dravmer {

namespace {
std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

CNdjsonStream::CNdjsonStream(int fd, std::size_t capacity,
                             std::function<void(const std::string&)> onError)
    : m_fd(fd), m_queue(capacity), m_onError(std::move(onError)) {}

CNdjsonStream::CNdjsonStream(Writer writer, std::size_t capacity,
                             std::function<void(const std::string&)> onError)
    : m_writer(std::move(writer)), m_queue(capacity), m_onError(std::move(onError)) {}

CNdjsonStream::~CNdjsonStream() { Stop(); }

void CNdjsonStream::PushRecord(const SStreamRecord& r) {
    if (m_broken) {
        m_queue.CountDropped(1);
        return;
    }
    SStreamItem item;
    item.record = r;
    m_queue.Push(std::move(item));
}

void CNdjsonStream::PushEvent(const SExperimentEvent& e) {
    if (m_broken) return;
    SStreamItem item;
    item.isEvent = true;
    item.event = e;
    m_queue.Push(std::move(item));
}

void CNdjsonStream::Finish(int ms) {
    m_finishDeadlineMs = NowMs() + ms;
    m_finishing = true;
    m_queue.Wake();
    // The thread ends on its own once the queue is written; the stop is for a reader that
    // never reads.
    StopWithin(ms + 1000);
    // Whatever a push put in after the thread's last look is not written either.
    std::uint64_t left = 0;
    for (const auto& item : m_queue.Take(m_queue.Size()))
        if (!item.isEvent) ++left;
    m_queue.CountDropped(left);
}

bool CNdjsonStream::WriteAll(const std::string& text) {
    if (m_writer) {
        if (m_writer(text)) return true;
        if (!m_broken.exchange(true) && m_onError) m_onError("the stream's reader has gone");
        return false;
    }
    std::size_t at = 0;
    while (at < text.size()) {
        if (StopRequested() && !m_finishing) return false;
        int timeout = -1;
        if (m_finishing) {
            const std::int64_t left = m_finishDeadlineMs - NowMs();
            if (left <= 0) return false;
            timeout = static_cast<int>(left);
        }
        // Wait until the descriptor takes more, then write no more than a pipe takes at once,
        // so the write itself never blocks and a stop is seen.
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {CurrentStopFd(), POLLIN, 0}};
        const int nfds = m_finishing || fds[1].fd < 0 ? 1 : 2;
        const int ready = ::poll(fds, static_cast<nfds_t>(nfds), timeout);
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0 || !(fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) continue;
        const std::size_t chunk = std::min<std::size_t>(text.size() - at, PIPE_BUF);
        const ssize_t n = ::write(m_fd, text.data() + at, chunk);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            if (!m_broken.exchange(true) && m_onError)
                m_onError(std::string("the stream's reader has gone: ") + std::strerror(errno));
            return false;
        }
        at += static_cast<std::size_t>(n);
    }
    return true;
}

int CNdjsonStream::Run() {
    // A reader that goes away gives EPIPE on this thread instead of a SIGPIPE that would end
    // the whole program and its experiment.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (;;) {
        m_queue.Drained();
        auto items = m_queue.Take(4096);
        if (items.empty()) {
            if (m_finishing || m_broken) break;
            pollfd fds[2] = {{m_queue.WakeFd(), POLLIN, 0}, {CurrentStopFd(), POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
            if (StopRequested() && !m_finishing) break;
            continue;
        }
        std::string text;
        std::uint64_t records = 0;
        for (const auto& item : items) {
            text += item.isEvent ? ExperimentEventJson(item.event) : RecordJson(item.record);
            text += '\n';
            // Lines go out as they come: a batch is only what piled up meanwhile.
            if (!item.isEvent) ++records;
        }
        if (!WriteAll(text)) {
            for (const auto& item : m_queue.Take(m_queue.Size()))
                if (!item.isEvent) ++records;
            m_queue.CountDropped(records);
            break;
        }
        m_written += records;
    }
    return 0;
}

}  // namespace dravmer
