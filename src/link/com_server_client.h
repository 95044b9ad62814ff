#pragma once
// The port's side of a COM-server connection: connects, answers the server's greeting, sends
// request frames and collects the server's replies on a receiver thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/com_server_message.h"
#include "link/port_settings.h"
#include "platform/socket_receiver.h"

namespace dravmer {


class CComServerClient {
public:
    static constexpr int kConnectWaitMs = 2000;
    static constexpr int kPendingWaitMs = 2000;
    static constexpr int kReplyWaitMs = 4000;

    // tcpPort: the server's port; 34002 unless a test points elsewhere.
    explicit CComServerClient(int tcpPort = kComServerTcpPort);
    ~CComServerClient();
    CComServerClient(const CComServerClient&) = delete;
    CComServerClient& operator=(const CComServerClient&) = delete;

    // Open result: 0, 2 (server port not open), 3 (no server), 4 (network), 7 (bad name).
    OpenResult Connect(const SPortSettings& settings);
    void Close();
    bool IsConnected() const { return m_connected.load(); }

    // Sends one request frame (type 2 when polling); false when the previous reply is still
    // pending after 2 s or the send fails.
    bool SendFrame(const std::uint8_t* frame, int length, bool polling);
    // Waits up to 4 s for the reply: 0 with data (possibly empty), -2 on server overload. A stop
    // of the calling worker ends the wait at once, with no data.
    int WaitReply(std::vector<std::uint8_t>& data);
    // Asks for the client list and waits up to 200 ms for it.
    void QueryClients();

    float Load() const;
    int ClientCount() const;
    std::vector<std::string> ClientNames() const;

private:
    void OnBytes(const std::uint8_t* data, int length);
    void OnDisconnected();
    bool SendAll(const std::vector<std::uint8_t>& bytes);

    const int m_tcpPort;
    int m_socket = -1;
    SPortSettings m_settings;
    std::unique_ptr<CSocketReceiver> m_receiver;
    std::atomic<bool> m_connected{false};

    mutable std::mutex m_mutex;  // everything below
    // Waits also wake on a stop of the worker that waits (its poll thread or the search).
    std::condition_variable_any m_cv;
    int m_connectAnswer = -1;  // status of the server's type 5, -1 before it came
    bool m_replyPending = false;
    bool m_replyArrived = false;
    bool m_overload = false;
    bool m_clientsArrived = false;
    std::vector<std::uint8_t> m_data;
    float m_load = 0.0f;
    int m_clientCount = 0;
    std::vector<std::string> m_clientNames;
};

}  // namespace dravmer
