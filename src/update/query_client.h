#pragma once
// The bench's client of the remote file service: one TCP connection, one request outstanding
// at a time, replies collected by a receiver thread. Every operation returns a result code of
// the service (QueryResultText gives its text) and never shows anything itself.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/socket_receiver.h"
#include "update/query_record.h"

namespace dravmer {


class CQueryClient {
public:
    static constexpr int kReplyWaitMs = 2000;
    static constexpr int kConnectWithinMs = 1000;

    CQueryClient();
    ~CQueryClient();
    CQueryClient(const CQueryClient&) = delete;
    CQueryClient& operator=(const CQueryClient&) = delete;

    void SetServer(const std::string& name, int tcpPort = kFileServerTcpPort);
    std::string ServerName() const { return m_server; }
    int TcpPort() const { return m_port; }
    // Download progress in percent, called on the caller's thread after each chunk.
    void SetProgress(std::function<void(int percent)> progress) { m_progress = std::move(progress); }

    // 0, or 11..17; 0 at once when already connected. Wakes on a stop of the calling worker.
    int Connect();
    // Connect bounded by ms: -1 when it has not finished in time (nothing is left connected;
    // a name lookup still under way ends on its own).
    int ConnectWithin(int ms = kConnectWithinMs);
    // 18 when not connected, 19 when closing fails, else 0.
    int Disconnect();
    bool IsConnected() const { return m_connected.load(); }
    const std::string& ComputerName() const { return m_computer; }

    // Command 1: the description of a file, which the server then holds open for Download.
    int Describe(const std::string& fileName, SFileDescription& description);
    // Command 2 until a chunk shorter than 131072 bytes: the bytes received (at most
    // expectedSize), or -1; LastResult() then holds the cause. A server that sends more than
    // expectedSize is not sending the file it described: -1 with result 10.
    int Download(std::vector<std::uint8_t>& buffer, int expectedSize);
    // The same, handing each chunk to sink as it comes instead of keeping it: a sink that
    // returns false ends the download (-1 with result 9).
    using ChunkSink = std::function<bool(const std::uint8_t* data, int size)>;
    int Download(const ChunkSink& sink, int expectedSize);
    // From any thread: the request under way and every later one end at once (-1, or result 22
    // for the request), until ClearInterrupt. The connection is then of no further use but to
    // close it.
    void Interrupt();
    void ClearInterrupt();
    bool Interrupted() const { return m_interrupted.load(); }
    int Log(const std::string& text);                              // command 13
    int Upload(const std::string& localPath);                      // commands 4 and 5
    int ServerTime(SServerTime& time);                             // command 14
    int CloseFile();                                               // command 3
    int FileExists(const std::string& name);                       // command 6
    int ListFiles();                                               // command 7
    int ListCatalog();                                             // command 8
    int AddCatalog(const SCatalogEntry& entry);                    // command 9
    int DeleteFile(const std::string& name);                       // command 10
    int UpdateCatalog(const SCatalogEntry& entry);                 // command 11
    int DeleteCatalog(const std::string& name);                    // command 12
    const std::vector<SFileEntry>& Files() const { return m_files; }
    const std::vector<SCatalogEntry>& Catalog() const { return m_catalog; }
    int LastResult() const { return m_lastResult; }

private:
    enum EWait { kIdle = 0, kWaiting = 1, kReplied = 2, kData = 3, kClosed = 4 };

    int ConnectUntil(int limitMs);
    // Sends a request and waits for its reply: 0 with the reply in m_reply, or a result code.
    // badTag is what a reply without the tag gives (3, or 7 for uploads and lists).
    int Exchange(const std::vector<std::uint8_t>& request, int badTag = kQrUnknown);
    void OnBytes(const std::uint8_t* data, int length);
    void OnClosed();
    void CloseSocket();

    std::string m_server;
    int m_port = kFileServerTcpPort;
    std::string m_computer;
    std::function<void(int)> m_progress;
    int m_socket = -1;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_interrupted{false};
    std::unique_ptr<CSocketReceiver> m_receiver;

    std::mutex m_mutex;  // the wait state, the expected command and m_reply
    std::condition_variable m_cv;
    int m_wait = kIdle;
    std::uint8_t m_expected = 0;
    std::vector<std::uint8_t> m_reply;

    // Receiver thread only: the record being assembled.
    std::vector<std::uint8_t> m_in;
    std::size_t m_offset = 0;

    std::vector<SFileEntry> m_files;
    std::vector<SCatalogEntry> m_catalog;
    int m_lastResult = 0;
};

}  // namespace dravmer
