#include "platform/serial_devices.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>

namespace dravmer {

namespace fs = std::filesystem;

namespace {

// "ttyUSB12" -> ("ttyUSB", 12); -1 for a name without a number.
std::pair<std::string, long> SplitNumber(const std::string& name) {
    std::size_t i = name.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) --i;
    if (i == name.size() || name.size() - i > 9) return {name, -1};
    return {name.substr(0, i), std::stol(name.substr(i))};
}

int KindRank(const std::string& stem) {
    if (stem == "ttyUSB") return 0;
    if (stem == "ttyACM") return 1;
    return 2;
}

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// The path `systemPath` ("/dev/ttyUSB0") has under `root`.
fs::path UnderRoot(const std::string& root, const std::string& systemPath) {
    return fs::path(root) / fs::path(systemPath).relative_path();
}

// A built-in line the kernel names but no UART stands behind reads type 0 (PORT_UNKNOWN).
bool BuiltInLinePresent(const fs::path& sysTty) {
    const fs::path type = sysTty / "type";
    std::error_code ec;
    if (!fs::exists(type, ec)) return true;
    return ReadLine(type) != "0";
}

// Vendor, product and driver of the line `name` from /sys/class/tty/NAME.
void ReadSysfs(const std::string& root, const std::string& name, SSerialDevice& d) {
    std::error_code ec;
    const fs::path device = UnderRoot(root, "/sys/class/tty/" + name + "/device");
    if (!fs::exists(device, ec)) return;
    const fs::path driver = device / "driver";
    if (fs::is_symlink(driver, ec)) d.driver = fs::read_symlink(driver, ec).filename().string();
    // The USB device is the nearest folder above the interface that has the ids.
    fs::path at = fs::canonical(device, ec);
    const fs::path top = fs::canonical(UnderRoot(root, "/sys"), ec);
    for (int depth = 0; !ec && !at.empty() && depth < 8; ++depth, at = at.parent_path()) {
        if (at == top || at == at.root_path()) break;
        if (fs::exists(at / "idVendor", ec)) {
            d.vendorId = ReadLine(at / "idVendor");
            d.productId = ReadLine(at / "idProduct");
            d.vendor = ReadLine(at / "manufacturer");
            d.product = ReadLine(at / "product");
            break;
        }
    }
}

}  // namespace

std::vector<SSerialDevice> ListSerialDevices(const std::string& root) {
    std::error_code ec;
    // by-id names, keyed by the line they point at.
    std::map<std::string, std::string> byId;
    const fs::path byIdDir = UnderRoot(root, "/dev/serial/by-id");
    for (const auto& entry : fs::directory_iterator(byIdDir, ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(entry.path(), linkError);
        if (linkError) continue;
        const std::string name = target.filename().string();
        const std::string systemName = "/dev/serial/by-id/" + entry.path().filename().string();
        auto& known = byId[name];
        if (known.empty() || systemName < known) known = systemName;
    }
    std::vector<SSerialDevice> out;
    for (const auto& entry : fs::directory_iterator(UnderRoot(root, "/dev"), ec)) {
        const std::string name = entry.path().filename().string();
        const auto [stem, number] = SplitNumber(name);
        if (number < 0 || (stem != "ttyS" && stem != "ttyUSB" && stem != "ttyACM")) continue;
        const auto id = byId.find(name);
        if (stem == "ttyS" && id == byId.end() &&
            !BuiltInLinePresent(UnderRoot(root, "/sys/class/tty/" + name)))
            continue;
        SSerialDevice d;
        d.path = "/dev/" + name;
        if (id != byId.end()) d.byId = id->second;
        ReadSysfs(root, name, d);
        out.push_back(std::move(d));
    }
    std::sort(out.begin(), out.end(), [](const SSerialDevice& a, const SSerialDevice& b) {
        if (a.byId.empty() != b.byId.empty()) return !a.byId.empty();
        if (!a.byId.empty() && a.byId != b.byId) return a.byId < b.byId;
        const auto na = SplitNumber(fs::path(a.path).filename().string());
        const auto nb = SplitNumber(fs::path(b.path).filename().string());
        if (KindRank(na.first) != KindRank(nb.first))
            return KindRank(na.first) < KindRank(nb.first);
        if (na.first != nb.first) return na.first < nb.first;
        return na.second < nb.second;
    });
    return out;
}

std::string SerialAccessHint(const std::string& path, const std::string& root, Language language) {
    const fs::path file = UnderRoot(root, path);
    if (::access(file.c_str(), R_OK | W_OK) == 0 || errno != EACCES) return {};
    std::string user = "$USER";
    if (const passwd* pw = ::getpwuid(::geteuid())) user = pw->pw_name;
    // The group that may read and write the line; serial lines belong to dialout on Debian.
    std::string group = "dialout";
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 &&
        (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        if (const ::group* gr = ::getgrgid(st.st_gid)) group = gr->gr_name;
    }
    if (language == Language::Russian)
        return "нет прав на открытие " + path + ": добавьте пользователя в группу " + group +
               " (sudo adduser " + user + " " + group + ") и войдите в систему заново";
    return "no permission to open " + path + ": add the user to the " + group +
           " group (sudo adduser " + user + " " + group + ") and log in again";
}

}  // namespace dravmer
