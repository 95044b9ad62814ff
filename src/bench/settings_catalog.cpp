#include "bench/settings_catalog.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "graph/graph_list.h"
#include "graph/graph_settings.h"
#include "stream/mqtt_publisher.h"

namespace dravmer {

namespace {

std::string Indexed(const char* name, int i) { return name + std::to_string(i); }

// What the graph pages keep: colours, layout, the curves shown and the saved axis ranges.
void AddGraphSettings(std::vector<SSettingDef>& s) {
    using T = SettingType;
    using namespace graph;
    const SGraphSettings d;
    const std::string g = kGraphSection;
    auto color = [](std::uint32_t c) { return std::to_string(c); };
    const std::vector<SSettingDef> fixed = {
        {g, "crGraph1ColorFon", T::Int, color(d.statBackground)},
        {g, "crGraph1ColorGr0", T::Int, color(d.statAvg0)},
        {g, "crGraph1ColorGr1", T::Int, color(d.statAvg1)},
        {g, "crGraph1ColorGr0Mom", T::Int, color(d.statMom0)},
        {g, "crGraph1ColorGr1Mom", T::Int, color(d.statMom1)},
        {g, "crGraphGridColor", T::Int, color(d.gridColor)},
        {g, "bStatGraphMomEnable", T::Int, d.statMomEnable ? "1" : "0"},
        {g, "m_crGraph2ColorFon", T::Int, color(d.background)},
        {g, "m_nNumOfCellHoriz", T::Int, std::to_string(d.cellsHoriz)},
        {g, "m_bAutoPlace", T::Int, d.autoPlace ? "1" : "0"},
        {g, "m_crSelectionLineColor", T::Int, color(d.selectionColor)},
        {g, "m_bSelectionMode", T::Int, d.selectionBand ? "1" : "0"},
        {g, "m_bTimeAxes", T::Int, d.timeAxes ? "1" : "0"},
        {g, "strComments", T::String, d.comments},
        {g, "NumOfGraph", T::Int, "0"},
    };
    s.insert(s.end(), fixed.begin(), fixed.end());
    const auto colors = DefaultSlotColors();
    for (int i = 0; i < kSlotCount; ++i) {
        s.push_back({g, Indexed("GrInfoDeviceID", i), T::Int, "0"});
        s.push_back({g, Indexed("GrInfoParameter", i), T::Int, "3"});
        s.push_back({g, Indexed("GrInfoGraphID", i), T::Int, std::to_string(i)});
    }
    for (int i = 0; i < kSlotCount; ++i)
        s.push_back({g, Indexed("m_crGraphNColor", i), T::Int,
                     color(colors[static_cast<std::size_t>(i)])});
    for (int i = 0; i < kAxisSets; ++i) s.push_back({g, Indexed("m_fMinMax", i), T::Binary, ""});
    s.push_back({kColorSection, "ColorTable", T::Binary, ""});
    s.push_back({kColorSection, "MRU", T::Binary, ""});
}

std::vector<SSettingDef> Build() {
    using T = SettingType;
    std::vector<SSettingDef> s = {
        {"DeviceList", "List", T::String, ""},
        {"DeviceList", "PortList", T::String, ""},
        {"DeviceList", "EnableList", T::String, ""},
        {"DeviceList", "Transit1", T::Int, "0"},
        {"DeviceList", "Transit2", T::Int, "0"},
        {"DeviceList", "Transit3", T::Int, "0"},
        {"DeviceList", "Transit4", T::Int, "0"},
        {"ExperimentSettings", "ToTable", T::String, std::string(30, '1')},
        {"ExperimentSettings", "ToFile", T::String, std::string(30, '1')},
        {"ExperimentSettings", "SignToTable", T::String,
         "0003336666663333333333333333333333333333333"},
        {"ExperimentSettings", "SignToFile", T::String,
         "0006666666666666666666666666666666666666666"},
        {"ExperimentSettings", "Ky", T::String, "19.93"},
        {"ExperimentSettings", "FlagSaveFlagToFile", T::Int, "0"},
        {"ExperimentSettings", "FlagToFile", T::Int, "1"},
        {"ExperimentSettings", "FlagStatToFile", T::Int, "1"},
        {"ExperimentSettings", "FlagSaveToTextFile", T::Int, "0"},
        {"ExperimentSettings", "strPathToSaveFile", T::String, ""},
        {"ExperimentSettings", "AddToSavePathDate", T::Int, "0"},
        {"ExperimentSettings", "crTableHighlightColor", T::Int, "9276913"},
        {"ExperimentSettings", "strPeriod", T::String, "0.5"},
        {"Properties", "bWriteLinkErrorsToLog", T::Int, "0"},
        // Empty: no update server is asked until one is configured.
        {"NetProp", "Server", T::String, ""},
        // The update server entered in the About box; it wins over NetProp/Server.
        {"UpdateVersionSettings", "Server", T::String, ""},
        // The lab's release key (64 hex digits); empty: releases are checked by their published
        // SHA-256 alone.
        {"UpdateVersionSettings", "PublicKey", T::String, ""},
        // A vendor-compatible network serial library for the network-server ports; empty: the
        // built-in RFC 2217 client.
        {"Properties", "NetSerialLibrary", T::String, ""},
        {"Dravmer", "ExperimentDate", T::String, ""},
        {"Dravmer", "ExperimentNumber", T::Int, "1"},
        // The window's language from its next start: system (the message locale), ru or en.
        {"Dravmer", "Language", T::String, "system"},
        {"WindowPos", "showCmd", T::Int, "1"},
        {"WindowPos", "x", T::Int, "0"},
        {"WindowPos", "y", T::Int, "0"},
        {"WindowPos", "cx", T::Int, "560"},
        {"WindowPos", "cy", T::Int, "400"},
        // The experiment archive: empty Url means the SQLite file in the user's data folder.
        {"Archive", "Url", T::String, ""},
        {"Archive", "ArchiveOnStop", T::Int, "0"},
        // The live stream of the window's experiments: the broker (empty: none), the topic
        // prefix (empty: dravmer/<host name>), the user name when the address has none, and
        // the file whose first line is the password.
        {kStreamSection, kMqttUrlKey, T::String, ""},
        {kStreamSection, kMqttTopicKey, T::String, ""},
        {kStreamSection, kMqttUserKey, T::String, ""},
        {kStreamSection, kMqttPasswordFileKey, T::String, ""},
        // The folder the loading dialog opened last.
        {"LoadPath", "LoadPath", T::String, ""},
    };
    AddGraphSettings(s);
    for (int p = 0; p < 4; ++p) {
        const std::string sec = "ComSettingsPort" + std::to_string(p);
        const std::vector<SSettingDef> port = {
            {sec, "UseLink", T::Int, "1"},
            {sec, "ComNumber", T::Int, std::to_string(p)},
            {sec, "DevicePath", T::String, ""},
            {sec, "Speed", T::Int, "12"},
            {sec, "Byte", T::Int, "8"},
            {sec, "Parity", T::Int, "0"},
            {sec, "Stop", T::Int, "0"},
            {sec, "RTS", T::Int, "0"},
            {sec, "DTR", T::Int, "1"},
            {sec, "bComType", T::Int, "0"},
            {sec, "TimeOut", T::Int, "300"},
            {sec, "ServerName", T::String, "LOCAL MACHINE"},
            {sec, "UseServer", T::Int, "0"},
            {sec, "ServerPort", T::Int, "0"},
            {sec, "IPAddress", T::String, ""},
            {sec, "TCPIPPort", T::Int, "1"},
            {sec, "ModemUserInitString", T::String, ""},
            {sec, "ModemPhoneNumber", T::String, ""},
            {sec, "ModemWaitForDialConnect", T::Int, "60"},
            {sec, "bLinkMode", T::Int, "0"},
        };
        s.insert(s.end(), port.begin(), port.end());
    }
    return s;
}
}  // namespace

const std::vector<SSettingDef>& KnownSettings() {
    static const std::vector<SSettingDef> settings = Build();
    return settings;
}

const SSettingDef* FindSetting(const std::string& section, const std::string& name) {
    for (const auto& d : KnownSettings())
        if (d.section == section && d.name == name) return &d;
    return nullptr;
}

std::string SettingText(const ISettingsStore& store, const SSettingDef& def) {
    switch (def.type) {
        case SettingType::Int:
            return std::to_string(store.GetInt(def.section, def.name, ParseCInt(def.defaultValue)));
        case SettingType::String:
            return store.GetString(def.section, def.name, def.defaultValue);
        case SettingType::Binary:
            if (!store.Contains(def.section, def.name)) return def.defaultValue;
            return BytesToHex(store.GetBinary(def.section, def.name));
    }
    return {};
}

std::optional<std::string> SetSettingText(ISettingsStore& store, const SSettingDef& def,
                                          const std::string& text, Language language) {
    if (auto error = CheckSettingText(def, text, language)) return error;
    switch (def.type) {
        case SettingType::Int: {
            const long long v = std::strtoll(text.c_str(), nullptr, 10);
            // Addresses above 2^31 are kept as the 32-bit pattern the store has always held.
            store.SetInt(def.section, def.name, static_cast<int>(static_cast<unsigned>(v)));
            return std::nullopt;
        }
        case SettingType::String:
            store.SetString(def.section, def.name, text);
            return std::nullopt;
        case SettingType::Binary: {
            auto bytes = HexToBytes(text);
            if (!bytes) return "'" + text + "' is not hex bytes";
            store.SetBinary(def.section, def.name, *bytes);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace dravmer
