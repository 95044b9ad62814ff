#include <gtest/gtest.h>

#include "bench/experiment_number.h"
#include "bench/experiment_settings.h"
#include "bench/settings_catalog.h"
#include "cyrillic.h"

namespace dravmer {
namespace {

// Settings as the program loads them at start (the object lives in place: the poll threads
// read parts of it through atomics, so it is not copied).
struct Loaded : CExperimentSettings {
    explicit Loaded(const ISettingsStore& store) {
        LoadExperimentSettings(store);
        LoadFileSettings(store);
    }
};

TEST(ExperimentSettings, FirstStartGivesTheDefaults) {
    CMemorySettingsStore store;
    auto s = Loaded(store);
    for (int i = 0; i < kParamCount; ++i) {
        EXPECT_TRUE(s.ToTable(i)) << i;
        EXPECT_TRUE(s.ToFile(i)) << i;
    }
    const int tableDecimals[] = {0, 0, 0, 3, 3, 3, 6, 6, 6, 6, 6, 6, 3};
    for (int i = 0; i < 13; ++i) EXPECT_EQ(s.TableDecimals(i), tableDecimals[i]) << i;
    EXPECT_EQ(s.TableDecimals(42), 3);
    EXPECT_EQ(s.FileDecimals(2), 0);
    EXPECT_EQ(s.FileDecimals(3), 6);
    EXPECT_DOUBLE_EQ(s.Ky(), 19.93);
    EXPECT_DOUBLE_EQ(s.PollPeriod(), 0.5);
    EXPECT_TRUE(s.writeToFile);
    EXPECT_FALSE(s.textFormat);
    EXPECT_EQ(s.highlightColor, 241 + 141 * 256 + 141 * 65536);
    EXPECT_TRUE(s.ReadCurrentValues() && s.ReadTenMeasurements() && s.ReadResistances());
}

TEST(ExperimentSettings, BadStoredTextLoadsAsTheCLibraryWouldWithoutCrashing) {
    CMemorySettingsStore store;
    store.SetString("ExperimentSettings", "Ky", "abc");
    store.SetString("ExperimentSettings", "ToTable", "010");
    store.SetString("ExperimentSettings", "SignToTable", "12x");
    store.SetString("ExperimentSettings", "strPeriod", "fast");
    auto s = Loaded(store);
    EXPECT_EQ(s.Ky(), 0.0);
    EXPECT_EQ(s.KyText(), "abc") << "the text is written back as entered";
    EXPECT_FALSE(s.ToTable(0));
    EXPECT_TRUE(s.ToTable(1));
    EXPECT_FALSE(s.ToTable(2));
    EXPECT_TRUE(s.ToTable(3)) << "beyond the end of a short string every parameter is selected";
    EXPECT_EQ(s.TableDecimals(0), 1);
    EXPECT_EQ(s.TableDecimals(2), 3) << "a non-digit falls back to the default";
    EXPECT_EQ(s.TableDecimals(3), 3);
    EXPECT_EQ(s.PollPeriod(), 0.0);
}

TEST(ExperimentSettings, WriteToFileIsOnAtStartUnlessItsStateIsKept) {
    CMemorySettingsStore store;
    store.SetInt("ExperimentSettings", "FlagToFile", 0);
    EXPECT_TRUE(Loaded(store).writeToFile);
    store.SetInt("ExperimentSettings", "FlagSaveFlagToFile", 1);
    EXPECT_FALSE(Loaded(store).writeToFile);
}

TEST(ExperimentSettings, SelectionsRoundTripAsFullStringsAndDecimalsStayInRange) {
    CMemorySettingsStore store;
    auto s = Loaded(store);
    s.SetToTable(5, false);
    EXPECT_FALSE(s.SetTableDecimals(4, 11));
    EXPECT_TRUE(s.SetTableDecimals(4, 10));
    s.SaveAllColumns(store);
    EXPECT_EQ(store.GetString("ExperimentSettings", "ToTable", "").size(), 43u);
    auto t = Loaded(store);
    EXPECT_FALSE(t.ToTable(5));
    EXPECT_EQ(t.TableDecimals(4), 10);
}

TEST(ExperimentSettings, OptionalReadsFollowTheWantedParameters) {
    CExperimentSettings s;
    for (int i = 0; i < kParamCount; ++i) {
        s.SetToTable(i, false);
        s.SetToFile(i, false);
    }
    s.RecomputeOptionalReads();
    EXPECT_FALSE(s.ReadCurrentValues() || s.ReadTenMeasurements() || s.ReadResistances());
    s.SetToFile(15, true);  // GvEr alone
    s.SetToTable(27, true);
    s.RecomputeOptionalReads();
    EXPECT_TRUE(s.ReadCurrentValues());
    EXPECT_TRUE(s.ReadTenMeasurements());
    EXPECT_FALSE(s.ReadResistances());
}

TEST(ExperimentSettings, OutOfToleranceRule) {
    using S = CExperimentSettings;
    EXPECT_TRUE(S::IsOutOfTolerance(7, 59.9));
    EXPECT_FALSE(S::IsOutOfTolerance(7, 60));
    EXPECT_TRUE(S::IsOutOfTolerance(17, 5));
    EXPECT_FALSE(S::IsOutOfTolerance(17, 1));
    EXPECT_FALSE(S::IsOutOfTolerance(17, 12));
    EXPECT_FALSE(S::IsOutOfTolerance(7, 0)) << "zero is never highlighted";
    EXPECT_TRUE(S::IsOutOfTolerance(3, S::kUpperSaturation));
    EXPECT_TRUE(S::IsOutOfTolerance(3, S::kLowerSaturation));
    EXPECT_FALSE(S::IsOutOfTolerance(8, 0.05));
    EXPECT_TRUE(S::IsOutOfTolerance(14, 100));
    EXPECT_FALSE(S::IsOutOfTolerance(14, 150));
    EXPECT_EQ(S::CommandGroup(0), 0);
    EXPECT_EQ(S::CommandGroup(33), 1);
    EXPECT_EQ(S::CommandGroup(15), 3);
    EXPECT_EQ(S::CommandGroup(40), 4);
}

TEST(DeviceList, LoadsParallelStringsWithMissingPiecesAtZero) {
    CMemorySettingsStore store;
    store.SetString("DeviceList", "List", "100;200;300");  // last entry lacks its semicolon
    store.SetString("DeviceList", "PortList", "1;");
    store.SetString("DeviceList", "EnableList", "1;1;");
    store.SetInt("DeviceList", "Transit2", 77);
    CDeviceList l;
    l.Load(store);
    ASSERT_EQ(l.Found().size(), 2u);
    EXPECT_EQ(l.Found()[1].address, 200u);
    EXPECT_EQ(l.Found()[1].port, 0);
    ASSERT_EQ(l.Active().size(), 2u);
    EXPECT_EQ(l.Transit(1), 77u);
}

TEST(DeviceList, ActiveListIsTheEnabledFoundEntriesAndSavesRoundTrip) {
    CDeviceList l;
    l.AddFound(5, 0);
    l.AddFound(6, 1, false);
    l.AddFound(4294967295u, 3);
    l.AddFound(7, 9);  // a port beyond the four ports is never polled
    l.RebuildActive();
    ASSERT_EQ(l.Active().size(), 2u);
    EXPECT_EQ(l.Active()[1].address, 4294967295u);
    CMemorySettingsStore store;
    l.SaveFound(store);
    EXPECT_EQ(store.GetString("DeviceList", "List", ""), "5;6;4294967295;7;");
    EXPECT_EQ(store.GetString("DeviceList", "EnableList", ""), "1;0;1;1;");
    CDeviceList back;
    back.Load(store);
    EXPECT_EQ(back.Found().size(), 4u);
    EXPECT_EQ(back.Found()[2].address, 4294967295u);
    for (int i = 0; i < 200; ++i) l.AddFound(static_cast<unsigned>(i), 0);
    EXPECT_EQ(l.Found().size(), kMaxDevices) << "the table never grows beyond 100";
}

TEST(ExperimentNumber, CountsPerDayAndRestartsOnANewDay) {
    CMemorySettingsStore store;
    EXPECT_EQ(NextExperimentNumber(store, "261207"), 1);
    EXPECT_EQ(NextExperimentNumber(store, "261207"), 2);
    EXPECT_EQ(NextExperimentNumber(store, "261208"), 1);
    EXPECT_EQ(store.GetString("Dravmer", "ExperimentDate", ""), "261208");
}

TEST(ExperimentNumber, StaysWithinThreeDigitsAndPositiveWhateverTheStoredValue) {
    CMemorySettingsStore store;
    store.SetString("Dravmer", "ExperimentDate", "261207");
    for (const int stored : {999, 2147483647, -5, 0, 5000}) {
        store.SetInt("Dravmer", "ExperimentNumber", stored);
        EXPECT_EQ(NextExperimentNumber(store, "261207"), 1) << stored;
    }
    store.SetInt("Dravmer", "ExperimentNumber", 998);
    EXPECT_EQ(NextExperimentNumber(store, "261207"), 999);
}

TEST(SettingsCatalog, ValuesOutsideTheirRangeAreRefusedWithTheRangeAndNothingIsStored) {
    CMemorySettingsStore store;
    auto def = [](const char* section, const char* name) { return *FindSetting(section, name); };
    const struct {
        SSettingDef def;
        std::string text;
        std::string named;  // part of the message
    } refused[] = {
        {def("ExperimentSettings", "Ky"), "abc", "от 0.001 до 100000"},
        {def("ExperimentSettings", "Ky"), "1e400", "от 0.001 до 100000"},
        {def("ExperimentSettings", "Ky"), "0", "от 0.001"},
        {def("ExperimentSettings", "Ky"), "nan", "десятичные"},
        {def("ComSettingsPort0", "Speed"), "-1", "от 0 до 12"},
        {def("ComSettingsPort1", "TimeOut"), "0", "от 1 до 60000"},
        {def("ExperimentSettings", "strPeriod"), "-3", "от 0.01 до 3600"},
        {def("ExperimentSettings", "SignToFile"), "xyz", "цифры 0–9"},
        {def("ExperimentSettings", "ToTable"), "0120", "символы 0 и 1"},
        {def("ComSettingsPort0", "DevicePath"), "/dev/ttyUSB0\n[Evil]", "управляющие символы"},
        {def("DeviceList", "List"), "12;x;", "список адресов"},
        {def("DeviceList", "PortList"), "0;4;", "от 0 до 3"},
        {def("Dravmer", "ExperimentNumber"), "1000", "от 1 до 999"},
        {def("WindowPos", "cx"), "99999999999999", "от 0 до 100000"},
        {def("UpdateVersionSettings", "PublicKey"), std::string(63, 'a'), "64 шестнадцатеричных"},
        {def("UpdateVersionSettings", "PublicKey"), std::string(63, 'a') + "g", "64 шестн"},
        {def("Dravmer", "Language"), "de", "system (язык системы), ru и en"},
    };
    for (const auto& r : refused) {
        const auto message = CheckSettingText(r.def, r.text);
        ASSERT_TRUE(message.has_value()) << r.def.name << " " << r.text;
        EXPECT_NE(message->find(r.named), std::string::npos) << *message;
        EXPECT_EQ(SetSettingText(store, r.def, r.text), message);
        EXPECT_FALSE(store.Contains(r.def.section, r.def.name)) << r.def.name;
    }
    for (const auto& d : KnownSettings())
        EXPECT_EQ(CheckSettingText(d, d.defaultValue), std::nullopt) << d.name << " default";
    const struct {
        SSettingDef def;
        std::string text;
    } accepted[] = {
        {def("ExperimentSettings", "Ky"), "19.93"},
        {def("ExperimentSettings", "strPeriod"), "0.2"},
        {def("ComSettingsPort0", "DevicePath"), "/dev/serial/by-id/usb-Ф"},
        {def("DeviceList", "List"), "5;4294967295;"},
        {def("WindowPos", "x"), "-20"},
        {def("DeviceList", "Transit2"), "4294967295"},
        {def("UpdateVersionSettings", "PublicKey"), std::string(32, 'A') + std::string(32, '9')},
        {def("Dravmer", "Language"), "en"},
        {def("Dravmer", "Language"), "ru"},
    };
    for (const auto& a : accepted)
        EXPECT_EQ(CheckSettingText(a.def, a.text), std::nullopt) << a.def.name << " " << a.text;
}

TEST(SettingsCatalog, RefusalsAreWordedInTheLanguageAskedForWithoutCyrillicInEnglish) {
    auto def = [](const char* section, const char* name) { return *FindSetting(section, name); };
    const struct {
        SSettingDef def;
        std::string text;
        std::string english;  // part of the English message
    } refused[] = {
        {def("ExperimentSettings", "Ky"), "abc", "decimal numbers from 0.001 to 100000"},
        {def("ComSettingsPort0", "Speed"), "-1", "whole numbers from 0 to 12"},
        {def("ExperimentSettings", "ToTable"), "0120", "0 and 1"},
        {def("ExperimentSettings", "SignToFile"), "xyz", "digits 0–9"},
        {def("DeviceList", "List"), "12;x;", "list of addresses"},
        {def("DeviceList", "PortList"), "0;4;", "port numbers from 0 to 3"},
        {def("DeviceList", "EnableList"), "2;", "list of 0 and 1"},
        {def("Dravmer", "ExperimentDate"), "2612", "YYMMDD"},
        {def("UpdateVersionSettings", "PublicKey"), "ab", "64 hexadecimal digits"},
        {def("ComSettingsPort0", "DevicePath"), "a\nb", "control characters"},
        {def("ComSettingsPort0", "DevicePath"), std::string(1025, 'a'), "1024 bytes"},
        {def("Dravmer", "Language"), "fr", "system"},
    };
    for (const auto& r : refused) {
        const auto english = CheckSettingText(r.def, r.text, Language::English);
        ASSERT_TRUE(english.has_value()) << r.def.name;
        EXPECT_NE(english->find(r.english), std::string::npos) << *english;
        EXPECT_FALSE(test::HasCyrillic(*english)) << *english;
        const auto russian = CheckSettingText(r.def, r.text, Language::Russian);
        ASSERT_TRUE(russian.has_value());
        EXPECT_EQ(russian->rfind("Недопустимое значение", 0), 0u) << *russian;
        EXPECT_NE(*russian, *english);
    }
}

TEST(SettingsCatalog, DumpOfAnEmptyStoreShowsDefaultsAndSetRefusesBadNumbers) {
    CMemorySettingsStore store;
    const auto* ky = FindSetting("ExperimentSettings", "Ky");
    ASSERT_NE(ky, nullptr);
    EXPECT_EQ(SettingText(store, *ky), "19.93");
    const auto* cx = FindSetting("WindowPos", "cx");
    EXPECT_EQ(SettingText(store, *cx), "560");
    EXPECT_EQ(SettingText(store, *FindSetting("ComSettingsPort2", "ComNumber")), "2");
    EXPECT_TRUE(SetSettingText(store, *cx, "12x").has_value());
    EXPECT_FALSE(store.Contains("WindowPos", "cx"));
    EXPECT_FALSE(SetSettingText(store, *FindSetting("DeviceList", "Transit1"), "4294967295"));
    EXPECT_EQ(SettingText(store, *FindSetting("DeviceList", "Transit1")), "-1");
}

}  // namespace
}  // namespace dravmer
