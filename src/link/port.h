#pragma once
// One of the four ports: keeps its settings, counters, receive buffer and locks, carries the
// link's frames over its transport (a local serial line, a COM server or a network serial
// server, chosen by the link mode at each open) and reports the end of an Open to a listener.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/com_server_message.h"
#include "link/link_port.h"
#include "link/net_serial.h"
#include "link/port_activity.h"
#include "link/port_lock.h"
#include "link/port_settings.h"
#include "link/port_transport.h"
#include "link/rs485.h"
#include "link/serial_line.h"

namespace dravmer {

class COpenAfterThread;

// Receives the end of an Open: port index and 0 (success) or 3 (failure or already open).
using PortOpenListener = std::function<void(int portIndex, int status)>;

class CLinkPort : public ILinkPort {
public:
    static constexpr int kReceiveBufferSize = 2048;
    static constexpr int kBusyWaitMs = 10000;
    static constexpr int kOpeningWaitMs = 1000;

    explicit CLinkPort(int portIndex);
    ~CLinkPort() override;
    CLinkPort(const CLinkPort&) = delete;
    CLinkPort& operator=(const CLinkPort&) = delete;

    int Index() const { return m_index; }
    void LoadSettings(const ISettingsStore& store);
    void SaveSettings(ISettingsStore& store);
    SPortSettings Settings() const;
    void SetSettings(const SPortSettings& settings);
    void SetOpenListener(PortOpenListener listener);
    void SetLineFactory(SerialLineFactory factory);

    // True when the port is open; LastOpenResult says why not.
    bool Open();
    // Opens on a short-lived worker after delayMs (which a Close or destruction cuts short).
    void OpenAfter(int delayMs);
    int Close();
    OpenResult LastOpenResult() const { return m_openResult.load(); }
    // Why the port is (not) open: the open result, with the system's reason where there is one
    // (/dev/ttyUSB0: No such file or directory), or that the line hung up.
    SPortState State() const;
    // The state as the operator reads it.
    std::string OpenResultText(Language language = Language::Russian) const;
    // How many times the line hung up under a transfer and was closed (the port then reads
    // as not open until it is opened again).
    int HangUps() const { return m_hangUps.load(); }

    // A COM-server port closes itself when the server drops the connection.
    bool IsOpen() const override;
    void Purge() override;
    bool Write(const std::uint8_t* data, int length) override;
    int ReadReply(std::uint8_t* buffer, int& length) override;
    void MarkPollingRequest() override { m_pollingRequest = true; }

    // 4 not open; else 0 quiet, 1 a write, 2 a reply, 3 both within the last 100 ms.
    int ActivityState() const;
    std::string StatusText(Language language = Language::Russian) const;
    std::string LoadText() const;
    // Share (0..100) of the last windowMs this port spent in transactions, computed now; the
    // COM server's own figure for a server port.
    double BusyPercent(double windowMs = 1000.0) const;
    std::string ClientsText() const;
    // Counters: bytes and frames sent, bytes and complete replies received.
    std::uint64_t BytesSent() const { return m_bytesSent.load(); }
    std::uint64_t FramesSent() const { return m_framesSent.load(); }
    std::uint64_t BytesReceived() const { return m_bytesReceived.load(); }
    std::uint64_t RepliesReceived() const { return m_repliesReceived.load(); }
    double UsPerByte() const { return m_usPerByte; }
    // The COM server's TCP port; 34002 unless a test points elsewhere.
    void SetComServerTcpPort(int tcpPort) { m_comServerTcpPort = tcpPort; }
    // Where network-serial-server ports go; RFC 2217 from TCP port 4000 on unless replaced.
    void SetNetSerialProvider(std::shared_ptr<INetSerialProvider> provider);
    // Once per second from the main frame: the COM server's client list.
    void QueryClients();

private:
    std::unique_ptr<IPortTransport> MakeTransport(const SPortSettings& s);
    void Append(const std::uint8_t* data, int length);
    void Notify(int status);
    void DropHungUpLine();
    void SetOpenDetail(SOpenDetail detail);

    const int m_index;
    mutable std::mutex m_settingsMutex;
    SPortSettings m_settings;
    PortOpenListener m_listener;
    SerialLineFactory m_lineFactory;

    std::atomic<bool> m_open{false};
    std::atomic<bool> m_opening{false};
    std::atomic<OpenResult> m_openResult{OpenResult::Ok};
    std::atomic<int> m_hangUps{0};
    SOpenDetail m_openDetail;  // settings mutex
    std::mutex m_openMutex;
    std::condition_variable m_openCv;

    mutable CTimedMutex m_busy;  // a write and a read never overlap
    std::unique_ptr<IPortTransport> m_transport;  // under m_busy; null while not open
    int m_comServerTcpPort = kComServerTcpPort;
    std::shared_ptr<INetSerialProvider> m_netSerial;  // settings mutex
    std::string m_statusOverride;  // the modem dialogue's texts while it runs (settings mutex)
    std::unique_ptr<COpenAfterThread> m_openAfter;
    std::mutex m_bufferMutex;
    std::vector<std::uint8_t> m_buffer;
    std::atomic<bool> m_pollingRequest{false};
    std::atomic<double> m_usPerByte{0.0};

    // Steady-clock milliseconds of the last frame write and of the last received bytes.
    std::atomic<double> m_lastWriteMs{-1e18};
    std::atomic<double> m_lastReplyMs{-1e18};
    CActivityHistory m_activity;
    std::atomic<std::uint64_t> m_bytesSent{0};
    std::atomic<std::uint64_t> m_framesSent{0};
    std::atomic<std::uint64_t> m_bytesReceived{0};
    std::atomic<std::uint64_t> m_repliesReceived{0};
};

}  // namespace dravmer
