#pragma once
// Between the archive and the rest of the bench: experiments are built from stores (a stopped
// or loaded experiment of a CBench) or from experiment files, and given back as files.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "measure/device_data.h"
#include "platform/settings_store.h"

namespace dravmer {

class CBench;
class CExperimentSettings;

// Settings of section Archive.
inline constexpr const char* kArchiveSection = "Archive";
inline constexpr const char* kArchiveUrlKey = "Url";
inline constexpr const char* kArchiveOnStopKey = "ArchiveOnStop";
// The Url setting, or the default archive when it is empty.
std::string ArchiveUrlFromSettings(const ISettingsStore& store);
// Whether every experiment is archived when it stops.
bool ArchiveOnStop(const ISettingsStore& store);

// What files do not say, taken from the experiment settings.
struct SArchiveDefaults {
    double ky = 19.93;
    double pollPeriod = 0.5;
    std::array<int, kStatParamCount> fileDecimals{};
    SArchiveDefaults();
    explicit SArchiveDefaults(const CExperimentSettings& settings);
};

// One device's part from a store: its records in the given columns and its statistics over all
// of them. With `recompute` the store's own statistics are recomputed over all records (a store
// read only for archiving); without it the store is left as it is and a copy is computed.
void DeviceFromStore(CDeviceData& store, const std::vector<int>& columns, bool recompute,
                     SArchivedDevice& d);

// Loads the files of one experiment (one file per device, as a folder's list groups them) and
// builds the experiment. `time` and `label` as the list shows them. Files are only read.
int ExperimentFromFiles(const std::vector<std::string>& paths, std::time_t time,
                        const std::string& label, const SArchiveDefaults& defaults,
                        SArchivedExperiment& e, std::string& error,
                        const ArchiveProgressFn& progress = nullptr,
                        const std::atomic<bool>* stop = nullptr);

// The decimals of each column of a text experiment file, read from its first records; columns
// that cannot be read keep what `decimals` holds.
void ReadTextDecimals(const std::string& path, const std::vector<int>& columns,
                      std::array<int, kStatParamCount>& decimals);

// Writes the experiment's files into dir (created when missing): one file per device, named as
// the bench names them, and the label file when there is a comment. format: "adc", "txt" or
// empty for the format it was archived from. Existing files are never replaced: when one is in
// the way nothing is written. kArchiveOk with the paths written, or kArchiveFileError.
int ExportExperiment(const SArchivedExperiment& e, const std::string& dir,
                     const std::string& format, std::vector<std::string>& written,
                     std::string& error);

// Fills a store with device `index` of an archived experiment, as loading its file would: the
// store is reset, gets the records (with their running statistics), the firmware, the start
// time and the title "date-NNN-address". The loading dialog's archive source uses it.
// False when there is no such device.
bool FillStoreFromArchive(const SArchivedExperiment& e, std::size_t index, CDeviceData& store);

// ---- the window's command "Сохранить эксперимент в БД" and archiving at stop ----
// Builds the experiment from the bench's current stores (a stopped or a loaded experiment) and
// archives it into the archive at url. Blocking: run it on a worker thread. progress gets
// (done, total) steps (reading the stores, then writing the devices); returning false, or
// raising *stop, ends it with kArchiveStopped and nothing written. Refused (kArchiveNoData)
// while the experiment runs or when no store holds records. id: the experiment's id (also
// for kArchiveDuplicate); message: one line for the operator.
int ArchiveBenchExperiment(CBench& bench, const std::string& url, std::int64_t& id,
                           std::string& message, const ArchiveProgressFn& progress = nullptr,
                           const std::atomic<bool>* stop = nullptr);
// The experiment of the bench's stores without writing it (the CLI and tests use it).
int ExperimentFromBench(CBench& bench, SArchivedExperiment& e, std::string& error,
                        const ArchiveProgressFn& progress = nullptr,
                        const std::atomic<bool>* stop = nullptr);

// The host name of this bench.
std::string BenchHostName();

}  // namespace dravmer
