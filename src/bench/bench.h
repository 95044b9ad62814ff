#pragma once
// The engine's facade: owns the four ports and their protocol objects, the experiment settings
// and device lists, the per-device stores with their experiment files, and the acquisition
// state. The desktop program and the CLI drive this object; neither keeps engine state itself.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "bench/bench_listener.h"
#include "bench/experiment_settings.h"
#include "files/experiment_files.h"
#include "files/experiment_scan.h"
#include "link/link_r307.h"
#include "link/log_files.h"
#include "link/port.h"
#include "measure/device_data.h"
#include "platform/perf_timer.h"
#include "platform/settings_store.h"
#include "dravmer_version.h"

namespace dravmer {

class CPageFile;
class CPollThread;

// "Остановить эксперимент на 700 с": the window stops a run this long after its start.
inline constexpr double kAutoStopSeconds = 700.0;

// What a search learnt about one found device (the device list page's columns).
struct SFoundInfo {
    std::uint32_t address = 0;
    int port = 0;
    bool enabled = true;
    std::uint8_t fwMajor = 0, fwMinor = 0;
    // The 12 bytes at position 20 of the parameters; "Ошибка" (kept so in the archive) when they
    // could not be read, which transducerRead tells the front ends.
    std::string transducer = "Ошибка";
    bool transducerRead = false;
    std::string compiled;               // "%s  %s" compile date and time
    std::string written;                // "%s  %s" firmware writing date and time
    bool identified = false;            // filled by a search, not by loading the list
};

enum class StartResult {
    Started,
    AlreadyRunning,
    Busy,        // a search runs
    EmptyList,   // "Список приборов пуст."
    Cancelled,   // the wait for a silent device was cancelled or timed out
    BadSettings,  // a setting that would make every value meaningless (Ky = 0, poll period <= 0)
    PollBusy      // a port's poll thread of the last experiment has not ended, or none could start
};

struct SStartOptions {
    // How long the start waits for a device that does not answer; negative: until cancelled.
    double waitDeviceSeconds = -1;
    // How long the start waits for a poll thread of the last experiment that is still ending
    // (a stop that gave up on it) before it refuses.
    int pollEndWaitMs = 5000;
    // A stop request here cancels the start as CancelStart does, and is not lost when it comes
    // before the start has begun (a window closing as its start job sets out).
    std::stop_token stop;
};

class CBench {
public:
    explicit CBench(ISettingsStore& store);
    ~CBench();
    CBench(const CBench&) = delete;
    CBench& operator=(const CBench&) = delete;

    void SetListener(IBenchListener* listener) { m_listener.store(listener); }
    ISettingsStore& Store() { return m_store; }

    // Device lists, experiment and file settings, the link-log switch, the ports' settings and
    // the transit addresses, as the program loads them at start.
    void LoadSettings();
    // Writes what the program keeps at exit (the write-to-file switches).
    void SaveExitSettings();
    // Opens every enabled port; returns how many are open.
    int OpenPorts();
    void ClosePorts();

    // The link error log check box: stores the switch and starts or stops the logs of all four
    // links; while on, entries go to "Dravmer-LinkErrors.log" and "Dravmer-IMErrors.log" in the
    // log folder.
    void SetLinkErrorLog(bool on);
    std::string LinkErrorLogPath() const;

    CExperimentSettings& Settings() { return m_settings; }
    const CExperimentSettings& Settings() const { return m_settings; }
    CLinkR307& Link(int port) { return *m_links.at(static_cast<size_t>(port)); }
    CLinkPort& Port(int port) { return *m_ports.at(static_cast<size_t>(port)); }

    // ---- device search (blocking; runs on the caller's thread) ----
    // Found count; kSearchBusy when an experiment or another search runs, kSearchNoPort when
    // no port could be opened (the saved device list is then left as it was).
    static constexpr int kSearchBusy = -1;
    static constexpr int kSearchNoPort = -2;
    int Search();
    bool IsSearching() const { return m_searching.load(); }
    std::vector<SFoundInfo> FoundInfo() const;
    // The active list as it is now, safe to take on any thread while a search, a load or a
    // start changes the list (they publish their changes under the same lock). Front ends read
    // the list only this way; the engine's own threads read it while nothing changes it.
    std::vector<SActiveDevice> ActiveDevices() const;
    std::size_t ActiveCount() const;
    // The device list's check boxes: one found device, or all of them. Refused (false) while an
    // experiment or a search runs; otherwise the active list is rebuilt and the list saved.
    bool SetDeviceEnabled(std::size_t foundIndex, bool enabled);
    bool SetAllDevicesEnabled(bool enabled);
    // ---- experiment ----
    // Identifies every active device (waiting for silent ones), numbers the experiment, opens
    // the files and starts one poll thread per enabled port. Blocks while it waits for devices.
    StartResult Start(const SStartOptions& options = {});
    // Cuts short a Start that waits for a device (callable from any thread).
    void CancelStart();
    // Lets a Start stop waiting for device `index` and go on with the next one; the device
    // keeps the firmware version it had. Ignored unless the start is waiting for that device.
    void SkipWaitingDevice(std::size_t index);
    void Stop();
    bool IsRunning() const { return m_running.load(); }
    int ExperimentNumber() const { return m_experimentNumber.load(); }
    double StopSeconds() const { return m_lastStopSeconds; }  // how long the last Stop took
    // Flips writing to file; returns the new state.
    bool ToggleWriteToFile();
    // Restarts the running statistics of every store that holds records (while running).
    void ClearStatistics();
    // "Расчет статистики" and the graph's selection: recomputes the statistics of every store of
    // the active list from its records, over the seconds range->from..range->to (the stores stay
    // in range mode) or, without a range, over all records (back to running statistics).
    // progress(done, total) after each store; `stop` ends it between two stores. Blocking, any
    // thread; one recompute at a time, so the last one asked for is what the stores show.
    // Returns the stores recomputed.
    struct SSecondRange {
        std::uint32_t from = 0, to = 0;
    };
    std::size_t RecomputeStatistics(
        std::optional<SSecondRange> range,
        const std::function<void(std::size_t done, std::size_t total)>& progress = {},
        const std::atomic<bool>* stop = nullptr);
    // "Dravmer v.05.43, " and the store titles.
    std::string Title() const;
    void SetAutoStop(bool on) { m_autoStop = on; }
    bool AutoStop() const { return m_autoStop; }
    // Share (0..100) of the last second a port was busy with exchanges; 100 means the port
    // cannot keep up with the poll period.
    double PortLoad(int port) const {
        return m_ports.at(static_cast<size_t>(port))->BusyPercent(1000.0);
    }
    // Whole seconds of the running experiment, or of the last one after Stop.
    std::uint32_t ExperimentSeconds() const;
    // Duration of the last full poll cycle of a port (seconds, exchanges only).
    double PortCycleSeconds(int port) const {
        return m_portCycle[static_cast<size_t>(port)].load();
    }
    // True when the port's poll thread ended on its own during the running experiment: the port
    // is no longer polled until the next start.
    bool PollLost(int port) const { return m_pollLost[static_cast<size_t>(port)].load(); }
    // Seconds a port's poll thread has spent in exchanges since the experiment started.
    double PortBusySeconds(int port) const { return m_portBusy[static_cast<size_t>(port)].load(); }

    // ---- stores (indexed like the active list) ----
    // One store per entry of the active list: the count follows the list, so nothing shows the
    // stores of devices that left it.
    std::size_t StoreCount() const;
    CDeviceData& Data(std::size_t index);
    CExperimentFiles& Files(std::size_t index);
    // Gives every active device its store after the list changed: the store that holds its
    // records when there is one, otherwise an emptied or a new one. Stores of devices that left
    // the list are kept, out of the count, for when the device comes back; their records never
    // show (or get written) under another device's address.
    void EnsureStores();

    // ---- memory ----
    // From now on every store keeps only its newest records in memory and the older ones in a
    // file in `folder` (the user's cache folder), removed when the bench goes; a store that holds
    // records takes it at its next reset. False when no file can be made there: every record
    // then stays in memory, and `log` gets a line that says so. `log` also gets a line when the
    // disk fills up and when the file takes records again (on the appending thread).
    bool EnablePaging(const std::filesystem::path& folder,
                      std::function<void(const std::string&)> log);
    std::shared_ptr<CPageFile> PageFile() const;

    // ---- stored experiments ----
    // Replaces the device lists by the experiment's devices (all enabled, on port 0, at most
    // 100) and returns their stores, emptied, in file order. Refused (empty) while an
    // experiment, a search or another load runs. The saved device list is not touched: the
    // settings keep it, and RestoreSavedDevices (called by Start) brings it back.
    std::vector<CDeviceData*> PrepareLoad(const std::vector<std::uint32_t>& addresses);
    // Fills the stores PrepareLoad returned (blocking; any thread). Files loaded.
    int LoadPrepared(const SGroupLoadData& group, const std::vector<CDeviceData*>& stores,
                     ILoadListener* listener, const std::atomic<bool>* cancel = nullptr);
    // Both in one call.
    int LoadExperiment(const SGroupLoadData& group, ILoadListener* listener = nullptr,
                       const std::atomic<bool>* cancel = nullptr);
    bool IsLoading() const { return m_loading.load(); }
    // True while the device lists show a loaded experiment instead of the saved list.
    bool ShowsLoadedExperiment() const { return m_showsLoaded.load(); }
    // Puts the saved device list back after a load; nothing to do otherwise.
    void RestoreSavedDevices();
    // Ends a load whose stores PrepareLoad returned when something other than LoadPrepared
    // filled them (an experiment read back from the archive).
    void EndLoad() { m_loading = false; }
    // When the loaded experiment started and its comment (the label text alone), while
    // ShowsLoadedExperiment; LoadPrepared sets them from the group, a load from elsewhere
    // through SetLoadedExperiment.
    struct SLoadedExperiment {
        std::time_t time = 0;
        std::string label;
    };
    SLoadedExperiment LoadedExperiment() const;
    void SetLoadedExperiment(std::time_t time, const std::string& label);

    // ---- the experiment on screen ----
    // Its label file: a loaded experiment's own, beside its files; the running or last
    // experiment's when its files were named; empty when there is none (nothing loaded or run,
    // an experiment recorded without files, one read back from the archive).
    std::string ExperimentLabelPath() const;
    enum class LabelResult { Written, NoExperiment, WriteFailed };
    // Writes the comment (the label text) to that file, whatever the write-to-file switch says:
    // the operator asked for it. `detail` gets the path written, or why it failed.
    LabelResult WriteExperimentLabel(const std::string& text, std::string* detail = nullptr);

    // ---- device parameters ----
    // Reads identity, FLASH and EEPROM of every active device and writes "<name>.fld" and
    // "<name>.eep" into the save folder (the user's data folder when the save folder does not
    // exist). Returns the report; `failed` tells whether any step failed. `stop` may cut it short.
    // The report is worded in `language`; the listener gets its steps as they happen.
    std::string SaveDeviceParameters(bool* failed = nullptr,
                                     const std::atomic<bool>* stop = nullptr,
                                     Language language = Language::Russian);
    // The folder parameter files go to.
    std::string ParameterFolder() const;

private:
    friend class CPollThread;
    int PollPort(CPollThread& thread, int port);
    // A poll thread's loop has ended; `asked`: because of a stop request.
    void OnPollEnded(int port, bool asked);
    // Waits for poll threads of the last experiment that are still ending; false (and the
    // operator told which port) when one does not end within the limit.
    bool WaitOldPollThreads(int limitMs);
    bool IdentifyWithWait(std::size_t index, const SStartOptions& options);
    // One attempt to get back a port that is not open: reports the outage once, waits the
    // growing pause through `wait` (false: cut short), then opens the port afresh.
    bool RetryPortOpen(int port, const std::function<bool(int ms)>& wait);
    void ReportWriteErrors(std::size_t index);
    // After a file was closed: where records went that could not be written where asked.
    void ReportRescue(std::size_t index);
    void Emit(auto&& fn) const {
        if (auto* l = m_listener.load()) fn(*l);
    }

    ISettingsStore& m_store;
    CExperimentSettings m_settings;
    std::unique_ptr<CLogFiles> m_logFiles;
    std::array<std::unique_ptr<CLinkPort>, kPortCount> m_ports;
    std::array<std::unique_ptr<CLinkR307>, kPortCount> m_links;
    std::array<std::unique_ptr<CPollThread>, kPortCount> m_pollThreads;

    mutable std::mutex m_storesMutex;
    std::vector<std::unique_ptr<CDeviceData>> m_data;
    std::shared_ptr<CPageFile> m_pageFile;
    std::vector<std::unique_ptr<CExperimentFiles>> m_files;
    // The address each store holds records of (none: an emptied store nobody took yet), and how
    // many stores belong to the active list (the first ones).
    std::vector<std::optional<std::uint32_t>> m_storeOwner;
    std::size_t m_storeCount = 0;
    mutable std::mutex m_loadedMutex;
    SLoadedExperiment m_loadedExperiment;
    std::mutex m_recomputeMutex;  // one RecomputeStatistics at a time

    // Guards every change of m_settings.devices and the front ends' reads of it; taken before
    // m_foundMutex where both are held.
    mutable std::mutex m_devicesMutex;
    mutable std::mutex m_foundMutex;
    std::vector<SFoundInfo> m_foundInfo;

    std::atomic<IBenchListener*> m_listener{nullptr};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_searching{false};
    std::atomic<bool> m_starting{false};
    std::atomic<bool> m_loading{false};
    std::atomic<bool> m_showsLoaded{false};
    std::atomic<int> m_experimentNumber{0};
    std::mutex m_cancelMutex;
    std::condition_variable m_cancelCv;
    bool m_cancelStart = false;
    std::size_t m_waitingIndex = SIZE_MAX;  // the device a start waits for (cancel mutex)
    bool m_skipWaiting = false;
    bool m_autoStop = false;
    double m_lastStopSeconds = 0;
    struct SPortOutage {
        bool reported = false;
        int pauseMs = 0;
    };
    // Each touched by the port's poll thread, or by Start before the threads run.
    std::array<SPortOutage, kPortCount> m_outage{};
    std::atomic<double> m_stoppedSeconds{0};
    std::array<std::atomic<double>, kPortCount> m_portCycle{};
    std::array<std::atomic<double>, kPortCount> m_portBusy{};
    std::array<std::atomic<bool>, kPortCount> m_pollLost{};
    // One flag per active device, each written only by its port's poll thread.
    std::vector<char> m_writeErrorsReported;
};

}  // namespace dravmer
