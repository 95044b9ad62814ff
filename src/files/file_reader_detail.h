#pragma once
// Private to the readers of experiment files: what the binary and the text reader share.
#include <cstdint>
#include <string>
#include <vector>

#include "files/file_format.h"

namespace dravmer::reader_detail {

// "время" in Windows-1251.
inline constexpr char kTimeCp1251[] = "\xE2\xF0\xE5\xEC\xFF";

inline std::uint32_t GetLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::string TitleOf(const std::string& path);
bool Report(const LoadProgressFn& progress, int percent);
// The integer parameters hold only what their fields can: a negative time, a cycle counter of
// 421 or a fraction of a second is no record of a bench, and storing it would wrap around.
inline bool FitsParam(int index, double v) {
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
int Percent(std::uint64_t done, std::uint64_t total);
int Fail(SLoadReport& report, std::string why);
// The catalogue index of each column of a text file's header line (-1: not in the catalogue).
std::vector<int> ColumnMap(const std::string& line, int& unknown);

}  // namespace dravmer::reader_detail
