#pragma once
// The COM server: shares local serial lines with the benches of a lab over TCP. The first line
// is the server's COM1. Each client names the line it wants when it connects; one request at a
// time runs on a line, and a request that finds its line taken is answered with the overload
// status at once.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/com_server_message.h"
#include "link/serial_line.h"
#include "platform/worker_thread.h"

namespace dravmer::comserver {

struct SComServerOptions {
    std::vector<std::string> lines;  // device paths
    std::string listen = "0.0.0.0";
    int port = kComServerTcpPort;
    SLineParams params;
    int replyTimeoutMs = 300;  // how long a device may take to answer a frame
    int maxClients = 32;
};

enum class EMessageState { kNeedMore, kComplete, kInvalid };
// Takes the first whole message off the front of received bytes.
EMessageState TakeComServerMessage(std::vector<std::uint8_t>& in, SComServerMessage& message);

// One shared line: the line itself, who uses it and how busy it is.
class CSharedLine {
public:
    CSharedLine(std::string path, const SLineParams& params);
    bool IsOpen() const { return m_line.IsOpen(); }
    const std::string& Path() const { return m_path; }
    int OpenError() const { return m_openError; }

    // Runs one exchange unless another runs: false when the line is taken.
    bool TryExchange(const std::vector<std::uint8_t>& frame, int timeoutMs,
                     std::vector<std::uint8_t>& reply);
    // Percent of the last 3 s the line spent in exchanges.
    float Load() const;
    void Attach(const std::string& client);
    void Detach(const std::string& client);
    std::vector<std::string> Clients() const;

private:
    void ReadReply(int timeoutMs, std::vector<std::uint8_t>& reply);

    std::string m_path;
    CSerialLine m_line;
    int m_openError = 0;
    std::mutex m_exchange;
    mutable std::mutex m_mutex;  // clients and busy intervals
    std::vector<std::string> m_clients;
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::chrono::steady_clock::time_point>>
        m_busy;
};

class CComClientConnection;

class CComServer : public CWorkerThread {
public:
    explicit CComServer(SComServerOptions options);
    ~CComServer() override;

    // Opens the lines (a line that cannot be opened is refused to its clients) and the
    // listening socket; false with a message in error when nothing can be served.
    bool Listen(std::string& error);
    int TcpPort() const { return m_options.port; }
    int LineCount() const { return static_cast<int>(m_lines.size()); }
    CSharedLine& Line(int i) { return *m_lines[static_cast<std::size_t>(i)]; }
    int ClientCount() const;

protected:
    int Run() override;

private:
    friend class CComClientConnection;
    SComServerOptions m_options;
    std::vector<std::unique_ptr<CSharedLine>> m_lines;
    int m_listen = -1;
    mutable std::mutex m_mutex;
    std::list<std::unique_ptr<CComClientConnection>> m_connections;
};

}  // namespace dravmer::comserver
