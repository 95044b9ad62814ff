#pragma once
// Files behind the link's error logs: "<name>.log" in the log folder, opened for appending,
// each entry prefixed with the local time "[dd.mm HH:MM:SS:mmm] ". Every entry is written at
// once, so a crash loses nothing that was logged before it.
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "link/link_log.h"

namespace dravmer {

class CLogFiles {
public:
    explicit CLogFiles(std::filesystem::path folder);
    ~CLogFiles();
    CLogFiles(const CLogFiles&) = delete;
    CLogFiles& operator=(const CLogFiles&) = delete;

    // A sink for CLinkR307::SetLogSink; it stays valid as long as this object lives.
    LinkLogSink Sink();
    void Write(const std::string& logName, const std::string& entry);
    std::filesystem::path PathOf(const std::string& logName) const;
    // Entries that could not be written (folder missing and not creatable, disk full).
    int Failures() const;

    // "[%2.2d.%2.2d %2.2d:%2.2d:%2.2d:%3.3d] " of the local time now.
    static std::string TimePrefix();

private:
    std::filesystem::path m_folder;
    mutable std::mutex m_mutex;
    std::map<std::string, int> m_fds;
    int m_failures = 0;
};

}  // namespace dravmer
