#include "bench/bench_archive.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "bench/bench.h"
#include "files/experiment_files.h"
#include "files/experiment_scan.h"

namespace dravmer {

namespace fs = std::filesystem;

SArchiveDefaults ArchiveDefaultsFrom(const CExperimentSettings& settings) {
    SArchiveDefaults d;
    d.ky = settings.Ky();
    d.pollPeriod = settings.PollPeriod();
    for (int p = 0; p < kStatParamCount; ++p)
        d.fileDecimals[static_cast<std::size_t>(p)] = settings.FileDecimals(p);
    return d;
}

namespace {

// What the bench's stores hold, without their records: the experiment, each device's
// description, and for a loaded experiment its files and label instead.
struct SBenchExperiment {
    SArchivedHeader e;
    std::vector<SArchivedDeviceInfo> devices;
    std::size_t stores = 0;  // stores of the active list
    bool loaded = false;
    std::vector<std::string> paths;  // the loaded experiment's files
    std::string label;
};

int DescribeBench(CBench& bench, SBenchExperiment& x, std::string& error,
                  const ArchiveProgressFn& progress, const std::atomic<bool>* stop) {
    x = SBenchExperiment{};
    if (bench.IsRunning()) {
        error = "the experiment is running; stop it before archiving";
        return kArchiveBusy;
    }
    const auto active = bench.Settings().devices.Active();
    // Store i belongs to active device i; stores past the active list still hold what an
    // earlier, longer list (or a larger loaded experiment) left there.
    const std::size_t n = std::min(bench.StoreCount(), active.size());
    x.stores = n;
    bool any = false;
    for (std::size_t i = 0; i < n; ++i) any = any || bench.Data(i).GetCount() > 0;
    if (!any) {
        error = "no device holds records";
        return kArchiveNoData;
    }
    // A loaded experiment is archived from its files: they hold the columns, the format and
    // the decimals it was recorded with.
    x.loaded = true;
    for (std::size_t i = 0; i < n; ++i) x.loaded = x.loaded && bench.Data(i).IsLoadedFromFile();
    if (x.loaded) {
        for (std::size_t i = 0; i < n; ++i) x.paths.push_back(bench.Data(i).LoadedPath());
        const std::string title = bench.Data(0).Title();
        if (title.size() >= 11)
            x.label = ReadLabelFile(
                (fs::path(x.paths[0]).parent_path() / (title.substr(0, 11) + "label .txt"))
                    .string());
        return kArchiveOk;
    }

    SArchivedHeader& e = x.e;
    const SFileOptions options = bench.Files(0).Options();
    e.columns = options.Columns();
    e.text = bench.Files(0).TextFormat();
    e.ky = options.ky;
    e.pollPeriod = bench.Settings().PollPeriod();
    for (int p = 0; p < kStatParamCount; ++p)
        e.fileDecimals[static_cast<std::size_t>(p)] =
            options.fileDecimals[static_cast<std::size_t>(p)];
    e.host = BenchHostName();
    const auto found = bench.FoundInfo();
    e.startTime = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (stop && stop->load()) {
            error = "stopped";
            return kArchiveStopped;
        }
        CDeviceData& store = bench.Data(i);
        SArchivedDeviceInfo d;
        DeviceInfoFromStore(store, d);
        d.address = active[i].address;
        d.port = active[i].port;
        // A list changed after the stop leaves a store under another device's index: its
        // title names the device whose records it holds.
        SExperimentEntry named;
        if (ParseExperimentName(store.Title() + ".adc", named) && named.address != d.address) {
            d.address = named.address;
            d.port = -1;
            for (const auto& a : active)
                if (a.address == named.address) d.port = a.port;
        }
        for (const auto& f : found)
            if (f.address == d.address && f.identified) d.transducer = f.transducer;
        if (d.port >= 0 && d.port < kPortCount) {
            SLinkDevStat stat;
            if (bench.Link(d.port).GetDeviceStat(d.address, stat)) {
                d.hasLinkStat = true;
                std::copy(stat.w.begin(), stat.w.end(), d.linkStat.begin());
            }
        }
        if (d.recordCount > 0 && (e.startTime == 0 || d.startTime < e.startTime))
            e.startTime = d.startTime;
        e.duration = std::max(e.duration, store.GetLastTime());
        x.devices.push_back(d);
        if (progress && !progress(static_cast<int>(i) + 1, static_cast<int>(n))) {
            error = "stopped";
            return kArchiveStopped;
        }
    }
    // The experiment's name comes from its files; without files from its start and counter.
    const std::string title = bench.Data(0).Title();
    SExperimentEntry entry;
    if (ParseExperimentName(title + ".adc", entry)) {
        e.date = title.substr(0, 6);
        e.number = entry.number;
    } else {
        e.date = DateText(e.startTime ? e.startTime : std::time(nullptr));
        e.number = bench.ExperimentNumber();
    }
    std::string labelPath = bench.Files(0).LabelPath();
    if (!labelPath.empty()) e.comment = ReadLabelFile(labelPath);
    return kArchiveOk;
}

}  // namespace

int ExperimentFromBench(CBench& bench, SArchivedExperiment& e, std::string& error,
                        const ArchiveProgressFn& progress, const std::atomic<bool>* stop) {
    e = SArchivedExperiment{};
    SBenchExperiment x;
    int code = DescribeBench(bench, x, error, progress, stop);
    if (code != kArchiveOk) return code;
    if (x.loaded)
        return ExperimentFromFiles(x.paths, bench.Data(0).StartTime(), x.label,
                                   ArchiveDefaultsFrom(bench.Settings()), e, error, progress, stop);
    static_cast<SArchivedHeader&>(e) = x.e;
    for (std::size_t i = 0; i < x.devices.size(); ++i) {
        SArchivedDevice d;
        static_cast<SArchivedDeviceInfo&>(d) = x.devices[i];
        ValuesFromStore(bench.Data(i), e.columns, d.values);
        e.devices.push_back(std::move(d));
    }
    return kArchiveOk;
}

int ArchiveBenchExperiment(CBench& bench, const std::string& url, std::int64_t& id,
                           std::string& message, const ArchiveProgressFn& progress,
                           const std::atomic<bool>* stop, Language language) {
    const bool en = language == Language::English;
    const std::string cannot =
        en ? "Cannot archive the experiment: " : "Эксперимент не сохранён в архиве: ";
    id = 0;
    // Describing the stores is the first half of the steps, writing the devices the second; a
    // loaded experiment reads and writes each file in one step of two.
    const int half = static_cast<int>(std::max<std::size_t>(bench.StoreCount(), 1));
    auto step = [&](int offset, int scale) -> ArchiveProgressFn {
        if (!progress) return nullptr;
        return
            [&, offset, scale](int done, int) { return progress(offset + scale * done, 2 * half); };
    };
    SBenchExperiment x;
    std::string error;
    int code = DescribeBench(bench, x, error, step(0, 1), stop);
    auto stopped = [&] {
        message = en ? "Archiving was stopped; nothing was written."
                     : "Сохранение в архив остановлено; ничего не записано.";
    };
    if (code != kArchiveOk) {
        if (code == kArchiveStopped)
            stopped();
        else
            message = cannot + error;
        return code;
    }
    // The stop request also cancels a statement that waits for the server (a held lock).
    SArchiveAccess access;
    access.cancel = stop;
    std::unique_ptr<CArchive> archive = CArchive::Open(url, code, error, access);
    if (!archive) {
        if (code == kArchiveStopped)
            stopped();
        else
            message = error;
        return code;
    }
    if (x.loaded) {
        code = ArchiveFiles(*archive, x.paths, bench.Data(0).StartTime(), x.label,
                            ArchiveDefaultsFrom(bench.Settings()), bench.PageFile(), x.e, id, error,
                            step(0, 2), stop);
    } else {
        std::vector<std::uint32_t> addresses;
        for (const auto& d : x.devices) addresses.push_back(d.address);
        // One store after the other, each read a column at a time where its records are.
        code = archive->AddFrom(
            x.e, addresses,
            [&](std::size_t k, SDeviceToArchive& device, std::string&) {
                device.info = x.devices[k];
                device.read = StoreColumnReader(bench.Data(k), x.e.columns);
                return kArchiveOk;
            },
            id, step(half, 1), stop);
        error = archive->LastError();
    }
    const std::string name = x.e.date + "-" + std::to_string(x.e.number);
    switch (code) {
        case kArchiveOk:
            message = en ? "Experiment " + name + " archived as " + std::to_string(id) + "."
                         : "Эксперимент " + name + " сохранён в архиве под номером " +
                               std::to_string(id) + ".";
            break;
        case kArchiveDuplicate:
            message = en ? "Experiment " + name + " is already in the archive as " +
                               std::to_string(id) + "."
                         : "Эксперимент " + name + " уже есть в архиве под номером " +
                               std::to_string(id) + ".";
            break;
        case kArchiveStopped:
            stopped();
            break;
        default:
            message = cannot + error;
    }
    return code;
}

int LoadArchivedPrepared(CBench& bench, CArchive& archive, const SArchivedExperiment& e,
                         const std::vector<CDeviceData*>& stores, const ArchiveProgressFn& progress,
                         const std::atomic<bool>* stop) {
    struct SEnd {
        CBench& bench;
        ~SEnd() { bench.EndLoad(); }
    } end{bench};
    bench.SetLoadedExperiment(e.startTime, e.comment);
    const std::size_t count = std::min(stores.size(), e.devices.size());
    archive::SRecordPlanes records;
    int filled = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (stop && stop->load()) break;
        if (stores[i] && archive.ReadRecords(e, i, records) == kArchiveOk &&
            FillStoreFromRecords(e, e.devices[i], records, *stores[i]))
            ++filled;
        if (progress && !progress(static_cast<int>(i) + 1, static_cast<int>(count))) break;
    }
    return filled;
}

}  // namespace dravmer
