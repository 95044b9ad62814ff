#pragma once
// Stored experiments of a folder: every valid experiment file becomes an entry; a group is a run
// of entries (sorted by name) with the same calendar date and experiment number, one file per
// device. The loader fills one store per file of a group, with progress and cancel.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "files/file_format.h"
#include "measure/device_data.h"
#include "platform/language.h"
#include "platform/worker_thread.h"

namespace dravmer {

struct SExperimentEntry {
    std::string name;      // the name without extension: "261206-007-000101"
    std::time_t time = 0;  // local date-time of the entry
    std::uint32_t address = 0;
    int number = 0;
    std::uint32_t duration = 0;  // seconds: время of the last record
    bool text = false;
};

struct SExperimentGroup {
    int first = 0;  // index of the first entry
    int count = 0;
};

// One row of the experiment list.
struct SGroupDescription {
    std::time_t time = 0;
    std::string dateTimeText;  // "%d-%m-%Y     %H:%M"
    int number = 0;
    std::uint32_t duration = 0;   // seconds
    std::string durationMinutes;  // "%1.1f"
    std::string format;           // ".txt" / ".adc"
    int devices = 0;
    std::vector<std::uint32_t> addresses;
    std::string addressText;  // "101; 102"
    std::vector<std::string> files;
    std::string label;    // the label file's text (UTF-8), empty without one
    std::string comment;  // "%2.2d-%2.2d-%d - Exp: %d  %s", empty without a label
};

struct SGroupLoadData {
    std::vector<std::string> paths;
    std::vector<std::uint32_t> addresses;
    std::string comment;  // as the list shows it
    std::string label;    // the label file's text alone
    std::time_t time = 0;
};

// Why a file is not taken as an experiment file. The front ends word it in their language.
enum class ExperimentFileFault {
    None,
    BadName,          // not YYMMDD-NNN-AAAAAA.adc or .txt
    BadExtension,     // neither .adc nor .txt
    NoSuchFile,       // nothing (or no regular file) at the path
    CannotOpen,       // there, but cannot be opened
    TextTooShort,     // a .txt file of fewer than kMinTextFileBytes
    ShortHeader,      // an .adc file shorter than its header
    BadSignature,     // the header does not begin with the format's signature
    BadColumnCount,   // the header's column count is outside 0..kParamCount (value: the count)
    BadLastTime,      // the last record's time is no whole second up to seven days
};

struct SExperimentFileProblem {
    ExperimentFileFault fault = ExperimentFileFault::None;
    std::int64_t value = 0;  // the column count for BadColumnCount
    explicit operator bool() const { return fault != ExperimentFileFault::None; }
};

// A text experiment file holds at least this many bytes (its last kilobyte is read).
inline constexpr int kMinTextFileBytes = 1024;

// Checks of one file (exposed for tests and the command line).
// Name: "DDDDDD-DDD-" then 6 to 10 address digits (a 32-bit address) and ".ext", 21 to 25
// characters. Fills name, number and address.
bool ParseExperimentName(const std::string& fileName, SExperimentEntry& entry);
// Reads what the list needs from the file itself; false when the file is not acceptable
// (`problem` says what is wrong with it).
bool CheckExperimentFile(const std::string& path, SExperimentEntry& entry,
                         SExperimentFileProblem* problem = nullptr);
// Why a file is not listed as an experiment file (its name or its contents); no fault when it
// is acceptable.
SExperimentFileProblem FindExperimentFileProblem(const std::string& path);
// The problem in English (logs, tests); empty for no fault.
std::string DescribeExperimentFileProblem(const SExperimentFileProblem& problem);
// Both: why a file is not listed, in English; empty when it is acceptable.
std::string ExperimentFileProblem(const std::string& path);

class CExperimentList {
public:
    // Rebuilds the list from a folder. Returns the number of entries.
    int Scan(const std::string& folder);
    // Why the last scan could not read the folder (or stopped part way), in `language`; empty
    // when it could.
    std::string ScanError(Language language = Language::Russian) const;
    const std::string& Folder() const { return m_folder; }
    const std::vector<SExperimentEntry>& Entries() const { return m_entries; }
    int GroupCount() const { return static_cast<int>(m_groups.size()); }
    SExperimentGroup Group(int n) const;
    // The group holding an entry whose name equals the file's title; -1 if none.
    int FindGroup(const std::string& fileName) const;
    SGroupDescription Describe(int n) const;
    SGroupLoadData LoadData(int n) const;

private:
    std::string m_folder;  // ends with '/'
    enum class ScanFailure { None, Unreadable, Incomplete };
    ScanFailure m_scanFailure = ScanFailure::None;
    std::string m_scanWhere, m_scanSystem;  // the folder and the system's reason
    std::vector<SExperimentEntry> m_entries;
    std::vector<SExperimentGroup> m_groups;
};

// Progress of a group load: file i of count starts, then the percentages of that file. The
// calls come one at a time and in that order, from whichever of the threads reading the files.
struct ILoadListener {
    virtual ~ILoadListener() = default;
    virtual void OnFileStarted(int index, int count, const std::string& path) = 0;
    virtual void OnFileProgress(int index, int percent) = 0;
    virtual void OnFileLoaded(int index, int result, const SLoadReport& report) = 0;
    virtual void OnAllLoaded(bool cancelled) = 0;
};

// Loads file i into stores[i], a few files side by side. A file that fails keeps what was read
// and the load goes on with the next; a cancel stops after the current block. Returns the number
// of files loaded.
int LoadGroup(const SGroupLoadData& group, const std::vector<CDeviceData*>& stores,
              ILoadListener* listener, const std::atomic<bool>* cancel = nullptr);

// The same on a worker thread; Stop() cancels.
class CExperimentLoader : public CWorkerThread {
public:
    CExperimentLoader(SGroupLoadData group, std::vector<CDeviceData*> stores,
                      ILoadListener* listener)
        : m_group(std::move(group)), m_stores(std::move(stores)), m_listener(listener) {}
    ~CExperimentLoader() override { Stop(); }
    int Loaded() const { return m_loaded.load(); }

protected:
    int Run() override;

private:
    SGroupLoadData m_group;
    std::vector<CDeviceData*> m_stores;
    ILoadListener* m_listener;
    std::atomic<int> m_loaded{0};
};

}  // namespace dravmer
