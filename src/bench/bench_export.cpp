#include "bench/bench_export.h"

#include <algorithm>

#include "bench/bench.h"
#include "files/experiment_time.h"
#include "files/file_format.h"

namespace dravmer {

namespace {

// The first record whose время is above `second` (or at least it, with orEqual).
int FirstAfter(const CDeviceData& store, std::uint32_t second, bool orEqual) {
    int lo = 0, hi = store.GetCount();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        const std::uint32_t t = store.GetSample(mid).time;
        if (orEqual ? t < second : t <= second)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

bool IsBinary(const std::string& path) { return path.find(".adc") != std::string::npos; }

}  // namespace

void RecordRange(const CDeviceData& store, std::uint32_t from, std::uint32_t to, int& first,
                 int& last) {
    if (from > to) std::swap(from, to);
    first = FirstAfter(store, from, true);
    last = std::max(first, FirstAfter(store, to, false));
}

SCsvExportReport ExportBenchCsv(CBench& bench, const std::string& path,
                                const SCsvExportOptions& options,
                                const std::function<bool(int percent)>& progress,
                                const std::atomic<bool>* cancel) {
    SCsvExportReport report;
    const auto active = bench.ActiveDevices();
    const std::size_t count = std::min(active.size(), bench.StoreCount());
    const CExperimentSettings& settings = bench.Settings();

    // What each device's rows carry: a loaded file's own columns, values and start; a running
    // or just recorded experiment's, as its files are written.
    std::vector<SCsvSource> sources;
    std::vector<std::vector<int>> columnSets;
    for (std::size_t i = 0; i < count; ++i) {
        const CDeviceData& store = bench.Data(i);
        SCsvSource s;
        s.store = &store;
        s.address = active[i].address;
        s.start = store.StartTime();
        std::vector<int> columns;
        const std::string loaded = store.IsLoadedFromFile() ? store.LoadedPath() : std::string();
        std::string error;
        if (!loaded.empty() && ReadFileColumns(loaded, columns, error)) {
            s.values = IsBinary(loaded) ? CsvValues::kFloat : CsvValues::kDouble;
            if (!IsBinary(loaded)) s.start = TxtStartTimeOfFile(loaded, store.GetLastTime());
        } else {
            columns.clear();
            for (int p = 0; p < CMeasRecord::kParamCount; ++p)
                if (settings.ToFile(p)) columns.push_back(p);
            s.values = settings.textFormat ? CsvValues::kDouble : CsvValues::kFloat;
        }
        for (int c : columns)
            if (c >= 0 && c < CMeasRecord::kParamCount) s.has[static_cast<std::size_t>(c)] = true;
        // The records there are now: a running experiment goes on appending meanwhile.
        s.last = store.GetCount();
        if (options.rangeOnly) RecordRange(store, options.from, options.to, s.first, s.last);
        if (s.last > s.first) {
            sources.push_back(s);
            columnSets.push_back(std::move(columns));
        }
    }
    if (sources.empty()) {
        report.result = CsvExportResult::NoData;
        report.error = options.language == Language::English ? "no records to export"
                                                             : "нет записей для экспорта";
        return report;
    }

    CNewFile file;
    if (!file.Open(path, report.error)) return report;
    CCsvWriter writer(UnionOfColumns(columnSets), options.csv,
                      [&file](std::string_view bytes) { return file.Write(bytes); });
    bool ok = writer.WriteHeader();
    for (std::size_t k = 0; ok && k < sources.size(); ++k) {
        const auto share = [&, k](int percent) {
            if (cancel && cancel->load()) return false;
            const int total =
                static_cast<int>((k * 100 + static_cast<std::size_t>(percent)) / sources.size());
            return !progress || progress(total);
        };
        ok = writer.WriteRows(sources[k], share);
        if (ok) ++report.devices;
    }
    report.rows = writer.Rows();
    if (writer.Cancelled()) {
        report.result = CsvExportResult::Cancelled;
        return report;  // the temporary file goes with `file`
    }
    if (!ok) {
        file.Abandon();
        report.error =
            (options.language == Language::English ? "cannot write " : "не удалось записать ") +
            path;
        return report;
    }
    if (!file.Commit(report.error)) return report;
    report.result = CsvExportResult::Written;
    return report;
}

}  // namespace dravmer
