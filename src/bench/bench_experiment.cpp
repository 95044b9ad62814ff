#include "bench/bench.h"

#include <sys/time.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "bench/experiment_number.h"
#include "bench/meas_link_adapter.h"
#include "bench/meas_reader.h"
#include "platform/paths.h"
#include "bench/bench_internal.h"

namespace dravmer {

namespace fs = std::filesystem;
using namespace bench_detail;

// ---------------------------------------------------------------- experiment

void CBench::CancelStart() {
    {
        std::lock_guard lock(m_cancelMutex);
        m_cancelStart = true;
    }
    m_cancelCv.notify_all();
}

void CBench::SkipWaitingDevice(std::size_t index) {
    {
        std::lock_guard lock(m_cancelMutex);
        if (index != m_waitingIndex) return;
        m_skipWaiting = true;
    }
    m_cancelCv.notify_all();
}

bool CBench::IdentifyWithWait(std::size_t index, const SStartOptions& options) {
    SActiveDevice& device = m_settings.devices.Active()[index];
    CLinkR307& link = Link(device.port);
    std::uint8_t identity[kIdentitySize] = {};
    auto keepFirmware = [&] {
        std::lock_guard lock(m_devicesMutex);
        device.fwMinor = identity[1];
        device.fwMajor = identity[2];
    };
    // The device may be skipped or the start cancelled from the first try on: a front end
    // shows the wait while that try still runs.
    {
        std::lock_guard lock(m_cancelMutex);
        m_waitingIndex = index;
        m_skipWaiting = false;
    }
    struct SWaitEnd {
        CBench& bench;
        ~SWaitEnd() {
            std::lock_guard lock(bench.m_cancelMutex);
            bench.m_waitingIndex = SIZE_MAX;
        }
    } waitEnd{*this};
    Emit([&](IBenchListener& l) { l.OnAskingDevice(index, device.address); });
    if (link.ReadIdentity(device.address, identity) == 0) {
        keepFirmware();
        return true;
    }
    auto waitCancel = [this](int ms) {
        std::unique_lock lock(m_cancelMutex);
        return !m_cancelCv.wait_for(lock, std::chrono::milliseconds(ms),
                                    [this] { return m_cancelStart || m_skipWaiting; });
    };
    // The operator let the start go on without this device (a cancel wins over it).
    auto skipped = [this] {
        std::lock_guard lock(m_cancelMutex);
        return m_skipWaiting && !m_cancelStart;
    };
    // Let go or cancelled while the first try ran: there is no wait to announce.
    if (!waitCancel(0)) return skipped();
    Emit([&](IBenchListener& l) { l.OnWaitingForDevice(index, device.address); });
    CPerfTimer waited;
    for (;;) {
        if (options.waitDeviceSeconds >= 0 &&
            waited.GetElapsedSeconds() > options.waitDeviceSeconds)
            return false;
        // A device behind a port that is not open cannot answer: say so, and keep trying the
        // port instead of the device.
        if (!Port(device.port).IsOpen()) {
            if (!RetryPortOpen(device.port, waitCancel)) return skipped();
            continue;
        }
        // A short pause between tries keeps a silent line from spinning the processor.
        if (!waitCancel(1)) return skipped();
        if (link.ReadIdentity(device.address, identity) == 0) break;
    }
    keepFirmware();
    Emit([&](IBenchListener& l) { l.OnDeviceAnswered(index, device.address); });
    return true;
}

bool CBench::RetryPortOpen(int port, const std::function<bool(int)>& wait) {
    // The first retry comes quickly (a line that blinked), later ones no more often than every
    // two seconds, so a dead line costs next to nothing and a returning one is back soon.
    constexpr int kFirstPauseMs = 250;
    constexpr int kLongestPauseMs = 2000;
    SPortOutage& outage = m_outage.at(static_cast<size_t>(port));
    if (!outage.reported) {
        outage.reported = true;
        outage.pauseMs = kFirstPauseMs;
        const SPortState state = Port(port).State();
        Emit([&](IBenchListener& l) { l.OnPortNotOpen(port, state); });
    }
    if (!wait(outage.pauseMs)) return false;
    outage.pauseMs = std::min(outage.pauseMs * 2, kLongestPauseMs);
    Port(port).Close();
    if (Port(port).Open()) {
        outage.reported = false;
        Emit([&](IBenchListener& l) { l.OnPortReopened(port); });
    }
    return true;
}

StartResult CBench::Start(const SStartOptions& options) {
    if (m_running) return StartResult::AlreadyRunning;
    if (m_searching) return StartResult::Busy;
    bool expected = false;
    if (!m_starting.compare_exchange_strong(expected, true)) return StartResult::Busy;
    struct ClearStarting {
        std::atomic<bool>& flag;
        ~ClearStarting() { flag = false; }
    } clearStarting{m_starting};
    {
        std::lock_guard lock(m_cancelMutex);
        m_cancelStart = false;
    }
    // After the reset: a stop requested before it still counts.
    std::stop_callback cancelOnStop(options.stop, [this] { CancelStart(); });
    if (m_loading) return StartResult::Busy;
    // An experiment polls the saved devices, not those of an experiment loaded for review.
    RestoreSavedDevices();
    auto& active = m_settings.devices.Active();
    if (active.empty()) {
        Emit([](IBenchListener& l) { l.OnError({BenchMessage::EmptyDeviceList}); });
        return StartResult::EmptyList;
    }
    // Ky divides every electrode value, and a period of 0 would poll without pause.
    if (m_settings.Ky() == 0 || !(m_settings.PollPeriod() > 0)) {
        Emit([&](IBenchListener& l) {
            l.OnError({m_settings.Ky() == 0 ? BenchMessage::KyZero
                                            : BenchMessage::PollPeriodNotAbove0});
        });
        return StartResult::BadSettings;
    }
    if (!WaitOldPollThreads(options.pollEndWaitMs)) return StartResult::PollBusy;
    m_outage = {};
    for (size_t j = 0; j < active.size(); ++j)
        if (!IdentifyWithWait(j, options)) return StartResult::Cancelled;

    m_running = true;
    EnsureStores();
    int number = NextExperimentNumber(m_store);
    // A lost counter must never point a new experiment at an old one's files.
    const int free = FindFreeExperimentNumber(m_settings.savePath, m_settings.dateFolders, number,
                                              std::time(nullptr));
    if (free != number) {
        number = free;
        m_store.SetInt("Dravmer", "ExperimentNumber", number);
    }
    m_store.Flush();
    m_experimentNumber = number;
    const SFileOptions fileOptions = FileOptionsFrom(m_settings);
    for (size_t j = 0; j < active.size(); ++j) {
        CDeviceData& data = Data(j);
        CExperimentFiles& files = Files(j);
        data.SetFirmwareVersion(active[j].fwMajor, active[j].fwMinor);
        data.ResetData();
        files.SetOptions(fileOptions);
        const int rc =
            files.OpenExperimentFiles(m_settings.savePath, active[j].address, number,
                                      m_settings.textFormat, m_settings.dateFolders, true);
        if (rc != kFilesOpenOk) {
            Emit([&](IBenchListener& l) {
                SBenchMessage m{BenchMessage::FileNotOpened};
                m.device = active[j].address;
                m.count = rc;
                l.OnError(m);
            });
        }
    }
    for (auto& busy : m_portBusy) busy = 0;
    for (auto& lost : m_pollLost) lost = false;
    m_writeErrorsReported.assign(active.size(), 0);
    m_settings.experimentClock.Restart();
    for (int p = 0; p < kPortCount; ++p) {
        if (!Port(p).Settings().useLink || m_pollThreads[static_cast<size_t>(p)]->Start()) continue;
        // An experiment that does not poll a port would look like one that does.
        Emit([&](IBenchListener& l) {
            SBenchMessage m{BenchMessage::PollNotStarted};
            m.port = p;
            l.OnError(m);
        });
        Stop();
        return StartResult::PollBusy;
    }
    Emit([&](IBenchListener& l) { l.OnExperimentStarted(number); });
    return StartResult::Started;
}

bool CBench::WaitOldPollThreads(int limitMs) {
    CPerfTimer waited;
    for (int p = 0; p < kPortCount; ++p) {
        CPollThread& thread = *m_pollThreads[static_cast<size_t>(p)];
        if (!thread.IsRunning()) continue;
        Emit([&](IBenchListener& l) { l.OnWaitingForPollEnd(p); });
        const int left = std::max(0, limitMs - static_cast<int>(waited.GetElapsedMs()));
        if (thread.WaitEnded(left)) continue;
        Emit([&](IBenchListener& l) {
            SBenchMessage m{BenchMessage::PollStillEnding};
            m.port = p;
            l.OnError(m);
        });
        return false;
    }
    return true;
}

void CBench::OnPollEnded(int port, bool asked) {
    if (asked || !m_running) return;
    if (m_pollLost[static_cast<size_t>(port)].exchange(true)) return;
    Emit([&](IBenchListener& l) { l.OnPollLost(port); });
}

int CBench::PollPort(CPollThread& thread, int port) {
    CMeasLinkAdapter adapter(Link(port));
    CPerfTimer cycle;
    for (;;) {
        if (!Port(port).IsOpen()) {
            if (!RetryPortOpen(port, [&](int ms) { return thread.WaitForStop(ms); })) return 0;
            continue;
        }
        cycle.Restart();
        SMeasReadOptions options;
        options.ky = m_settings.Ky();
        options.readTenMeasurements = m_settings.ReadTenMeasurements();
        options.readCurrentValues = m_settings.ReadCurrentValues();
        options.readResistances = m_settings.ReadResistances();
        options.experimentSecond = [this] { return m_settings.ExperimentSecond(); };
        const auto& active = m_settings.devices.Active();
        int skipped = 0;
        for (size_t i = 0; i < active.size(); ++i) {
            if (thread.StopRequested()) return 0;
            if (active[i].port != port) continue;
            CDeviceData& data = Data(i);
            CMeasRecord record = data.GetLastSample();
            // A device that already has its record of this second would only answer -3 after
            // all its exchanges; skipping it leaves the line to the devices still waiting.
            if (record.position >= 0 && record.time == m_settings.ExperimentSecond()) {
                ++skipped;
                continue;
            }
            CPerfTimer exchange;
            const int rc = ReadMeasRecord(adapter, active[i].address, record, options);
            m_portBusy[static_cast<size_t>(port)] =
                m_portBusy[static_cast<size_t>(port)] + exchange.GetElapsedSeconds();
            if (rc == 0) {
                data.AddSample(record);
                Emit([&](IBenchListener& l) { l.OnRecordAdded(i); });
                ReportWriteErrors(i);
            }
            if (thread.StopRequested()) return 0;
        }
        const double busy = cycle.GetElapsedSeconds();
        m_portCycle[static_cast<size_t>(port)] = busy;
        // Wait out the poll period, but not past the start of the next experiment second
        // when devices were passed over for already having this second's record: the line
        // would stand idle while their next second is ready.
        double rest = m_settings.PollPeriod() - busy;
        if (skipped > 0) {
            const double clock = m_settings.experimentClock.GetElapsedSeconds();
            rest = std::min(rest, std::floor(clock) + 1.0 - clock);
        }
        if (rest > 0 && !thread.WaitForStopUntil(
                            std::chrono::steady_clock::now() +
                            std::chrono::microseconds(static_cast<std::int64_t>(rest * 1e6))))
            return 0;
        if (!thread.WaitForStop(1)) return 0;
    }
}

void CBench::ReportWriteErrors(std::size_t index) {
    // The records stay in the store and every later append retries the file, so one message per
    // device and experiment says enough.
    const int errors = Files(index).WriteErrors();
    if (errors == 0 || index >= m_writeErrorsReported.size() || m_writeErrorsReported[index]) return;
    m_writeErrorsReported[index] = 1;
    const std::uint32_t address = m_settings.devices.Active()[index].address;
    const std::string path = Files(index).FilePath();
    Emit([&](IBenchListener& l) {
        SBenchMessage m{BenchMessage::FileWriteFailed};
        m.device = address;
        m.path = path;
        l.OnError(m);
    });
}

void CBench::ReportRescue(std::size_t index) {
    CExperimentFiles& files = Files(index);
    const std::string rescued = files.RescuedPath();
    const int unsaved = files.UnsavedRecords();
    if (rescued.empty() && unsaved == 0) return;
    const std::uint32_t address = m_settings.devices.Active()[index].address;
    const std::string path = files.FilePath();
    const std::string asked = path.empty() ? m_settings.savePath : path;
    Emit([&](IBenchListener& l) {
        SBenchMessage m{rescued.empty() ? BenchMessage::RecordsUnsaved
                                        : BenchMessage::RecordsRescued};
        m.device = address;
        m.count = unsaved;
        m.path = asked;
        m.other = rescued;
        l.OnError(m);
    });
}

void CBench::Stop() {
    if (!m_running) return;
    CPerfTimer t;
    // Every port is asked at once, so the ports wind down side by side, not one after another.
    for (auto& thread : m_pollThreads) thread->Stop(true);
    for (auto& thread : m_pollThreads) thread->Stop();
    const size_t count = m_settings.devices.Active().size();
    m_stoppedSeconds = m_settings.experimentClock.GetElapsedSeconds();
    for (size_t j = 0; j < count && j < StoreCount(); ++j) {
        CExperimentFiles& files = Files(j);
        files.CloseExperimentFiles();
        ReportRescue(j);
    }
    m_running = false;
    m_lastStopSeconds = t.GetElapsedSeconds();
    Emit([](IBenchListener& l) { l.OnExperimentStopped(); });
}

std::uint32_t CBench::ExperimentSeconds() const {
    const double seconds =
        m_running ? m_settings.experimentClock.GetElapsedSeconds() : m_stoppedSeconds.load();
    return static_cast<std::uint32_t>(seconds);
}

bool CBench::ToggleWriteToFile() {
    m_settings.writeToFile = !m_settings.writeToFile;
    const size_t count = std::min(m_settings.devices.Active().size(), StoreCount());
    const SFileOptions options = FileOptionsFrom(m_settings);
    if (!m_settings.writeToFile) {
        // During an experiment the files stay open, paused, so that switching back on goes on
        // in the same files; what was recorded up to now is written first.
        for (size_t j = 0; j < count; ++j) {
            Files(j).PauseWriting(options);
            if (!m_running) Files(j).CloseExperimentFiles();
        }
        return false;
    }
    const auto& active = m_settings.devices.Active();
    for (size_t j = 0; j < count; ++j) {
        if (m_running && Files(j).ResumeWriting(options)) continue;
        Files(j).SetOptions(options);
        Data(j).SetSuppressWrites(true);
        Files(j).OpenExperimentFiles(m_settings.savePath, active[j].address, m_experimentNumber,
                                     m_settings.textFormat, m_settings.dateFolders, m_running);
        Files(j).FlushSamples();
        if (!m_running) Files(j).CloseExperimentFiles();
    }
    return true;
}

void CBench::ClearStatistics() {
    if (!m_running) return;
    const size_t count = std::min(m_settings.devices.Active().size(), StoreCount());
    for (size_t j = 0; j < count; ++j)
        if (Data(j).GetCount() > 0) Data(j).RestartStats(true);
}

std::string CBench::Title() const {
    std::string title = Format("Dravmer v.%s, ", kProgramVersion);
    std::lock_guard lock(m_storesMutex);
    const size_t count = std::min(m_settings.devices.Active().size(), m_data.size());
    bool first = true;
    for (size_t j = 0; j < count; ++j) {
        const std::string t = m_data[j]->Title();
        if (t.empty()) continue;
        if (!first) title += ", ";
        title += t;
        first = false;
    }
    return title;
}

}  // namespace dravmer
