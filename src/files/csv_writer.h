#pragma once
// CSV of experiment records for the lab's own tools (pandas, Excel, R): one row per record,
// columns `datetime` (ISO 8601 local time with its UTC offset; local time alone for a
// spreadsheet), `address`, then the parameters under their short names. Each value is the
// shortest decimal text that reads back to the value the experiment stored: the float of an
// ".adc", the six-decimal number of a ".txt".
#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/device_data.h"

namespace dravmer {

// What the values were before they reached the store: the floats of a binary file, or doubles
// (a text file's decimals, or the running experiment's own values).
enum class CsvValues { kFloat, kDouble };

struct SCsvOptions {
    bool units = false;  // a second header row with each column's unit
    // For a spreadsheet in a locale with a decimal comma (Russian Excel): ';' between fields, a
    // decimal comma, a UTF-8 byte-order mark, CR LF line ends, and the datetime as local time
    // without its offset (spreadsheets take a time with an offset for text).
    bool excel = false;
};

// "2026-12-06T10:15:03+03:00": local time with its offset from UTC at that moment.
std::string IsoLocalDateTime(std::time_t t);
// "2026-12-06 10:05:03": local time alone, which spreadsheets read as a date and time.
std::string SpreadsheetLocalDateTime(std::time_t t);

// One source of rows: a store, the device's address (none when unknown), the experiment's start
// time (the rows' datetime is the start plus время) and which parameters the source holds (the
// other cells of its rows stay empty).
struct SCsvSource {
    const CDeviceData* store = nullptr;
    std::optional<std::uint32_t> address;
    std::time_t start = 0;
    CsvValues values = CsvValues::kDouble;
    std::array<bool, CMeasRecord::kParamCount> has{};  // all false: every parameter
    int first = 0;                                     // records [first, last) of the store
    int last = -1;                                     // -1: up to the newest record
};

class CCsvWriter {
public:
    // Receives the text in chunks; false when it could not be written.
    using Sink = std::function<bool(std::string_view)>;
    // Called with the share (0..100) of the current source written; false cancels.
    using Progress = std::function<bool(int percent)>;

    CCsvWriter(std::vector<int> columns, SCsvOptions options, Sink sink);

    // The byte-order mark (Excel), the header row and the units row.
    bool WriteHeader();
    // The rows of one source. False when the sink failed or the progress cancelled.
    bool WriteRows(const SCsvSource& source, const Progress& progress = nullptr);
    // Rows of records handed over directly (a file read as it streams; the source's store is
    // not read). False when the sink failed.
    bool WriteRecords(const SCsvSource& source, const CMeasRecord* records, int n);

    std::uint64_t Rows() const { return m_rows; }
    bool Cancelled() const { return m_cancelled; }

    // One cell of a number as the writer puts it (for tests and the stream).
    static std::string FormatValue(double value, int param, CsvValues values, bool decimalComma);

private:
    void AppendField(std::string& out, std::string_view text) const;
    void AppendRow(std::string& out, const SCsvSource& source, const CMeasRecord& r);

    std::vector<int> m_columns;
    SCsvOptions m_options;
    Sink m_sink;
    char m_separator;
    const char* m_lineEnd;
    std::uint64_t m_rows = 0;
    bool m_cancelled = false;
    // The last datetime text, kept for the next record of the same second.
    std::time_t m_lastTime = -1;
    std::string m_lastTimeText;
};

// The parameters of a set of sources in one header: the union of their columns in catalogue
// order.
std::vector<int> UnionOfColumns(const std::vector<std::vector<int>>& columnSets);

// A new file that appears under its name only when it is whole: the text goes to a temporary
// file beside it, and Commit gives it the name, never replacing a file that exists by then.
class CNewFile {
public:
    CNewFile() = default;
    ~CNewFile();  // an uncommitted file is removed
    CNewFile(const CNewFile&) = delete;
    CNewFile& operator=(const CNewFile&) = delete;

    // False (with the reason) when the name is taken or the temporary file cannot be made.
    bool Open(const std::string& path, std::string& error);
    bool Write(std::string_view bytes);
    // Flushes, closes and names the file. False (with the reason) on any failure; the
    // temporary file is removed then.
    bool Commit(std::string& error);
    void Abandon();

private:
    std::string m_path, m_tempPath;
    int m_fd = -1;
    int m_writeErrno = 0;
};

}  // namespace dravmer
