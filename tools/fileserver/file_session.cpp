#include "fileserver/file_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <ctime>

#include "platform/cp1251.h"

namespace dravmer::fileserver {

namespace {

std::atomic<unsigned> g_uploadSerial{0};

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> Result(std::uint8_t command, int result) {
    return BuildBareRecord(command, static_cast<std::uint8_t>(result), {});
}

// The shortest record each command's layout allows: bare 84, text 83 and its string, a file
// entry 222, a catalog entry 468, a chunk 28 and its bytes. A command this service does not
// know is answered as a bare record would be.
int MinimumLength(std::uint8_t command) {
    switch (command) {
        case kQcDescribe:
        case kQcFileExists:
        case kQcDeleteFile:
        case kQcDeleteCatalog:
        case kQcLog:
            return kQueryPayloadAt + 1;
        case kQcUploadEntry:
            return kQueryPayloadAt + kFileEntrySize;
        case kQcUploadChunk:
            return kQueryChunkAt + 4;
        case kQcAddCatalog:
        case kQcUpdateCatalog:
            return kQueryPayloadAt + kCatalogEntrySize;
        default:
            return kBareRecordLength;
    }
}

// The requests a bench makes of the release folder itself.
bool IsFolderRequest(std::uint8_t command) {
    return command != kQcChunk && command != kQcCloseFile && command != kQcLog &&
           command != kQcServerTime && command >= kQcDescribe && command <= kQcServerTime;
}

std::string ComputerOf(const std::uint8_t* record) {
    const char* s = reinterpret_cast<const char*>(record + kQueryNameAt);
    return std::string(s, strnlen(s, kQueryNameSize));
}

}  // namespace

CFileSession::CFileSession(CReleaseFolder& folder, bool allowUpload, LogSink log)
    : m_folder(folder), m_allowUpload(allowUpload), m_log(std::move(log)) {}

CFileSession::~CFileSession() {
    CloseDownload();
    AbortUpload();
}

void CFileSession::CloseDownload() {
    if (m_download >= 0) ::close(m_download);
    m_download = -1;
}

void CFileSession::AbortUpload() {
    if (m_upload >= 0) {
        ::close(m_upload);
        ::unlinkat(m_folder.RootFd(), m_uploadPart.c_str(), 0);
    }
    m_upload = -1;
}

void CFileSession::Take(const std::uint8_t* data, std::size_t size) {
    m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(m_inAt));
    m_inAt = 0;
    m_in.insert(m_in.end(), data, data + size);
}

CFileSession::EAnswer CFileSession::AnswerNext(std::vector<std::uint8_t>& reply) {
    int length = 0;
    const ERecordState state =
        QueryRecordState(m_in.data() + m_inAt, m_in.size() - m_inAt, kQueryBufferSize, length);
    if (state == ERecordState::kNeedMore) return EAnswer::kNeedMore;
    const std::uint8_t* record = m_in.data() + m_inAt;
    // A record shorter than its command's layout would be answered from bytes it never sent,
    // and 18 bytes asking for a 128 KiB chunk multiply whatever a client sends.
    if (state == ERecordState::kInvalid || length < MinimumLength(record[kQueryCommandAt])) {
        m_in.clear();
        m_inAt = 0;
        return EAnswer::kInvalid;
    }
    reply = Handle(record, length);
    m_inAt += static_cast<std::size_t>(length);
    if (m_inAt == m_in.size()) {
        m_in.clear();
        m_inAt = 0;
    }
    return EAnswer::kReply;
}

bool CFileSession::Feed(const std::uint8_t* data, std::size_t size,
                        std::vector<std::uint8_t>& replies) {
    Take(data, size);
    std::vector<std::uint8_t> reply;
    for (;;) {
        switch (AnswerNext(reply)) {
            case EAnswer::kReply:
                replies.insert(replies.end(), reply.begin(), reply.end());
                break;
            case EAnswer::kNeedMore:
                return true;
            case EAnswer::kInvalid:
                return false;
        }
    }
}

std::vector<std::uint8_t> CFileSession::Handle(const std::uint8_t* record, int length) {
    std::vector<std::uint8_t> reply = Answer(record, length);
    const std::uint8_t command = record[kQueryCommandAt];
    if (IsFolderRequest(command) && (reply[kQueryResultAt] == kQrOk ||
                                     reply[kQueryResultAt] == kQrTooManyFiles)) {
        m_proven = true;
    }
    return reply;
}

std::vector<std::uint8_t> CFileSession::Answer(const std::uint8_t* record, int length) {
    const std::uint8_t command = record[kQueryCommandAt];
    switch (command) {
        case kQcDescribe:
            return Describe(record, length);
        case kQcChunk:
            return Chunk();
        case kQcCloseFile:
            CloseDownload();
            AbortUpload();
            return Result(command, kQrOk);
        case kQcUploadEntry:
            return UploadEntry(record, length);
        case kQcUploadChunk:
            return UploadChunk(record, length);
        case kQcListFiles:
            return ListFiles();
        case kQcListCatalog:
            return ListCatalog();
        case kQcAddCatalog:
        case kQcUpdateCatalog:
            return EditCatalog(record, length, command == kQcAddCatalog);
        case kQcFileExists:
        case kQcDeleteFile:
        case kQcDeleteCatalog:
        case kQcLog:
            return Named(command, record, length);
        case kQcServerTime:
            return ServerTime();
        default:
            return Result(command, kQrUnknown);
    }
}

std::vector<std::uint8_t> CFileSession::Describe(const std::uint8_t* record, int length) {
    const auto name = RecordText(record, length);
    if (!name) return Result(kQcDescribe, kQrUnknown);
    if (!CReleaseFolder::IsServedName(*name)) return Result(kQcDescribe, kQrAccessDenied);
    CloseDownload();
    const int fd = m_folder.OpenForReading(*name);
    if (fd < 0) return Result(kQcDescribe, kQrFileOpen);
    struct stat st {};
    const auto entry = m_folder.CatalogEntry(*name, fd);
    if (!entry || ::fstat(fd, &st) != 0) {
        ::close(fd);
        return Result(kQcDescribe, kQrFileRead);
    }
    SFileDescription d;
    d.entry = *entry;
    d.size = static_cast<std::int32_t>(st.st_size);
    d.created = static_cast<std::uint32_t>(st.st_ctime);
    d.modified = static_cast<std::uint32_t>(st.st_mtime);
    std::uint8_t raw[kFileDescriptionSize];
    EncodeFileDescription(d, raw);
    m_download = fd;
    return BuildPayloadRecord(kQcDescribe, kQrOk, {}, raw, sizeof raw);
}

std::vector<std::uint8_t> CFileSession::Chunk() {
    if (m_download < 0) return BuildChunkRecord(kQcChunk, kQrFileNotOpen, nullptr, 0);
    std::vector<std::uint8_t> record(28 + kQueryMaxChunk);
    int got = 0;
    while (got < kQueryMaxChunk) {
        const ssize_t n = ::read(m_download, record.data() + kQueryChunkAt + got,
                                 static_cast<std::size_t>(kQueryMaxChunk - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            CloseDownload();
            return BuildChunkRecord(kQcChunk, kQrFileRead, nullptr, 0);
        }
        if (n == 0) break;
        got += static_cast<int>(n);
    }
    // A short chunk ends the file: the next request finds nothing open.
    if (got < kQueryMaxChunk) CloseDownload();
    record.resize(static_cast<std::size_t>(28 + got));
    PutQueryHeader(record.data(), 28 + got, kQcChunk, kQrOk);
    Put32(record.data() + kQueryChunkLengthAt, static_cast<std::uint32_t>(got));
    std::memset(record.data() + kQueryNameAt, 0, 2);
    std::memset(record.data() + kQueryChunkAt + got, 0, 4);
    return record;
}

std::vector<std::uint8_t> CFileSession::UploadEntry(const std::uint8_t* record, int length) {
    if (!m_allowUpload) return Result(kQcUploadEntry, kQrAccessDenied);
    if (length < kQueryPayloadAt + kFileEntrySize) return Result(kQcUploadEntry, kQrUnknown);
    const SFileEntry entry = DecodeFileEntry(record + kQueryPayloadAt);
    if (!CReleaseFolder::IsServedName(entry.name)) return Result(kQcUploadEntry, kQrAccessDenied);
    if (entry.size < 0) return Result(kQcUploadEntry, kQrUnknown);
    AbortUpload();
    struct stat st {};
    if (::fstatat(m_folder.RootFd(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return Result(kQcUploadEntry, kQrFileExists);
    }
    m_uploadPart = ".upload-" + std::to_string(::getpid()) + "-" +
                   std::to_string(g_uploadSerial.fetch_add(1));
    m_upload = ::openat(m_folder.RootFd(), m_uploadPart.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (m_upload < 0) return Result(kQcUploadEntry, kQrFileCreate);
    m_uploadName = entry.name;
    m_uploadSize = entry.size;
    m_uploadReceived = 0;
    return Result(kQcUploadEntry, kQrOk);
}

std::vector<std::uint8_t> CFileSession::UploadChunk(const std::uint8_t* record, int length) {
    if (m_upload < 0) return Result(kQcUploadChunk, kQrFileNotOpen);
    const std::uint8_t* data = nullptr;
    int size = 0;
    if (!RecordChunk(record, length, data, size) || m_uploadReceived + size > m_uploadSize) {
        AbortUpload();
        return Result(kQcUploadChunk, kQrFileWrite);
    }
    for (int done = 0; done < size;) {
        const ssize_t n = ::write(m_upload, data + done, static_cast<std::size_t>(size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            AbortUpload();
            return Result(kQcUploadChunk, kQrFileWrite);
        }
        done += static_cast<int>(n);
    }
    m_uploadReceived += size;
    if (size == kQueryMaxChunk) return Result(kQcUploadChunk, kQrOk);
    // The last chunk: the file appears under its name only when it is whole, and never over
    // a file that came meanwhile.
    const bool whole = m_uploadReceived == m_uploadSize && ::fsync(m_upload) == 0;
    ::close(m_upload);
    m_upload = -1;
    if (!whole || ::renameat2(m_folder.RootFd(), m_uploadPart.c_str(), m_folder.RootFd(),
                              m_uploadName.c_str(), RENAME_NOREPLACE) != 0) {
        ::unlinkat(m_folder.RootFd(), m_uploadPart.c_str(), 0);
        return Result(kQcUploadChunk, kQrFileWrite);
    }
    return Result(kQcUploadChunk, kQrOk);
}

std::vector<std::uint8_t> CFileSession::ListFiles() {
    const std::vector<SFileEntry> files = m_folder.Files();
    const std::size_t room = (kQueryBufferSize - kQueryPayloadAt - 4) / kFileEntrySize;
    const std::size_t n = std::min(files.size(), room);
    std::vector<std::uint8_t> payload(4 + n * kFileEntrySize);
    Put32(payload.data(), static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) EncodeFileEntry(files[i], payload.data() + 4 + i * kFileEntrySize);
    return BuildPayloadRecord(kQcListFiles, files.size() > room ? kQrTooManyFiles : kQrOk, {},
                              payload.data(), static_cast<int>(payload.size()));
}

std::vector<std::uint8_t> CFileSession::ListCatalog() {
    const std::vector<SCatalogEntry> catalog = m_folder.Catalog();
    const std::size_t room = (kQueryBufferSize - kQueryPayloadAt - 4) / kCatalogEntrySize;
    const std::size_t n = std::min(catalog.size(), room);
    std::vector<std::uint8_t> payload(4 + n * kCatalogEntrySize);
    Put32(payload.data(), static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        EncodeCatalogEntry(catalog[i], payload.data() + 4 + i * kCatalogEntrySize);
    }
    return BuildPayloadRecord(kQcListCatalog, catalog.size() > room ? kQrTooManyFiles : kQrOk, {},
                              payload.data(), static_cast<int>(payload.size()));
}

std::vector<std::uint8_t> CFileSession::EditCatalog(const std::uint8_t* record, int length,
                                                    bool add) {
    const std::uint8_t command = add ? kQcAddCatalog : kQcUpdateCatalog;
    if (!m_allowUpload) return Result(command, kQrAccessDenied);
    if (length < kQueryPayloadAt + kCatalogEntrySize) return Result(command, kQrUnknown);
    const SCatalogEntry entry = DecodeCatalogEntry(record + kQueryPayloadAt);
    const std::string name = entry.Name();
    // A name the manifest cannot hold (a blank in it) would be taken and then lost.
    if (!CReleaseFolder::IsManifestName(name)) return Result(command, kQrAccessDenied);
    return Result(command, m_folder.SetVersion(name, SVersion{entry.major, entry.minor}, add));
}

std::vector<std::uint8_t> CFileSession::Named(std::uint8_t command, const std::uint8_t* record,
                                              int length) {
    const auto text = RecordText(record, length);
    if (!text) return Result(command, kQrUnknown);
    if (command == kQcLog) {
        const bool written = !m_log || m_log(Cp1251ToUtf8(ComputerOf(record)), Cp1251ToUtf8(*text));
        return Result(command, written ? kQrOk : kQrFileWrite);
    }
    if (command == kQcFileExists) {
        const int fd = m_folder.OpenForReading(*text);
        if (fd < 0) return Result(command, kQrFileOpen);
        ::close(fd);
        return Result(command, kQrOk);
    }
    if (!m_allowUpload) return Result(command, kQrAccessDenied);
    if (!CReleaseFolder::IsServedName(*text)) return Result(command, kQrAccessDenied);
    if (command == kQcDeleteCatalog) return Result(command, m_folder.RemoveVersion(*text));
    struct stat st {};
    if (::fstatat(m_folder.RootFd(), text->c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode) || ::unlinkat(m_folder.RootFd(), text->c_str(), 0) != 0) {
        return Result(command, kQrDelete);
    }
    return Result(command, kQrOk);
}

std::vector<std::uint8_t> CFileSession::ServerTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm tm{};
    ::localtime_r(&now.tv_sec, &tm);
    SServerTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    t.second = static_cast<std::uint16_t>(tm.tm_sec);
    t.milliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
    std::vector<std::uint8_t> record = BuildBareRecord(kQcServerTime, kQrOk, {});
    EncodeServerTime(t, record.data() + kQueryNameAt);
    return record;
}

}  // namespace dravmer::fileserver
