#pragma once
// The two experiment-file formats: binary ".adc" (a 124-byte header, then 32-bit floats) and
// text ".txt" (Windows-1251, CR LF, fixed-width columns). Writers build bytes; readers fill a
// store record by record through AddSample, so the running statistics come with the load.
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/input_file.h"
#include "measure/device_data.h"
#include "platform/language.h"

namespace dravmer {

inline constexpr int kAdcHeaderSize = 124;
inline constexpr char kAdcSignature[] = "Dravmer format .adc ;";
inline constexpr std::size_t kReadBlock = 131072;
inline constexpr std::size_t kTextMinSize = 1024;
inline constexpr std::size_t kTextMaxLine = 1024;

// What the writers need of the experiment settings, copied in by the caller.
struct SFileOptions {
    std::array<bool, CMeasRecord::kParamCount> toFile;
    std::array<int, CMeasRecord::kParamCount> fileDecimals;
    std::array<int, CMeasRecord::kParamCount> tableDecimals;
    double ky = 19.93;
    bool writeToFile = true;  // FlagToFile
    SFileOptions();
    // The selected columns in ascending index order.
    std::vector<int> Columns() const;
};

// ---- writers ----
std::string AdcHeader(const std::vector<int>& columns, std::uint8_t fwMajor, std::uint8_t fwMinor,
                      std::time_t startTime);
void AppendAdcRecord(std::string& out, const CMeasRecord& r, const std::vector<int>& columns);
// Lines 1 and 2 (Windows-1251, CR LF).
std::string TxtHeader(int kg, int kr, double ky, const std::vector<int>& columns);
void AppendTxtRecord(std::string& out, const CMeasRecord& r, const std::vector<int>& columns,
                     const std::array<int, CMeasRecord::kParamCount>& decimals);

// ---- readers ----
// Called after every block with the share of the file read so far (0..100); returning false
// cancels the load (what was read stays in the store).
using LoadProgressFn = std::function<bool(int percent)>;

struct SLoadReport {
    int records = 0;                 // records appended
    std::vector<int> columns;        // catalogue index of each column, in file order (-1: skipped)
    std::uint64_t ignoredBytes = 0;  // trailing partial record of a binary file
    int skippedLines = 0;            // text lines that were not whole records
    // binary records whose время, Цикл, Cст or GvEr their fields cannot hold (negative, not
    // whole, too large): not records of a bench
    int skippedRecords = 0;
    int unknownColumns = 0;  // header names or identifiers that are not in the catalogue
    double ky = 0;           // text files: the Ky of the first line
    bool hasKy = false;
    bool cancelled = false;
    std::string error;            // why the load failed, empty on success
    std::string warning;          // why reading stopped early although the load succeeded
    // When the file itself could not be opened or read: what the file system said (error then
    // holds the same in English).
    FileFailure fileFailure = FileFailure::None;
    int fileErrno = 0;
    std::string path;
    // One line for an operator, after the file's name: what was left out and why (the reader's
    // own reasons in English; what the file system said in the language asked).
    std::string Summary(Language language = Language::English) const;
    // Something of the file was not read: records or lines skipped, trailing bytes, reading
    // stopped early. Unknown columns are not counted: their records are all there.
    bool Incomplete() const {
        return ignoredBytes || skippedLines || skippedRecords || !warning.empty();
    }
};

// Reads an experiment file into the store (which it resets first). ".txt" in the path reads
// text, ".adc" binary (binary wins when both occur). 1 on success, 0 on failure; the report,
// when given, tells what was read and what was left out.
int LoadExperimentFile(CDeviceData& store, const std::string& path,
                       const LoadProgressFn& progress = nullptr, SLoadReport* report = nullptr);
int LoadAdcFile(CDeviceData& store, const std::string& path, const LoadProgressFn& progress,
                SLoadReport& report);
int LoadTxtFile(CDeviceData& store, const std::string& path, const LoadProgressFn& progress,
                SLoadReport& report);

// Takes the records of a file a batch at a time, in file order; false stops the reading (the load
// then fails, with the reason the taker puts in the report's error).
using RecordBatchFn = std::function<bool(const CMeasRecord* records, int n, SLoadReport& report)>;
// Reads an experiment file as LoadExperimentFile does but hands its records to `take` instead of
// keeping them, so that a file of any size passes through a block of memory. The store keeps
// no record; it is told what the file says of itself (start time, firmware, where it came from),
// the start time of a binary file before the first record is handed over.
int StreamExperimentFile(CDeviceData& store, const std::string& path, const RecordBatchFn& take,
                         const LoadProgressFn& progress, SLoadReport& report);

// The catalogue index of each column of a file, in file order (-1 for a column the catalogue does
// not know), read from its header alone. False, with the reason, when there is no header to read.
bool ReadFileColumns(const std::string& path, std::vector<int>& columns, std::string& error,
                     Language language = Language::English);

// Writes an experiment file a batch of records at a time, as the bytes SaveStoreAs writes: the
// header with the first batch (a text header takes its gain bytes from the first record), or at
// Finish for a file without records.
class CExperimentFileWriter {
public:
    using Sink = std::function<bool(std::string_view bytes)>;
    CExperimentFileWriter(bool text, std::vector<int> columns, const SFileOptions& options,
                          std::uint8_t fwMajor, std::uint8_t fwMinor, std::time_t startTime,
                          Sink sink);
    // False when the sink could not take the bytes.
    bool Add(const CMeasRecord* records, int n);
    bool Finish();
    std::int64_t Records() const { return m_records; }

private:
    bool Header(const CMeasRecord& first);
    bool Flush();

    bool m_text;
    std::vector<int> m_columns;
    SFileOptions m_options;
    std::uint8_t m_fwMajor, m_fwMinor;
    std::time_t m_startTime;
    Sink m_sink;
    std::string m_buffer;
    bool m_headerDone = false;
    std::int64_t m_records = 0;
};

// Writes every record of the store to path in one format (a new file; an existing one is
// replaced). The columns are written in the order given. 0 on success, -1 on a write failure.
int SaveStoreAs(const CDeviceData& store, const std::string& path, bool text,
                const std::vector<int>& columns, const SFileOptions& options);

}  // namespace dravmer
