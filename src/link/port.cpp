#include "link/port.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "link/frame.h"
#include "link/modem.h"
#include "link/net_serial_library.h"
#include "platform/perf_timer.h"
#include "platform/worker_thread.h"

namespace dravmer {

namespace {

constexpr int kStatusOpened = 0;
constexpr int kStatusFailed = 3;

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

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SpinUntilUs(const CPerfTimer& timer, double us) {
    while (static_cast<double>(timer.GetElapsedUs()) < us) {
    }
}

}  // namespace

// Opens a port after a delay, on its own short-lived worker.
class COpenAfterThread : public CWorkerThread {
public:
    COpenAfterThread(CLinkPort& port, int delayMs) : m_port(port), m_delayMs(delayMs) {}
    ~COpenAfterThread() override { Stop(); }

protected:
    int Run() override {
        if (!WaitForStop(m_delayMs)) return 1;
        return m_port.Open();
    }

private:
    CLinkPort& m_port;
    int m_delayMs;
};

double Rs485ByteTimeUs(int baud) { return baud > 0 ? 1e7 / baud * 1.02 : 0.0; }

void SetRs485Direction(ISerialLine& line, int comType, bool transmit) {
    // The level that means "transmit" for each discipline; receive is the opposite.
    switch (comType) {
        case kComRs485DtrLow:
            line.SetDtr(!transmit);
            break;
        case kComRs485RtsLow:
            line.SetRts(!transmit);
            break;
        case kComRs485RtsHi:
            line.SetRts(transmit);
            break;
        default:
            break;
    }
}

bool WriteRs485(ISerialLine& line, int comType, const std::uint8_t* data, int length,
                double usPerByte) {
    SetRs485Direction(line, comType, true);
    CPerfTimer timer;
    const bool written = line.Write(data, length);
    // Releasing before the last stop bit would cut the frame; after it, the reply would be lost.
    SpinUntilUs(timer, length * usPerByte + 75.0);
    SetRs485Direction(line, comType, false);
    return written;
}

double CalibrateRs485ByteTimeUs(ISerialLine& line, int baud) {
    if (baud <= 0) return 0.0;
    const double expected = 4e7 / baud;  // 4 bytes of 10 bits, in microseconds
    const double giveUpUs = expected * 20 + 50000.0;
    const std::uint8_t pattern[4] = {0xFF, 0x00, 0x00, 0x00};
    // The direction switch must follow the line's pace, so the calibration writes on its own.
    if (!line.Write(pattern, 4)) return Rs485ByteTimeUs(baud);
    CPerfTimer sinceEmpty;
    double sum = 0.0;
    int kept = 0;
    for (int i = 0; i < 100; ++i) {
        if (!line.Write(pattern, 4)) break;
        CPerfTimer spin;
        while (line.OutputQueue() > 0) {
            if (spin.GetElapsedUs() > giveUpUs) return Rs485ByteTimeUs(baud);
        }
        const double us = static_cast<double>(sinceEmpty.GetElapsedUs());
        sinceEmpty.Restart();
        if (us > expected * 0.95 && us < expected * 1.05) {
            sum += us;
            ++kept;
        }
    }
    if (kept == 0) return Rs485ByteTimeUs(baud);
    return sum / (kept * 4) * 1.02;
}

CLinkPort::CLinkPort(int portIndex)
    : m_index(portIndex),
      m_settings(SPortSettings::Defaults(portIndex)),
      m_lineFactory(OpenSystemLine) {}

CLinkPort::~CLinkPort() {
    m_openAfter.reset();
    Close();
}

void CLinkPort::LoadSettings(const ISettingsStore& store) {
    SPortSettings s;
    s.Load(store, m_index);
    SetSettings(s);
}

void CLinkPort::SaveSettings(ISettingsStore& store) { Settings().Save(store, m_index); }

SPortSettings CLinkPort::Settings() const {
    std::lock_guard lock(m_settingsMutex);
    return m_settings;
}

void CLinkPort::SetSettings(const SPortSettings& settings) {
    std::lock_guard lock(m_settingsMutex);
    m_settings = settings;
    // A modem dialogue's last word belongs to the settings it dialled with.
    m_statusOverride.clear();
}

void CLinkPort::SetOpenListener(PortOpenListener listener) {
    std::lock_guard lock(m_settingsMutex);
    m_listener = std::move(listener);
}

void CLinkPort::SetLineFactory(SerialLineFactory factory) {
    std::lock_guard lock(m_settingsMutex);
    m_lineFactory = std::move(factory);
}

void CLinkPort::Notify(int status) {
    PortOpenListener listener;
    {
        std::lock_guard lock(m_settingsMutex);
        listener = m_listener;
    }
    if (listener) listener(m_index, status);
}

void CLinkPort::SetOpenDetail(std::string detail) {
    std::lock_guard lock(m_settingsMutex);
    m_openDetail = std::move(detail);
}

std::string CLinkPort::OpenResultText() const {
    const int result = m_openResult.load();
    std::string text = result >= 0 && result < kOpenResultCount ? kOpenResultTexts[result]
                                                                 : "Неизвестная ошибка.";
    // An open that succeeded says nothing of why the port is not open now (a COM server that
    // went away, a port closed since): never give success as that reason.
    if (result == kOpenOk && !IsOpen())
        text = m_open.load() ? "Соединение потеряно." : "Порт закрыт.";
    std::lock_guard lock(m_settingsMutex);
    if (!m_openDetail.empty()) text += " (" + m_openDetail + ")";
    return text;
}

void CLinkPort::DropHungUpLine() {
    // Under m_busy. The descriptor of a hung-up line is useless; the port is opened afresh
    // when the line comes back.
    if (!m_line || !m_line->HungUp()) return;
    m_line.reset();
    m_open = false;
    m_openResult = kOpenLocalFailed;
    SetOpenDetail(Settings().LocalDevicePath() + ": линия оборвана");
    ++m_hangUps;
}

void CLinkPort::DropLostNetConnection() {
    // Under m_busy. A network serial server that went away (restarted, switched off) leaves a
    // connection that carries nothing any more: it is closed, and the port is opened afresh
    // when the server is back, as a hung-up line is.
    if (m_netHandle < 0) return;
    std::shared_ptr<INetSerialProvider> provider;
    {
        std::lock_guard lock(m_settingsMutex);
        provider = m_netSerial;
    }
    if (provider) provider->Close(m_netHandle);
    m_netHandle = -1;
    m_open = false;
    m_openResult = kOpenNetworkError;
    SetOpenDetail(Settings().ipAddress + ": соединение с сервером потеряно");
    ++m_hangUps;
}

bool CLinkPort::IsModemType(const SPortSettings& s) const {
    return s.comType == kComModemLine || s.comType == kComModemGsm;
}

int CLinkPort::Open() {
    {
        std::unique_lock lock(m_openMutex);
        if (m_opening) {
            // Another Open of this port is under way: wait for it, not for a second line.
            const bool ended = m_openCv.wait_for(lock, std::chrono::milliseconds(kOpeningWaitMs),
                                                 [&] { return !m_opening.load(); });
            return ended ? 1 : 0;
        }
        m_opening = true;
    }
    struct OpeningReset {
        CLinkPort& port;
        ~OpeningReset() {
            {
                std::lock_guard lock(port.m_openMutex);
                port.m_opening = false;
            }
            port.m_openCv.notify_all();
        }
    } reset{*this};

    const SPortSettings s = Settings();
    SetOpenDetail({});
    {
        // Texts of an earlier modem dialogue say nothing about this attempt.
        std::lock_guard lock(m_settingsMutex);
        m_statusOverride.clear();
    }
    if (!s.useLink) {
        m_open = false;
        m_openResult = kOpenDisabled;
        return 0;
    }
    if (m_open) {
        m_openResult = kOpenAlreadyOpen;
        Notify(kStatusFailed);
        return 0;
    }
    int result = kOpenOk;
    switch (s.linkMode) {
        case kLinkModeServer: {
            auto client = std::make_unique<CComServerClient>(m_comServerTcpPort);
            result = client->Connect(s);
            if (result != kOpenOk) {
                m_openResult = result;
                return 0;  // a failed server connection is reported by its result only
            }
            std::lock_guard busy(m_busy);
            m_server = std::move(client);
            break;
        }
        case kLinkModeNetServer:
            result = OpenNetSerial(s);
            if (result != kOpenOk) {
                m_openResult = result;
                return 0;  // this mode posts no notice
            }
            m_open = true;
            m_openResult = kOpenOk;
            return 1;
        default:
            result = OpenLocal(s);
            break;
    }
    m_openResult = result;
    if (result != kOpenOk) {
        Notify(kStatusFailed);
        return 0;
    }
    m_open = true;
    Notify(kStatusOpened);
    return 1;
}

void CLinkPort::SetNetSerialProvider(std::shared_ptr<INetSerialProvider> provider) {
    std::lock_guard lock(m_settingsMutex);
    m_netSerial = std::move(provider);
}

int CLinkPort::OpenNetSerial(const SPortSettings& s) {
    std::shared_ptr<INetSerialProvider> provider;
    {
        std::lock_guard lock(m_settingsMutex);
        if (!m_netSerial) m_netSerial = MakeRfc2217Provider();
        provider = m_netSerial;
    }
    constexpr int kConnectTimeoutMs = 3000;
    if (provider->Init() == kNetSerialLoadFailed) return kOpenLibraryFailed;
    const int handle = provider->Open(s.ipAddress, s.tcpIpPort, kConnectTimeoutMs);
    if (handle < 0) return handle == -2 ? kOpenRemoteFailed : kOpenServerNotFound;
    provider->SetReadTimeouts(handle, 0xFFFFFFFFu);
    if (provider->Ioctl(handle, NetSerialSpeedCode(s.Baud()), 3) != 0) {
        provider->Close(handle);
        return kOpenRemoteFailed;
    }
    std::lock_guard busy(m_busy);
    m_netHandle = handle;
    return kOpenOk;
}

bool CLinkPort::ReadNetSerial(const SPortSettings& s) {
    std::shared_ptr<INetSerialProvider> provider;
    {
        std::lock_guard lock(m_settingsMutex);
        provider = m_netSerial;
    }
    std::vector<std::uint8_t> in;
    std::uint8_t chunk[4096];
    CPerfTimer timer;
    bool alive = provider != nullptr;
    for (;;) {
        const int n = provider->Read(
            m_netHandle, chunk, static_cast<int>(sizeof chunk - std::min(in.size(), sizeof chunk)));
        if (n < 0) {
            alive = false;
            break;
        }
        in.insert(in.end(), chunk, chunk + n);
        if (in.size() > 4 && in.size() >= static_cast<std::size_t>(kBlockSize * in[4])) break;
        if (timer.GetElapsedMs() > s.timeOutMs || in.size() >= sizeof chunk) break;
        if (!CPerfTimer::Wait(1)) break;
    }
    if (!in.empty()) Append(in.data(), static_cast<int>(in.size()));
    return alive;
}

int CLinkPort::OpenLocal(const SPortSettings& s) {
    SerialLineFactory factory;
    {
        std::lock_guard lock(m_settingsMutex);
        factory = m_lineFactory;
    }
    int error = 0;
    std::unique_ptr<ISerialLine> line = factory ? factory(s, error) : nullptr;
    if (!line) {
        SetOpenDetail(s.LocalDevicePath() + ": " +
                      (error != 0 ? std::strerror(error) : "cannot be opened"));
        return kOpenLocalFailed;
    }
    m_kernelRs485 = false;
    if (const int direction = s.DirectionSwitch(); direction != 0) {
        m_kernelRs485 = UseKernelRs485(*line, direction);
        if (!m_kernelRs485) {
            SetRs485Direction(*line, direction, true);
            m_usPerByte = CalibrateRs485ByteTimeUs(*line, s.Baud());
            SetRs485Direction(*line, direction, false);
        }
    }
    if (IsModemType(s) && m_dialOnOpen) {
        CModemDialer dialer(
            *line, s,
            [this](const std::string& text) {
                std::lock_guard lock(m_settingsMutex);
                m_statusOverride = text;
            },
            [this] {
                std::lock_guard lock(m_settingsMutex);
                m_statusOverride.clear();
            });
        if (dialer.StartUp() != 1 || dialer.Dial() != 0) return kOpenModemFailed;
    }
    CPerfTimer::Wait(1);
    line->Purge();
    {
        std::lock_guard lock(m_bufferMutex);
        m_buffer.clear();
    }
    m_bytesSent = m_framesSent = 0;
    m_activity.Reset(NowMs());
    std::lock_guard busy(m_busy);
    m_line = std::move(line);
    return kOpenOk;
}

void CLinkPort::OpenAfter(int delayMs) {
    m_openAfter = std::make_unique<COpenAfterThread>(*this, delayMs);
    m_openAfter->Start();
}

int CLinkPort::Close() {
    if (m_openAfter && m_openAfter->IsRunning()) m_openAfter->Stop();
    std::unique_lock busy(m_busy, std::defer_lock);
    if (!busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs))) return 0;
    bool had = m_line != nullptr || m_server != nullptr;
    if (m_netHandle >= 0) {
        std::lock_guard lock(m_settingsMutex);
        if (m_netSerial) m_netSerial->Close(m_netHandle);
        m_netHandle = -1;
        had = true;
    }
    if (m_line && IsModemType(Settings()) && m_line->Carrier()) {
        // Starting the modem up again with a carrier hangs it up.
        CModemDialer(*m_line, Settings(), nullptr, nullptr).StartUp();
    }
    m_open = false;
    m_line.reset();
    m_server.reset();
    return had ? 1 : 0;
}

void CLinkPort::Purge() {
    {
        std::unique_lock busy(m_busy, std::defer_lock);
        if (busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs)) && m_line) m_line->Purge();
    }
    std::lock_guard lock(m_bufferMutex);
    m_buffer.clear();
}

bool CLinkPort::Write(const std::uint8_t* data, int length) {
    if (!m_open || length <= 0) return false;
    std::unique_lock busy(m_busy, std::defer_lock);
    if (!busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs))) return false;
    const SPortSettings s = Settings();
    m_lastWriteMs = NowMs();
    if (!m_server) m_activity.WriteStarted(m_lastWriteMs);
    bool written;
    if (m_server) {
        written = m_server->SendFrame(data, length, m_pollingRequest);
    } else if (m_netHandle >= 0) {
        std::shared_ptr<INetSerialProvider> provider;
        {
            std::lock_guard lock(m_settingsMutex);
            provider = m_netSerial;
        }
        written = provider && provider->Write(m_netHandle, data, length) == length;
    } else if (!m_line) {
        return false;
    } else if (s.DirectionSwitch() != 0 && !m_kernelRs485) {
        written = WriteRs485(*m_line, s.DirectionSwitch(), data, length, m_usPerByte);
    } else {
        written = m_line->Write(data, length);
    }
    if (!written) {
        DropHungUpLine();
        DropLostNetConnection();
        return false;
    }
    m_bytesSent += static_cast<std::uint64_t>(length);
    ++m_framesSent;
    return true;
}

void CLinkPort::Append(const std::uint8_t* data, int length) {
    std::lock_guard lock(m_bufferMutex);
    // A buffer that would fill up drops the bytes rather than overrun.
    if (m_buffer.size() + static_cast<std::size_t>(length) >= kReceiveBufferSize) return;
    m_buffer.insert(m_buffer.end(), data, data + length);
    m_bytesReceived += static_cast<std::uint64_t>(length);
    m_lastReplyMs = NowMs();
}

int CLinkPort::ReadLocal(const SPortSettings& s) {
    std::vector<std::uint8_t> in;
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
    std::size_t skip = 0;
    if (in.size() >= kBlockSize) {
        if (in[0] == in[1] && in[0] == in[2] && in[0] == in[3] && in[0] == in[4]) {
            // Four copies of the first byte precede the frame (a modem's preamble).
            readUntil(12);
            if (in.size() >= 12) readUntil(static_cast<std::size_t>(kBlockSize * in[8] + 4));
            skip = 4;
        } else {
            readUntil(static_cast<std::size_t>(kBlockSize * in[4]));
        }
    }
    if (in.size() > skip) Append(in.data() + skip, static_cast<int>(in.size() - skip));
    return 0;
}

int CLinkPort::ReadReply(std::uint8_t* buffer, int& length) {
    const int capacity = length;
    length = 0;
    std::unique_lock busy(m_busy, std::defer_lock);
    if (!busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs))) return -1;
    if (m_server) {
        std::vector<std::uint8_t> data;
        if (m_server->WaitReply(data) == -2) {
            std::lock_guard lock(m_bufferMutex);
            m_buffer.clear();
            m_pollingRequest = false;
            return -2;
        }
        if (!data.empty()) Append(data.data(), static_cast<int>(data.size()));
    } else if (m_netHandle >= 0) {
        if (!ReadNetSerial(Settings())) DropLostNetConnection();
    } else if (m_line) {
        ReadLocal(Settings());
        DropHungUpLine();
    }
    m_pollingRequest = false;
    m_activity.ReadEnded(NowMs());
    std::lock_guard lock(m_bufferMutex);
    const int count = static_cast<int>(m_buffer.size());
    if (count == 0 || count > capacity) {
        length = count;
        return -1;
    }
    std::memcpy(buffer, m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    length = count;
    if (count % kBlockSize == 0) ++m_repliesReceived;
    return 0;
}

std::string CLinkPort::StatusText() const {
    const SPortSettings s = Settings();
    {
        std::lock_guard lock(m_settingsMutex);
        if (!m_statusOverride.empty() && IsModemType(s)) return m_statusOverride;
    }
    bool carrier = false;
    if (IsModemType(s)) {
        std::unique_lock busy(m_busy, std::try_to_lock);
        carrier = busy.owns_lock() && m_line && m_line->Carrier();
    }
    return PortStatusText(s, carrier);
}

bool CLinkPort::IsOpen() const {
    if (!m_open.load()) return false;
    std::unique_lock busy(m_busy, std::try_to_lock);
    // While a transfer runs the port is in use, hence open.
    return !busy.owns_lock() || !m_server || m_server->IsConnected();
}

void CLinkPort::QueryClients() {
    std::unique_lock busy(m_busy, std::try_to_lock);
    if (busy.owns_lock() && m_server && m_open) {
        m_server->QueryClients();
    } else if (!m_server && m_open) {
        m_activity.Refresh(NowMs());
    }
}

int CLinkPort::ActivityState() const {
    if (!IsOpen()) return 4;
    const double now = NowMs();
    const bool wrote = now - m_lastWriteMs.load() < 100.0;
    const bool replied = now - m_lastReplyMs.load() < 100.0;
    if (wrote && replied) return 3;
    if (replied) return 2;
    if (wrote) return 1;
    return 0;
}

std::string CLinkPort::LoadText() const {
    std::unique_lock busy(m_busy, std::try_to_lock);
    float load = static_cast<float>(m_activity.LoadPercent());
    int clients = 0;
    if (busy.owns_lock() && m_server) {
        load = m_server->Load();
        clients = m_server->ClientCount();
    }
    char text[64];
    std::snprintf(text, sizeof text, "%2.0f%% / %d", static_cast<double>(load), clients);
    return text;
}

double CLinkPort::BusyPercent(double windowMs) const {
    {
        std::unique_lock busy(m_busy, std::try_to_lock);
        if (busy.owns_lock() && m_server) return m_server->Load();
    }
    if (!m_open.load()) return 0.0;
    return m_activity.BusyPercentOver(NowMs(), windowMs);
}

std::string CLinkPort::ClientsText() const {
    std::unique_lock busy(m_busy, std::try_to_lock);
    if (!busy.owns_lock() || !m_server) return {};
    std::string text;
    int number = 0;
    for (const std::string& name : m_server->ClientNames()) {
        text += std::to_string(++number) + ". " + name + " ";
    }
    return text;
}

}  // namespace dravmer
