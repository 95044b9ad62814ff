#include "files/experiment_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "files/experiment_files.h"
#include "files/experiment_time.h"
#include "files/input_file.h"
#include "platform/cp1251.h"
#include "measure/param_index.h"

namespace fs = std::filesystem;

namespace dravmer {

namespace {
bool Digits(const std::string& s, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i <= to; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

std::tm LocalTm(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

std::string Format(const char* format, std::time_t t) {
    std::tm tm = LocalTm(t);
    char buf[128];
    return std::string(buf, std::strftime(buf, sizeof buf, format, &tm));
}

bool SameDay(std::time_t a, std::time_t b) {
    std::tm x = LocalTm(a), y = LocalTm(b);
    return x.tm_year == y.tm_year && x.tm_mon == y.tm_mon && x.tm_mday == y.tm_mday;
}

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
}  // namespace

bool ParseExperimentName(const std::string& fileName, SExperimentEntry& entry) {
    // Addresses are written with at least six digits; a 32-bit address takes up to ten.
    if (fileName.size() < 21 || fileName.size() > 25) return false;
    const std::string n = fileName.substr(0, fileName.size() - 4);
    if (fileName[n.size()] != '.') return false;
    if (!Digits(n, 0, 5) || n[6] != '-' || !Digits(n, 7, 9) || n[10] != '-' ||
        !Digits(n, 11, n.size() - 1))
        return false;
    // Only six-digit names are padded with zeros.
    if (n.size() > 17 && n[11] == '0') return false;
    const unsigned long long address = std::stoull(n.substr(11));
    if (address > 0xFFFFFFFFull) return false;
    entry.name = n;
    entry.number = std::stoi(n.substr(7, 3));
    entry.address = static_cast<std::uint32_t>(address);
    return true;
}

bool CheckExperimentFile(const std::string& path, SExperimentEntry& entry,
                         SExperimentFileProblem* problem) {
    auto refuse = [problem](ExperimentFileFault fault, std::int64_t value = 0) {
        if (problem) *problem = {fault, value};
        return false;
    };
    CInputFile f;  // a regular file only: a FIFO would hang the scan
    if (!f.Open(path)) return refuse(ExperimentFileFault::CannotOpen);
    const auto length = static_cast<std::int64_t>(f.Size());
    if (entry.text) {
        if (length < kMinTextFileBytes) return refuse(ExperimentFileFault::TextTooShort);
        char tail[kMinTextFileBytes];
        if (!f.ReadAt(static_cast<std::uint64_t>(length - kMinTextFileBytes), tail, kMinTextFileBytes))
            return refuse(ExperimentFileFault::CannotOpen);
        entry.duration = 0;
        for (int i = kMinTextFileBytes - 4; i >= 0; --i) {
            if (tail[i] == '\r' && tail[i + 1] == '\n') {
                int k = i + 2;
                while (k < kMinTextFileBytes && (tail[k] < '0' || tail[k] > '9')) ++k;
                std::uint32_t v = 0;
                while (k < kMinTextFileBytes && tail[k] >= '0' && tail[k] <= '9')
                    v = v * 10 + static_cast<std::uint32_t>(tail[k++] - '0');
                entry.duration = v;
                break;
            }
        }
        return true;
    }
    if (length < kAdcHeaderSize) return refuse(ExperimentFileFault::ShortHeader);
    unsigned char h[kAdcHeaderSize];
    if (!f.ReadAt(0, h, kAdcHeaderSize)) return refuse(ExperimentFileFault::CannotOpen);
    if (std::memcmp(h, kAdcSignature, std::strlen(kAdcSignature)) != 0)
        return refuse(ExperimentFileFault::BadSignature);
    const std::int32_t c = static_cast<std::int32_t>(Le32(h + 48));
    // The count is signed in the header: a negative one is as wrong as one above the parameter count.
    if (c < 0 || c > kParamCount) return refuse(ExperimentFileFault::BadColumnCount, c);
    entry.time = static_cast<std::time_t>(Le32(h + 52));
    entry.duration = 0;
    if (c == 0) return true;
    const std::int64_t records = (length - kAdcHeaderSize) / (4 * c);
    if (records == 0) return true;
    unsigned char b[4];
    if (!f.ReadAt(static_cast<std::uint64_t>(kAdcHeaderSize + (records - 1) * 4 * c), b, 4))
        return refuse(ExperimentFileFault::CannotOpen);
    std::uint32_t bits = Le32(b);
    float v;
    std::memcpy(&v, &bits, 4);
    // The first column is время: a whole number of seconds, at most seven days.
    if (!(v >= 0 && v <= 604800.0f) || std::floor(v) != v)
        return refuse(ExperimentFileFault::BadLastTime);
    entry.duration = static_cast<std::uint32_t>(v);
    return true;
}

SExperimentFileProblem FindExperimentFileProblem(const std::string& path) {
    SExperimentEntry entry;
    const std::string name = fs::path(path).filename().string();
    if (!ParseExperimentName(name, entry)) return {ExperimentFileFault::BadName};
    const std::string ext = fs::path(path).extension().string();
    if (ext != ".adc" && ext != ".txt") return {ExperimentFileFault::BadExtension};
    entry.text = ext == ".txt";
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return {ExperimentFileFault::NoSuchFile};
    SExperimentFileProblem problem;
    CheckExperimentFile(path, entry, &problem);
    return problem;
}

std::string DescribeExperimentFileProblem(const SExperimentFileProblem& problem) {
    switch (problem.fault) {
        case ExperimentFileFault::None:
            return {};
        case ExperimentFileFault::BadName:
            return "the name is not that of an experiment file (YYMMDD-NNN-AAAAAA.adc or .txt)";
        case ExperimentFileFault::BadExtension:
            return "neither an .adc nor a .txt file";
        case ExperimentFileFault::NoSuchFile:
            return "there is no such file";
        case ExperimentFileFault::CannotOpen:
            return "the file cannot be opened";
        case ExperimentFileFault::TextTooShort:
            return "a text experiment file holds at least 1024 bytes";
        case ExperimentFileFault::ShortHeader:
            return "shorter than the 124-byte header";
        case ExperimentFileFault::BadSignature:
            return "the header does not begin with \"Dravmer format .adc ;\"";
        case ExperimentFileFault::BadColumnCount:
            return "the header's column count is outside 0..43";
        case ExperimentFileFault::BadLastTime:
            return "the last record's time is not a whole number of seconds up to seven days";
    }
    return {};
}

std::string ExperimentFileProblem(const std::string& path) {
    return DescribeExperimentFileProblem(FindExperimentFileProblem(path));
}

std::string CExperimentList::ScanError(Language language) const {
    const bool en = language == Language::English;
    switch (m_scanFailure) {
        case ScanFailure::None:
            return {};
        case ScanFailure::Unreadable:
            return (en ? "The folder " + m_scanWhere + " cannot be read: "
                       : "Папка " + m_scanWhere + " не читается: ") +
                   m_scanSystem;
        case ScanFailure::Incomplete:
            return (en ? "The folder " + m_scanWhere + " was not read in full: "
                       : "Папка " + m_scanWhere + " прочитана не полностью: ") +
                   m_scanSystem;
    }
    return {};
}

int CExperimentList::Scan(const std::string& folder) {
    m_folder = folder;
    if (!m_folder.empty() && m_folder.back() != '/') m_folder += '/';
    m_entries.clear();
    m_groups.clear();
    m_scanFailure = ScanFailure::None;
    for (const char* ext : {".txt", ".adc"}) {
        std::error_code ec;
        const std::string where = m_folder.empty() ? "." : m_folder;
        fs::directory_iterator it(where, ec), end;
        if (ec) {
            m_scanFailure = ScanFailure::Unreadable;
            m_scanWhere = where;
            m_scanSystem = ec.message();
            break;
        }
        for (; it != end; it.increment(ec)) {
            const auto& e = *it;
            std::error_code ec2;
            if (!e.is_regular_file(ec2) || e.path().extension() != ext) continue;
            SExperimentEntry entry;
            entry.text = std::strcmp(ext, ".txt") == 0;
            if (!ParseExperimentName(e.path().filename().string(), entry)) continue;
            struct stat st {};
            if (::stat(e.path().c_str(), &st) != 0) continue;
            if (!CheckExperimentFile(e.path().string(), entry)) continue;
            // A binary file's time is its header's start time; a text file's comes from its
            // last write and duration, by the rule every reader of text files shares.
            if (entry.text)
                entry.time =
                    TxtStartTime(st.st_mtime, entry.duration, e.path().filename().string());
            m_entries.push_back(entry);
        }
        if (ec) {
            m_scanFailure = ScanFailure::Incomplete;
            m_scanWhere = where;
            m_scanSystem = ec.message();
        }
    }
    std::stable_sort(
        m_entries.begin(), m_entries.end(),
        [](const SExperimentEntry& a, const SExperimentEntry& b) { return a.name < b.name; });
    for (int i = 0; i < static_cast<int>(m_entries.size()); ++i) {
        const auto& e = m_entries[static_cast<std::size_t>(i)];
        if (!m_groups.empty()) {
            const auto& head = m_entries[static_cast<std::size_t>(m_groups.back().first)];
            if (head.number == e.number && SameDay(head.time, e.time)) {
                ++m_groups.back().count;
                continue;
            }
        }
        m_groups.push_back({i, 1});
    }
    return static_cast<int>(m_entries.size());
}

SExperimentGroup CExperimentList::Group(int n) const {
    if (n < 0 || n >= GroupCount()) return {};
    return m_groups[static_cast<std::size_t>(n)];
}

int CExperimentList::FindGroup(const std::string& fileName) const {
    std::string title = fs::path(fileName).stem().string();
    for (int g = 0; g < GroupCount(); ++g) {
        auto grp = m_groups[static_cast<std::size_t>(g)];
        for (int i = grp.first; i < grp.first + grp.count; ++i)
            if (m_entries[static_cast<std::size_t>(i)].name == title) return g;
    }
    return -1;
}

SGroupDescription CExperimentList::Describe(int n) const {
    SGroupDescription d;
    SExperimentGroup g = Group(n);
    if (g.count == 0) return d;
    const SExperimentEntry& head = m_entries[static_cast<std::size_t>(g.first)];
    d.time = head.time;
    d.dateTimeText = Format("%d-%m-%Y     %H:%M", head.time);
    d.number = head.number;
    d.duration = head.duration;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%1.1f", head.duration / 60.0);
    d.durationMinutes = buf;
    d.format = head.text ? ".txt" : ".adc";
    d.devices = g.count;
    for (int i = g.first; i < g.first + g.count; ++i) {
        const auto& e = m_entries[static_cast<std::size_t>(i)];
        d.addresses.push_back(e.address);
        if (!d.addressText.empty()) d.addressText += "; ";
        d.addressText += std::to_string(e.address);
        d.files.push_back(m_folder + e.name + (e.text ? ".txt" : ".adc"));
    }
    // The label file: the first 11 characters of the name, then "label .txt".
    const std::string labelPath = LabelPathBeside(d.files.front());
    if (CInputFile().Open(labelPath)) {
        d.label = ReadLabelText(labelPath);
        std::tm tm = LocalTm(head.time);
        char c[1200];
        std::snprintf(c, sizeof c, "%2.2d-%2.2d-%d - Exp: %d  %s", tm.tm_mday, tm.tm_mon + 1,
                      tm.tm_year + 1900, head.number, d.label.c_str());
        d.comment = c;
    }
    return d;
}

SGroupLoadData CExperimentList::LoadData(int n) const {
    SGroupDescription d = Describe(n);
    SGroupLoadData data;
    data.paths = d.files;
    data.addresses = d.addresses;
    data.comment = d.comment;
    data.label = d.label;
    data.time = d.time;
    return data;
}

}  // namespace dravmer
