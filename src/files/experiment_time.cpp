#include "files/experiment_time.h"

#include <sys/stat.h>

#include <filesystem>

namespace dravmer {

namespace {
bool SameDay(std::time_t a, std::time_t b) {
    std::tm x{}, y{};
    localtime_r(&a, &x);
    localtime_r(&b, &y);
    return x.tm_year == y.tm_year && x.tm_mon == y.tm_mon && x.tm_mday == y.tm_mday;
}

int TwoDigits(const std::string& s, std::size_t at) {
    if (s[at] < '0' || s[at] > '9' || s[at + 1] < '0' || s[at + 1] > '9') return -1;
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}
}  // namespace

std::time_t NamedDateNoon(const std::string& fileName) {
    if (fileName.size() < 6) return 0;
    const int year = TwoDigits(fileName, 0), month = TwoDigits(fileName, 2),
              day = TwoDigits(fileName, 4);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31) return 0;
    std::tm named{};
    named.tm_year = 100 + year;
    named.tm_mon = month - 1;
    named.tm_mday = day;
    named.tm_hour = 12;
    named.tm_isdst = -1;
    const std::time_t noon = std::mktime(&named);
    // 31 February is no date: mktime would have rolled it into March.
    if (noon == static_cast<std::time_t>(-1) || named.tm_mday != day) return 0;
    return noon;
}

std::time_t TxtStartTime(std::time_t lastWrite, std::uint32_t lastSecond,
                         const std::string& fileName) {
    const std::time_t start = lastWrite - static_cast<std::time_t>(lastSecond);
    const std::time_t noon = NamedDateNoon(fileName);
    if (noon == 0 || SameDay(start, noon)) return start;
    return noon;
}

std::time_t TxtStartTimeOfFile(const std::string& path, std::uint32_t lastSecond) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return TxtStartTime(st.st_mtime, lastSecond, std::filesystem::path(path).filename().string());
}

}  // namespace dravmer
