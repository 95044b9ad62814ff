#pragma once
// Between the archive and the experiment files: experiments are built from stores or from
// experiment files, and given back as files or stores. (Archiving a CBench's experiment is in
// bench/bench_archive.h.)
#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "measure/device_data.h"
#include "platform/settings_store.h"

namespace dravmer {

class CPageFile;

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
};

// One device's part from a store: its records in the given columns and its statistics over all
// of them. With `recompute` the store's own statistics are recomputed over all records (a store
// read only for archiving); without it the store is left as it is and a copy is computed.
void DeviceFromStore(CDeviceData& store, const std::vector<int>& columns, bool recompute,
                     SArchivedDevice& d);

// The same without the records: the statistics over every record (the store's own, which may
// be over a range the operator selected, stay as they are), gains of the first record, firmware,
// start, count and received share.
void DeviceInfoFromStore(const CDeviceData& store, SArchivedDeviceInfo& d);
// The store's records in those columns, row after row.
void ValuesFromStore(const CDeviceData& store, const std::vector<int>& columns,
                     std::vector<double>& values);
// The archive's reader of a store's records, a column (catalogue index columns[column]) at a time.
ArchiveColumnReadFn StoreColumnReader(const CDeviceData& store, const std::vector<int>& columns);

// Archives the files of one experiment (one file per device, as a folder's list groups them)
// device by device: only one file's records are held at a time, in a store that keeps them in
// `pageFile` when one is given. `time` and `label` as the list shows them; e gets the
// experiment as archived, without records. Files are only read. kArchiveFileError (and `error`)
// for files that are not one experiment; otherwise as CArchive::AddFrom, whose LastError() then
// says what went wrong.
int ArchiveFiles(CArchive& archive, const std::vector<std::string>& paths, std::time_t time,
                 const std::string& label, const SArchiveDefaults& defaults,
                 std::shared_ptr<CPageFile> pageFile, SArchivedHeader& e, std::int64_t& id,
                 std::string& error, const ArchiveProgressFn& progress = nullptr,
                 const std::atomic<bool>* stop = nullptr);

// The header of an experiment archived from its files: the bench's defaults, the time and label
// the list shows, this host; no devices yet.
void StartFilesHeader(SArchivedHeader& e, std::time_t time, const std::string& label,
                      const SArchiveDefaults& defaults);

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
// The same straight from the archive, one device's records at a time. Archive failures return
// their code with the archive's message in `error`; nothing written stays.
int ExportArchived(CArchive& archive, std::int64_t id, const std::string& dir,
                   const std::string& format, std::vector<std::string>& written,
                   std::string& error, const ArchiveProgressFn& progress = nullptr);

// Fills a store with device `index` of an archived experiment, as loading its file would: the
// store is reset, gets the records (with their running statistics), the firmware, the start
// time and the title "date-NNN-address". The loading dialog's archive source uses it.
// False when there is no such device.
bool FillStoreFromArchive(const SArchivedExperiment& e, std::size_t index, CDeviceData& store);

// The same for a device whose records were read from the archive on their own
// (CArchive::ReadRecords): e as Describe gave it.
bool FillStoreFromRecords(const SArchivedHeader& e, const SArchivedDeviceInfo& d,
                          const archive::SRecordPlanes& records, CDeviceData& store);

// An experiment's label file (Windows-1251, at most 1024 bytes) as UTF-8; empty without one.
std::string ReadLabelFile(const std::string& path);

// The host name of this bench.
std::string BenchHostName();

}  // namespace dravmer
