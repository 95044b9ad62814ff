#pragma once
// One client's conversation with the file server, without the socket: received bytes go in,
// reply records come out. The server's threads and the fuzz target drive the same object.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fileserver/release_folder.h"

namespace dravmer::fileserver {

// Receives the log lines of command 13: the client's computer name and the line (UTF-8);
// false when the line was left out (the client is then told it was not written).
using LogSink = std::function<bool(const std::string& computer, const std::string& line)>;

class CFileSession {
public:
    CFileSession(CReleaseFolder& folder, bool allowUpload, LogSink log);
    ~CFileSession();
    CFileSession(const CFileSession&) = delete;
    CFileSession& operator=(const CFileSession&) = delete;

    enum class EAnswer { kReply, kNeedMore, kInvalid };
    // Takes received bytes; they wait until AnswerNext answers their records.
    void Take(const std::uint8_t* data, std::size_t size);
    // Answers the first whole record waiting: kReply with its reply, kNeedMore when no whole
    // record waits, kInvalid when the bytes cannot be records of this service (wrong tag, a
    // length field below the smallest record or beyond the buffer, a record shorter than its
    // command's layout): the connection is then closed.
    EAnswer AnswerNext(std::vector<std::uint8_t>& reply);
    // Take and AnswerNext until no whole record is left, the replies appended to replies; false
    // on bytes that cannot be records of this service.
    bool Feed(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& replies);
    // True while received bytes wait: part of a record, or whole records not answered yet.
    bool Pending() const { return m_inAt < m_in.size(); }
    // True once a request on the release folder has succeeded (a description, a list, an
    // existence check, an upload or a catalog change): what a bench connects for. Clock and
    // log requests, and anything refused, do not count.
    bool Proven() const { return m_proven; }
    // The reply to one whole record.
    std::vector<std::uint8_t> Handle(const std::uint8_t* record, int length);

private:
    std::vector<std::uint8_t> Answer(const std::uint8_t* record, int length);
    std::vector<std::uint8_t> Describe(const std::uint8_t* record, int length);
    std::vector<std::uint8_t> Chunk();
    std::vector<std::uint8_t> UploadEntry(const std::uint8_t* record, int length);
    std::vector<std::uint8_t> UploadChunk(const std::uint8_t* record, int length);
    std::vector<std::uint8_t> ListFiles();
    std::vector<std::uint8_t> ListCatalog();
    std::vector<std::uint8_t> EditCatalog(const std::uint8_t* record, int length, bool add);
    std::vector<std::uint8_t> Named(std::uint8_t command, const std::uint8_t* record, int length);
    std::vector<std::uint8_t> ServerTime();
    void CloseDownload();
    void AbortUpload();

    CReleaseFolder& m_folder;
    const bool m_allowUpload;
    LogSink m_log;
    std::vector<std::uint8_t> m_in;
    std::size_t m_inAt = 0;  // the first byte of m_in not answered yet
    bool m_proven = false;
    int m_download = -1;
    std::string m_uploadName;
    std::string m_uploadPart;
    int m_upload = -1;
    std::int64_t m_uploadSize = 0;
    std::int64_t m_uploadReceived = 0;
};

}  // namespace dravmer::fileserver
