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

void DeviceFromStore(CDeviceData& store, const std::vector<int>& columns, bool recompute,
                     SArchivedDevice& d) {
    const int count = store.GetCount();
    const std::size_t c = columns.size();
    std::unique_ptr<CDeviceData> copy;
    if (!recompute) copy = std::make_unique<CDeviceData>();
    d.values.assign(static_cast<std::size_t>(count) * c, 0.0);
    std::vector<CMeasRecord> chunk(1024);
    int done = 0;
    while (done < count) {
        int n = store.CopySamples(done, static_cast<int>(chunk.size()), chunk.data());
        if (n <= 0) break;
        for (int k = 0; k < n; ++k) {
            const CMeasRecord& r = chunk[static_cast<std::size_t>(k)];
            if (done + k == 0) {
                d.kg = r.kg;
                d.kr = r.kr;
            }
            double* row = d.values.data() + static_cast<std::size_t>(done + k) * c;
            for (std::size_t j = 0; j < c; ++j) row[j] = GetParam(r, columns[j]);
            if (copy) copy->AddSample(r);
        }
        done += n;
    }
    d.recordCount = done;
    d.values.resize(static_cast<std::size_t>(done) * c);
    // Statistics over the whole experiment, whatever range the operator last selected.
    CDeviceData& s = recompute ? store : *copy;
    if (done > 0) s.CalcAll();
    for (int kind = 0; kind < kStatKindCount; ++kind)
        for (int p = kStatFirstParam; p < kStatParamCount; ++p)
            d.stats[static_cast<std::size_t>(kind)][static_cast<std::size_t>(p)] =
                done > 0 ? s.GetStatValue(static_cast<StatKind>(kind), p) : 0.0;
    SStatState state = s.GetStatState();
    d.n = state.n;
    d.nE = state.nE;
    d.nO = state.nO;
    d.fwMajor = store.FirmwareMajor();
    d.fwMinor = store.FirmwareMinor();
    d.startTime = store.StartTime();
    d.receivedPercent = store.GetReceivedPercent();
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

int ExperimentFromFiles(const std::vector<std::string>& paths, std::time_t time,
                        const std::string& label, const SArchiveDefaults& defaults,
                        SArchivedExperiment& e, std::string& error,
                        const ArchiveProgressFn& progress, const std::atomic<bool>* stop) {
    e = SArchivedExperiment{};
    e.ky = defaults.ky;
    e.pollPeriod = defaults.pollPeriod;
    e.fileDecimals = defaults.fileDecimals;
    e.startTime = time;
    e.comment = label;
    e.host = BenchHostName();
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

int ExportExperiment(const SArchivedExperiment& e, const std::string& dir,
                     const std::string& format, std::vector<std::string>& written,
                     std::string& error) {
    written.clear();
    if (!format.empty() && format != "adc" && format != "txt") {
        error = "the format is adc or txt";
        return kArchiveFileError;
    }
    const bool text = format.empty() ? e.text : format == "txt";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        error = dir + ": cannot create the folder";
        return kArchiveFileError;
    }
    std::vector<std::string> paths;
    for (const auto& d : e.devices)
        paths.push_back((fs::path(dir) / ExperimentFileName(e.date, e.number, d.address, text))
                            .string());
    std::string labelPath = (fs::path(dir) / LabelFileName(e.date, e.number)).string();
    std::vector<std::string> all = paths;
    if (!e.comment.empty()) all.push_back(labelPath);
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (fs::exists(all[k], ec)) {
            error = all[k] + " exists; nothing was written";
            return kArchiveFileError;
        }
        if (std::count(all.begin(), all.end(), all[k]) > 1) {
            error = all[k] + " would be written twice; nothing was written";
            return kArchiveFileError;
        }
    }
    auto undo = [&](const std::string& why) {
        for (const auto& p : written) fs::remove(p, ec);
        written.clear();
        error = why;
        return kArchiveFileError;
    };
    auto writeFile = [&](const std::string& path, const std::string& bytes) {
        // "x": never replace a file that appeared in the meantime.
        std::FILE* f = std::fopen(path.c_str(), "wbx");
        if (!f) return false;
        written.push_back(path);
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return std::fclose(f) == 0 && ok;
    };
    const std::size_t c = e.columns.size();
    for (std::size_t k = 0; k < e.devices.size(); ++k) {
        const SArchivedDevice& d = e.devices[k];
        if (d.values.size() != static_cast<std::size_t>(d.recordCount) * c)
            return undo("device " + std::to_string(d.address) + ": records of another shape");
        std::string out = text ? TxtHeader(d.kg, d.kr, e.ky, e.columns)
                               : AdcHeader(e.columns, d.fwMajor, d.fwMinor, d.startTime);
        out.reserve(out.size() + d.values.size() * (text ? 12 : 4));
        // One record reused as the reader does, so fields outside the columns stay as they were.
        CMeasRecord r;
        r.kg = d.kg;
        r.kr = d.kr;
        for (int i = 0; i < d.recordCount; ++i) {
            const double* row = d.values.data() + static_cast<std::size_t>(i) * c;
            for (std::size_t j = 0; j < c; ++j) SetParam(r, e.columns[j], row[j]);
            if (text)
                AppendTxtRecord(out, r, e.columns, e.fileDecimals);
            else
                AppendAdcRecord(out, r, e.columns);
        }
        if (!writeFile(paths[k], out)) return undo(paths[k] + ": cannot write");
        // Stamped as if written with its last record: a text file's start time is read back as
        // its last write minus that record's время.
        if (d.startTime > 0) {
            const std::time_t stamp = TxtLastWriteFor(d.startTime, d.recordCount > 0 ? r.time : 0);
            fs::file_time_type ft = fs::file_time_type::clock::now() -
                                    std::chrono::seconds(std::time(nullptr) - stamp);
            fs::last_write_time(paths[k], ft, ec);
        }
    }
    if (!e.comment.empty() && !writeFile(labelPath, Utf8ToCp1251(e.comment)))
        return undo(labelPath + ": cannot write");
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

}  // namespace dravmer
