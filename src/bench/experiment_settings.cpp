#include "bench/experiment_settings.h"

#include <cstdio>

#include "measure/param_index.h"

namespace dravmer {

namespace {
constexpr const char* kSection = "ExperimentSettings";

// The decimals a parameter has before anything is loaded: integers none, the current-like
// channels 6..11 six, everything else three.
std::uint8_t ConstructionDecimals(int i) {
    if (i <= 2) return 0;
    if (i >= 6 && i <= 11) return 6;
    return 3;
}

std::string FlagsString(const std::array<bool, kParamCount>& flags) {
    std::string s;
    for (bool f : flags) s.push_back(f ? '1' : '0');
    return s;
}

std::string DigitsString(const std::array<std::uint8_t, kParamCount>& digits) {
    std::string s;
    // 10 decimals is allowed; it is stored as the character after '9', as it always was.
    for (auto d : digits) s.push_back(static_cast<char>('0' + d));
    return s;
}
}  // namespace

CExperimentSettings::CExperimentSettings() {
    for (int i = 0; i < kParamCount; ++i) {
        m_toTable[static_cast<size_t>(i)] = true;
        m_toFile[static_cast<size_t>(i)] = true;
        m_tableDecimals[static_cast<size_t>(i)] = ConstructionDecimals(i);
        m_fileDecimals[static_cast<size_t>(i)] = ConstructionDecimals(i);
    }
    RecomputeOptionalReads();
}

void CExperimentSettings::LoadExperimentSettings(const ISettingsStore& store) {
    const std::string toTable = store.GetString(kSection, "ToTable", std::string(30, '1'));
    const std::string toFile = store.GetString(kSection, "ToFile", std::string(30, '1'));
    const std::string signTable =
        store.GetString(kSection, "SignToTable", "0003336666663333333333333333333333333333333");
    const std::string signFile =
        store.GetString(kSection, "SignToFile", "0006666666666666666666666666666666666666666");
    for (size_t i = 0; i < kParamCount; ++i) {
        m_toTable[i] = i >= toTable.size() || toTable[i] == '1';
        m_toFile[i] = i >= toFile.size() || toFile[i] == '1';
        // A stored character that is not a digit would give a negative or huge count of
        // decimals and a broken number format; such a character falls back to the default.
        auto digit = [](const std::string& s, size_t k, std::uint8_t def) -> std::uint8_t {
            if (k >= s.size()) return def;
            int d = s[k] - '0';
            return (d >= 0 && d <= 10) ? static_cast<std::uint8_t>(d) : def;
        };
        m_tableDecimals[i] = digit(signTable, i, 3);
        m_fileDecimals[i] = digit(signFile, i, 6);
    }
    SetKyText(store.GetString(kSection, "Ky", "19.93"));
    saveFileFlag = store.GetInt(kSection, "FlagSaveFlagToFile", 0) != 0;
    writeToFile = saveFileFlag ? store.GetInt(kSection, "FlagToFile", 1) != 0 : true;
    statToFile = store.GetInt(kSection, "FlagStatToFile", 1) != 0;
    RecomputeOptionalReads();
}

void CExperimentSettings::LoadFileSettings(const ISettingsStore& store) {
    textFormat = store.GetInt(kSection, "FlagSaveToTextFile", 0) != 0;
    savePath = store.GetString(kSection, "strPathToSaveFile", "");
    dateFolders = store.GetInt(kSection, "AddToSavePathDate", 0) != 0;
    highlightColor = store.GetInt(kSection, "crTableHighlightColor", kDefaultHighlightColor);
    m_pollPeriod = ParseCDouble(store.GetString(kSection, "strPeriod", "0.5"));
}

void CExperimentSettings::SaveFileSettings(ISettingsStore& store) const {
    store.SetString(kSection, "strPathToSaveFile", savePath);
    store.SetInt(kSection, "FlagSaveToTextFile", textFormat ? 1 : 0);
    store.SetInt(kSection, "AddToSavePathDate", dateFolders ? 1 : 0);
    store.SetInt(kSection, "crTableHighlightColor", highlightColor);
    store.SetString(kSection, "strPeriod", FormatPeriod(m_pollPeriod));
}

void CExperimentSettings::SaveTableColumns(ISettingsStore& store) const {
    store.SetString(kSection, "ToTable", ToTableString());
    store.SetString(kSection, "SignToTable", SignToTableString());
}

void CExperimentSettings::SaveAllColumns(ISettingsStore& store) const {
    store.SetString(kSection, "Ky", m_kyText);
    store.SetString(kSection, "ToTable", ToTableString());
    store.SetString(kSection, "ToFile", ToFileString());
    store.SetString(kSection, "SignToTable", SignToTableString());
    store.SetString(kSection, "SignToFile", SignToFileString());
}

void CExperimentSettings::SaveFlags(ISettingsStore& store) const {
    store.SetInt(kSection, "FlagToFile", writeToFile ? 1 : 0);
    store.SetInt(kSection, "FlagSaveFlagToFile", saveFileFlag ? 1 : 0);
    store.SetInt(kSection, "FlagStatToFile", statToFile ? 1 : 0);
}

void CExperimentSettings::LoadLinkLogFlag(const ISettingsStore& store) {
    writeLinkErrorsToLog = store.GetInt("Properties", "bWriteLinkErrorsToLog", 0) != 0;
}

void CExperimentSettings::SaveLinkLogFlag(ISettingsStore& store) const {
    store.SetInt("Properties", "bWriteLinkErrorsToLog", writeLinkErrorsToLog ? 1 : 0);
}

int CExperimentSettings::CommandGroup(int i) {
    using namespace param;
    // 3: the device's own values (command 20); 2: the ten measurements; 4: the resistances
    // (command 26); 1: the first exchange; 0: время.
    if (i == kGvEr || (i >= kGv20 && i <= kT2_20)) return 3;
    if (i >= kUG0 && i <= kUG9) return 2;
    if (i >= kRt1_26 && i <= kTps26) return 4;
    if ((i >= kCycle && i <= kRes3) || i == kTempPr) return 1;
    return 0;
}

bool CExperimentSettings::IsOutOfTolerance(int i, double x) {
    if (x == 0) return false;
    if (x == kUpperSaturation || x == kLowerSaturation) return true;
    switch (i) {
        case param::kIG: return !(x >= 60 && x <= 120);
        case param::kTOp: return !((x >= 85 && x <= 135) || (x >= 0 && x <= 0.1));
        case param::kPOp: return !(x >= 40 && x <= 60);
        case param::kTPr: return !(x >= 110 && x <= 140);
        case param::kDPt: return !(x >= -35 && x <= 30);
        case param::kDDPt: return !((x >= 0 && x <= 30) || (x >= 150 && x <= 600));
        case param::kIP: return x > 2 && x < 10;
        default: return false;
    }
}

void CExperimentSettings::RecomputeOptionalReads() {
    auto wanted = [this](int i) { return ToTable(i) || ToFile(i); };
    using namespace param;
    bool cmd20 = wanted(kGvEr), ten = false, cmd26 = false;
    for (int i = kGv20; i <= kT2_20; ++i) cmd20 = cmd20 || wanted(i);
    for (int i = kUG0; i <= kUG9; ++i) ten = ten || wanted(i);
    for (int i = kRt1_26; i <= kTps26; ++i) cmd26 = cmd26 || wanted(i);
    m_readCmd20 = cmd20;
    m_readTenMeasurements = ten;
    m_readCmd26 = cmd26;
}

void CExperimentSettings::SetToTable(int i, bool on) {
    if (Valid(i)) m_toTable[static_cast<size_t>(i)] = on;
}

void CExperimentSettings::SetToFile(int i, bool on) {
    if (Valid(i)) m_toFile[static_cast<size_t>(i)] = on;
}

bool CExperimentSettings::SetTableDecimals(int i, int decimals) {
    if (!Valid(i) || decimals < 0 || decimals > 10) return false;
    m_tableDecimals[static_cast<size_t>(i)] = static_cast<std::uint8_t>(decimals);
    return true;
}

bool CExperimentSettings::SetFileDecimals(int i, int decimals) {
    if (!Valid(i) || decimals < 0 || decimals > 10) return false;
    m_fileDecimals[static_cast<size_t>(i)] = static_cast<std::uint8_t>(decimals);
    return true;
}

void CExperimentSettings::SetKyText(const std::string& text) {
    m_kyText = text;
    m_ky = ParseCDouble(text);
}

std::string CExperimentSettings::FormatPeriod(double seconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", seconds);
    return buf;
}

std::string CExperimentSettings::ToTableString() const { return FlagsString(m_toTable); }
std::string CExperimentSettings::ToFileString() const { return FlagsString(m_toFile); }
std::string CExperimentSettings::SignToTableString() const { return DigitsString(m_tableDecimals); }
std::string CExperimentSettings::SignToFileString() const { return DigitsString(m_fileDecimals); }

}  // namespace dravmer
