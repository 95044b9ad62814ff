// Stored settings texts: the found-device lists, the experiment settings and one port's
// settings, loaded from a store filled with the fuzzer's text. Each value is one line of the
// input, given to the names below in order. What is loaded must survive a save and a reload
// unchanged, and the port's texts must come out of any stored value.
#include <cstdint>
#include <string>
#include <vector>

#include "bench/device_list.h"
#include "bench/experiment_settings.h"
#include "link/port_settings.h"
#include "platform/settings_store.h"

namespace {

using namespace dravmer;

struct SKey {
    const char* section;
    const char* name;
};

// "Port" stands for the port section chosen by the first byte.
constexpr SKey kKeys[] = {
    {"DeviceList", "List"},
    {"DeviceList", "PortList"},
    {"DeviceList", "EnableList"},
    {"DeviceList", "Transit1"},
    {"DeviceList", "Transit2"},
    {"ExperimentSettings", "ToTable"},
    {"ExperimentSettings", "ToFile"},
    {"ExperimentSettings", "SignToTable"},
    {"ExperimentSettings", "SignToFile"},
    {"ExperimentSettings", "Ky"},
    {"ExperimentSettings", "FlagSaveFlagToFile"},
    {"ExperimentSettings", "FlagToFile"},
    {"ExperimentSettings", "FlagStatToFile"},
    {"ExperimentSettings", "FlagSaveToTextFile"},
    {"ExperimentSettings", "strPathToSaveFile"},
    {"ExperimentSettings", "AddToSavePathDate"},
    {"ExperimentSettings", "crTableHighlightColor"},
    {"ExperimentSettings", "strPeriod"},
    {"Properties", "bWriteLinkErrorsToLog"},
    {"Port", "UseLink"},
    {"Port", "ComNumber"},
    {"Port", "Speed"},
    {"Port", "Byte"},
    {"Port", "Parity"},
    {"Port", "Stop"},
    {"Port", "RTS"},
    {"Port", "DTR"},
    {"Port", "bComType"},
    {"Port", "TimeOut"},
    {"Port", "ServerName"},
    {"Port", "UseServer"},
    {"Port", "ServerPort"},
    {"Port", "IPAddress"},
    {"Port", "TCPIPPort"},
    {"Port", "ModemUserInitString"},
    {"Port", "ModemPhoneNumber"},
    {"Port", "ModemWaitForDialConnect"},
    {"Port", "bLinkMode"},
    {"Port", "DevicePath"},
};

bool SameFound(const CDeviceList& a, const CDeviceList& b) {
    if (a.Found().size() != b.Found().size() || a.Active().size() != b.Active().size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.Found().size(); ++i) {
        const SFoundDevice& x = a.Found()[i];
        const SFoundDevice& y = b.Found()[i];
        if (x.address != y.address || x.port != y.port || x.enabled != y.enabled) return false;
    }
    for (int p = 0; p < kPortCount; ++p) {
        if (a.Transit(p) != b.Transit(p)) return false;
    }
    return true;
}

bool SamePort(const SPortSettings& a, const SPortSettings& b) {
    return a.useLink == b.useLink && a.comNumber == b.comNumber && a.speed == b.speed &&
           a.dataBits == b.dataBits && a.parity == b.parity && a.stopBits == b.stopBits &&
           a.rtsControl == b.rtsControl && a.dtrControl == b.dtrControl &&
           a.comType == b.comType && a.timeOutMs == b.timeOutMs &&
           a.serverName == b.serverName && a.useServer == b.useServer &&
           a.serverPort == b.serverPort && a.ipAddress == b.ipAddress &&
           a.tcpIpPort == b.tcpIpPort && a.modemInitString == b.modemInitString &&
           a.modemPhoneNumber == b.modemPhoneNumber &&
           a.modemWaitForConnectS == b.modemWaitForConnectS && a.linkMode == b.linkMode &&
           a.devicePath == b.devicePath;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int portIndex = data[0] % kPortCount;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    CMemorySettingsStore store;
    std::size_t at = 0;
    for (const SKey& key : kKeys) {
        if (at > text.size()) break;
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string section =
            std::string(key.section) == "Port" ? PortSection(portIndex) : key.section;
        store.SetString(section, key.name, text.substr(at, end - at));
        at = end + 1;
    }

    // Found devices.
    CDeviceList devices;
    devices.Load(store);
    if (devices.Found().size() > kMaxDevices) __builtin_trap();
    for (const SActiveDevice& a : devices.Active()) {
        if (a.port >= kPortCount) __builtin_trap();
    }
    CMemorySettingsStore saved;
    devices.SaveFound(saved);
    devices.SaveTransits(saved);
    CDeviceList reloaded;
    reloaded.Load(saved);
    if (!SameFound(devices, reloaded)) __builtin_trap();

    // Experiment settings.
    CExperimentSettings settings;
    settings.LoadExperimentSettings(store);
    settings.LoadFileSettings(store);
    settings.LoadLinkLogFlag(store);
    for (int i = 0; i < kParamCount; ++i) {
        if (settings.TableDecimals(i) < 0 || settings.TableDecimals(i) > 10) __builtin_trap();
        if (settings.FileDecimals(i) < 0 || settings.FileDecimals(i) > 10) __builtin_trap();
    }
    CMemorySettingsStore savedSettings;
    settings.SaveAllColumns(savedSettings);
    settings.SaveFlags(savedSettings);
    settings.SaveFileSettings(savedSettings);
    CExperimentSettings again;
    again.LoadExperimentSettings(savedSettings);
    again.LoadFileSettings(savedSettings);
    if (again.ToTableString() != settings.ToTableString() ||
        again.ToFileString() != settings.ToFileString() ||
        again.SignToTableString() != settings.SignToTableString() ||
        again.SignToFileString() != settings.SignToFileString() ||
        again.KyText() != settings.KyText() || again.savePath != settings.savePath) {
        __builtin_trap();
    }
    const std::string period = CExperimentSettings::FormatPeriod(settings.PollPeriod());

    // One port.
    SPortSettings port = SPortSettings::Defaults(portIndex);
    port.Load(store, portIndex);
    if (port.speed < 0 || port.speed >= kSpeedCount || port.timeOutMs < 1) __builtin_trap();
    const int baud = port.Baud();
    const std::string status = PortStatusText(port, true) + PortStatusText(port, false);
    const std::string path = port.LocalDevicePath();
    CMemorySettingsStore savedPort;
    port.Save(savedPort, portIndex);
    SPortSettings portAgain = SPortSettings::Defaults(portIndex);
    portAgain.Load(savedPort, portIndex);
    if (!SamePort(port, portAgain)) __builtin_trap();
    (void)baud;
    return 0;
}
