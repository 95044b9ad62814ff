// The text experiment file: Windows-1251 lines of fixed-width columns under a header line.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files/experiment_time.h"
#include "files/file_format.h"
#include "files/file_reader_detail.h"
#include "measure/param_catalog.h"
#include "platform/cp1251.h"

namespace dravmer {

using namespace reader_detail;

namespace {

// Header names that older bench versions wrote.
int IndexOfHeaderName(const std::string& utf8) {
    if (utf8 == "Рез4") return 22;
    if (utf8 == "Флаг сост") return 15;
    if (utf8 == "t") return 9;
    return FindParamByName(utf8);
}

// The header after its sixth character, cut at runs of two or more blanks.
}  // namespace

std::vector<int> reader_detail::ColumnMap(const std::string& line, int& unknown) {
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

namespace {

// Fixed-point text such as "-12.345678" from `begin` on: the digits into an exact integer, one
// division by an exact power of ten, which IEEE arithmetic rounds correctly (the C library's
// result). Returns where the text stops being [-]digits[.digits]; `fast` tells whether `value`
// was set (1 to 15 digits).
const char* ParseFixed(const char* begin, const char* end, double& value, bool& fast) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = begin;
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    const char* const first = p;
    auto digit = [](char c) { return static_cast<unsigned char>(c - '0') <= 9; };
    // The digits before the point, then those after it: the counts come from where each run
    // ends, so that a digit costs one multiply-add.
    std::uint64_t mantissa = 0;
    for (; p < end && digit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    std::ptrdiff_t digits = p - first, decimals = 0;
    if (p < end && *p == '.') {
        const char* const point = p++;
        for (; p < end && digit(*p); ++p)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        decimals = p - point - 1;
        digits += decimals;
    }
    fast = digits > 0 && digits <= 15;
    if (fast) {
        const double m = static_cast<double>(mantissa);
        value = decimals > 0 ? m / kPow10[decimals] : m;
        if (negative) value = -value;
    }
    return p;
}

// What ParseFixed does not take (a leading '+', an exponent, nan, more than 15 digits):
// from_chars, then strtod. False unless the whole token converts.
bool ParseOther(const char* begin, const char* end, double& value) {
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

// A decimal token of a line that runs from `begin` to the line's end `end`, converted as the C
// library converts it, in the same pass that finds where the token ends (the next blank).
// Returns the token's end; `ok` tells whether the whole token is a number.
const char* ParseNumberToken(const char* begin, const char* end, double& value, bool& ok) {
    bool fast;
    const char* p = ParseFixed(begin, end, value, fast);
    if (p < end && *p != ' ') {  // more to the token than fixed-point text
        while (p < end && *p != ' ') ++p;
        ok = ParseOther(begin, p, value);
        return p;
    }
    ok = fast || ParseOther(begin, p, value);
    return p;
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
    return ReadTxt(store, path, progress, report, nullptr);
}

int reader_detail::ReadTxt(CDeviceData& store, const std::string& path,
                           const LoadProgressFn& progress, SLoadReport& report,
                           const RecordBatchFn* take) {
    store.ResetData();
    CInputFile f;
    if (!f.Open(path)) return FailFile(report, f, path);
    const std::uint64_t length = f.Size();
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
    // A store that keeps no records gets each line as a row of parameters: what a column does
    // not give keeps the line before's value, as the record reused for each line does.
    const bool asRows = !take && !store.KeepsRecords();
    std::uint32_t lastTime = 0;  // of the newest record handed to `take`
    double row[CMeasRecord::kParamCount] = {};
    std::vector<double> rows;

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
        // The map in locals: the stores into values would otherwise reload it for every token.
        const int* const columns = map.data();
        const std::size_t known = std::min<std::size_t>(map.size(), 64);
        while (p < e) {
            while (p < e && *p == ' ') ++p;
            if (p >= e) break;
            const char* b = p;
            const int index = tokens < known ? columns[tokens] : -1;
            if (index >= 0 && index != 2) {
                bool ok;
                p = ParseNumberToken(b, e, values[tokens], ok);
                bad = bad || !ok || !FitsParam(index, values[tokens]);
            } else {
                while (p < e && *p != ' ') ++p;
                if (index == 2)
                    bad =
                        bad || !ParseHex(b, p, values[tokens]) || !FitsParam(index, values[tokens]);
            }
            ++tokens;
        }
        if (tokens == 0) return true;  // blank line
        if (tokens != map.size() || bad) {
            ++report.skippedLines;
            return true;
        }
        if (asRows) {
            for (std::size_t j = 0; j < tokens; ++j)
                if (map[j] >= 0) row[map[j]] = values[j];
            rows.insert(rows.end(), row, row + CMeasRecord::kParamCount);
            return true;
        }
        for (std::size_t j = 0; j < tokens; ++j)
            if (map[j] >= 0) SetParam(buffer, map[j], values[j]);
        if (!reserved && !take) {
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
        if (take) {
            if (batch.empty()) return true;
            const int n = static_cast<int>(batch.size());
            if (!(*take)(batch.data(), n, report)) return false;
            report.records += n;
            lastTime = batch.back().time;
            batch.clear();
            return true;
        }
        if (asRows) {
            const auto n = static_cast<int>(rows.size() / CMeasRecord::kParamCount);
            report.records += store.AddParamRows(rows.data(), n, buffer);
            rows.clear();
            return true;
        }
        const int stored = store.AddSamples(batch.data(), static_cast<int>(batch.size()));
        report.records += stored;
        const bool all = stored == static_cast<int>(batch.size());
        batch.clear();
        if (!all) report.error = "out of memory at record " + std::to_string(report.records);
        return all;
    };

    while (!stop) {
        const long long read = f.Read(block.data(), block.size());
        if (read < 0) return FailFile(report, f, path);
        const auto got = static_cast<std::size_t>(read);
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
    if (const std::time_t start =
            TxtStartTimeOfFile(path, take ? lastTime : store.GetLastTime());
        start != 0)
        store.SetStartTime(start);
    Report(progress, 100);
    return 1;
}

}  // namespace dravmer
