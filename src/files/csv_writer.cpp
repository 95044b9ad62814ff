#include "files/csv_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "measure/param_catalog.h"

namespace dravmer {

namespace {

constexpr std::size_t kChunkBytes = 1 << 20;

char* TwoDigits(char* p, int v) {
    *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
    return p;
}

bool AllFalse(const std::array<bool, CMeasRecord::kParamCount>& a) {
    return std::none_of(a.begin(), a.end(), [](bool b) { return b; });
}

// The shortest text that reads back to the stored value; nothing for a NaN (an empty cell is
// what pandas and spreadsheets take for "no value"). buf holds at least 64 characters.
char* FormatNumber(char* buf, double v, int param, CsvValues values, bool decimalComma) {
    char* const limit = buf + 64;
    char* end;
    if (IsIntegerParam(param))
        end = std::to_chars(buf, limit, static_cast<long long>(v)).ptr;
    else if (std::isnan(v))
        return buf;
    else if (values == CsvValues::kFloat)
        end = std::to_chars(buf, limit, static_cast<float>(v)).ptr;
    else
        end = std::to_chars(buf, limit, v).ptr;
    if (decimalComma) std::replace(buf, end, '.', ',');
    return end;
}

}  // namespace

namespace {

// "2026-12-06" + between + "10:05:03" in local time, then the offset from UTC when asked.
std::string LocalDateTime(std::time_t t, char between, bool withOffset) {
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return {};
    char buf[40];
    char* p = buf;
    auto [end, ec] = std::to_chars(p, buf + 8, tm.tm_year + 1900);
    p = ec == std::errc() ? end : p;
    *p++ = '-';
    p = TwoDigits(p, tm.tm_mon + 1);
    *p++ = '-';
    p = TwoDigits(p, tm.tm_mday);
    *p++ = between;
    p = TwoDigits(p, tm.tm_hour);
    *p++ = ':';
    p = TwoDigits(p, tm.tm_min);
    *p++ = ':';
    p = TwoDigits(p, tm.tm_sec);
    if (withOffset) {
        long offset = tm.tm_gmtoff;
        *p++ = offset < 0 ? '-' : '+';
        offset = offset < 0 ? -offset : offset;
        p = TwoDigits(p, static_cast<int>(offset / 3600));
        *p++ = ':';
        p = TwoDigits(p, static_cast<int>(offset / 60 % 60));
    }
    return std::string(buf, p);
}

}  // namespace

std::string IsoLocalDateTime(std::time_t t) { return LocalDateTime(t, 'T', true); }

std::string SpreadsheetLocalDateTime(std::time_t t) { return LocalDateTime(t, ' ', false); }

CCsvWriter::CCsvWriter(std::vector<int> columns, SCsvOptions options, Sink sink)
    : m_columns(std::move(columns)),
      m_options(options),
      m_sink(std::move(sink)),
      m_separator(options.excel ? ';' : ','),
      m_lineEnd(options.excel ? "\r\n" : "\n") {}

std::string CCsvWriter::FormatValue(double value, int param, CsvValues values, bool decimalComma) {
    char buf[64];
    char* end = FormatNumber(buf, value, param, values, decimalComma);
    return std::string(buf, end);
}

void CCsvWriter::AppendField(std::string& out, std::string_view text) const {
    const bool quote =
        text.find_first_of(std::string{m_separator, '"', '\n', '\r'}) != std::string_view::npos;
    if (!quote) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

bool CCsvWriter::WriteHeader() {
    std::string out;
    if (m_options.excel) out += "\xEF\xBB\xBF";
    out += "datetime";
    out += m_separator;
    out += "address";
    for (int c : m_columns) {
        out += m_separator;
        AppendField(out, ParamNameTrimmed(c));
    }
    out += m_lineEnd;
    if (m_options.units) {
        out += m_separator;  // datetime and address have no unit
        for (int c : m_columns) {
            out += m_separator;
            AppendField(out, ParamUnit(c));
        }
        out += m_lineEnd;
    }
    return m_sink(out);
}

void CCsvWriter::AppendRow(std::string& out, const SCsvSource& source, const CMeasRecord& r) {
    const std::time_t t = source.start + static_cast<std::time_t>(r.time);
    if (t != m_lastTime) {
        m_lastTime = t;
        m_lastTimeText = m_options.excel ? SpreadsheetLocalDateTime(t) : IsoLocalDateTime(t);
    }
    out += m_lastTimeText;
    out += m_separator;
    char buf[64];
    if (source.address) {
        auto res = std::to_chars(buf, buf + sizeof buf, *source.address);
        out.append(buf, res.ptr);
    }
    const bool every = AllFalse(source.has);
    double all[CMeasRecord::kParamCount];
    GetAllParams(r, all);
    for (int c : m_columns) {
        out += m_separator;
        if (c < 0 || c >= CMeasRecord::kParamCount) continue;
        if (!every && !source.has[static_cast<std::size_t>(c)]) continue;
        out.append(buf, FormatNumber(buf, all[c], c, source.values, m_options.excel));
    }
    out += m_lineEnd;
}

bool CCsvWriter::WriteRows(const SCsvSource& source, const Progress& progress) {
    if (!source.store) return true;
    const int count = source.store->GetCount();
    const int first = std::clamp(source.first, 0, count);
    const int last = source.last < 0 ? count : std::clamp(source.last, first, count);
    std::vector<CMeasRecord> chunk(4096);
    std::string out;
    out.reserve(kChunkBytes + 4096);
    for (int i = first; i < last;) {
        const int n = source.store->CopySamples(
            i, std::min(static_cast<int>(chunk.size()), last - i), chunk.data());
        if (n <= 0) break;
        for (int k = 0; k < n; ++k) {
            AppendRow(out, source, chunk[static_cast<std::size_t>(k)]);
            if (out.size() >= kChunkBytes) {
                if (!m_sink(out)) return false;
                out.clear();
            }
        }
        m_rows += static_cast<std::uint64_t>(n);
        i += n;
        if (progress && !progress(static_cast<int>(static_cast<std::int64_t>(i - first) * 100 /
                                                   std::max(1, last - first)))) {
            m_cancelled = true;
            return false;
        }
    }
    return out.empty() || m_sink(out);
}

bool CCsvWriter::WriteRecords(const SCsvSource& source, const CMeasRecord* records, int n) {
    std::string out;
    for (int k = 0; k < n; ++k) {
        AppendRow(out, source, records[k]);
        if (out.size() >= kChunkBytes) {
            if (!m_sink(out)) return false;
            out.clear();
        }
    }
    m_rows += static_cast<std::uint64_t>(std::max(n, 0));
    return out.empty() || m_sink(out);
}

std::vector<int> UnionOfColumns(const std::vector<std::vector<int>>& columnSets) {
    std::array<bool, CMeasRecord::kParamCount> used{};
    for (const auto& set : columnSets)
        for (int c : set)
            if (c >= 0 && c < CMeasRecord::kParamCount) used[static_cast<std::size_t>(c)] = true;
    std::vector<int> columns;
    for (int c = 0; c < CMeasRecord::kParamCount; ++c)
        if (used[static_cast<std::size_t>(c)]) columns.push_back(c);
    return columns;
}

// ---- CNewFile ----

CNewFile::~CNewFile() { Abandon(); }

bool CNewFile::Open(const std::string& path, std::string& error) {
    Abandon();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        error = path + " exists; it is left as it is";
        return false;
    }
    const std::filesystem::path p(path);
    const std::string dir = p.has_parent_path() ? p.parent_path().string() + "/" : "";
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = dir + "." + p.filename().string() + "." +
                                 std::to_string(::getpid()) + "-" +
                                 std::to_string(counter.fetch_add(1)) + ".part";
        // Created like any new file, so the umask gives it the permissions a user expects.
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_path = path;
            m_tempPath = temp;
            m_writeErrno = 0;
            return true;
        }
        if (errno != EEXIST) {
            error = "cannot create a file in " + (dir.empty() ? std::string(".") : dir) + ": " +
                    std::strerror(errno);
            return false;
        }
    }
    error = "cannot create a temporary file beside " + path;
    return false;
}

bool CNewFile::Write(std::string_view bytes) {
    if (m_fd < 0 || m_writeErrno) return false;
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            m_writeErrno = errno;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool CNewFile::Commit(std::string& error) {
    if (m_fd < 0) {
        error = "no file is open";
        return false;
    }
    int failure = m_writeErrno;
    if (!failure && ::fsync(m_fd) != 0 && errno != EINVAL) failure = errno;
    if (::close(m_fd) != 0 && !failure) failure = errno;
    m_fd = -1;
    if (failure) {
        error = "cannot write " + m_path + ": " + std::strerror(failure);
        Abandon();
        return false;
    }
    // A hard link names the file only if the name is still free; file systems without links
    // (a FAT memory stick) get a rename that refuses to replace, and failing that a plain one.
    if (::link(m_tempPath.c_str(), m_path.c_str()) == 0) {
        ::unlink(m_tempPath.c_str());
    } else if (errno == EEXIST) {
        error = m_path + " was created meanwhile; it is left as it is";
        Abandon();
        return false;
    } else if (::renameat2(AT_FDCWD, m_tempPath.c_str(), AT_FDCWD, m_path.c_str(),
                           RENAME_NOREPLACE) != 0) {
        struct stat st {};
        if (errno == EEXIST || ::lstat(m_path.c_str(), &st) == 0) {
            error = m_path + " was created meanwhile; it is left as it is";
            Abandon();
            return false;
        }
        if (::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
            error = "cannot name the file " + m_path + ": " + std::strerror(errno);
            Abandon();
            return false;
        }
    }
    m_tempPath.clear();
    return true;
}

void CNewFile::Abandon() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_tempPath.empty()) ::unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

}  // namespace dravmer
