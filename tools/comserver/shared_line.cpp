#include "comserver/shared_line.h"

#include <poll.h>

#include <algorithm>
#include <cstring>

#include "link/frame.h"
#include "platform/perf_timer.h"

namespace dravmer::comserver {

namespace {

constexpr int kLoadWindowMs = 3000;
constexpr int kMaxReply = 2048;

}  // namespace

CSharedLine::CSharedLine(int index, std::string path, const SLineParams& params, SReopenPause pause,
                         LogFn log)
    : m_index(index),
      m_path(std::move(path)),
      m_params(params),
      m_pause(pause),
      m_log(std::move(log)) {
    std::lock_guard exchange(m_exchange);
    Open();
}

std::string CSharedLine::Title() const {
    return "COM" + std::to_string(m_index + 1) + " (" + m_path + ")";
}

void CSharedLine::Log(const std::string& text) const {
    if (m_log) m_log(Title() + ": " + text);
}

void CSharedLine::Open() {
    const int error = m_line.Open(m_path, m_params);
    m_openError = error;
    if (error == 0) {
        ++m_opens;
        m_open = true;
        if (m_lost || m_failureLogged) Log(m_lost ? "reopened" : "opened");
        m_lost = m_failureLogged = false;
        m_pauseMs = 0;
        return;
    }
    // The first failure of an outage is said once (at start the server says it itself); the
    // tries go on quietly, ever less often.
    if (m_lost && !m_failureLogged) {
        Log(std::string("cannot be opened yet (") + std::strerror(error) + "), trying again");
    }
    m_failureLogged = true;
    m_pauseMs = m_pauseMs == 0 ? m_pause.firstMs : std::min(m_pauseMs * 2, m_pause.longestMs);
    m_nextTry = Clock::now() + std::chrono::milliseconds(m_pauseMs);
}

void CSharedLine::Lose(const char* why) {
    m_line.Close();
    m_open = false;
    m_lost = true;
    m_failureLogged = false;
    m_pauseMs = m_pause.firstMs;
    m_nextTry = Clock::now() + std::chrono::milliseconds(m_pauseMs);
    Log(std::string("line lost (") + why + "), reopening");
}

void CSharedLine::Maintain(Clock::time_point now) {
    std::unique_lock exchange(m_exchange, std::try_to_lock);
    if (!exchange.owns_lock()) return;  // in use, so not idle: an exchange finds a hang-up
    if (m_open) {
        // Hang-ups are reported whatever events are asked for; nothing is read here.
        pollfd p{m_line.Fd(), 0, 0};
        if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            Lose("hung up");
        }
        return;
    }
    if (now >= m_nextTry) Open();
}

EExchange CSharedLine::TryExchange(const std::vector<std::uint8_t>& frame, int timeoutMs,
                                   std::vector<std::uint8_t>& reply) {
    std::unique_lock exchange(m_exchange, std::try_to_lock);
    if (!exchange.owns_lock()) return EExchange::kBusy;
    reply.clear();
    if (!m_open) return EExchange::kClosed;
    const Clock::time_point start = Clock::now();
    m_line.Purge();
    if (m_line.Write(frame.data(), static_cast<int>(frame.size()))) ReadReply(timeoutMs, reply);
    if (m_line.HungUp()) Lose("hung up");
    std::lock_guard lock(m_mutex);
    m_busy.emplace_back(start, Clock::now());
    while (m_busy.size() > 1024) m_busy.pop_front();
    return EExchange::kDone;
}

void CSharedLine::ReadReply(int timeoutMs, std::vector<std::uint8_t>& in) {
    CPerfTimer timer;
    std::uint8_t chunk[kMaxReply];
    auto readUntil = [&](std::size_t target) {
        target = std::min<std::size_t>(target, kMaxReply);
        while (in.size() < target) {
            const int left = timeoutMs - static_cast<int>(timer.GetElapsedMs());
            if (left < 0) return;
            const int n = m_line.Read(chunk, static_cast<int>(target - in.size()), left);
            if (n < 0) return;
            in.insert(in.end(), chunk, chunk + n);
        }
    };
    // A frame says its own length in blocks; four copies of its first byte may precede it.
    readUntil(kBlockSize);
    if (in.size() < kBlockSize) return;
    if (in[0] == in[1] && in[0] == in[2] && in[0] == in[3] && in[0] == in[4]) {
        readUntil(12);
        if (in.size() >= 12) readUntil(static_cast<std::size_t>(kBlockSize * in[8] + 4));
        in.erase(in.begin(), in.begin() + 4);
    } else {
        readUntil(static_cast<std::size_t>(kBlockSize * in[4]));
    }
}

float CSharedLine::Load() const {
    const Clock::time_point now = Clock::now();
    const Clock::time_point from = now - std::chrono::milliseconds(kLoadWindowMs);
    double busyMs = 0;
    std::lock_guard lock(m_mutex);
    for (const auto& [start, end] : m_busy) {
        if (end <= from) continue;
        busyMs += std::chrono::duration<double, std::milli>(end - std::max(start, from)).count();
    }
    return static_cast<float>(std::min(100.0, busyMs * 100.0 / kLoadWindowMs));
}

void CSharedLine::Attach(const void* client, const std::string& name) {
    std::lock_guard lock(m_mutex);
    for (auto& [who, known] : m_clients) {
        if (who == client) {
            known = name;
            return;
        }
    }
    m_clients.emplace_back(client, name);
}

void CSharedLine::Detach(const void* client) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_clients, [client](const auto& c) { return c.first == client; });
}

std::vector<std::string> CSharedLine::Clients() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    names.reserve(m_clients.size());
    for (const auto& c : m_clients) names.push_back(c.second);
    return names;
}

std::size_t CSharedLine::ClientCount() const {
    std::lock_guard lock(m_mutex);
    return m_clients.size();
}

}  // namespace dravmer::comserver
