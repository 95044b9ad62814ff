#pragma once
// The file server's log of the benches' update lines. Every line is the server's own: the
// client's text is cut to a bounded length and its control characters are written as escapes,
// so no client can start a line of its own; the file is capped and rotated (FILE.1, FILE.2),
// so no client can fill a disk.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

namespace dravmer::fileserver {

struct SLogLimits {
    std::size_t lineBytes = 1024;       // of the client's text, after escaping
    std::int64_t fileBytes = 16 << 20;  // a file that would grow past this is rotated
    int keep = 2;                       // rotated files kept beside the current one
};

// Control characters and DEL as escapes (\n, \r, \t, \xNN), the result cut to at most
// maxBytes without splitting a UTF-8 character; a cut text ends in "...".
std::string EscapeLogText(const std::string& text, std::size_t maxBytes);

class CServerLog {
public:
    explicit CServerLog(SLogLimits limits = {}) : m_limits(limits) {}
    ~CServerLog();
    CServerLog(const CServerLog&) = delete;
    CServerLog& operator=(const CServerLog&) = delete;

    // Opens (creates) the file for appending; false with a message in error.
    bool Open(const std::filesystem::path& file, std::string& error);
    const std::filesystem::path& File() const { return m_file; }
    // Writes "date time computer: text" as one line (thread-safe); false when it could not.
    bool Write(const std::string& computer, const std::string& text);

private:
    bool Rotate();

    SLogLimits m_limits;
    std::filesystem::path m_file;
    std::mutex m_mutex;
    int m_fd = -1;
    std::int64_t m_size = 0;
};

}  // namespace dravmer::fileserver
