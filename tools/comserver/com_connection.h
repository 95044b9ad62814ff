#pragma once
// One client of the COM server: greeted, attached to the line it names, served until it
// leaves, goes silent or leaves a message unfinished.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "comserver/com_server.h"

namespace dravmer::comserver {

class CComClientConnection : public CWorkerThread {
public:
    using Clock = std::chrono::steady_clock;
    CComClientConnection(CComServer& server, int socket, std::uint64_t serial);
    ~CComClientConnection() override;

    const std::string& Peer() const { return m_peer; }
    const std::string& Host() const { return m_host; }
    std::uint64_t Serial() const { return m_serial; }
    Clock::time_point Since() const { return m_since; }
    // True once the client answered the greeting and was given a line: a bench, not a socket
    // that only holds a place.
    bool Attached() const { return m_attached.load(); }

protected:
    int Run() override;

private:
    bool Send(const SComServerMessage& m);
    void Describe(SComServerMessage& out) const;
    bool Serve(const SComServerMessage& m);
    void Connect(const SComServerMessage& m, SComServerMessage& out);
    void Leave();
    std::string Who() const;

    CComServer& m_server;
    const SComServerOptions& m_options;
    int m_socket;
    std::string m_peer;
    std::string m_host;
    const std::uint64_t m_serial;
    const Clock::time_point m_since;
    std::atomic<bool> m_attached{false};
    CSharedLine* m_line = nullptr;
    std::string m_name;
    bool m_greeted = false;  // the client answered the greeting
};

}  // namespace dravmer::comserver
