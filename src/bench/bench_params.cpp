#include "bench/bench.h"

#include <sys/time.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "bench/experiment_number.h"
#include "bench/meas_link_adapter.h"
#include "bench/meas_reader.h"
#include "platform/paths.h"
#include "bench/bench_internal.h"

namespace dravmer {

namespace fs = std::filesystem;
using namespace bench_detail;

// ---------------------------------------------------------------- device parameters

std::string CBench::ParameterFolder() const {
    std::error_code ec;
    fs::path folder = m_settings.savePath;
    if (m_settings.savePath.empty() || !fs::is_directory(folder, ec)) {
        // The program's own folder is not writable here; the user's data folder stands in.
        folder = DataDir();
        EnsureDir(folder);
    }
    std::string s = folder.string();
    if (!s.empty() && s.back() != '/') s += '/';
    return s;
}

std::string CBench::SaveDeviceParameters(bool* failedOut, const std::atomic<bool>* stop,
                                         Language language) {
    std::string report;
    auto append = [&](const SParamsReport& entry) {
        report += WordParamsReport(entry, language);
        Emit([&](IBenchListener& l) { l.OnParamsReport(entry); });
    };
    bool failed = false;
    const std::string folder = ParameterFolder();
    const auto active = m_settings.devices.Active();
    const int total = static_cast<int>(active.size());
    auto writeImage = [&](const std::string& path, const std::uint8_t* image) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image), kDeviceImageSize);
        out.close();
        if (!out) {
            append(ParamsStep::FileFailed);
            failed = true;
        } else {
            append(ParamsStep::FileSaved);
        }
    };
    for (int k = 0; k < total; ++k) {
        if (stop && stop->load()) {
            failed = true;
            break;
        }
        const SActiveDevice& d = active[static_cast<size_t>(k)];
        CLinkR307& link = Link(d.port);
        SParamsReport device(ParamsStep::Device);
        device.index = k;
        device.total = total;
        device.device = d.address;
        append(device);
        append(ParamsStep::ReadingIdentity);
        std::uint8_t identity[kIdentitySize] = {};
        if (link.ReadIdentity(d.address, identity) != 0) {
            append(ParamsStep::ReadFailed);
            failed = true;
            continue;
        }
        const int major = identity[2], minor = identity[1];
        append(ParamsStep::ReadOk);
        SParamsReport firmware(ParamsStep::Firmware);
        firmware.major = major;
        firmware.minor = minor;
        append(firmware);
        append(ParamsStep::ReadingFlash);
        std::vector<std::uint8_t> flash(kDeviceImageSize), eeprom(kDeviceImageSize);
        if (link.ReadFlash(d.address, flash.data()) != 0) {
            append(ParamsStep::ReadFailed);
            failed = true;
            continue;
        }
        append(ParamsStep::ReadOk);
        const std::string flashName =
            Format("%u v%2.2d.%2.2d (%s)", d.address, major, minor, TimeStampForParams().c_str());
        append(ParamsStep::ReadingEeprom);
        if (link.ReadEeprom(d.address, eeprom.data()) != 0) {
            append(ParamsStep::ReadFailed);
            failed = true;
            continue;
        }
        append(ParamsStep::ReadOk);
        const std::string eepromName =
            Format("%u v%2.2d.%2.2d (%s)", d.address, major, minor, TimeStampForParams().c_str());
        SParamsReport file(ParamsStep::File);
        file.path = folder + flashName + ".fld";
        append(ParamsStep::SavingFlash);
        append(file);
        writeImage(file.path, flash.data());
        file.path = folder + eepromName + ".eep";
        append(ParamsStep::SavingEeprom);
        append(file);
        writeImage(file.path, eeprom.data());
    }
    SParamsReport end(ParamsStep::End);
    end.failed = failed;
    append(end);
    if (failedOut) *failedOut = failed;
    return report;
}

}  // namespace dravmer
