#pragma once
// The experiment on screen as one CSV table: every device of the current list, running or
// loaded, with the columns, values and start times its files have (the window's "Экспорт в
// CSV…"). Blocking; runs on a worker with progress and cancel.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "files/csv_writer.h"
#include "platform/language.h"

namespace dravmer {

class CBench;

struct SCsvExportOptions {
    SCsvOptions csv;
    // Only the records of the statistics range, seconds from..to (время).
    bool rangeOnly = false;
    std::uint32_t from = 0, to = 0;
    Language language = Language::Russian;  // of the report's error
};

enum class CsvExportResult { Written, NoData, Cancelled, Failed };

struct SCsvExportReport {
    CsvExportResult result = CsvExportResult::Failed;
    std::uint64_t rows = 0;
    int devices = 0;
    std::string error;  // why it failed (for the operator)
};

// Writes a new file at path (an existing one is never replaced; nothing is left behind when
// the export fails or is cancelled). progress gets the share done (0..100); returning false or
// `cancel` set stops it.
SCsvExportReport ExportBenchCsv(CBench& bench, const std::string& path,
                                const SCsvExportOptions& options,
                                const std::function<bool(int percent)>& progress = nullptr,
                                const std::atomic<bool>* cancel = nullptr);

// The records [first, last) of a store whose время lies in from..to.
void RecordRange(const CDeviceData& store, std::uint32_t from, std::uint32_t to, int& first,
                 int& last);

}  // namespace dravmer
