// Between the archive and the experiment files one device at a time: files are archived and
// experiments written back as files while only one device's records are held.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "archive/archive_io.h"
#include "files/experiment_files.h"
#include "files/experiment_scan.h"
#include "files/experiment_time.h"
#include "files/file_format.h"
#include "measure/param_catalog.h"
#include "platform/cp1251.h"

namespace dravmer {

namespace fs = std::filesystem;

namespace {

constexpr int kRun = 4096;                   // records per step
constexpr std::size_t kFlushBytes = 1 << 20;  // written to the file in pieces of about this

// Rows first .. first+n-1 of a device, row after row; the same as the bytes of floats.
using RowReadFn = std::function<void(int first, int n, double* out)>;
using FloatRowReadFn = std::function<void(int first, int n, unsigned char* out)>;

// The files of an export: checked before anything is written, written one device at a time,
// and removed again when one of them fails.
class CExportFiles {
public:
    int Prepare(const SArchivedHeader& e, const std::vector<std::uint32_t>& addresses,
                const std::string& dir, const std::string& format, std::string& error) {
        m_e = &e;
        if (!format.empty() && format != "adc" && format != "txt") {
            error = "the format is adc or txt";
            return kArchiveFileError;
        }
        m_text = format.empty() ? e.text : format == "txt";
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (!fs::is_directory(dir, ec)) {
            error = dir + ": cannot create the folder";
            return kArchiveFileError;
        }
        for (std::uint32_t a : addresses)
            m_paths.push_back(
                (fs::path(dir) / ExperimentFileName(e.date, e.number, a, m_text)).string());
        m_label = (fs::path(dir) / LabelFileName(e.date, e.number)).string();
        std::vector<std::string> all = m_paths;
        if (!e.comment.empty()) all.push_back(m_label);
        for (const std::string& p : all) {
            if (fs::exists(p, ec)) {
                error = p + " exists; nothing was written";
                return kArchiveFileError;
            }
            if (std::count(all.begin(), all.end(), p) > 1) {
                error = p + " would be written twice; nothing was written";
                return kArchiveFileError;
            }
        }
        return kArchiveOk;
    }

    // Device k's file from its rows; `floatRows`, when given, reads the same rows as the bytes
    // of their floats (what the archive holds for records that were floats).
    bool WriteDevice(std::size_t k, const SArchivedDeviceInfo& d, const RowReadFn& rows,
                     const FloatRowReadFn& floatRows, std::string& error) {
        const std::string& path = m_paths[k];
        const std::vector<int>& columns = m_e->columns;
        // "x": never replace a file that appeared in the meantime.
        std::FILE* f = std::fopen(path.c_str(), "wbx");
        if (!f) {
            error = path + ": cannot write";
            return false;
        }
        m_written.push_back(path);
        std::string out = m_text ? TxtHeader(d.kg, d.kr, m_e->ky, columns)
                                 : AdcHeader(columns, d.fwMajor, d.fwMinor, d.startTime);
        bool ok = true;
        const std::size_t c = columns.size();
        const std::size_t rowBytes = 4 * c;
        // A binary file takes each value as a float, the integer parameters as their fields
        // hold them; when every column is a parameter met once, rows go straight to bytes.
        // Otherwise each row goes through a record, as the reader and the writer of files take
        // them.
        bool direct = !m_text;
        std::vector<std::size_t> integers;
        for (std::size_t j = 0; j < c && direct; ++j) {
            direct = columns[j] >= 0 && columns[j] < kParamCount &&
                     std::count(columns.begin(), columns.end(), columns[j]) == 1;
            if (IsIntegerParam(columns[j])) integers.push_back(j);
        }
        // One record reused as the reader does, so fields outside the columns stay as they were.
        CMeasRecord r;
        r.kg = d.kg;
        r.kr = d.kr;
        auto putFloat = [](char* to, double v) {
            const float value = static_cast<float>(v);
            std::uint32_t bits;
            std::memcpy(&bits, &value, 4);
            for (int b = 0; b < 4; ++b) to[b] = static_cast<char>(bits >> (8 * b));
        };
        std::vector<double> run(static_cast<std::size_t>(kRun) * c);
        for (int first = 0; first < d.recordCount && ok; first += kRun) {
            const int n = std::min(kRun, d.recordCount - first);
            const auto rowsHere = static_cast<std::size_t>(n);
            if (direct && floatRows) {
                const std::size_t at = out.size();
                out.resize(at + rowsHere * rowBytes);
                floatRows(first, n, reinterpret_cast<unsigned char*>(out.data() + at));
                for (std::size_t j : integers)
                    for (std::size_t i = 0; i < rowsHere; ++i) {
                        char* cell = out.data() + at + i * rowBytes + 4 * j;
                        std::uint32_t bits = 0;
                        for (int b = 0; b < 4; ++b)
                            bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(cell[b]))
                                    << (8 * b);
                        float value;
                        std::memcpy(&value, &bits, 4);
                        SetParam(r, columns[j], value);
                        putFloat(cell, GetParam(r, columns[j]));
                    }
            } else {
                rows(first, n, run.data());
                if (direct) {
                    const std::size_t at = out.size();
                    out.resize(at + rowsHere * rowBytes);
                    for (std::size_t i = 0; i < rowsHere; ++i) {
                        const double* row = run.data() + i * c;
                        char* cells = out.data() + at + i * rowBytes;
                        for (std::size_t j = 0; j < c; ++j) putFloat(cells + 4 * j, row[j]);
                        for (std::size_t j : integers) {
                            SetParam(r, columns[j], row[j]);
                            putFloat(cells + 4 * j, GetParam(r, columns[j]));
                        }
                    }
                } else {
                    for (std::size_t i = 0; i < rowsHere; ++i) {
                        const double* row = run.data() + i * c;
                        for (std::size_t j = 0; j < c; ++j) SetParam(r, columns[j], row[j]);
                        if (m_text)
                            AppendTxtRecord(out, r, columns, m_e->fileDecimals);
                        else
                            AppendAdcRecord(out, r, columns);
                    }
                }
            }
            if (out.size() >= kFlushBytes) {
                ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
                out.clear();
            }
        }
        ok = ok && std::fwrite(out.data(), 1, out.size(), f) == out.size();
        ok = std::fclose(f) == 0 && ok;
        if (!ok) {
            error = path + ": cannot write";
            return false;
        }
        // Stamped as if written with its last record: a text file's start time is read back as
        // its last write minus that record's время.
        if (d.startTime > 0) {
            const std::time_t stamp = TxtLastWriteFor(d.startTime, d.recordCount > 0 ? r.time : 0);
            std::error_code ec;
            fs::file_time_type ft = fs::file_time_type::clock::now() -
                                    std::chrono::seconds(std::time(nullptr) - stamp);
            fs::last_write_time(path, ft, ec);
        }
        return true;
    }

    bool WriteLabel(std::string& error) {
        if (m_e->comment.empty()) return true;
        std::FILE* f = std::fopen(m_label.c_str(), "wbx");
        if (!f) {
            error = m_label + ": cannot write";
            return false;
        }
        m_written.push_back(m_label);
        const std::string bytes = Utf8ToCp1251(m_e->comment);
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok = std::fclose(f) == 0 && ok;
        if (!ok) error = m_label + ": cannot write";
        return ok;
    }

    // Removes what was written.
    void Undo() {
        std::error_code ec;
        for (const auto& p : m_written) fs::remove(p, ec);
        m_written.clear();
    }

    const std::vector<std::string>& Written() const { return m_written; }

private:
    const SArchivedHeader* m_e = nullptr;
    bool m_text = false;
    std::vector<std::string> m_paths, m_written;
    std::string m_label;
};

}  // namespace

int ExportExperiment(const SArchivedExperiment& e, const std::string& dir,
                     const std::string& format, std::vector<std::string>& written,
                     std::string& error) {
    written.clear();
    std::vector<std::uint32_t> addresses;
    for (const auto& d : e.devices) addresses.push_back(d.address);
    CExportFiles files;
    if (const int code = files.Prepare(e, addresses, dir, format, error); code != kArchiveOk)
        return code;
    const std::size_t c = e.columns.size();
    for (std::size_t k = 0; k < e.devices.size(); ++k) {
        const SArchivedDevice& d = e.devices[k];
        if (d.values.size() != static_cast<std::size_t>(d.recordCount) * c) {
            files.Undo();
            error = "device " + std::to_string(d.address) + ": records of another shape";
            return kArchiveFileError;
        }
        const RowReadFn rows = [&](int first, int n, double* out) {
            std::copy_n(d.values.data() + static_cast<std::size_t>(first) * c,
                        static_cast<std::size_t>(n) * c, out);
        };
        if (!files.WriteDevice(k, d, rows, nullptr, error)) {
            files.Undo();
            return kArchiveFileError;
        }
    }
    if (!files.WriteLabel(error)) {
        files.Undo();
        return kArchiveFileError;
    }
    written = files.Written();
    return kArchiveOk;
}

int ExportArchived(CArchive& archive, std::int64_t id, const std::string& dir,
                   const std::string& format, std::vector<std::string>& written,
                   std::string& error, const ArchiveProgressFn& progress) {
    written.clear();
    SArchivedExperiment e;
    if (const int code = archive.Describe(id, e); code != kArchiveOk) {
        error = archive.LastError();
        return code;
    }
    std::vector<std::uint32_t> addresses;
    for (const auto& d : e.devices) addresses.push_back(d.address);
    CExportFiles files;
    if (const int code = files.Prepare(e, addresses, dir, format, error); code != kArchiveOk)
        return code;
    archive::SRecordPlanes planes;
    const int total = static_cast<int>(e.devices.size());
    for (std::size_t k = 0; k < e.devices.size(); ++k) {
        int code = archive.ReadRecords(e, k, planes);
        if (code != kArchiveOk) {
            files.Undo();
            error = archive.LastError();
            return code;
        }
        const RowReadFn rows = [&](int first, int n, double* out) { planes.Rows(first, n, out); };
        FloatRowReadFn floatRows;
        if (planes.width == 4)
            floatRows = [&](int first, int n, unsigned char* out) {
                planes.FloatRows(first, n, out);
            };
        if (!files.WriteDevice(k, e.devices[k], rows, floatRows, error)) {
            files.Undo();
            return kArchiveFileError;
        }
        if (progress && !progress(static_cast<int>(k) + 1, total)) {
            files.Undo();
            error = "stopped; nothing was written";
            return kArchiveStopped;
        }
    }
    if (!files.WriteLabel(error)) {
        files.Undo();
        return kArchiveFileError;
    }
    written = files.Written();
    return kArchiveOk;
}

int ArchiveFiles(CArchive& archive, const std::vector<std::string>& paths, std::time_t time,
                 const std::string& label, const SArchiveDefaults& defaults,
                 std::shared_ptr<CPageFile> pageFile, SArchivedHeader& e, std::int64_t& id,
                 std::string& error, const ArchiveProgressFn& progress,
                 const std::atomic<bool>* stop) {
    e = SArchivedHeader{};
    id = 0;
    StartFilesHeader(e, time, label, defaults);
    if (paths.empty()) {
        error = "no experiment file";
        return kArchiveNoData;
    }
    // What the names say is checked before anything is read or written.
    std::vector<std::uint32_t> addresses;
    for (std::size_t k = 0; k < paths.size(); ++k) {
        const std::string& path = paths[k];
        SExperimentEntry entry;
        if (!ParseExperimentName(fs::path(path).filename().string(), entry)) {
            error = path + ": not named like an experiment file (YYMMDD-NNN-AAAAAA.adc or .txt)";
            return kArchiveFileError;
        }
        const bool text = fs::path(path).extension() == ".txt";
        const std::string date = entry.name.substr(0, 6);
        if (k == 0) {
            e.date = date;
            e.number = entry.number;
            e.text = text;
        } else if (date != e.date || entry.number != e.number) {
            error = path + ": belongs to another experiment than " + paths.front();
            return kArchiveFileError;
        } else if (text != e.text) {
            error = path + ": the experiment mixes .adc and .txt files; archive one format";
            return kArchiveFileError;
        }
        if (std::find(addresses.begin(), addresses.end(), entry.address) != addresses.end()) {
            error = path + ": device " + std::to_string(entry.address) + " appears twice";
            return kArchiveFileError;
        }
        addresses.push_back(entry.address);
    }
    // One store for every file in turn.
    CDeviceData store;
    store.SetPageFile(std::move(pageFile));
    std::string columnsOf;
    const int code = archive.AddFrom(
        e, addresses,
        [&](std::size_t k, SDeviceToArchive& device, std::string& why) {
            const std::string& path = paths[k];
            SLoadReport report;
            if (!LoadExperimentFile(store, path, nullptr, &report)) {
                why = path + ": " + report.Summary();
                return kArchiveFileError;
            }
            std::vector<int> columns;
            for (int c : report.columns)
                if (c >= 0) columns.push_back(c);
            if (columnsOf.empty()) {
                e.columns = columns;
                columnsOf = path;
            } else if (columns != e.columns) {
                why = path + ": has other columns than " + columnsOf;
                return kArchiveFileError;
            }
            // The first file speaks for the experiment.
            if (k == 0 && e.text) {
                if (report.hasKy) e.ky = report.ky;
                ReadTextDecimals(path, columns, e.fileDecimals);
            }
            DeviceInfoFromStore(store, device.info);
            device.info.address = addresses[k];
            device.read = StoreColumnReader(store, e.columns);
            e.duration = std::max(e.duration, store.GetLastTime());
            return kArchiveOk;
        },
        id, progress, stop);
    if (code != kArchiveOk && code != kArchiveDuplicate) error = archive.LastError();
    return code;
}

}  // namespace dravmer
