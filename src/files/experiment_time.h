#pragma once
// When a stored experiment started. A ".adc" file says so in its header; a ".txt" file holds no
// start time at all, so every reader of a text file (the experiment list, the loader that gives
// the graph its wall-clock labels, the archive) takes it from one rule, below.
#include <cstdint>
#include <ctime>
#include <string>

namespace dravmer {

// The date an experiment file's name begins with ("261206-007-012345.txt": 6 December 2026) at
// 12:00:00 local time; 0 when the name does not begin with a valid "%y%m%d" date.
std::time_t NamedDateNoon(const std::string& fileName);

// The start of the experiment in a ".txt" file: the file was last written with its last record,
// so the start is the last-write time minus that record's время, as long as that lands on the
// date in the file's name; otherwise (a file copied, touched or written by a clock set wrong)
// the name's date at 12:00:00. A name without a date leaves the last write minus время.
std::time_t TxtStartTime(std::time_t lastWrite, std::uint32_t lastSecond,
                         const std::string& fileName);

// The same for a file on disk (its last-write time and name); 0 when the file cannot be read.
std::time_t TxtStartTimeOfFile(const std::string& path, std::uint32_t lastSecond);

// The last-write time that makes TxtStartTime give `start` back: what a file written anew (an
// export from the archive) is stamped with.
inline std::time_t TxtLastWriteFor(std::time_t start, std::uint32_t lastSecond) {
    return start + static_cast<std::time_t>(lastSecond);
}

}  // namespace dravmer
