// A network serial server as a port's transport, through the provider's seven calls.
#include <algorithm>

#include "link/frame.h"
#include "link/net_serial_library.h"
#include "link/port_transport.h"
#include "platform/perf_timer.h"

namespace dravmer {

namespace {

class CNetSerialTransport : public IPortTransport {
public:
    explicit CNetSerialTransport(std::shared_ptr<INetSerialProvider> provider)
        : m_provider(std::move(provider)) {}
    ~CNetSerialTransport() override { Close(); }

    // This mode has never posted a notice.
    Notice OpenNotice() const override { return Notice::Never; }

    OpenResult Open(const SPortSettings& s, SOpenDetail&) override {
        constexpr int kConnectTimeoutMs = 3000;
        if (m_provider->Init() == kNetSerialLoadFailed) return OpenResult::LibraryFailed;
        const int handle = m_provider->Open(s.ipAddress, s.tcpIpPort, kConnectTimeoutMs);
        if (handle < 0) return handle == -2 ? OpenResult::RemoteFailed : OpenResult::ServerNotFound;
        m_provider->SetReadTimeouts(handle, 0xFFFFFFFFu);
        if (m_provider->Ioctl(handle, NetSerialSpeedCode(s.Baud()), 3) != 0) {
            m_provider->Close(handle);
            return OpenResult::RemoteFailed;
        }
        m_handle = handle;
        return OpenResult::Ok;
    }

    void Close() override {
        if (m_handle >= 0) m_provider->Close(m_handle);
        m_handle = -1;
    }

    bool Write(const SPortSettings&, const std::uint8_t* data, int length, bool) override {
        if (m_handle < 0) return false;
        if (m_provider->Write(m_handle, data, length) == length) return true;
        m_lost = true;
        return false;
    }

    int ReadReply(const SPortSettings& s, std::vector<std::uint8_t>& in) override {
        if (m_handle < 0) return 0;
        std::uint8_t chunk[4096];
        CPerfTimer timer;
        for (;;) {
            const int n = m_provider->Read(
                m_handle, chunk,
                static_cast<int>(sizeof chunk - std::min(in.size(), sizeof chunk)));
            if (n < 0) {
                m_lost = true;
                break;
            }
            in.insert(in.end(), chunk, chunk + n);
            if (in.size() > 4 && in.size() >= static_cast<std::size_t>(kBlockSize * in[4])) break;
            if (timer.GetElapsedMs() > s.timeOutMs || in.size() >= sizeof chunk) break;
            if (!CPerfTimer::Wait(1)) break;
        }
        return 0;
    }

    // A server that went away (restarted, switched off) leaves a connection that carries
    // nothing any more.
    bool HungUp() const override { return m_lost; }
    OpenResult HangUpResult() const override { return OpenResult::NetworkError; }
    SOpenDetail HangUpDetail(const SPortSettings& s) const override {
        return {SOpenDetail::Why::ServerLost, s.ipAddress, {}};
    }

private:
    std::shared_ptr<INetSerialProvider> m_provider;
    int m_handle = -1;
    bool m_lost = false;
};

}  // namespace

std::unique_ptr<IPortTransport> MakeNetSerialTransport(std::shared_ptr<INetSerialProvider> provider) {
    return std::make_unique<CNetSerialTransport>(std::move(provider));
}

}  // namespace dravmer
