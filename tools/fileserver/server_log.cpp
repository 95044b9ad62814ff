#include "fileserver/server_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace dravmer::fileserver {

namespace fs = std::filesystem;

std::string EscapeLogText(const std::string& text, std::size_t maxBytes) {
    static constexpr char kCut[] = "...";
    constexpr std::size_t kCutSize = sizeof kCut - 1;
    const std::size_t markRoom = maxBytes >= kCutSize ? maxBytes - kCutSize : 0;
    std::string out;
    std::size_t cutAt = 0;  // the last end of a whole piece that leaves room for the mark
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        char piece[8];
        std::size_t size = 1;
        const char* named = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
        if (named) {
            size = 2;
            std::memcpy(piece, named, size);
        } else if (c < 0x20 || c == 0x7F) {
            size = static_cast<std::size_t>(std::snprintf(piece, sizeof piece, "\\x%02X", c));
        } else {
            // A UTF-8 character stays whole.
            size = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            size = std::min(size, text.size() - i);
            std::memcpy(piece, text.data() + i, size);
            i += size - 1;
        }
        if (out.size() + size > maxBytes) {
            out.resize(cutAt);
            if (maxBytes >= kCutSize) out += kCut;
            return out;
        }
        out.append(piece, size);
        if (out.size() <= markRoom) cutAt = out.size();
    }
    return out;
}

CServerLog::~CServerLog() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CServerLog::Open(const fs::path& file, std::string& error) {
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0) ::close(m_fd);
    m_file = file;
    m_fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
    if (m_fd < 0) {
        error = "cannot open the log file " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    m_size = ::fstat(m_fd, &st) == 0 ? st.st_size : 0;
    return true;
}

bool CServerLog::Rotate() {
    ::close(m_fd);
    m_fd = -1;
    std::error_code ec;
    const std::string base = m_file.string();
    if (m_limits.keep <= 0) {
        fs::remove(m_file, ec);
    } else {
        for (int i = m_limits.keep; i > 1; --i) {
            fs::rename(base + "." + std::to_string(i - 1), base + "." + std::to_string(i), ec);
        }
        fs::rename(m_file, base + ".1", ec);
    }
    m_fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
    if (m_fd < 0) return false;
    struct stat st {};
    m_size = ::fstat(m_fd, &st) == 0 ? st.st_size : 0;
    // A file that could not be moved away is still full: better no lines than a full disk.
    return m_size == 0;
}

bool CServerLog::Write(const std::string& computer, const std::string& text) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    const std::string line = std::string(stamp) + " " + EscapeLogText(computer, 64) + ": " +
                             EscapeLogText(text, m_limits.lineBytes) + "\n";
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 && m_file.empty()) return false;
    if (m_fd < 0 || m_size + static_cast<std::int64_t>(line.size()) > m_limits.fileBytes) {
        if (!Rotate()) return false;
    }
    // One write per line: lines of several connections never interleave.
    const ssize_t n = ::write(m_fd, line.data(), line.size());
    if (n > 0) m_size += n;
    return n == static_cast<ssize_t>(line.size());
}

}  // namespace dravmer::fileserver
