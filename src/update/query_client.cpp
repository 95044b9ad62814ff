#include "update/query_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/perf_timer.h"
#include "platform/worker_thread.h"

namespace dravmer {

namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A name lookup that the caller can stop waiting for: the lookup runs on a thread of its own
// that owns its result and ends by itself whenever the resolver returns.
struct SLookup {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    int error = 0;
    addrinfo* result = nullptr;
    ~SLookup() {
        if (result) ::freeaddrinfo(result);
    }
};

std::shared_ptr<SLookup> StartLookup(const std::string& host, int port) {
    auto lookup = std::make_shared<SLookup>();
    std::thread([lookup, host, port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        std::lock_guard lock(lookup->mutex);
        lookup->error = error;
        lookup->result = found;
        lookup->done = true;
        lookup->cv.notify_all();
    }).detach();
    return lookup;
}

// Milliseconds left before the deadline; -1 for no deadline.
int MsLeft(Clock::time_point deadline, bool bounded) {
    if (!bounded) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A list takes whatever entries came unless the server refused it or no reply came.
bool ListFailed(int rc) {
    return rc == kQrAccessDenied || rc == kQrNetwork || rc == kQrNotConnected || rc == kQrSend ||
           rc == kQrServerClosed || rc == kQrReplyTimeout;
}

}  // namespace

CQueryClient::CQueryClient() : m_in(kQueryBufferSize) {}

CQueryClient::~CQueryClient() {
    if (m_socket >= 0) Disconnect();
}

void CQueryClient::SetServer(const std::string& name, int tcpPort) {
    m_server = name;
    m_port = tcpPort;
}

int CQueryClient::Connect() { return ConnectUntil(-1); }

int CQueryClient::ConnectWithin(int ms) {
    const int result = ConnectUntil(ms);
    return result == kQrReplyTimeout ? -1 : result;
}

int CQueryClient::ConnectUntil(int limitMs) {
    if (m_connected) return kQrOk;
    CloseSocket();  // what a connection the server closed left behind
    if (m_server.empty()) return kQrNoServer;
    const bool bounded = limitMs >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);

    auto lookup = StartLookup(m_server, m_port);
    {
        std::unique_lock lock(lookup->mutex);
        // Wait in short steps so that a stop of the calling worker cuts the wait short.
        while (!lookup->done) {
            if (CWorkerThread::CurrentStopRequested()) return kQrHostLookup;
            if (bounded && Clock::now() >= deadline) return kQrReplyTimeout;
            lookup->cv.wait_for(lock, std::chrono::milliseconds(20));
        }
        if (lookup->error != 0 || !lookup->result) return kQrHostLookup;
    }

    const addrinfo* a = lookup->result;  // the first address of the name, as always
    const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (s < 0) return kQrSocket;
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    int rc = ::connect(s, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
        rc = -1;
        for (;;) {
            pollfd fds[2] = {{s, POLLOUT, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
            const int left = MsLeft(deadline, bounded);
            const int n = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, left);
            if (n < 0 && errno == EINTR) continue;
            if (n == 0) {
                ::close(s);
                return kQrReplyTimeout;
            }
            int error = 0;
            socklen_t len = sizeof error;
            if (n > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP)) &&
                ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0) {
                rc = 0;
            }
            break;
        }
    }
    if (rc != 0) {
        ::close(s);
        return kQrConnect;
    }
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) & ~O_NONBLOCK);

    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        ::close(s);
        return kQrLocalName;
    }
    m_computer.assign(name, strnlen(name, kQueryNameSize - 1));

    m_socket = s;
    m_offset = 0;
    {
        std::lock_guard lock(m_mutex);
        m_wait = kIdle;
    }
    m_connected = true;
    // The server's records are collected until the connection ends or the client disconnects.
    m_receiver = std::make_unique<CSocketReceiver>(
        s, 4096, [this](const std::uint8_t* data, int length) { OnBytes(data, length); },
        [this] { OnClosed(); });
    m_receiver->Start();
    return kQrOk;
}

void CQueryClient::CloseSocket() {
    if (m_socket < 0) return;
    ::shutdown(m_socket, SHUT_RDWR);
    m_receiver.reset();  // joins the receiver
    ::close(m_socket);
    m_socket = -1;
}

int CQueryClient::Disconnect() {
    if (!m_connected) {
        CloseSocket();
        return kQrNotConnected;
    }
    m_connected = false;
    ::shutdown(m_socket, SHUT_RDWR);
    m_receiver.reset();
    const int rc = ::close(m_socket);
    m_socket = -1;
    return rc == 0 ? kQrOk : kQrDisconnect;
}

void CQueryClient::OnClosed() {
    m_connected = false;
    std::lock_guard lock(m_mutex);
    if (m_wait == kWaiting) m_wait = kClosed;
    m_cv.notify_all();
}

void CQueryClient::OnBytes(const std::uint8_t* data, int length) {
    while (length > 0) {
        const std::size_t take =
            std::min<std::size_t>(static_cast<std::size_t>(length), m_in.size() - m_offset);
        std::memcpy(m_in.data() + m_offset, data, take);
        m_offset += take;
        data += take;
        length -= static_cast<int>(take);
        // Take every whole record the buffer holds; a record is whole when as many bytes as its
        // length field says have come, however the network split them.
        while (m_offset >= static_cast<std::size_t>(kQueryLengthAt + 4)) {
            const std::int32_t field = static_cast<std::int32_t>(Get32(m_in.data() + kQueryLengthAt));
            if (field < kQueryMinRecord || field > kQueryBufferSize) {
                m_offset = 0;  // no record can start here: drop what came
                break;
            }
            if (m_offset < static_cast<std::size_t>(field)) break;
            {
                std::lock_guard lock(m_mutex);
                const bool tagged = std::memcmp(m_in.data(), kQueryTag, sizeof kQueryTag) == 0;
                const std::uint8_t command = m_in[kQueryCommandAt];
                // A record that answers no waiting request (a reply that came too late) is
                // dropped, so it cannot pass for the answer to the next request.
                if (m_wait == kWaiting && (!tagged || command == m_expected)) {
                    m_reply.assign(m_in.begin(), m_in.begin() + field);
                    m_wait = command == kQcChunk ? kData : kReplied;
                    m_cv.notify_all();
                }
            }
            std::memmove(m_in.data(), m_in.data() + field, m_offset - static_cast<std::size_t>(field));
            m_offset -= static_cast<std::size_t>(field);
        }
    }
}

int CQueryClient::Exchange(const std::vector<std::uint8_t>& request, int badTag) {
    if (!m_connected) return m_lastResult = kQrNotConnected;
    {
        std::lock_guard lock(m_mutex);
        if (m_interrupted) return m_lastResult = kQrReplyTimeout;
        m_wait = kWaiting;
        m_expected = request[kQueryCommandAt];
        m_reply.clear();
    }
    const Clock::time_point sent = Clock::now();
    std::size_t done = 0;
    while (done < request.size()) {
        const ssize_t n =
            ::send(m_socket, request.data() + done, request.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            std::lock_guard lock(m_mutex);
            m_wait = kIdle;
            return m_lastResult = kQrSend;
        }
        done += static_cast<std::size_t>(n);
    }
    std::unique_lock lock(m_mutex);
    const bool ended = m_cv.wait_until(lock, sent + std::chrono::milliseconds(kReplyWaitMs),
                                       [&] { return m_wait != kWaiting || m_interrupted; });
    const int wait = m_wait;
    m_wait = kIdle;
    if (!ended || wait == kWaiting) return m_lastResult = kQrReplyTimeout;
    if (wait == kClosed) return m_lastResult = kQrServerClosed;
    if (std::memcmp(m_reply.data(), kQueryTag, sizeof kQueryTag) != 0) return m_lastResult = badTag;
    return m_lastResult = m_reply[kQueryResultAt];
}

int CQueryClient::Describe(const std::string& fileName, SFileDescription& description) {
    const int rc = Exchange(BuildTextRecord(kQcDescribe, 0, m_computer, fileName));
    if (rc != kQrOk) return rc;
    if (m_reply.size() < static_cast<std::size_t>(kQueryPayloadAt + kFileDescriptionSize)) {
        return m_lastResult = kQrUnknown;
    }
    description = DecodeFileDescription(m_reply.data() + kQueryPayloadAt);
    return kQrOk;
}

int CQueryClient::Download(std::vector<std::uint8_t>& buffer, int expectedSize) {
    buffer.clear();
    buffer.reserve(static_cast<std::size_t>(std::max(expectedSize, 0)));
    return Download(
        [&buffer](const std::uint8_t* data, int size) {
            buffer.insert(buffer.end(), data, data + size);
            return true;
        },
        expectedSize);
}

int CQueryClient::Download(const ChunkSink& sink, int expectedSize) {
    if (expectedSize < 0) expectedSize = 0;
    long long offered = 0;
    for (;;) {
        if (Exchange(BuildBareRecord(kQcChunk, 0, {})) != kQrOk) return -1;
        const std::uint8_t* chunk = nullptr;
        int size = 0;
        if (!RecordChunk(m_reply.data(), static_cast<int>(m_reply.size()), chunk, size)) {
            m_lastResult = kQrUnknown;
            return -1;
        }
        offered += size;
        if (offered > expectedSize) {
            m_lastResult = kQrFileRead;
            return -1;
        }
        if (size > 0 && !sink(chunk, size)) {
            m_lastResult = kQrFileWrite;
            return -1;
        }
        if (m_progress && expectedSize > 0) {
            m_progress(static_cast<int>(offered * 100 / expectedSize));
        }
        if (size < kQueryMaxChunk) break;
    }
    m_lastResult = kQrOk;
    return static_cast<int>(offered);
}

void CQueryClient::Interrupt() {
    std::lock_guard lock(m_mutex);
    m_interrupted = true;
    m_cv.notify_all();
}

void CQueryClient::ClearInterrupt() {
    std::lock_guard lock(m_mutex);
    m_interrupted = false;
}

int CQueryClient::Log(const std::string& text) {
    return Exchange(BuildTextRecord(kQcLog, 0, m_computer, text));
}

int CQueryClient::Upload(const std::string& localPath) {
    struct stat st {};
    if (::stat(localPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > 0x7FFFFFFF) {
        return m_lastResult = kQrFileOpen;
    }
    std::ifstream in(localPath, std::ios::binary);
    if (!in) return m_lastResult = kQrFileOpen;
    std::vector<std::uint8_t> content(static_cast<std::size_t>(st.st_size));
    in.read(reinterpret_cast<char*>(content.data()), st.st_size);
    if (in.gcount() != st.st_size) return m_lastResult = kQrFileRead;

    SFileEntry entry;
    const std::size_t slash = localPath.find_last_of('/');
    entry.name = slash == std::string::npos ? localPath : localPath.substr(slash + 1);
    entry.size = static_cast<std::int32_t>(st.st_size);
    entry.created = static_cast<std::uint32_t>(st.st_ctime);
    entry.modified = static_cast<std::uint32_t>(st.st_mtime);
    std::uint8_t raw[kFileEntrySize];
    EncodeFileEntry(entry, raw);
    const int rc = Exchange(BuildPayloadRecord(kQcUploadEntry, 0, m_computer, raw, sizeof raw),
                            kQrNetwork);
    if (rc != kQrOk) return rc;
    std::size_t sent = 0;
    do {
        const int n = static_cast<int>(std::min<std::size_t>(content.size() - sent, kQueryMaxChunk));
        const int r = Exchange(BuildChunkRecord(kQcUploadChunk, 0, content.data() + sent, n),
                               kQrNetwork);
        if (r == kQrSend || r == kQrReplyTimeout || r == kQrServerClosed ||
            r == kQrNotConnected || r == kQrNetwork) {
            return r;
        }
        if (r != kQrOk && r != kQrInternal) return m_lastResult = kQrFileWrite;
        sent += static_cast<std::size_t>(n);
        if (m_progress && !content.empty()) {
            m_progress(static_cast<int>(sent * 100 / content.size()));
        }
        // A file that fills its last chunk exactly ends with an empty one, as downloads do.
        if (n < kQueryMaxChunk) break;
    } while (true);
    return m_lastResult = kQrOk;
}

int CQueryClient::ServerTime(SServerTime& time) {
    CPerfTimer took;
    const int rc = Exchange(BuildBareRecord(kQcServerTime, 0, m_computer));
    if (rc != kQrOk) return rc;
    if (m_reply.size() < static_cast<std::size_t>(kQueryNameAt + 16)) return m_lastResult = kQrUnknown;
    time = AddReplyTime(DecodeServerTime(m_reply.data() + kQueryNameAt),
                        static_cast<int>(took.GetElapsedMs()));
    return kQrOk;
}

int CQueryClient::CloseFile() { return Exchange(BuildBareRecord(kQcCloseFile, 0, {})); }

int CQueryClient::FileExists(const std::string& name) {
    return Exchange(BuildTextRecord(kQcFileExists, 0, m_computer, name));
}

int CQueryClient::ListFiles() {
    const int rc = Exchange(BuildBareRecord(kQcListFiles, 0, m_computer), kQrNetwork);
    if (ListFailed(rc)) return rc;
    m_files.clear();
    if (m_reply.size() >= static_cast<std::size_t>(kQueryPayloadAt + 4)) {
        const std::int32_t count = static_cast<std::int32_t>(Get32(m_reply.data() + kQueryPayloadAt));
        const std::size_t room = (m_reply.size() - kQueryPayloadAt - 4) / kFileEntrySize;
        const std::size_t n = count > 0 ? std::min<std::size_t>(static_cast<std::size_t>(count), room) : 0;
        for (std::size_t i = 0; i < n; ++i) {
            m_files.push_back(DecodeFileEntry(m_reply.data() + kQueryPayloadAt + 4 + i * kFileEntrySize));
        }
    }
    std::sort(m_files.begin(), m_files.end(),
              [](const SFileEntry& a, const SFileEntry& b) { return a.name < b.name; });
    return m_lastResult = kQrOk;
}

int CQueryClient::ListCatalog() {
    const int rc = Exchange(BuildBareRecord(kQcListCatalog, 0, m_computer), kQrNetwork);
    if (ListFailed(rc)) return rc;
    m_catalog.clear();
    if (m_reply.size() >= static_cast<std::size_t>(kQueryPayloadAt + 4)) {
        const std::int32_t count = static_cast<std::int32_t>(Get32(m_reply.data() + kQueryPayloadAt));
        const std::size_t room = (m_reply.size() - kQueryPayloadAt - 4) / kCatalogEntrySize;
        const std::size_t n = count > 0 ? std::min<std::size_t>(static_cast<std::size_t>(count), room) : 0;
        for (std::size_t i = 0; i < n; ++i) {
            m_catalog.push_back(
                DecodeCatalogEntry(m_reply.data() + kQueryPayloadAt + 4 + i * kCatalogEntrySize));
        }
    }
    std::sort(m_catalog.begin(), m_catalog.end(),
              [](const SCatalogEntry& a, const SCatalogEntry& b) { return a.Name() < b.Name(); });
    return m_lastResult = kQrOk;
}

int CQueryClient::AddCatalog(const SCatalogEntry& entry) {
    std::uint8_t raw[kCatalogEntrySize];
    EncodeCatalogEntry(entry, raw);
    return Exchange(BuildPayloadRecord(kQcAddCatalog, 0, m_computer, raw, sizeof raw));
}

int CQueryClient::UpdateCatalog(const SCatalogEntry& entry) {
    std::uint8_t raw[kCatalogEntrySize];
    EncodeCatalogEntry(entry, raw);
    return Exchange(BuildPayloadRecord(kQcUpdateCatalog, 0, m_computer, raw, sizeof raw));
}

int CQueryClient::DeleteFile(const std::string& name) {
    const int rc = Exchange(BuildTextRecord(kQcDeleteFile, 0, m_computer, name));
    if (rc == kQrOk) {
        std::erase_if(m_files, [&](const SFileEntry& e) { return e.name == name; });
    }
    return rc;
}

int CQueryClient::DeleteCatalog(const std::string& name) {
    const int rc = Exchange(BuildTextRecord(kQcDeleteCatalog, 0, m_computer, name));
    if (rc == kQrOk) {
        std::erase_if(m_catalog, [&](const SCatalogEntry& e) { return e.Name() == name; });
    }
    return rc;
}

}  // namespace dravmer
