#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "files/experiment_time.h"
#include "files/file_format.h"
#include "measure/param_catalog.h"
#include "platform/cp1251.h"

namespace dravmer {
namespace {

std::uint32_t GetLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string TitleOf(const std::string& path) { return std::filesystem::path(path).stem().string(); }

bool Report(const LoadProgressFn& progress, int percent) { return !progress || progress(percent); }

// The integer parameters hold only what their fields can: a negative time, a cycle counter of
// 421 or a fraction of a second is no record of a bench, and storing it would wrap around.
bool FitsParam(int index, double v) {
    // Inside the range a value is whole when converting it to an integer and back keeps it.
    auto whole = [v] { return static_cast<double>(static_cast<std::int64_t>(v)) == v; };
    switch (index) {
        case 0: return v >= 0 && v <= 4294967295.0 && whole();
        case 1:
        case 15: return v >= 0 && v <= 255 && whole();
        case 2: return v >= 0 && v <= 65535 && whole();
        default: return true;
    }
}

int Percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 100 : static_cast<int>(done * 100 / total);
}

int Fail(SLoadReport& report, std::string why) {
    report.error = std::move(why);
    return 0;
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

}  // namespace

std::string SLoadReport::Summary() const {
    std::string s;
    auto add = [&s](const std::string& part) { s += (s.empty() ? "" : "; ") + part; };
    if (!error.empty()) add(error);
    if (!warning.empty()) add(warning);
    if (cancelled) add("loading was cancelled");
    if (ignoredBytes)
        add(std::to_string(ignoredBytes) + " bytes of an incomplete last record ignored");
    if (skippedLines)
        add(std::to_string(skippedLines) + " lines that were not whole records skipped");
    if (skippedRecords)
        add(std::to_string(skippedRecords) + " records with impossible values skipped");
    if (unknownColumns) add(std::to_string(unknownColumns) + " unknown columns skipped");
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

int LoadAdcFile(CDeviceData& store, const std::string& path, const LoadProgressFn& progress,
                SLoadReport& report) {
    store.ResetData();
    std::ifstream f(path, std::ios::binary);
    if (!f) return Fail(report, "cannot open " + path);
    f.seekg(0, std::ios::end);
    const std::uint64_t length = static_cast<std::uint64_t>(f.tellg());
    f.seekg(0);
    if (length < kAdcHeaderSize) return Fail(report, "shorter than the 124-byte header: " + path);
    unsigned char header[kAdcHeaderSize];
    f.read(reinterpret_cast<char*>(header), kAdcHeaderSize);
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
    if (recordBytes > 0) store.Reserve(static_cast<int>(std::min<std::uint64_t>(
                             (length - kAdcHeaderSize) / recordBytes, INT32_MAX)));
    std::vector<CMeasRecord> batch;
    batch.reserve(kReadBlock / (recordBytes ? recordBytes : 1) + 1);
    if (recordBytes == 0) {
        report.ignoredBytes = length - kAdcHeaderSize;
    } else {
        while (f) {
            f.read(block.data() + carried, static_cast<std::streamsize>(kReadBlock));
            std::size_t got = static_cast<std::size_t>(f.gcount());
            if (got == 0) break;
            done += got;
            std::size_t have = carried + got, at = 0;
            batch.clear();
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
                    if (offsets[k] >= 0) {
                        double d = v;
                        std::memcpy(reinterpret_cast<char*>(&buffer) + offsets[k], &d, sizeof d);
                    } else {
                        SetParam(buffer, ids[k], v);
                    }
                }
                batch.push_back(buffer);
            }
            const int stored = store.AddSamples(batch.data(), static_cast<int>(batch.size()));
            report.records += stored;
            if (stored != static_cast<int>(batch.size()))
                return Fail(report, "out of memory at record " + std::to_string(report.records));
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

namespace {

// "время" in Windows-1251.
constexpr char kTimeCp1251[] = "\xE2\xF0\xE5\xEC\xFF";

// Header names that older bench versions wrote.
int IndexOfHeaderName(const std::string& utf8) {
    if (utf8 == "Рез4") return 22;
    if (utf8 == "Флаг сост") return 15;
    if (utf8 == "t") return 9;
    return FindParamByName(utf8);
}

// The header after its sixth character, cut at runs of two or more blanks.
std::vector<int> ColumnMap(const std::string& line, int& unknown) {
    std::vector<int> map{0};
    std::size_t i = 6;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        std::size_t start = i;
        while (i < line.size() && !(line[i] == ' ' && (i + 1 >= line.size() || line[i + 1] == ' ')))
            ++i;
        std::string name = Cp1251ToUtf8(line.substr(start, i - start));
        int index = IndexOfHeaderName(name);
        if (index < 0) ++unknown;
        map.push_back(index);
        if (map.size() >= static_cast<std::size_t>(CMeasRecord::kParamCount)) break;
    }
    return map;
}

// The C library's decimal conversion, quicker: from_chars for the usual text, strtod for what
// it does not take (a leading '+', an exponent, nan). False unless the whole token converts.
bool ParseNumber(const char* begin, const char* end, double& value) {
    // Fixed-point text such as "-12.345678": digits into an exact integer, one division by an
    // exact power of ten, which IEEE arithmetic rounds correctly (the C library's result).
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = begin;
    bool negative = p < end && *p == '-';
    if (negative) ++p;
    std::uint64_t mantissa = 0;
    int digits = 0, decimals = -1;
    for (; p < end; ++p) {
        char c = *p;
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
            ++digits;
            if (decimals >= 0) ++decimals;
        } else if (c == '.' && decimals < 0) {
            decimals = 0;
        } else {
            break;
        }
    }
    if (p == end && digits > 0 && digits <= 15) {
        double m = static_cast<double>(mantissa);
        value = decimals > 0 ? m / kPow10[decimals] : m;
        if (negative) value = -value;
        return true;
    }
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc() && ptr == end) return true;
    char tmp[128];
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(end - begin), sizeof tmp - 1);
    std::memcpy(tmp, begin, n);
    tmp[n] = 0;
    if (static_cast<std::size_t>(end - begin) >= sizeof tmp) return false;
    char* stop = nullptr;
    value = std::strtod(tmp, &stop);
    // Only the whole token: "12abc" is no number of a record.
    return stop == tmp + n && n > 0;
}

// Cст is written as four hexadecimal digits; reading it as decimal would turn "00A3" into 0.
bool ParseHex(const char* begin, const char* end, double& value) {
    unsigned v = 0;
    auto [ptr, ec] = std::from_chars(begin, end, v, 16);
    if (ec != std::errc() || ptr != end) return false;
    value = v;
    return true;
}

}  // namespace

int LoadTxtFile(CDeviceData& store, const std::string& path, const LoadProgressFn& progress,
                SLoadReport& report) {
    store.ResetData();
    std::ifstream f(path, std::ios::binary);
    if (!f) return Fail(report, "cannot open " + path);
    f.seekg(0, std::ios::end);
    const std::uint64_t length = static_cast<std::uint64_t>(f.tellg());
    f.seekg(0);
    if (length < kTextMinSize) return Fail(report, "text file shorter than 1024 bytes: " + path);

    if (!Report(progress, 0)) {
        report.cancelled = true;
        return 0;
    }
    std::vector<char> block(kReadBlock);
    std::string pending;  // an unfinished line carried over to the next block
    std::vector<int> map;
    bool haveHeader = false, stop = false, firstBlock = true;
    int kg = 0, kr = 0;
    CMeasRecord buffer;
    std::uint64_t done = 0;
    std::vector<CMeasRecord> batch;
    bool reserved = false;

    auto handleLine = [&](const char* s, std::size_t n) -> bool {
        if (n > 0 && s[n - 1] == '\r') --n;
        if (n >= kTextMaxLine) {
            if (!haveHeader)
                report.error = "a line of 1024 or more characters before the header";
            else
                report.warning = "a line of 1024 or more characters ended the reading";
            return false;
        }
        if (!haveHeader) {
            if (n >= 5 && std::memcmp(s, kTimeCp1251, 5) == 0) {
                map = ColumnMap(std::string(s, n), report.unknownColumns);
                report.columns = map;
                haveHeader = true;
                buffer.kg = static_cast<std::uint8_t>(kg);
                buffer.kr = static_cast<std::uint8_t>(kr);
            } else {
                double ky = 0;
                std::string line(s, n);
                if (std::sscanf(line.c_str(), "KG=%d KR=%d Ky=%lf", &kg, &kr, &ky) == 3) {
                    report.ky = ky;
                    report.hasKy = true;
                }
            }
            return true;
        }
        // One pass over the line: split at blanks and convert each token as it comes.
        double values[64];
        std::size_t tokens = 0;
        const char* p = s;
        const char* e = s + n;
        bool bad = false;
        while (p < e) {
            while (p < e && *p == ' ') ++p;
            if (p >= e) break;
            const char* b = p;
            while (p < e && *p != ' ') ++p;
            if (tokens < 64 && tokens < map.size()) {
                int index = map[tokens];
                if (index >= 0) {
                    bool ok = index == 2 ? ParseHex(b, p, values[tokens])
                                         : ParseNumber(b, p, values[tokens]);
                    bad = bad || !ok || !FitsParam(index, values[tokens]);
                }
            }
            ++tokens;
        }
        if (tokens == 0) return true;  // blank line
        if (tokens != map.size() || bad) {
            ++report.skippedLines;
            return true;
        }
        for (std::size_t j = 0; j < tokens; ++j)
            if (map[j] >= 0) SetParam(buffer, map[j], values[j]);
        if (!reserved) {
            // Lines of one file are nearly of one length: size the store from the first record's.
            store.Reserve(static_cast<int>(
                std::min<std::uint64_t>(length / (n + 1) + length / (n + 1) / 50 + 16, INT32_MAX)));
            reserved = true;
        }
        batch.push_back(buffer);
        return true;
    };
    // Appends the records of the block just read; false when the store could not take them.
    auto flush = [&]() -> bool {
        const int stored = store.AddSamples(batch.data(), static_cast<int>(batch.size()));
        report.records += stored;
        const bool all = stored == static_cast<int>(batch.size());
        batch.clear();
        if (!all) report.error = "out of memory at record " + std::to_string(report.records);
        return all;
    };

    while (!stop && f) {
        f.read(block.data(), static_cast<std::streamsize>(block.size()));
        std::size_t got = static_cast<std::size_t>(f.gcount());
        if (got == 0) break;
        done += got;
        const char* data = block.data();
        std::size_t start = 0;
        while (!stop && start < got) {
            const char* lf = static_cast<const char*>(std::memchr(data + start, '\n', got - start));
            if (!lf) break;
            std::size_t i = static_cast<std::size_t>(lf - data);
            if (!pending.empty()) {
                pending.append(data + start, i - start);
                stop = !handleLine(pending.data(), pending.size());
                pending.clear();
            } else {
                stop = !handleLine(data + start, i - start);
            }
            start = i + 1;
        }
        if (!stop) pending.append(data + start, got - start);
        if (!stop && pending.size() >= kTextMaxLine + 1) {
            stop = !handleLine(pending.data(), pending.size());
        }
        if (!flush()) return 0;
        if (firstBlock && !haveHeader) {
            store.SetLoadedFrom(path, TitleOf(path));
            return Fail(report, report.error.empty()
                                    ? "no header line beginning with время in the first block"
                                    : report.error);
        }
        firstBlock = false;
        if (!Report(progress, Percent(done, length))) {
            report.cancelled = true;
            return 0;
        }
    }
    // A last line without its line end was cut short: its last value may be incomplete.
    if (!stop && !pending.empty() && pending.find_first_not_of(" \r") != std::string::npos)
        ++report.skippedLines;
    store.SetLoadedFrom(path, TitleOf(path));
    // A text file holds no start time; the wall-clock labels take it from the shared rule.
    if (const std::time_t start = TxtStartTimeOfFile(path, store.GetLastTime()); start != 0)
        store.SetStartTime(start);
    Report(progress, 100);
    return 1;
}

bool ReadFileColumns(const std::string& path, std::vector<int>& columns, std::string& error) {
    columns.clear();
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    const bool binary = path.find(".adc") != std::string::npos;
    if (binary) {
        unsigned char header[kAdcHeaderSize];
        f.read(reinterpret_cast<char*>(header), kAdcHeaderSize);
        if (f.gcount() != kAdcHeaderSize) {
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
    f.read(block.data(), static_cast<std::streamsize>(block.size()));
    block.resize(static_cast<std::size_t>(f.gcount()));
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
