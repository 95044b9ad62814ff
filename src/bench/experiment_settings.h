#pragma once
// What the operator chose for the experiment: per-parameter table and file columns with their
// decimals, Ky, the poll period, where and how files are written, the switches that survive a
// restart, and the device lists. Loaded from and saved to section ExperimentSettings.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "bench/device_list.h"
#include "measure/param_index.h"
#include "platform/perf_timer.h"
#include "platform/settings_store.h"

namespace dravmer {

class CExperimentSettings {
public:
    // Values a saturated ADC gives with gain 16 (codes 8388607 and -8388608).
    static constexpr double kUpperSaturation = 156.2499906867737;
    static constexpr double kLowerSaturation = -156.25000931322631;
    static constexpr int kDefaultHighlightColor = 9276913;  // RGB(241, 141, 141)

    CExperimentSettings();

    // Section ExperimentSettings: ToTable, ToFile, SignToTable, SignToFile, Ky,
    // FlagSaveFlagToFile, FlagToFile, FlagStatToFile. Recomputes the optional-read flags.
    void LoadExperimentSettings(const ISettingsStore& store);
    // FlagSaveToTextFile, strPathToSaveFile, AddToSavePathDate, crTableHighlightColor, strPeriod.
    void LoadFileSettings(const ISettingsStore& store);
    void SaveFileSettings(ISettingsStore& store) const;
    // ToTable and SignToTable.
    void SaveTableColumns(ISettingsStore& store) const;
    // ToTable, ToFile, SignToTable, SignToFile and the Ky text as it was entered.
    void SaveAllColumns(ISettingsStore& store) const;
    // FlagToFile, FlagSaveFlagToFile and FlagStatToFile (written at exit).
    void SaveFlags(ISettingsStore& store) const;
    void LoadLinkLogFlag(const ISettingsStore& store);
    void SaveLinkLogFlag(ISettingsStore& store) const;

    // Command group (1..4) of the device read that delivers parameter i; 0 for время.
    static int CommandGroup(int i);
    // Cells of parameter i with value x drawn in the highlight colour.
    static bool IsOutOfTolerance(int i, double x);

    // The three optional reads, from the table and file selections.
    void RecomputeOptionalReads();
    bool ReadCurrentValues() const { return m_readCmd20.load(); }
    bool ReadTenMeasurements() const { return m_readTenMeasurements.load(); }
    bool ReadResistances() const { return m_readCmd26.load(); }

    // Selections and decimals by parameter index (out-of-range indices read as not selected).
    bool ToTable(int i) const { return Valid(i) && m_toTable[static_cast<size_t>(i)]; }
    bool ToFile(int i) const { return Valid(i) && m_toFile[static_cast<size_t>(i)]; }
    int TableDecimals(int i) const { return Valid(i) ? m_tableDecimals[static_cast<size_t>(i)] : 3; }
    int FileDecimals(int i) const { return Valid(i) ? m_fileDecimals[static_cast<size_t>(i)] : 6; }
    void SetToTable(int i, bool on);
    void SetToFile(int i, bool on);
    // Decimals outside 0..10 are refused (false) and the old value stays.
    bool SetTableDecimals(int i, int decimals);
    bool SetFileDecimals(int i, int decimals);

    double Ky() const { return m_ky.load(); }
    const std::string& KyText() const { return m_kyText; }
    // Parses like the C library (unparsable text gives 0) and keeps the text for saving.
    void SetKyText(const std::string& text);

    double PollPeriod() const { return m_pollPeriod.load(); }
    void SetPollPeriod(double seconds) { m_pollPeriod.store(seconds); }
    static std::string FormatPeriod(double seconds);  // "%g"

    // File and switch settings.
    std::string savePath;
    bool textFormat = false;     // FlagSaveToTextFile
    bool dateFolders = false;    // AddToSavePathDate
    bool writeToFile = true;     // FlagToFile
    bool statToFile = true;      // FlagStatToFile
    bool saveFileFlag = false;   // FlagSaveFlagToFile
    bool autoScroll = true;      // not stored
    bool writeLinkErrorsToLog = false;  // Properties/bWriteLinkErrorsToLog
    int highlightColor = kDefaultHighlightColor;

    CPerfTimer experimentClock;
    CDeviceList devices;

    // Whole seconds on the experiment clock.
    std::uint32_t ExperimentSecond() const {
        return static_cast<std::uint32_t>(experimentClock.GetElapsedSeconds());
    }

    // The 43-character forms written back to the store.
    std::string ToTableString() const;
    std::string ToFileString() const;
    std::string SignToTableString() const;
    std::string SignToFileString() const;

private:
    static bool Valid(int i) { return i >= 0 && i < kParamCount; }

    std::array<bool, kParamCount> m_toTable{};
    std::array<bool, kParamCount> m_toFile{};
    std::array<std::uint8_t, kParamCount> m_tableDecimals{};
    std::array<std::uint8_t, kParamCount> m_fileDecimals{};
    // What the poll threads read at every cycle while the front end may change it.
    std::atomic<double> m_ky{19.93};
    std::string m_kyText = "19.93";
    std::atomic<double> m_pollPeriod{0.5};
    std::atomic<bool> m_readCmd20{true};
    std::atomic<bool> m_readTenMeasurements{true};
    std::atomic<bool> m_readCmd26{true};
};

}  // namespace dravmer
