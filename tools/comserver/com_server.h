#pragma once
// The COM server: shares local serial lines with the benches of a lab over TCP. The first line
// is the server's COM1. Each client names the line it wants when it connects; one request at a
// time runs on a line, and a request that finds its line taken is answered with the overload
// status at once. A client that completes no message for the idle limit, or leaves a message
// unfinished for the message limit, is let go. One address holds at most maxPerPeer
// connections. A full server lets go of the longest-connected connection that has not been
// given a line (it never answered the greeting, or named none it could have) to make room for
// a newcomer, or else of one of an address holding far more than the newcomer's (the rule:
// platform/peer_admission.h); when it may let nobody go, it tells the newcomer that its line is
// not open instead of leaving it without an answer.
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comserver/shared_line.h"
#include "link/com_server_message.h"
#include "platform/rate_limit.h"
#include "platform/worker_thread.h"

namespace dravmer::comserver {

struct SComServerOptions {
    std::vector<std::string> lines;  // device paths
    std::string listen = "0.0.0.0";
    int port = kComServerTcpPort;
    SLineParams params;
    int replyTimeoutMs = 300;  // how long a device may take to answer a frame
    int maxClients = 32;
    int maxPerPeer = 8;  // connections from one address at a time
    // A bench answers the greeting as soon as it comes: a connection without a line after
    // this long may be let go for a newcomer.
    int evictUnprovenMs = 2000;
    // A bench asks for its clients list every second while its port is open: a connection
    // that completes no message for this long belongs to a bench that is gone.
    int idleTimeoutMs = 30000;
    // A message must be whole this long after its first byte, and the greeting be answered
    // this long after the connection came.
    int messageTimeoutMs = 10000;
    SReopenPause reopen;
    LogFn log;  // the server's log lines (connections refused and let go, lines lost and back)
};

enum class EMessageState { kNeedMore, kComplete, kInvalid };
// Takes the first whole message off the front of received bytes.
EMessageState TakeComServerMessage(std::vector<std::uint8_t>& in, SComServerMessage& message);

class CComClientConnection;
class CLineKeeper;

class CComServer : public CWorkerThread {
public:
    explicit CComServer(SComServerOptions options);
    ~CComServer() override;

    // Opens the lines (a line that cannot be opened is refused to its clients until it can) and
    // the listening socket; false with a message in error when nothing can be served.
    bool Listen(std::string& error);
    int TcpPort() const { return m_options.port; }
    int LineCount() const { return static_cast<int>(m_lines.size()); }
    CSharedLine& Line(int i) { return *m_lines[static_cast<std::size_t>(i)]; }
    int ClientCount() const;
    const SComServerOptions& Options() const { return m_options; }
    // A log line; with `flood`, one of many alike that a hostile peer can cause, which is
    // thinned out to a few a second with a count of those left out.
    void Log(const std::string& line, bool flood = false);

protected:
    int Run() override;

private:
    void Take(int client);
    bool Admit(int client);
    void Refuse(int client, const std::string& why);

    SComServerOptions m_options;
    std::vector<std::unique_ptr<CSharedLine>> m_lines;
    std::unique_ptr<CLineKeeper> m_keeper;
    int m_listen = -1;
    mutable std::mutex m_mutex;
    std::list<std::unique_ptr<CComClientConnection>> m_connections;
    std::uint64_t m_accepted = 0;  // connections accepted so far, by the accepting thread
    std::mutex m_logMutex;
    CRateLimit m_floodLog{2.0, 10.0};
};

}  // namespace dravmer::comserver
