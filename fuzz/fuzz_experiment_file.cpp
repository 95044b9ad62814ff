// Experiment files as the bench loads them back: the first input byte chooses ".adc" or
// ".txt", the rest is the file. Whatever the bytes, the load ends with a verdict and a store
// that holds exactly the records it reports.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "files/file_format.h"
#include "measure/device_data.h"

namespace {

std::string TempPath(bool text) {
    return "/tmp/dravmer-fuzz-" + std::to_string(::getpid()) + (text ? ".txt" : ".adc");
}

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravmer;
    if (size < 1) return 0;
    const bool text = (data[0] & 1) != 0;
    const std::string path = TempPath(text);
    if (!WriteFile(path, data + 1, size - 1)) return 0;

    CDeviceData store;
    SLoadReport report;
    int calls = 0;
    const int result = LoadExperimentFile(
        store, path,
        [&](int percent) {
            if (percent < 0 || percent > 100) __builtin_trap();
            return ++calls < 1000;
        },
        &report);
    if (result != 0 && result != 1) __builtin_trap();
    if (result == 0 && report.error.empty() && !report.cancelled) __builtin_trap();
    if (report.records < 0 || static_cast<std::size_t>(report.records) != static_cast<std::size_t>(store.GetCount())) {
        __builtin_trap();
    }
    const std::string summary = report.Summary();
    std::remove(path.c_str());
    return 0;
}
