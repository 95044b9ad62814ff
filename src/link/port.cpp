#include "link/port.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "link/frame.h"
#include "platform/perf_timer.h"
#include "platform/worker_thread.h"

namespace dravmer {

namespace {

constexpr int kStatusOpened = 0;
constexpr int kStatusFailed = 3;

double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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
        return m_port.Open() ? 1 : 0;
    }

private:
    CLinkPort& m_port;
    int m_delayMs;
};

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

void CLinkPort::SetOpenDetail(SOpenDetail detail) {
    std::lock_guard lock(m_settingsMutex);
    m_openDetail = std::move(detail);
}

SPortState CLinkPort::State() const {
    SPortState state;
    state.openResult = m_openResult.load();
    // An open that succeeded says nothing of why the port is not open now (a COM server that
    // went away, a port closed since): the state says which.
    state.open = IsOpen();
    state.wasOpen = m_open.load();
    std::lock_guard lock(m_settingsMutex);
    state.detail = m_openDetail;
    return state;
}

std::string CLinkPort::OpenResultText(Language language) const {
    return WordPortState(State(), language);
}

void CLinkPort::DropHungUpLine() {
    // Under m_busy. The descriptor of a hung-up line is useless; the port is opened afresh
    // when the line comes back.
    if (!m_transport || !m_transport->HungUp()) return;
    const OpenResult result = m_transport->HangUpResult();
    SOpenDetail detail = m_transport->HangUpDetail(Settings());
    m_transport.reset();
    m_open = false;
    m_openResult = result;
    SetOpenDetail(std::move(detail));
    ++m_hangUps;
}

bool CLinkPort::Open() {
    {
        std::unique_lock lock(m_openMutex);
        if (m_opening) {
            // Another Open of this port is under way: wait for it, not for a second line.
            const bool ended = m_openCv.wait_for(lock, std::chrono::milliseconds(kOpeningWaitMs),
                                                 [&] { return !m_opening.load(); });
            // That open's result is this one's: one that failed leaves the port closed.
            return ended && m_open.load();
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
        m_openResult = OpenResult::Disabled;
        return false;
    }
    if (m_open) {
        m_openResult = OpenResult::AlreadyOpen;
        Notify(kStatusFailed);
        return false;
    }
    std::unique_ptr<IPortTransport> transport = MakeTransport(s);
    SOpenDetail detail;
    const OpenResult result = transport->Open(s, detail);
    if (detail.why != SOpenDetail::Why::None) SetOpenDetail(detail);
    m_openResult = result;
    const IPortTransport::Notice notice = transport->OpenNotice();
    if (result != OpenResult::Ok) {
        if (notice == IPortTransport::Notice::Always) Notify(kStatusFailed);
        return false;
    }
    {
        std::lock_guard lock(m_bufferMutex);
        m_buffer.clear();
    }
    m_bytesSent = m_framesSent = 0;
    m_activity.Reset(NowMs());
    m_usPerByte = transport->UsPerByte();
    {
        std::lock_guard busy(m_busy);
        m_transport = std::move(transport);
    }
    m_open = true;
    if (notice != IPortTransport::Notice::Never) Notify(kStatusOpened);
    return true;
}

std::unique_ptr<IPortTransport> CLinkPort::MakeTransport(const SPortSettings& s) {
    std::lock_guard lock(m_settingsMutex);
    switch (s.linkMode) {
        case kLinkModeServer:
            return MakeComServerTransport(m_comServerTcpPort);
        case kLinkModeNetServer:
            if (!m_netSerial) m_netSerial = MakeRfc2217Provider();
            return MakeNetSerialTransport(m_netSerial);
        default: {
            SLocalLineOptions options;
            options.factory = m_lineFactory;
            options.status = [this](const std::string& text) {
                std::lock_guard status(m_settingsMutex);
                m_statusOverride = text;
            };
            return MakeLocalLineTransport(std::move(options));
        }
    }
}

void CLinkPort::SetNetSerialProvider(std::shared_ptr<INetSerialProvider> provider) {
    std::lock_guard lock(m_settingsMutex);
    m_netSerial = std::move(provider);
}

void CLinkPort::OpenAfter(int delayMs) {
    m_openAfter = std::make_unique<COpenAfterThread>(*this, delayMs);
    m_openAfter->Start();
}

int CLinkPort::Close() {
    if (m_openAfter && m_openAfter->IsRunning()) m_openAfter->Stop();
    std::unique_lock busy(m_busy, std::defer_lock);
    if (!busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs))) return 0;
    const bool had = m_transport != nullptr;
    m_open = false;
    m_transport.reset();  // a modem hangs up, a server connection ends
    return had ? 1 : 0;
}

void CLinkPort::Purge() {
    {
        std::unique_lock busy(m_busy, std::defer_lock);
        if (busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs)) && m_transport)
            m_transport->Purge();
    }
    std::lock_guard lock(m_bufferMutex);
    m_buffer.clear();
}

bool CLinkPort::Write(const std::uint8_t* data, int length) {
    if (!m_open || length <= 0) return false;
    std::unique_lock busy(m_busy, std::defer_lock);
    if (!busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs))) return false;
    if (!m_transport) return false;
    m_lastWriteMs = NowMs();
    if (!m_transport->ReportsLoad()) m_activity.WriteStarted(m_lastWriteMs);
    const bool written = m_transport->Write(Settings(), data, length, m_pollingRequest);
    if (!written) {
        DropHungUpLine();
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

int CLinkPort::ReadReply(std::uint8_t* buffer, int& length) {
    const int capacity = length;
    length = 0;
    std::unique_lock busy(m_busy, std::defer_lock);
    if (!busy.try_lock_for(std::chrono::milliseconds(kBusyWaitMs))) return -1;
    if (m_transport) {
        std::vector<std::uint8_t> data;
        if (m_transport->ReadReply(Settings(), data) == -2) {
            std::lock_guard lock(m_bufferMutex);
            m_buffer.clear();
            m_pollingRequest = false;
            return -2;
        }
        if (!data.empty()) Append(data.data(), static_cast<int>(data.size()));
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

std::string CLinkPort::StatusText(Language language) const {
    const SPortSettings s = Settings();
    {
        std::lock_guard lock(m_settingsMutex);
        if (!m_statusOverride.empty() && s.IsModemType()) return m_statusOverride;
    }
    bool carrier = false;
    {
        std::unique_lock busy(m_busy, std::try_to_lock);
        carrier = busy.owns_lock() && m_transport && m_transport->Carrier();
    }
    return PortStatusText(s, carrier, language);
}

bool CLinkPort::IsOpen() const {
    if (!m_open.load()) return false;
    std::unique_lock busy(m_busy, std::try_to_lock);
    // While a transfer runs the port is in use, hence open.
    return !busy.owns_lock() || (m_transport && m_transport->Connected());
}

void CLinkPort::QueryClients() {
    std::unique_lock busy(m_busy, std::try_to_lock);
    if (!busy.owns_lock() || !m_open || !m_transport) return;
    if (m_transport->ReportsLoad()) m_transport->QueryClients();
    else m_activity.Refresh(NowMs());
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
    if (busy.owns_lock() && m_transport && m_transport->ReportsLoad()) {
        load = m_transport->Load();
        clients = m_transport->ClientCount();
    }
    char text[64];
    std::snprintf(text, sizeof text, "%2.0f%% / %d", static_cast<double>(load), clients);
    return text;
}

double CLinkPort::BusyPercent(double windowMs) const {
    {
        std::unique_lock busy(m_busy, std::try_to_lock);
        if (busy.owns_lock() && m_transport && m_transport->ReportsLoad())
            return m_transport->Load();
    }
    if (!m_open.load()) return 0.0;
    return m_activity.BusyPercentOver(NowMs(), windowMs);
}

std::string CLinkPort::ClientsText() const {
    std::unique_lock busy(m_busy, std::try_to_lock);
    if (!busy.owns_lock() || !m_transport) return {};
    std::string text;
    int number = 0;
    for (const std::string& name : m_transport->ClientNames()) {
        text += std::to_string(++number) + ". " + name + " ";
    }
    return text;
}

}  // namespace dravmer
