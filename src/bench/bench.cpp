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
#include "platform/worker_thread.h"

namespace dravmer {

namespace fs = std::filesystem;

// One per port: cycles over the port's devices once per poll period.
class CPollThread : public CWorkerThread {
public:
    CPollThread(CBench& bench, int port) : m_bench(bench), m_port(port) {}
    ~CPollThread() override { Stop(); }

protected:
    int Run() override { return m_bench.PollPort(*this, m_port); }

private:
    CBench& m_bench;
    int m_port;
};

namespace {
std::string ZeroTerminated(const std::uint8_t* bytes, size_t max) {
    size_t n = 0;
    while (n < max && bytes[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(bytes), n);
}

std::string Format(const char* fmt, auto... args) {
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

SFileOptions FileOptionsFrom(const CExperimentSettings& s) {
    SFileOptions o;
    for (int i = 0; i < kParamCount; ++i) {
        o.toFile[static_cast<size_t>(i)] = s.ToFile(i);
        o.fileDecimals[static_cast<size_t>(i)] = s.FileDecimals(i);
        o.tableDecimals[static_cast<size_t>(i)] = s.TableDecimals(i);
    }
    o.ky = s.Ky();
    o.writeToFile = s.writeToFile;
    return o;
}

// "%4.4d.%2.2d.%2.2d_%2.2d-%2.2d-%2.2d.%3.3d" of the local time now.
std::string TimeStampForParams() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm t{};
    localtime_r(&tv.tv_sec, &t);
    return Format("%4.4d.%2.2d.%2.2d_%2.2d-%2.2d-%2.2d.%3.3d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}
}  // namespace

CBench::CBench(ISettingsStore& store)
    : m_store(store), m_logFiles(std::make_unique<CLogFiles>(LogDir())) {
    for (int p = 0; p < kPortCount; ++p) {
        m_ports[static_cast<size_t>(p)] = std::make_unique<CLinkPort>(p);
        m_links[static_cast<size_t>(p)] = std::make_unique<CLinkR307>();
        m_links[static_cast<size_t>(p)]->AttachPort(m_ports[static_cast<size_t>(p)].get());
        m_pollThreads[static_cast<size_t>(p)] = std::make_unique<CPollThread>(*this, p);
    }
}

CBench::~CBench() {
    CancelStart();
    if (m_running) Stop();
    for (auto& t : m_pollThreads) t.reset();
    ClosePorts();
    // The logs end with their statistics dump while the files are still there.
    for (auto& link : m_links) {
        link->StopErrorLog();
        link->SetLogSink(nullptr);
    }
}

void CBench::LoadSettings() {
    m_settings.devices.Load(m_store);
    m_settings.LoadExperimentSettings(m_store);
    m_settings.LoadFileSettings(m_store);
    m_settings.LoadLinkLogFlag(m_store);
    for (int p = 0; p < kPortCount; ++p) {
        Port(p).LoadSettings(m_store);
        Link(p).SetTransit(m_settings.devices.Transit(p));
    }
    if (m_settings.writeLinkErrorsToLog) SetLinkErrorLog(true);
    EnsureStores();
}

void CBench::SetLinkErrorLog(bool on) {
    if (m_settings.writeLinkErrorsToLog != on) {
        m_settings.writeLinkErrorsToLog = on;
        m_settings.SaveLinkLogFlag(m_store);
        m_store.Flush();
    }
    for (auto& link : m_links) {
        if (on) {
            link->SetLogSink(m_logFiles->Sink());
            link->StartErrorLog();
        } else {
            link->StopErrorLog();  // writes the statistics dump and "Stop."
            link->SetLogSink(nullptr);
        }
    }
}

std::string CBench::LinkErrorLogPath() const {
    return m_logFiles->PathOf(std::string("Dravmer-") + kLinkErrorsLogSuffix).string();
}

void CBench::SaveExitSettings() {
    m_settings.SaveFlags(m_store);
    m_store.Flush();
}

int CBench::OpenPorts() {
    int open = 0;
    for (int p = 0; p < kPortCount; ++p) {
        if (!Port(p).Settings().useLink) continue;
        if (Port(p).IsOpen() || Port(p).Open() == 1) ++open;
    }
    return open;
}

void CBench::ClosePorts() {
    for (auto& port : m_ports)
        if (port) port->Close();
}

// ---------------------------------------------------------------- search

std::string CBench::ProgressText(int code, std::uint32_t value, int counter) const {
    if (code == 1) return Format("Найден KESP: №%u   (всего: %d)", value, counter);
    // Only the codes that report a device count as found; a failed transit probe or an
    // unreadable transit device carries a result code, not an address.
    if (code == 3 || code == 4) return Format("Найден: №%u (всего: %d)", value, counter);
    return {};
}

int CBench::Search() {
    if (m_running || m_starting) return -1;
    bool expected = false;
    if (!m_searching.compare_exchange_strong(expected, true)) return -1;

    CDeviceList& list = m_settings.devices;
    list.ClearFound();
    int counter = 0;
    for (int p = 0; p < kPortCount; ++p) {
        CLinkR307& link = Link(p);
        link.SetProgressWindow([&, p](int code, std::int64_t value) {
            if (code == 3 || code == 4) ++counter;
            const auto v = static_cast<std::uint32_t>(value);
            Emit([&](IBenchListener& l) {
                l.OnSearchProgress(p, code, v, ProgressText(code, v, counter));
            });
        });
        SSearchResult result;
        const int rc = Port(p).IsOpen() ? link.SearchDevices(result, false) : -1;
        // A search pass gives up after 50 fruitless slot probes, which can leave the last
        // devices behind a transit device unfound. Found devices stay silent until the next
        // reset, so further passes without a reset pick up only the stragglers.
        if ((rc == 0 || rc == 2) && result.transitFound) {
            link.SetProgressWindow([&, p](int code, std::int64_t value) {
                if (code != 3) return;
                ++counter;
                const auto v = static_cast<std::uint32_t>(value);
                Emit([&](IBenchListener& l) {
                    l.OnSearchProgress(p, code, v, ProgressText(code, v, counter));
                });
            });
            for (int extra = 0; extra < 3; ++extra) {
                SSearchResult more;
                const int again = link.SearchDevices(more, true);
                if (again != 0 && again != 2) break;
                size_t added = 0;
                for (auto address : more.addresses) {
                    if (std::find(result.addresses.begin(), result.addresses.end(), address) ==
                        result.addresses.end()) {
                        result.addresses.push_back(address);
                        ++added;
                    }
                }
                if (added == 0) break;
            }
            std::sort(result.addresses.begin(), result.addresses.end());
        }
        link.SetProgressWindow(nullptr);
        list.SetTransit(p, link.Transit());
        if (rc != 0 && rc != 2) continue;
        for (auto address : result.addresses) {
            if (!list.AddFound(address, static_cast<std::uint8_t>(p), true)) {
                Emit([&](IBenchListener& l) {
                    l.OnError(Format(
                        "Найдено больше %d приборов: прибор №%u (порт %d) не внесён в список.",
                        static_cast<int>(kMaxDevices), address, p + 1));
                });
            }
        }
    }
    Emit([&](IBenchListener& l) {
        l.OnSearchProgress(
            -1, 0, 0, Format("Всего найдено %d приборов.", static_cast<int>(list.Found().size())));
    });

    // Identify every found device; one that does not answer is dropped from the list.
    std::vector<SFoundInfo> infos;
    for (size_t k = 0; k < list.Found().size();) {
        const SFoundDevice f = list.Found()[k];
        CLinkR307& link = Link(f.port);
        std::uint8_t identity[kIdentitySize] = {};
        std::uint8_t transducer[13] = {};
        const int rc = link.ReadIdentity(f.address, identity);
        SFoundInfo info;
        info.address = f.address;
        info.port = f.port;
        if (link.ReadParameters(f.address, 20, 12, transducer) == 0)
            info.transducer = ZeroTerminated(transducer, 12);
        if (rc != 0) {
            list.RemoveFound(k);
            continue;
        }
        info.identified = true;
        info.fwMinor = identity[1];
        info.fwMajor = identity[2];
        info.compiled = ZeroTerminated(identity + 9, 12) + "  " + ZeroTerminated(identity + 21, 9);
        info.written = ZeroTerminated(identity + 30, 12) + "  " + ZeroTerminated(identity + 42, 9);
        infos.push_back(info);
        ++k;
    }
    list.RebuildActive();
    for (size_t i = 0; i < list.Active().size() && i < infos.size(); ++i) {
        list.Active()[i].fwMajor = infos[i].fwMajor;
        list.Active()[i].fwMinor = infos[i].fwMinor;
    }
    list.SaveFound(m_store);
    list.SaveTransits(m_store);
    m_store.Flush();
    {
        std::lock_guard lock(m_foundMutex);
        m_foundInfo = std::move(infos);
    }
    EnsureStores();
    m_searching = false;
    const int found = static_cast<int>(list.Found().size());
    Emit([&](IBenchListener& l) { l.OnSearchFinished(found); });
    return found;
}

bool CBench::SetDeviceEnabled(std::size_t foundIndex, bool enabled) {
    if (m_running || m_starting || m_searching) return false;
    if (foundIndex >= m_settings.devices.Found().size()) return false;
    m_settings.devices.SetEnabled(foundIndex, enabled);
    m_settings.devices.RebuildActive();
    m_settings.devices.SaveFound(m_store);
    m_store.Flush();
    EnsureStores();
    return true;
}

bool CBench::SetAllDevicesEnabled(bool enabled) {
    if (m_running || m_starting || m_searching) return false;
    m_settings.devices.SetAllEnabled(enabled);
    m_settings.devices.RebuildActive();
    m_settings.devices.SaveFound(m_store);
    m_store.Flush();
    EnsureStores();
    return true;
}

std::vector<SFoundInfo> CBench::FoundInfo() const {
    std::lock_guard lock(m_foundMutex);
    std::vector<SFoundInfo> out = m_foundInfo;
    // After loading from the settings only address, port and the enabled flag are known.
    const auto& found = m_settings.devices.Found();
    if (out.size() != found.size()) {
        out.clear();
        for (const auto& f : found) {
            SFoundInfo i;
            i.address = f.address;
            i.port = f.port;
            i.transducer.clear();
            out.push_back(i);
        }
    }
    for (size_t i = 0; i < out.size(); ++i) out[i].enabled = found[i].enabled != 0;
    return out;
}

// ---------------------------------------------------------------- stores

std::size_t CBench::StoreCount() const {
    std::lock_guard lock(m_storesMutex);
    return m_data.size();
}

CDeviceData& CBench::Data(std::size_t index) {
    std::lock_guard lock(m_storesMutex);
    return *m_data.at(index);
}

CExperimentFiles& CBench::Files(std::size_t index) {
    std::lock_guard lock(m_storesMutex);
    return *m_files.at(index);
}

void CBench::EnsureStores() {
    std::lock_guard lock(m_storesMutex);
    const size_t count = m_settings.devices.Active().size();
    while (m_data.size() < count) {
        auto data = std::make_unique<CDeviceData>(static_cast<int>(m_data.size()));
        auto files = std::make_unique<CExperimentFiles>(*data, FileOptionsFrom(m_settings));
        m_data.push_back(std::move(data));
        m_files.push_back(std::move(files));
    }
}

// ---------------------------------------------------------------- experiment

void CBench::CancelStart() {
    {
        std::lock_guard lock(m_cancelMutex);
        m_cancelStart = true;
    }
    m_cancelCv.notify_all();
}

bool CBench::IdentifyWithWait(std::size_t index, const SStartOptions& options) {
    SActiveDevice& device = m_settings.devices.Active()[index];
    CLinkR307& link = Link(device.port);
    std::uint8_t identity[kIdentitySize] = {};
    if (link.ReadIdentity(device.address, identity) == 0) {
        device.fwMinor = identity[1];
        device.fwMajor = identity[2];
        return true;
    }
    Emit([&](IBenchListener& l) { l.OnWaitingForDevice(index, device.address); });
    CPerfTimer waited;
    for (;;) {
        {
            std::unique_lock lock(m_cancelMutex);
            // A short pause between tries keeps a closed port from spinning the processor.
            if (m_cancelCv.wait_for(lock, std::chrono::milliseconds(1),
                                    [this] { return m_cancelStart; }))
                return false;
        }
        if (options.waitDeviceSeconds >= 0 &&
            waited.GetElapsedSeconds() > options.waitDeviceSeconds)
            return false;
        if (link.ReadIdentity(device.address, identity) == 0) break;
    }
    device.fwMinor = identity[1];
    device.fwMajor = identity[2];
    Emit([&](IBenchListener& l) { l.OnDeviceAnswered(index, device.address); });
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
    auto& active = m_settings.devices.Active();
    if (active.empty()) {
        Emit([](IBenchListener& l) { l.OnError("Список приборов пуст."); });
        return StartResult::EmptyList;
    }
    // Ky divides every electrode value, and a period of 0 would poll without pause.
    if (m_settings.Ky() == 0 || !(m_settings.PollPeriod() > 0)) {
        Emit([&](IBenchListener& l) {
            l.OnError(m_settings.Ky() == 0 ? "Ky = 0: electrode values cannot be scaled; set Ky in "
                                             "the experiment settings."
                                           : "The poll period must be above 0 s.");
        });
        return StartResult::BadSettings;
    }
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
                l.OnError(Format("Прибор №%u: файл эксперимента не открыт (код %d).",
                                 active[j].address, rc));
            });
        }
    }
    for (auto& busy : m_portBusy) busy = 0;
    m_writeErrorsReported.assign(active.size(), 0);
    m_settings.experimentClock.Restart();
    for (int p = 0; p < kPortCount; ++p)
        if (Port(p).Settings().useLink) m_pollThreads[static_cast<size_t>(p)]->Start();
    m_autoStopWatch.Restart();
    Emit([&](IBenchListener& l) { l.OnExperimentStarted(number); });
    return StartResult::Started;
}

int CBench::PollPort(CPollThread& thread, int port) {
    CMeasLinkAdapter adapter(Link(port));
    CPerfTimer cycle;
    for (;;) {
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
        m_portLoad[static_cast<size_t>(port)] =
            std::min(100.0, 100.0 * busy / std::max(busy, m_settings.PollPeriod()));
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
        l.OnError(Format("Прибор №%u: ошибка записи в файл %s. Записи сохраняются в памяти, "
                         "запись в файл повторяется.",
                         address, path.c_str()));
    });
}

void CBench::Stop() {
    if (!m_running) return;
    CPerfTimer t;
    for (auto& thread : m_pollThreads) thread->Stop();
    const size_t count = m_settings.devices.Active().size();
    for (size_t j = 0; j < count && j < StoreCount(); ++j) Files(j).CloseExperimentFiles();
    m_running = false;
    m_lastStopSeconds = t.GetElapsedSeconds();
    Emit([](IBenchListener& l) { l.OnExperimentStopped(); });
}

bool CBench::ToggleWriteToFile() {
    m_settings.writeToFile = !m_settings.writeToFile;
    const size_t count = std::min(m_settings.devices.Active().size(), StoreCount());
    const SFileOptions options = FileOptionsFrom(m_settings);
    for (size_t j = 0; j < count; ++j) Files(j).SetOptions(options);
    if (!m_settings.writeToFile) {
        for (size_t j = 0; j < count; ++j) Files(j).CloseExperimentFiles();
        return false;
    }
    const auto& active = m_settings.devices.Active();
    for (size_t j = 0; j < count; ++j) {
        Data(j).SetSuppressWrites(true);
        Files(j).OpenExperimentFiles(m_settings.savePath, active[j].address, m_experimentNumber,
                                     m_settings.textFormat, m_settings.dateFolders, m_running);
    }
    for (size_t j = 0; j < count; ++j) {
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

bool CBench::TickAutoStop() {
    if (m_autoStop && m_running && m_autoStopWatch.GetElapsedSeconds() > kAutoStopSeconds) {
        m_autoStopWatch.Restart();
        Stop();
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- device parameters

std::string CBench::ParameterFolder() const {
    std::error_code ec;
    fs::path folder = m_settings.savePath;
    if (m_settings.savePath.empty() || !fs::is_directory(folder, ec)) {
        // The program's own folder is not writable here; the user's data folder stands in.
        folder = DataDir();
        EnsureDir(folder);
    }
    std::string s = folder.string();
    if (!s.empty() && s.back() != '/') s += '/';
    return s;
}

std::string CBench::SaveDeviceParameters(bool* failedOut, const std::atomic<bool>* stop) {
    std::string report;
    auto append = [&](const std::string& text) {
        report += text;
        Emit([&](IBenchListener& l) { l.OnReportText(text); });
    };
    bool failed = false;
    const std::string folder = ParameterFolder();
    const auto active = m_settings.devices.Active();
    const int total = static_cast<int>(active.size());
    auto writeImage = [&](const std::string& path, const std::uint8_t* image) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image), kDeviceImageSize);
        out.close();
        if (!out) {
            append("     Ошибка !!!\r\n");
            failed = true;
        } else {
            append("     OK\r\n");
        }
    };
    for (int k = 0; k < total; ++k) {
        if (stop && stop->load()) {
            failed = true;
            break;
        }
        const SActiveDevice& d = active[static_cast<size_t>(k)];
        CLinkR307& link = Link(d.port);
        append(Format("%d/%d  Прибор № %u\r\n", k + 1, total, d.address));
        append("     Чтение конфигурации прибора...");
        std::uint8_t identity[kIdentitySize] = {};
        if (link.ReadIdentity(d.address, identity) != 0) {
            append("Ошибка\r\n");
            failed = true;
            continue;
        }
        const int major = identity[2], minor = identity[1];
        append("OK\r\n");
        append(Format("     Версия прошивки %2.2d.%2.2d\r\n", major, minor));
        append("     Чтение FLASH прибора...");
        std::vector<std::uint8_t> flash(kDeviceImageSize), eeprom(kDeviceImageSize);
        if (link.ReadFlash(d.address, flash.data()) != 0) {
            append("Ошибка\r\n");
            failed = true;
            continue;
        }
        append("OK\r\n");
        const std::string flashName =
            Format("%u v%2.2d.%2.2d (%s)", d.address, major, minor, TimeStampForParams().c_str());
        append("     Чтение EEPROM прибора...");
        if (link.ReadEeprom(d.address, eeprom.data()) != 0) {
            append("Ошибка\r\n");
            failed = true;
            continue;
        }
        append("OK\r\n");
        const std::string eepromName =
            Format("%u v%2.2d.%2.2d (%s)", d.address, major, minor, TimeStampForParams().c_str());
        const std::string flashPath = folder + flashName + ".fld";
        append("     Сохранение файла FLASH\r\n");
        append(Format("     %s...\r\n", flashPath.c_str()));
        writeImage(flashPath, flash.data());
        const std::string eepromPath = folder + eepromName + ".eep";
        append("     Сохранение файла EEPROM\r\n");
        append(Format("     %s...\r\n", eepromPath.c_str()));
        writeImage(eepromPath, eeprom.data());
    }
    append("\r\n\r\n");
    append(failed ? "При выполнении операций были ошибки !!!\r\n"
                  : "Все операции успешно завершены.");
    if (failedOut) *failedOut = failed;
    return report;
}

}  // namespace dravmer
