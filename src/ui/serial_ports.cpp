#include "ui/serial_ports.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace dravmer::ui {

namespace fs = std::filesystem;

namespace {

// "ttyUSB12" -> ("ttyUSB", 12); names without a number sort after numbered ones.
std::pair<std::string, long> SplitNumber(const std::string& name) {
    size_t i = name.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) --i;
    if (i == name.size()) return {name, -1};
    return {name.substr(0, i), std::stol(name.substr(i, 9))};
}

int KindRank(const std::string& path) {
    if (path.find("/serial/by-id/") != std::string::npos) return 0;
    const std::string name = fs::path(path).filename().string();
    if (name.rfind("ttyUSB", 0) == 0) return 1;
    if (name.rfind("ttyACM", 0) == 0) return 2;
    return 3;
}

}  // namespace

std::vector<std::string> SystemSerialPorts(const std::string& devRoot) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(devRoot, ec)) {
        const std::string name = entry.path().filename().string();
        const auto [stem, number] = SplitNumber(name);
        if (number < 0) continue;
        if (stem == "ttyS" || stem == "ttyUSB" || stem == "ttyACM") out.push_back(entry.path().string());
    }
    for (const auto& entry : fs::directory_iterator(fs::path(devRoot) / "serial" / "by-id", ec))
        out.push_back(entry.path().string());
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        const int ra = KindRank(a), rb = KindRank(b);
        if (ra != rb) return ra < rb;
        const auto na = SplitNumber(fs::path(a).filename().string());
        const auto nb = SplitNumber(fs::path(b).filename().string());
        if (na.first != nb.first) return na.first < nb.first;
        if (na.second != nb.second) return na.second < nb.second;
        return a < b;
    });
    return out;
}

std::vector<std::string> KnownComputerNames(const std::string& hostsFile) {
    std::vector<std::string> names;
    std::ifstream in(hostsFile);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string address, name;
        if (!(words >> address)) continue;
        while (words >> name) {
            if (name == "localhost" || name.rfind("ip6-", 0) == 0) continue;
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
    }
    return names;
}

}  // namespace dravmer::ui
