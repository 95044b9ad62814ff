// The experiment list's checks of one file: the name check on the first 21 input bytes, the
// header and duration check on the rest written as a file, and, when the name passes, a scan
// of a folder holding that one file (and a label file) with the description of its group.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "files/experiment_scan.h"

namespace {

namespace fs = std::filesystem;

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

const std::string& Folder() {
    static const std::string folder = [] {
        const std::string f = "/tmp/dravmer-fuzz-scan-" + std::to_string(::getpid()) + "/";
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravmer;
    if (size < 22) return 0;
    const bool text = (data[0] & 1) != 0;
    const std::string name(reinterpret_cast<const char*>(data + 1), 21);
    const std::uint8_t* body = data + 22;
    const std::size_t bodySize = size - 22;

    SExperimentEntry named;
    const bool nameOk = ParseExperimentName(name, named);
    if (nameOk && named.name.size() != 17) __builtin_trap();

    std::error_code ec;
    fs::remove_all(Folder(), ec);
    fs::create_directories(Folder(), ec);
    const std::string stem = nameOk ? named.name : std::string("000101-001-000001");
    const std::string path = Folder() + stem + (text ? ".txt" : ".adc");
    if (!WriteFile(path, body, bodySize)) return 0;

    SExperimentEntry entry;
    entry.text = text;
    CheckExperimentFile(path, entry);

    // The label file shares the first 11 characters of the name.
    const std::size_t labelSize = bodySize < 64 ? bodySize : 64;
    WriteFile(Folder() + stem.substr(0, 11) + "label .txt", body, labelSize);
    CExperimentList list;
    const int count = list.Scan(Folder());
    if (count < 0 || count > 1) __builtin_trap();
    for (int g = 0; g < list.GroupCount(); ++g) {
        const SGroupDescription d = list.Describe(g);
        const SGroupLoadData load = list.LoadData(g);
        if (d.devices != static_cast<int>(d.files.size())) __builtin_trap();
    }
    list.FindGroup(path);
    return 0;
}
