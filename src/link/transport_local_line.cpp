// The local serial line as a port's transport: termios line, RS-485 direction switch (the
// driver's or ours), RTS toggle, the modem dialogue at open and the hang-up at close.
#include <cstring>

#include "link/frame.h"
#include "link/modem.h"
#include "link/port_transport.h"
#include "link/rs485.h"
#include "platform/perf_timer.h"

namespace dravmer {

std::unique_ptr<ISerialLine> OpenSystemLine(const SPortSettings& s, int& error) {
    auto line = std::make_unique<CSerialLine>();
    SLineParams params;
    params.baud = s.Baud();
    params.dataBits = s.dataBits;
    params.parity = s.parity;
    params.stopBits = s.stopBits;
    params.dtr = s.DtrRaised();
    params.rts = s.RtsRaised();
    error = line->Open(s.LocalDevicePath(), params);
    if (error != 0) return nullptr;
    return line;
}

namespace {

class CLocalLineTransport : public IPortTransport {
public:
    explicit CLocalLineTransport(SLocalLineOptions options) : m_options(std::move(options)) {}
    ~CLocalLineTransport() override { Close(); }

    Notice OpenNotice() const override { return Notice::Always; }

    OpenResult Open(const SPortSettings& s, SOpenDetail& detail) override {
        int error = 0;
        std::unique_ptr<ISerialLine> line =
            m_options.factory ? m_options.factory(s, error) : nullptr;
        if (!line) {
            detail = error != 0
                         ? SOpenDetail{SOpenDetail::Why::SystemError, s.LocalDevicePath(),
                                       std::strerror(error)}
                         : SOpenDetail{SOpenDetail::Why::CannotOpen, s.LocalDevicePath(), {}};
            return OpenResult::LocalFailed;
        }
        m_modem = s.IsModemType();
        m_settings = s;
        m_kernelRs485 = false;
        if (const int direction = s.DirectionSwitch(); direction != 0) {
            m_kernelRs485 = UseKernelRs485(*line, direction);
            if (!m_kernelRs485) {
                SetRs485Direction(*line, direction, true);
                m_usPerByte = CalibrateRs485ByteTimeUs(*line, s.Baud());
                SetRs485Direction(*line, direction, false);
            }
        }
        if (m_modem) {
            auto status = m_options.status;
            CModemDialer dialer(
                *line, s, [status](const std::string& text) { if (status) status(text); },
                [status] { if (status) status({}); });
            if (dialer.StartUp() != 1 || dialer.Dial() != 0) return OpenResult::ModemFailed;
        }
        CPerfTimer::Wait(1);
        line->Purge();
        m_line = std::move(line);
        return OpenResult::Ok;
    }

    void Close() override {
        if (m_line && m_modem && m_line->Carrier()) {
            // Starting the modem up again with a carrier hangs it up.
            CModemDialer(*m_line, m_settings, nullptr, nullptr).StartUp();
        }
        m_line.reset();
    }

    bool Write(const SPortSettings& s, const std::uint8_t* data, int length, bool) override {
        if (!m_line) return false;
        if (s.DirectionSwitch() != 0 && !m_kernelRs485)
            return WriteRs485(*m_line, s.DirectionSwitch(), data, length, m_usPerByte);
        return m_line->Write(data, length);
    }

    int ReadReply(const SPortSettings& s, std::vector<std::uint8_t>& in) override {
        if (!m_line) return 0;
        in.reserve(kFrameBufferSize + 4);
        CPerfTimer timer;
        std::uint8_t chunk[kFrameBufferSize];
        // Reads until target bytes are in or the reply time-out has passed since the start.
        auto readUntil = [&](std::size_t target) {
            while (in.size() < target) {
                const int left = s.timeOutMs - static_cast<int>(timer.GetElapsedMs());
                if (left < 0) return;
                const int room =
                    static_cast<int>(std::min<std::size_t>(target - in.size(), sizeof chunk));
                const int n = m_line->Read(chunk, room, left);
                if (n < 0) return;  // a stop request, an error or a hang-up
                in.insert(in.end(), chunk, chunk + n);
            }
        };
        readUntil(kBlockSize);
        if (in.size() >= kBlockSize) {
            if (in[0] == in[1] && in[0] == in[2] && in[0] == in[3] && in[0] == in[4]) {
                // Four copies of the first byte precede the frame (a modem's preamble).
                readUntil(12);
                if (in.size() >= 12) readUntil(static_cast<std::size_t>(kBlockSize * in[8] + 4));
                in.erase(in.begin(), in.begin() + std::min<std::size_t>(4, in.size()));
            } else {
                readUntil(static_cast<std::size_t>(kBlockSize * in[4]));
            }
        }
        return 0;
    }

    void Purge() override {
        if (m_line) m_line->Purge();
    }
    bool HungUp() const override { return m_line && m_line->HungUp(); }
    bool Carrier() const override { return m_modem && m_line && m_line->Carrier(); }
    double UsPerByte() const override { return m_usPerByte; }

private:
    SLocalLineOptions m_options;
    SPortSettings m_settings;
    std::unique_ptr<ISerialLine> m_line;
    bool m_modem = false;
    bool m_kernelRs485 = false;
    double m_usPerByte = 0.0;
};

}  // namespace

std::unique_ptr<IPortTransport> MakeLocalLineTransport(SLocalLineOptions options) {
    return std::make_unique<CLocalLineTransport>(std::move(options));
}

}  // namespace dravmer
