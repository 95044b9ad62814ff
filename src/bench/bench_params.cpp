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

std::string CBench::SaveDeviceParameters(bool* failedOut, const std::atomic<bool>* stop) {
    std::string report;
    auto append = [&](const std::string& text) {
        report += text;
        Emit([&](IBenchListener& l) { l.OnReportText(text); });
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
            append("     Ошибка !!!\r\n");
            failed = true;
        } else {
            append("     OK\r\n");
        }
    };
    for (int k = 0; k < total; ++k) {
        if (stop && stop->load()) {
            failed = true;
            break;
        }
        const SActiveDevice& d = active[static_cast<size_t>(k)];
        CLinkR307& link = Link(d.port);
        append(Format("%d/%d  Прибор № %u\r\n", k + 1, total, d.address));
        append("     Чтение конфигурации прибора...");
        std::uint8_t identity[kIdentitySize] = {};
        if (link.ReadIdentity(d.address, identity) != 0) {
            append("Ошибка\r\n");
            failed = true;
            continue;
        }
        const int major = identity[2], minor = identity[1];
        append("OK\r\n");
        append(Format("     Версия прошивки %2.2d.%2.2d\r\n", major, minor));
        append("     Чтение FLASH прибора...");
        std::vector<std::uint8_t> flash(kDeviceImageSize), eeprom(kDeviceImageSize);
        if (link.ReadFlash(d.address, flash.data()) != 0) {
            append("Ошибка\r\n");
            failed = true;
            continue;
        }
        append("OK\r\n");
        const std::string flashName =
            Format("%u v%2.2d.%2.2d (%s)", d.address, major, minor, TimeStampForParams().c_str());
        append("     Чтение EEPROM прибора...");
        if (link.ReadEeprom(d.address, eeprom.data()) != 0) {
            append("Ошибка\r\n");
            failed = true;
            continue;
        }
        append("OK\r\n");
        const std::string eepromName =
            Format("%u v%2.2d.%2.2d (%s)", d.address, major, minor, TimeStampForParams().c_str());
        const std::string flashPath = folder + flashName + ".fld";
        append("     Сохранение файла FLASH\r\n");
        append(Format("     %s...\r\n", flashPath.c_str()));
        writeImage(flashPath, flash.data());
        const std::string eepromPath = folder + eepromName + ".eep";
        append("     Сохранение файла EEPROM\r\n");
        append(Format("     %s...\r\n", eepromPath.c_str()));
        writeImage(eepromPath, eeprom.data());
    }
    append("\r\n\r\n");
    append(failed ? "При выполнении операций были ошибки !!!\r\n"
                  : "Все операции успешно завершены.");
    if (failedOut) *failedOut = failed;
    return report;
}

}  // namespace dravmer
