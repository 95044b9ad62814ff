#include "link/log_files.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/paths.h"

namespace dravmer {

CLogFiles::CLogFiles(std::filesystem::path folder) : m_folder(std::move(folder)) {}

CLogFiles::~CLogFiles() {
    for (auto& [name, fd] : m_fds)
        if (fd >= 0) ::close(fd);
}

LinkLogSink CLogFiles::Sink() {
    return [this](const std::string& name, const std::string& entry) { Write(name, entry); };
}

std::filesystem::path CLogFiles::PathOf(const std::string& logName) const {
    return m_folder / (logName + ".log");
}

std::string CLogFiles::TimePrefix() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm t{};
    localtime_r(&tv.tv_sec, &t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "[%2.2d.%2.2d %2.2d:%2.2d:%2.2d:%3.3d] ", t.tm_mday,
                  t.tm_mon + 1, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(tv.tv_usec / 1000));
    return buf;
}

void CLogFiles::Write(const std::string& logName, const std::string& entry) {
    const std::string text = TimePrefix() + entry;
    std::lock_guard lock(m_mutex);
    auto it = m_fds.find(logName);
    if (it == m_fds.end() || it->second < 0) {
        EnsureDir(m_folder);
        const int fd =
            ::open(PathOf(logName).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        it = m_fds.insert_or_assign(logName, fd).first;
    }
    if (it->second < 0) {
        ++m_failures;
        return;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(it->second, text.data() + done, text.size() - done);
        if (n <= 0) {
            ++m_failures;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

int CLogFiles::Failures() const {
    std::lock_guard lock(m_mutex);
    return m_failures;
}

}  // namespace dravmer
