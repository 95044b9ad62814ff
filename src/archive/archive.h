#pragma once
// The experiment archive: every archived experiment with its settings, its devices, their
// statistics as rows one can query, and their records in a form that gives back every value
// exactly. One schema over two back ends, chosen by the URL:
//   sqlite:PATH               an embedded file (the default, in the user's data folder)
//   postgresql://...          a lab server shared by several benches (libpq URI or key=value)
// An experiment is written in one transaction, so a failure or a killed process leaves no part
// of it; an experiment archived again is recognised by its fingerprint and not stored twice.
#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/record_codec.h"
#include "measure/meas_record.h"
#include "measure/stat_kind.h"

namespace dravmer {

namespace archive {
class IDbConnection;
}

// Result codes of the archive.
inline constexpr int kArchiveOk = 0;
inline constexpr int kArchiveDuplicate = 1;     // already archived; nothing written
inline constexpr int kArchiveDbError = -1;      // a statement failed (message in the error)
inline constexpr int kArchiveUnreachable = -2;  // the database cannot be opened or reached
inline constexpr int kArchiveNewerSchema = -3;  // written by a newer program; left untouched
inline constexpr int kArchiveBadUrl = -4;
inline constexpr int kArchiveStopped = -5;   // the stop flag was raised; nothing written
inline constexpr int kArchiveNotFound = -6;  // no experiment with that id
inline constexpr int kArchiveBadData = -7;   // stored records that do not decode
inline constexpr int kArchiveNoData = -8;    // nothing to archive (no device, no files)
inline constexpr int kArchiveFileError = -9;
inline constexpr int kArchiveBusy = -10;  // the experiment is running
// An SQLite file that holds another program's tables; it is neither read nor changed.
inline constexpr int kArchiveForeign = -11;

// The schema this program writes; older archives are migrated on open.
inline constexpr int kArchiveSchemaVersion = 2;

inline constexpr int kStatParamCount = CMeasRecord::kParamCount;

// A device of an archived experiment: everything but its records.
struct SArchivedDeviceInfo {
    std::int64_t rowId = 0;  // its row in the archive (set when read from one)
    std::uint32_t address = 0;
    int port = -1;  // 0..3; -1 when not known (archived from files)
    std::uint8_t fwMajor = 0, fwMinor = 0;
    std::string transducer;  // the transducer number the search read; empty when not known
    std::time_t startTime = 0;  // the .adc header's start time
    int recordCount = 0;
    double receivedPercent = 0;
    std::array<std::uint32_t, 22> linkStat{};  // the link counters (words of SLinkDevStat)
    bool hasLinkStat = false;
    std::uint8_t kg = 0, kr = 0;  // gain bytes of the first record (the text file's first line)
    // Statistics over all records: [kind][param], kinds 0..10, params 0..42 (0..2 stay 0).
    std::array<std::array<double, kStatParamCount>, 11> stats{};
    int n = 0, nE = 0, nO = 0;
};

struct SArchivedDevice : SArchivedDeviceInfo {
    // The records: recordCount rows of the experiment's columns, row after row.
    std::vector<double> values;
};

// An archived experiment: everything but its devices.
struct SArchivedHeader {
    std::int64_t id = 0;  // set by the archive
    std::string date;     // "%y%m%d", as in the file names
    int number = 0;       // experiment number of that day
    std::time_t startTime = 0;
    std::uint32_t duration = 0;  // seconds: the largest время of the last records
    std::string comment;         // the label text
    std::string host;            // the bench that archived it
    double ky = 19.93;
    double pollPeriod = 0.5;
    bool text = false;             // the experiment's files were .txt
    std::vector<int> columns;      // catalogue indices of the file columns, in file order
    std::array<int, kStatParamCount> fileDecimals{};  // decimals of the text columns
    std::time_t archivedAt = 0;
};

struct SArchivedExperiment : SArchivedHeader {
    std::vector<SArchivedDevice> devices;
};

// Reads values first .. first+n-1 of one column (its index in the experiment's columns) of a
// device's records into out.
using ArchiveColumnReadFn = std::function<void(int column, int first, int n, double* out)>;

// A device to archive: its description and where its records are, read a column at a time, so
// that the archive never holds more than what one device's records pack into.
struct SDeviceToArchive {
    SArchivedDeviceInfo info;
    ArchiveColumnReadFn read;
};
// Gives device k (0-based, in the experiment's order) to the archive; kArchiveOk, or a code and
// `error`, which end the archiving with nothing written. Called once per device.
using ArchiveDeviceSourceFn =
    std::function<int(std::size_t k, SDeviceToArchive& device, std::string& error)>;

// One row of the archive's list.
struct SArchiveListRow {
    std::int64_t id = 0;
    std::string date;
    int number = 0;
    std::time_t startTime = 0;
    std::uint32_t duration = 0;
    bool text = false;
    std::vector<std::uint32_t> addresses;
    std::string comment;
    std::string host;
};

struct SArchiveFilter {
    bool hasDevice = false;
    std::uint32_t device = 0;
    std::time_t from = 0;  // start time from (inclusive); 0: no bound
    std::time_t to = 0;    // start time before (exclusive); 0: no bound
};

struct SHistoryRow {
    std::int64_t id = 0;
    std::time_t startTime = 0;
    std::string date;
    int number = 0;
    double value = 0;
};

// Progress of a long write or read: done of total steps (devices); returning false stops.
using ArchiveProgressFn = std::function<bool(int done, int total)>;

// The user's archive when the setting is empty: sqlite:<data folder>/archive.sqlite.
std::string DefaultArchiveUrl();
// The URL with any password replaced by "***", for messages.
std::string RedactArchiveUrl(const std::string& url);
// The fingerprint that recognises an experiment archived again: date, number, and for every
// device (by address) its record count and the время and Цикл of each record, the values that
// come out of every source (bench, .adc, .txt) the same.
std::string ExperimentFingerprint(const SArchivedExperiment& e);

// How an archive is opened.
struct SArchiveAccess {
    // Only read (list, history, export): nothing is created, migrated or written, so an archive
    // on a read-only medium, or of an older program, can be read as it is. A missing SQLite file
    // reads as an empty archive and stays missing.
    bool readOnly = false;
    // Raised by another thread (Ctrl-C, "Отмена"): connecting or the statement that waits is
    // cancelled, the call returns kArchiveStopped, and nothing of an unfinished Add stays.
    const std::atomic<bool>* cancel = nullptr;
};

// One connection; use an archive from one thread at a time (a worker opens its own).
class CArchive {
public:
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    // Opens (creating or migrating the schema unless read-only). Null with a code and a message
    // on failure.
    static std::unique_ptr<CArchive> Open(const std::string& url, int& code, std::string& error,
                                          const SArchiveAccess& access = {});
    // Tests: an archive created with an older schema, as an older program left it.
    static std::unique_ptr<CArchive> OpenAtVersion(const std::string& url, int version, int& code,
                                                   std::string& error);

    const std::string& Url() const { return m_url; }
    const char* Backend() const;
    // 0: nothing was ever archived there (possible only when read-only).
    int SchemaVersion() const { return m_version; }
    bool ReadOnly() const { return m_access.readOnly; }
    const std::string& LastError() const { return m_error; }

    // Stores the experiment in one transaction. kArchiveOk (id set), kArchiveDuplicate (id of
    // the copy already there), kArchiveStopped, or an error; on anything but Ok nothing stays.
    int Add(const SArchivedExperiment& e, std::int64_t& id,
            const ArchiveProgressFn& progress = nullptr, const std::atomic<bool>* stop = nullptr);
    // The same with the devices given one at a time by `source`: `addresses` names them (device
    // k has addresses[k] and position k). e's date and number must be set; the source may fill
    // in the rest of e (columns, format, decimals, Ky, start, duration) as it goes, the columns
    // with the first device it gives at the latest. An experiment archived before is found when
    // every device has been read, and the transaction then leaves nothing.
    int AddFrom(SArchivedHeader& e, const std::vector<std::uint32_t>& addresses,
                const ArchiveDeviceSourceFn& source, std::int64_t& id,
                const ArchiveProgressFn& progress = nullptr,
                const std::atomic<bool>* stop = nullptr);
    int List(const SArchiveFilter& filter, std::vector<SArchiveListRow>& rows);
    // One statistic of one parameter of one device, one row per experiment, oldest first.
    int History(std::uint32_t address, int param, StatKind kind, std::vector<SHistoryRow>& rows);
    // The whole experiment with its records.
    int Get(std::int64_t id, SArchivedExperiment& e, const ArchiveProgressFn& progress = nullptr);
    // The experiment with its devices' descriptions and statistics, without their records
    // (their values stay empty).
    int Describe(std::int64_t id, SArchivedExperiment& e);
    // The records of device k of an experiment Describe gave, inflated; kArchiveBadData when
    // they do not decode.
    int ReadRecords(const SArchivedExperiment& e, std::size_t k, archive::SRecordPlanes& planes);
    int Count(std::int64_t& experiments);

private:
    CArchive(std::string url, std::unique_ptr<archive::IDbConnection> db, SArchiveAccess access);
    static std::unique_ptr<CArchive> OpenWith(const std::string& url, int version,
                                              const SArchiveAccess& access, int& code,
                                              std::string& error);
    int Prepare(int targetVersion);
    int ReadSchemaVersion(int& version);
    int Fail(const std::string& what);
    // A rollback runs even when the cancel flag is up: it is what leaves nothing behind.
    void Rollback();
    // A column that an older schema lacks reads as its default there.
    std::string Column(const char* name) const;
    int Insert(SArchivedHeader& e, const std::vector<std::uint32_t>& addresses,
               const ArchiveDeviceSourceFn& source, std::string& fingerprint, std::int64_t& id,
               const ArchiveProgressFn& progress, const std::atomic<bool>* stop);
    int InsertDevice(std::int64_t experimentId, std::size_t position, const SArchivedHeader& e,
                     const SDeviceToArchive& d, const std::string& statsSql);

    std::string m_url;
    std::unique_ptr<archive::IDbConnection> m_db;
    SArchiveAccess m_access;
    int m_version = 0;
    std::string m_error;
};

}  // namespace dravmer
