#pragma once
// Lines for the operator that need no answer (the record cache fell back to memory, the disk
// filled up): on standard error, and with the date and time at the end of a log file.
#include <filesystem>
#include <functional>
#include <string>

namespace dravmer {

// A writer that prints "PROGRAM: line" on standard error and, unless `file` is empty, appends
// "YYYY-MM-DD HH:MM:SS line" to it (its folder is made when missing). Callable from any thread.
std::function<void(const std::string&)> LogLineWriter(std::filesystem::path file,
                                                      std::string program);

}  // namespace dravmer
