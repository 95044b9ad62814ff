#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "files/experiment_time.h"
#include "files/file_format.h"
#include "files/file_reader_detail.h"
#include "measure/param_catalog.h"
#include "platform/cp1251.h"

namespace dravmer {
namespace reader_detail {

std::string TitleOf(const std::string& path) { return std::filesystem::path(path).stem().string(); }

bool Report(const LoadProgressFn& progress, int percent) { return !progress || progress(percent); }

int Percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 100 : static_cast<int>(done * 100 / total);
}

int Fail(SLoadReport& report, std::string why) {
    report.error = std::move(why);
    return 0;
}

int FailFile(SLoadReport& report, const CInputFile& file, const std::string& path) {
    report.fileFailure = file.Failure();
    report.fileErrno = file.Errno();
    report.path = path;
    return Fail(report, file.FailureText(path, Language::English));
}

// "Firmware version: 01.02" in the identification text.
void ReadFirmware(const unsigned char* header, CDeviceData& store) {
    char text[49];
    std::memcpy(text, header, 48);
    text[48] = 0;
    const char* at = std::strstr(text, "Firmware version:");
    int major = 0, minor = 0;
    if (at && std::sscanf(at, "Firmware version: %d.%d", &major, &minor) == 2)
        store.SetFirmwareVersion(static_cast<std::uint8_t>(major),
                                 static_cast<std::uint8_t>(minor));
}

}  // namespace reader_detail

using namespace reader_detail;

namespace {
// The readers' reasons (English, as the logs keep them) in Russian: the part before the file's
// name or the number.
constexpr std::pair<const char*, const char*> kRussianReasons[] = {
    {"cannot open ", "не удалось открыть "},
    {"not an experiment file (neither .adc nor .txt): ", "не файл эксперимента (не .adc и не .txt): "},
    {"shorter than the 124-byte header: ", "короче заголовка в 124 байта: "},
    {"column count ", "число столбцов "},
    {"out of memory at record ", "не хватило памяти на записи "},
    {"text file shorter than 1024 bytes: ", "текстовый файл короче 1024 байт: "},
    {"a line of 1024 or more characters before the header",
     "строка из 1024 и более символов до заголовка"},
    {"no header line beginning with время in the first block",
     "в первом блоке нет строки заголовка, начинающейся с время"},
};

std::string Worded(const std::string& reason, Language language) {
    if (language == Language::English) return reason;
    for (const auto& [english, russian] : kRussianReasons) {
        const std::string prefix = english;
        if (reason.rfind(prefix, 0) != 0) continue;
        std::string rest = reason.substr(prefix.size());
        // "column count 99 outside 0..43: PATH"
        if (const std::size_t outside = rest.find(" outside "); outside != std::string::npos)
            rest.replace(outside, 9, " вне ");
        return russian + rest;
    }
    return reason;
}
}  // namespace

std::string SLoadReport::Summary(Language language) const {
    const bool en = language == Language::English;
    std::string s;
    auto add = [&s](const std::string& part) { s += (s.empty() ? "" : "; ") + part; };
    if (fileFailure != FileFailure::None)
        add(FileFailureText(fileFailure, fileErrno, std::string(), language));
    else if (!error.empty())
        add(Worded(error, language));
    if (!warning.empty()) add(Worded(warning, language));
    if (cancelled) add(en ? "loading was cancelled" : "загрузка отменена");
    if (ignoredBytes)
        add(en ? std::to_string(ignoredBytes) + " bytes of an incomplete last record ignored"
               : "неполная последняя запись (" + std::to_string(ignoredBytes) +
                     " байт) не загружена");
    if (skippedLines)
        add(en ? std::to_string(skippedLines) + " lines that were not whole records skipped"
               : "пропущено строк, не содержащих записи: " + std::to_string(skippedLines));
    if (skippedRecords)
        add(en ? std::to_string(skippedRecords) + " records with impossible values skipped"
               : "пропущено записей с невозможными значениями: " + std::to_string(skippedRecords));
    if (unknownColumns)
        add(en ? std::to_string(unknownColumns) + " unknown columns skipped"
               : "пропущено неизвестных столбцов: " + std::to_string(unknownColumns));
    return s;
}

int LoadExperimentFile(CDeviceData& store, const std::string& path, const LoadProgressFn& progress,
                       SLoadReport* report) {
    SLoadReport local;
    SLoadReport& r = report ? *report : local;
    r = SLoadReport{};
    if (path.find(".adc") != std::string::npos) return LoadAdcFile(store, path, progress, r);
    if (path.find(".txt") != std::string::npos) return LoadTxtFile(store, path, progress, r);
    store.ResetData();
    return Fail(r, "not an experiment file (neither .adc nor .txt): " + path);
}

int StreamExperimentFile(CDeviceData& store, const std::string& path, const RecordBatchFn& take,
                         const LoadProgressFn& progress, SLoadReport& report) {
    report = SLoadReport{};
    if (path.find(".adc") != std::string::npos)
        return ReadAdc(store, path, progress, report, &take);
    if (path.find(".txt") != std::string::npos)
        return ReadTxt(store, path, progress, report, &take);
    store.ResetData();
    return Fail(report, "not an experiment file (neither .adc nor .txt): " + path);
}

int LoadAdcFile(CDeviceData& store, const std::string& path, const LoadProgressFn& progress,
                SLoadReport& report) {
    return ReadAdc(store, path, progress, report, nullptr);
}

int reader_detail::ReadAdc(CDeviceData& store, const std::string& path,
                           const LoadProgressFn& progress, SLoadReport& report,
                           const RecordBatchFn* take) {
    store.ResetData();
    CInputFile f;
    if (!f.Open(path)) return FailFile(report, f, path);
    const std::uint64_t length = f.Size();
    unsigned char header[kAdcHeaderSize];
    const long long headerBytes = f.Read(header, kAdcHeaderSize);
    if (headerBytes < 0) return FailFile(report, f, path);
    if (headerBytes < kAdcHeaderSize || length < kAdcHeaderSize)
        return Fail(report, "shorter than the 124-byte header: " + path);
    const std::int32_t c = static_cast<std::int32_t>(GetLe32(header + 48));
    // More than 43 columns would read identifiers past the header's table.
    if (c < 0 || c > CMeasRecord::kParamCount)
        return Fail(report, "column count " + std::to_string(c) + " outside 0.." + std::to_string(kParamCount) + ": " + path);
    int ids[CMeasRecord::kParamCount];
    for (int k = 0; k < c; ++k) {
        ids[k] = header[60 + k];
        report.columns.push_back(ids[k] < CMeasRecord::kParamCount ? ids[k] : -1);
        // An identifier outside the catalogue leaves its column unread: say so.
        if (ids[k] >= CMeasRecord::kParamCount) ++report.unknownColumns;
    }
    ReadFirmware(header, store);
    store.SetLoadedFrom(path, TitleOf(path));
    // Known before the records: a reader that takes them as they come dates them with it.
    store.SetStartTime(static_cast<std::time_t>(GetLe32(header + 52)));

    if (!Report(progress, 0)) {
        report.cancelled = true;
        return 0;
    }
    const std::size_t recordBytes = static_cast<std::size_t>(c) * 4;
    std::vector<char> block(kReadBlock + recordBytes);
    std::size_t carried = 0;
    std::uint64_t done = kAdcHeaderSize;
    CMeasRecord buffer;
    // Where each column goes: straight into its double field, or through SetParam for the
    // integer parameters and the identifiers the catalogue does not know.
    std::ptrdiff_t offsets[CMeasRecord::kParamCount];
    for (int k = 0; k < c; ++k) offsets[k] = DoubleParamOffset(ids[k]);
    int integerColumns[CMeasRecord::kParamCount];
    int integerCount = 0;
    for (int k = 0; k < c; ++k)
        if (IsIntegerParam(ids[k])) integerColumns[integerCount++] = k;
    auto RecordFits = [&](const unsigned char* p) {
        for (int j = 0; j < integerCount; ++j) {
            const int k = integerColumns[j];
            std::uint32_t bits = GetLe32(p + 4 * k);
            float v;
            std::memcpy(&v, &bits, 4);
            if (!FitsParam(ids[k], v)) return false;
        }
        return true;
    };
    // The whole file is one block of records; knowing its size spares the store every doubling.
    if (recordBytes > 0 && !take) store.Reserve(static_cast<int>(std::min<std::uint64_t>(
                             (length - kAdcHeaderSize) / recordBytes, INT32_MAX)));
    std::vector<CMeasRecord> batch;
    batch.reserve(kReadBlock / (recordBytes ? recordBytes : 1) + 1);
    // A store that keeps no records and a file of every parameter in catalogue order: the
    // statistics take the file's own rows, a run of whole records at a time.
    bool asRows = !take && !store.KeepsRecords() && c == CMeasRecord::kParamCount &&
                  std::endian::native == std::endian::little;
    for (int k = 0; asRows && k < c; ++k) asRows = ids[k] == k;
    // Other columns for such a store: each record as a row of parameters, what the file does
    // not give keeping the record before's value, as the record reused for each one does.
    const bool anyRows = !take && !store.KeepsRecords() && !asRows;
    double row[CMeasRecord::kParamCount] = {};
    std::vector<double> rows;
    if (recordBytes == 0) {
        report.ignoredBytes = length - kAdcHeaderSize;
    } else {
        for (;;) {
            const long long read = f.Read(block.data() + carried, kReadBlock);
            if (read < 0) return FailFile(report, f, path);
            const auto got = static_cast<std::size_t>(read);
            if (got == 0) break;
            done += got;
            std::size_t have = carried + got, at = 0;
            batch.clear();
            std::size_t run = 0;  // the first record of a run of records that fit
            auto addRun = [&](std::size_t end) {
                const auto n = static_cast<int>((end - run) / recordBytes);
                if (n > 0)
                    report.records += store.AddFloatRows(
                        reinterpret_cast<const float*>(block.data() + run), n, buffer);
            };
            for (; asRows && at + recordBytes <= have; at += recordBytes) {
                if (CatalogueIntegersFit(reinterpret_cast<const unsigned char*>(block.data() + at)))
                    continue;
                addRun(at);
                ++report.skippedRecords;
                run = at + recordBytes;
            }
            if (asRows) addRun(at);
            for (; at + recordBytes <= have; at += recordBytes) {
                const unsigned char* p = reinterpret_cast<const unsigned char*>(block.data() + at);
                if (!RecordFits(p)) {
                    ++report.skippedRecords;
                    continue;
                }
                for (int k = 0; k < c; ++k) {
                    std::uint32_t bits = GetLe32(p + 4 * k);
                    float v;
                    std::memcpy(&v, &bits, 4);
                    if (anyRows) {
                        if (ids[k] < CMeasRecord::kParamCount) row[ids[k]] = v;
                    } else if (offsets[k] >= 0) {
                        double d = v;
                        std::memcpy(reinterpret_cast<char*>(&buffer) + offsets[k], &d, sizeof d);
                    } else {
                        SetParam(buffer, ids[k], v);
                    }
                }
                if (anyRows) rows.insert(rows.end(), row, row + CMeasRecord::kParamCount);
                else batch.push_back(buffer);
            }
            if (anyRows) {
                report.records += store.AddParamRows(
                    rows.data(), static_cast<int>(rows.size() / CMeasRecord::kParamCount), buffer);
                rows.clear();
            }
            if (take) {
                if (!batch.empty() &&
                    !(*take)(batch.data(), static_cast<int>(batch.size()), report))
                    return 0;
                report.records += static_cast<int>(batch.size());
            } else {
                const int stored = store.AddSamples(batch.data(), static_cast<int>(batch.size()));
                report.records += stored;
                if (stored != static_cast<int>(batch.size()))
                    return Fail(report,
                                "out of memory at record " + std::to_string(report.records));
            }
            carried = have - at;
            std::memmove(block.data(), block.data() + at, carried);
            if (!Report(progress, Percent(done, length))) {
                report.cancelled = true;
                return 0;
            }
        }
        report.ignoredBytes = carried;
    }
    // The header's start time is when the first record was taken; keep it for a rewrite.
    store.SetStartTime(static_cast<std::time_t>(GetLe32(header + 52)));
    Report(progress, 100);
    return 1;
}

bool ReadFileColumns(const std::string& path, std::vector<int>& columns, std::string& error,
                     Language language) {
    columns.clear();
    CInputFile f;
    if (!f.Open(path)) {
        error = f.FailureText(path, language);
        return false;
    }
    const bool binary = path.find(".adc") != std::string::npos;
    if (binary) {
        unsigned char header[kAdcHeaderSize];
        const long long got = f.Read(header, kAdcHeaderSize);
        if (got < 0) {
            error = f.FailureText(path, language);
            return false;
        }
        if (got != kAdcHeaderSize) {
            error = "shorter than the 124-byte header: " + path;
            return false;
        }
        const std::int32_t c = static_cast<std::int32_t>(GetLe32(header + 48));
        if (c < 0 || c > CMeasRecord::kParamCount) {
            error = "column count " + std::to_string(c) + " outside 0..43: " + path;
            return false;
        }
        for (int k = 0; k < c; ++k)
            columns.push_back(header[60 + k] < CMeasRecord::kParamCount ? header[60 + k] : -1);
        return true;
    }
    if (path.find(".txt") == std::string::npos) {
        error = "not an experiment file (neither .adc nor .txt): " + path;
        return false;
    }
    // The header is a line of the first block that begins with время.
    std::string block(kReadBlock, '\0');
    const long long got = f.Read(block.data(), block.size());
    if (got < 0) {
        error = f.FailureText(path, language);
        return false;
    }
    block.resize(static_cast<std::size_t>(got));
    std::size_t start = 0;
    while (start < block.size()) {
        std::size_t lf = block.find('\n', start);
        if (lf == std::string::npos) break;
        std::size_t n = lf - start;
        if (n > 0 && block[lf - 1] == '\r') --n;
        if (n >= kTextMaxLine) break;
        if (n >= 5 && std::memcmp(block.data() + start, kTimeCp1251, 5) == 0) {
            int unknown = 0;
            columns = ColumnMap(block.substr(start, n), unknown);
            return true;
        }
        start = lf + 1;
    }
    error = "no header line beginning with время in the first block: " + path;
    return false;
}

}  // namespace dravmer
