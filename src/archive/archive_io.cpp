#include "archive/archive_io.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "files/experiment_files.h"
#include "files/experiment_scan.h"
#include "files/experiment_time.h"
#include "files/file_format.h"
#include "measure/param_catalog.h"
#include "platform/cp1251.h"

namespace dravmer {

namespace fs = std::filesystem;

std::string ArchiveUrlFromSettings(const ISettingsStore& store) {
    std::string url = store.GetString(kArchiveSection, kArchiveUrlKey, "");
    return url.empty() ? DefaultArchiveUrl() : url;
}

bool ArchiveOnStop(const ISettingsStore& store) {
    return store.GetInt(kArchiveSection, kArchiveOnStopKey, 0) != 0;
}

SArchiveDefaults::SArchiveDefaults() {
    for (int p = 0; p < kStatParamCount; ++p)
        fileDecimals[static_cast<std::size_t>(p)] = DefaultFileDecimals(p);
}

std::string BenchHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

void DeviceInfoFromStore(const CDeviceData& store, SArchivedDeviceInfo& d) {
    const int count = store.GetCount();
    d.recordCount = count;
    if (count > 0) {
        const CMeasRecord first = store.GetSample(0);
        d.kg = first.kg;
        d.kr = first.kr;
    }
    // Statistics over the whole experiment, whatever range the operator last selected.
    double stats[kStatKindCount][kParamCount];
    SStatState state;
    store.WholeStatistics(stats, state);
    for (int kind = 0; kind < kStatKindCount; ++kind)
        for (int p = kStatFirstParam; p < kStatParamCount; ++p)
            d.stats[static_cast<std::size_t>(kind)][static_cast<std::size_t>(p)] =
                count > 0 ? stats[kind][p] : 0.0;
    d.n = state.n;
    d.nE = state.nE;
    d.nO = state.nO;
    d.fwMajor = store.FirmwareMajor();
    d.fwMinor = store.FirmwareMinor();
    d.startTime = store.StartTime();
    d.receivedPercent = store.GetReceivedPercent();
}

ArchiveColumnReadFn StoreColumnReader(const CDeviceData& store, const std::vector<int>& columns) {
    return [&store, columns](int column, int first, int n, double* out) {
        const int got = store.CopyParam(columns[static_cast<std::size_t>(column)], first, n, out,
                                        nullptr, nullptr);
        for (int i = std::max(got, 0); i < n; ++i) out[i] = 0;
    };
}

void ValuesFromStore(const CDeviceData& store, const std::vector<int>& columns,
                     std::vector<double>& values) {
    const int count = store.GetCount();
    const std::size_t c = columns.size();
    values.assign(static_cast<std::size_t>(count) * c, 0.0);
    const ArchiveColumnReadFn read = StoreColumnReader(store, columns);
    constexpr int kRun = 4096;
    std::vector<double> run(kRun);
    for (std::size_t j = 0; j < c; ++j)
        for (int first = 0; first < count; first += kRun) {
            const int n = std::min(kRun, count - first);
            read(static_cast<int>(j), first, n, run.data());
            for (int i = 0; i < n; ++i)
                values[static_cast<std::size_t>(first + i) * c + j] = run[static_cast<std::size_t>(i)];
        }
}

void DeviceFromStore(CDeviceData& store, const std::vector<int>& columns, bool recompute,
                     SArchivedDevice& d) {
    DeviceInfoFromStore(store, d);
    ValuesFromStore(store, columns, d.values);
    // A store read only for archiving shows the statistics over every record afterwards.
    if (recompute && d.recordCount > 0) store.CalcAll();
}

namespace {

bool IsNumberToken(const std::string& t, bool hex) {
    if (t.empty()) return false;
    char* end = nullptr;
    if (hex) {
        std::strtoul(t.c_str(), &end, 16);
    } else {
        std::strtod(t.c_str(), &end);
    }
    return end && *end == '\0';
}

}  // namespace

std::string ReadLabelFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return {};
    char text[1024];
    f.read(text, sizeof text);
    return Cp1251ToUtf8(std::string(text, static_cast<std::size_t>(f.gcount())));
}

void ReadTextDecimals(const std::string& path, const std::vector<int>& columns,
                      std::array<int, kStatParamCount>& decimals) {
    std::ifstream f(path, std::ios::binary);
    if (!f || columns.empty()) return;
    std::string head(256 * 1024, '\0');
    f.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(f.gcount()));
    std::vector<int> found(columns.size(), -1);
    int lines = 0;
    std::size_t p = 0;
    while (p < head.size() && lines < 32) {
        std::size_t e = head.find('\n', p);
        if (e == std::string::npos) break;  // the last, maybe cut, line of the block
        std::string line = head.substr(p, e - p);
        p = e + 1;
        std::vector<std::string> tokens;
        std::size_t q = 0;
        while (q < line.size()) {
            while (q < line.size() && (line[q] == ' ' || line[q] == '\r')) ++q;
            std::size_t s = q;
            while (q < line.size() && line[q] != ' ' && line[q] != '\r') ++q;
            if (q > s) tokens.push_back(line.substr(s, q - s));
        }
        if (tokens.size() != columns.size()) continue;
        bool numeric = true;
        for (std::size_t j = 0; j < tokens.size() && numeric; ++j)
            numeric = IsNumberToken(tokens[j], columns[j] == 2);
        if (!numeric) continue;
        ++lines;
        for (std::size_t j = 0; j < tokens.size(); ++j) {
            std::size_t dot = tokens[j].find('.');
            int n = dot == std::string::npos ? 0 : static_cast<int>(tokens[j].size() - dot - 1);
            found[j] = std::max(found[j], n);
        }
    }
    for (std::size_t j = 0; j < columns.size(); ++j)
        if (found[j] >= 0 && !IsIntegerParam(columns[j]) && columns[j] >= 0 &&
            columns[j] < kStatParamCount)
            decimals[static_cast<std::size_t>(columns[j])] = found[j];
}

void StartFilesHeader(SArchivedHeader& e, std::time_t time, const std::string& label,
                      const SArchiveDefaults& defaults) {
    e.ky = defaults.ky;
    e.pollPeriod = defaults.pollPeriod;
    e.fileDecimals = defaults.fileDecimals;
    e.startTime = time;
    e.comment = label;
    e.host = BenchHostName();
}

int ExperimentFromFiles(const std::vector<std::string>& paths, std::time_t time,
                        const std::string& label, const SArchiveDefaults& defaults,
                        SArchivedExperiment& e, std::string& error,
                        const ArchiveProgressFn& progress, const std::atomic<bool>* stop) {
    e = SArchivedExperiment{};
    StartFilesHeader(e, time, label, defaults);
    if (paths.empty()) {
        error = "no experiment file";
        return kArchiveNoData;
    }
    const int total = static_cast<int>(paths.size());
    for (int i = 0; i < total; ++i) {
        if (stop && stop->load()) {
            error = "stopped";
            return kArchiveStopped;
        }
        const std::string& path = paths[static_cast<std::size_t>(i)];
        const std::string fileName = fs::path(path).filename().string();
        SExperimentEntry entry;
        if (!ParseExperimentName(fileName, entry)) {
            error = path + ": not named like an experiment file (YYMMDD-NNN-AAAAAA.adc or .txt)";
            return kArchiveFileError;
        }
        const bool text = fs::path(path).extension() == ".txt";
        auto store = std::make_unique<CDeviceData>(i);
        SLoadReport report;
        if (!LoadExperimentFile(*store, path, nullptr, &report)) {
            error = path + ": " + report.Summary();
            return kArchiveFileError;
        }
        std::vector<int> columns;
        for (int c : report.columns)
            if (c >= 0) columns.push_back(c);
        const std::string date = entry.name.substr(0, 6);
        if (i == 0) {
            e.date = date;
            e.number = entry.number;
            e.text = text;
            e.columns = columns;
            if (text) {
                if (report.hasKy) e.ky = report.ky;
                ReadTextDecimals(path, columns, e.fileDecimals);
            }
        } else if (date != e.date || entry.number != e.number) {
            error = path + ": belongs to another experiment than " + paths.front();
            return kArchiveFileError;
        } else if (text != e.text) {
            error = path + ": the experiment mixes .adc and .txt files; archive one format";
            return kArchiveFileError;
        } else if (columns != e.columns) {
            error = path + ": has other columns than " + paths.front();
            return kArchiveFileError;
        }
        for (const auto& d : e.devices)
            if (d.address == entry.address) {
                error = path + ": device " + std::to_string(entry.address) + " appears twice";
                return kArchiveFileError;
            }
        SArchivedDevice d;
        DeviceFromStore(*store, columns, true, d);
        d.address = entry.address;
        e.duration = std::max(e.duration, store->GetLastTime());
        e.devices.push_back(std::move(d));
        if (progress && !progress(i + 1, total)) {
            error = "stopped";
            return kArchiveStopped;
        }
    }
    return kArchiveOk;
}

bool FillStoreFromArchive(const SArchivedExperiment& e, std::size_t index, CDeviceData& store) {
    if (index >= e.devices.size()) return false;
    const SArchivedDevice& d = e.devices[index];
    const std::size_t c = e.columns.size();
    if (d.values.size() != static_cast<std::size_t>(d.recordCount) * c) return false;
    store.ResetData();
    store.SetFirmwareVersion(d.fwMajor, d.fwMinor);
    CMeasRecord r;
    r.kg = d.kg;
    r.kr = d.kr;
    for (int i = 0; i < d.recordCount; ++i) {
        const double* row = d.values.data() + static_cast<std::size_t>(i) * c;
        for (std::size_t j = 0; j < c; ++j) SetParam(r, e.columns[j], row[j]);
        if (store.AddSample(r) != 0) return false;
    }
    store.SetStartTime(d.startTime);
    store.SetTitle(StoreTitle(e.date, e.number, d.address));
    return true;
}

bool FillStoreFromRecords(const SArchivedHeader& e, const SArchivedDeviceInfo& d,
                          const archive::SRecordPlanes& records, CDeviceData& store) {
    const std::size_t c = e.columns.size();
    if (records.count != d.recordCount || records.columns != static_cast<int>(c)) return false;
    store.ResetData();
    store.SetFirmwareVersion(d.fwMajor, d.fwMinor);
    // In runs, as a file is loaded: one record reused, so fields outside the columns stay.
    constexpr int kRun = 4096;
    std::vector<double> rows(static_cast<std::size_t>(kRun) * c);
    std::vector<CMeasRecord> batch;
    batch.reserve(kRun);
    CMeasRecord r;
    r.kg = d.kg;
    r.kr = d.kr;
    for (int first = 0; first < d.recordCount; first += kRun) {
        const int n = std::min(kRun, d.recordCount - first);
        records.Rows(first, n, rows.data());
        batch.clear();
        for (int i = 0; i < n; ++i) {
            const double* row = rows.data() + static_cast<std::size_t>(i) * c;
            for (std::size_t j = 0; j < c; ++j) SetParam(r, e.columns[j], row[j]);
            batch.push_back(r);
        }
        if (store.AddSamples(batch.data(), n) != n) return false;
    }
    store.SetStartTime(d.startTime);
    store.SetTitle(StoreTitle(e.date, e.number, d.address));
    return true;
}

}  // namespace dravmer
