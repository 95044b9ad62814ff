#pragma once
// One client of the COM server: greeted, attached to the line it names, served until it
// leaves, goes silent or leaves a message unfinished.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "comserver/com_server.h"

namespace dravmer::comserver {

class CComClientConnection : public CWorkerThread {
public:
    CComClientConnection(CComServer& server, int socket);
    ~CComClientConnection() override;

protected:
    int Run() override;

private:
    using Clock = std::chrono::steady_clock;
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
    CSharedLine* m_line = nullptr;
    std::string m_name;
    bool m_greeted = false;  // the client answered the greeting
};

}  // namespace dravmer::comserver
