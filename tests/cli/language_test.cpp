// One language per run: the program itself, started with a message locale, speaks English for an
// English (or C, or no) locale and Russian for a Russian one, engine texts included. Parameter
// names are data and stay as the files name them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "cli/cli.h"
#include "cyrillic.h"
#include "files/file_format.h"
#include "measure/device_data.h"
#include "measure/param_catalog.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

struct Output {
    int code = -1;
    std::string out, err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The text without the parameter names, longest first ("t пр" before "пр" parts of others).
std::string WithoutParameterNames(std::string text) {
    std::vector<std::string> names;
    for (int i = 0; i < kParamCount; ++i) names.emplace_back(ParamNameTrimmed(i));
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& name : names)
        for (std::size_t at = 0; (at = text.find(name, at)) != std::string::npos;)
            text.erase(at, name.size());
    return text;
}

class CliLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-language-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
        // No port of the bench reaches a line of this computer.
        std::ofstream ini(dir / "empty.conf");
        for (int p = 0; p < 4; ++p) ini << "[ComSettingsPort" << p << "]\nUseLink=0\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    // The program with nothing of this process's locale: only `locale` ("LANG=en_US.UTF-8").
    Output Run(const std::string& locale, const std::string& args) const {
        const fs::path out = dir / "stdout", err = dir / "stderr";
        const std::string home = (dir / "home").string();
        const std::string command =
            "env -i PATH=/usr/bin:/bin HOME='" + home + "' XDG_CONFIG_HOME='" + home +
            "/.config' DRAVMER_DATA_DIR='" + home + "/data' DRAVMER_LOG_DIR='" + home +
            "/logs' " + locale + " '" + DRAVMER_CLI_PROGRAM + "' " + args + " >'" +
            out.string() + "' 2>'" + err.string() + "'";
        Output o;
        const int status = std::system(command.c_str());
        o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = Slurp(out);
        o.err = Slurp(err);
        return o;
    }
    std::string Demo() const {
        return "--config '" + (dir / "demo.conf").string() + "' --demo run --seconds 5 --out '" +
               (dir / "out").string() + "'";
    }
    std::string Empty(const char* command) const {
        return "--config '" + (dir / "empty.conf").string() + "' " + command;
    }

    fs::path dir;
};

TEST_F(CliLanguage, EnglishLocaleDemoRunPrintsNoCyrillicButParameterNames) {
    const Output o = Run("LANG=en_US.UTF-8", Demo());
    // A loaded machine may miss a record of the five seconds (exit code 3); the texts are what
    // is checked.
    ASSERT_TRUE(o.code == kExitOk || o.code == kExitIncomplete) << o.err;
    EXPECT_NE(o.err.find("Found: 100001 (total: 1)"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("devices found in total."), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("Experiment 1 started"), std::string::npos) << o.err;
    EXPECT_NE(o.out.find("Device 100001 (port 1): "), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("% received"), std::string::npos) << o.out;
    EXPECT_EQ(test::FirstCyrillicLine(o.err), "");
    EXPECT_EQ(test::FirstCyrillicLine(WithoutParameterNames(o.out)), "");
    EXPECT_TRUE(test::HasCyrillic(o.out)) << "the parameter names stay as the files name them";
}

TEST_F(CliLanguage, RussianLocaleDemoRunPrintsTheRussianTexts) {
    const Output o = Run("LANG=ru_RU.UTF-8", Demo());
    ASSERT_TRUE(o.code == kExitOk || o.code == kExitIncomplete) << o.err;
    EXPECT_NE(o.err.find("Найден: №100001 (всего: 1)"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("Всего найдено"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("Эксперимент 1 запущен"), std::string::npos) << o.err;
    EXPECT_NE(o.out.find("Прибор № 100001 (порт 1): записей "), std::string::npos) << o.out;
    // The CLI's own texts follow the run's language too.
    EXPECT_EQ(o.err.find("Experiment"), std::string::npos) << o.err;
    EXPECT_EQ(o.out.find("records"), std::string::npos) << o.out;
}

TEST_F(CliLanguage, EmptyDeviceListAndNoOpenPortAreSaidInTheLocalesLanguage) {
    for (const char* locale : {"LANG=en_US.UTF-8", "LANG=C", "", "LC_ALL=C.UTF-8 LANG=ru_RU.UTF-8",
                               "LANG=de_DE.UTF-8"}) {
        const Output run = Run(locale, Empty("run --seconds 1"));
        EXPECT_EQ(run.code, kExitFailure) << locale;
        EXPECT_NE(run.err.find("The device list is empty."), std::string::npos) << locale << run.err;
        EXPECT_EQ(test::FirstCyrillicLine(run.out + run.err), "") << locale;
        const Output search = Run(locale, Empty("search"));
        EXPECT_NE(search.err.find("Search not run: no port is open."), std::string::npos)
            << locale << search.err;
        EXPECT_EQ(test::FirstCyrillicLine(search.out + search.err), "") << locale;
    }
    for (const char* locale : {"LANG=ru_RU.UTF-8", "LC_MESSAGES=ru_RU.UTF-8 LANG=en_US.UTF-8",
                               "LANG=en_US.UTF-8 LANGUAGE=ru:en"}) {
        const Output run = Run(locale, Empty("run --seconds 1"));
        EXPECT_EQ(run.code, kExitFailure) << locale;
        EXPECT_NE(run.err.find("Список приборов пуст."), std::string::npos) << locale << run.err;
        EXPECT_NE(run.err.find("эксперимент не запущен: список приборов пуст"), std::string::npos)
            << locale << run.err;
        const Output search = Run(locale, Empty("search"));
        EXPECT_NE(search.err.find("Поиск не выполнен: ни один порт не открыт."), std::string::npos)
            << locale << search.err;
    }
}

TEST_F(CliLanguage, FilesAndSettingsWrittenInEnglishAreByteIdenticalToRussian) {
    // One recorded device, converted and set up by an English and a Russian run.
    const fs::path adc = dir / "261206-007-000301.adc";
    {
        CDeviceData store;
        for (int k = 0; k < 30; ++k) {
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(k);
            for (int p = 3; p < CMeasRecord::kParamCount - 1; ++p) SetParam(r, p, k * 0.5 + p);
            store.AddSample(r);
        }
        store.SetStartTime(1796540400);
        std::vector<int> columns;
        for (int c = 0; c < CMeasRecord::kParamCount; ++c) columns.push_back(c);
        ASSERT_EQ(SaveStoreAs(store, adc.string(), false, columns, SFileOptions()), 0);
    }
    std::map<std::string, std::string> written[2];
    const char* locales[2] = {"LANG=ru_RU.UTF-8", "LANG=en_US.UTF-8"};
    for (int run = 0; run < 2; ++run) {
        const fs::path out = dir / ("run" + std::to_string(run));
        fs::create_directories(out);
        const std::string conf = "--config '" + (out / "bench.conf").string() + "' ";
        for (const char* target : {"261206-007-000301.txt", "table.csv"})
            ASSERT_EQ(Run(locales[run], conf + "convert '" + adc.string() + "' '" +
                                            (out / target).string() + "'")
                          .code,
                      kExitOk);
        ASSERT_EQ(Run(locales[run], conf + "convert '" + adc.string() + "' '" +
                                        (out / "units.csv").string() + "' --units --excel")
                      .code,
                  kExitOk);
        for (const char* set : {"ComSettingsPort0/bComType 4", "ExperimentSettings/Ky 20.5",
                                "ComSettingsPort1/ServerName bench-pc"})
            ASSERT_EQ(Run(locales[run], conf + "settings set " + set).code, kExitOk) << set;
        for (const auto& e : fs::directory_iterator(out))
            written[run][e.path().filename().string()] = Slurp(e.path());
    }
    ASSERT_EQ(written[0].size(), 4u);
    EXPECT_NE(written[0]["units.csv"].find("мкВ"), std::string::npos) << "the units as stored";
    EXPECT_EQ(written[0], written[1]);
}

// Every refusal of a command line, every command's help and the reasons a file or an address is
// refused are said in the run's language: CLI11's own words included.
TEST_F(CliLanguage, HelpAndRefusalsAreSaidInTheLocalesLanguage) {
    const std::string adc = (dir / "261206-007-000301.adc").string();
    {
        CDeviceData store;
        for (int k = 0; k < 5; ++k) {
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(k);
            SetParam(r, 3, k * 0.5);
            store.AddSample(r);
        }
        std::vector<int> columns;
        for (int c = 0; c < CMeasRecord::kParamCount; ++c) columns.push_back(c);
        ASSERT_EQ(SaveStoreAs(store, adc, false, columns, SFileOptions()), 0);
    }
    struct Case {
        std::string args;
        int code;
        std::vector<std::string> english, russian;  // what each says (the English also must
                                                    // not appear in the Russian)
    };
    const std::string missing = (dir / "missing.adc").string();
    const std::vector<Case> cases = {
        {"frobnicate", kExitUsage, {"unknown command 'frobnicate'", "try --help"},
         {"неизвестная команда 'frobnicate'"}},
        {"stats --bogus '" + adc + "'", kExitUsage, {"unknown option --bogus", "Try '"},
         {"неизвестный параметр --bogus", "Справка: 'dravmer-cli stats --help'"}},
        {Empty("run --seconds 0"), kExitUsage, {"expected a number of seconds above 0, not '0'"},
         {"ожидается число секунд больше 0, а не '0'"}},
        {Empty("run --seconds abc"), kExitUsage, {"expected a number of seconds"},
         {"ожидается число секунд"}},
        {Empty("run --wait-device -1"), kExitUsage, {"expected a number of seconds from 0"},
         {"ожидается число секунд не меньше 0"}},
        {"convert", kExitUsage, {"FILES is required"}, {"FILES: обязательный аргумент не указан"}},
        {"stats --from", kExitUsage, {"--from needs a value"}, {"--from: не указано значение"}},
        {"stats '" + adc + "' --from 1x", kExitUsage, {"expected a whole number from 0"},
         {"ожидается целое число от 0 до 999999999 секунд"}},
        {"stats '" + missing + "'", kExitFailure, {missing + ": cannot be opened"},
         {missing + ": не открывается"}},
        {"plot '" + adc + "' --param nosuch --out g.png", kExitUsage,
         {"unknown parameter \"nosuch\"", "usage: dravmer-cli plot"},
         {"неизвестный параметр \"nosuch\"", "использование: dravmer-cli plot"}},
        {"archive --archive foo:bar list", kExitFailure,
         {"the archive URL must start with sqlite: or postgresql://"},
         {"адрес архива должен начинаться с sqlite: или postgresql://"}},
        {Empty("run --seconds 1 --mqtt mqtts://broker"), kExitUsage,
         {"TLS (mqtts://) is not supported"}, {"TLS (mqtts://) не поддерживается"}},
        {"settings", kExitUsage, {"a subcommand is needed: dump, get or set"},
         {"нужна подкоманда: dump, get или set"}},
        {"catalog --json --markdown", kExitUsage, {"cannot go with"}, {"нельзя указывать вместе с"}},
        {"--demo stats '" + adc + "'", kExitUsage, {"--demo goes with"}, {"--demo указывают с"}},
        {"--help", kExitOk, {"Usage: dravmer-cli", "Global options:", "Commands:", "Exit codes"},
         {"Использование: dravmer-cli", "Общие параметры:", "Команды:", "Коды завершения"}},
        {"stats --help", kExitOk,
         {"Usage: dravmer-cli stats [OPTIONS] FILE...", "Options:", "Positionals:",
          "first second of the range", "print this help"},
         {"Использование: dravmer-cli stats [ПАРАМЕТРЫ] FILE...", "Параметры:", "Аргументы:",
          "первая секунда диапазона", "вывести эту справку"}},
        {"archive --help", kExitOk, {"Subcommands:", "the archived experiments, newest first"},
         {"Подкоманды:", "эксперименты архива, сначала новые"}},
        {"stats '" + adc + "'", kExitOk, {"averageE (0-4)", "\nnoise O\t"},
         {"СрЧет (0-4)", "\nШумНеч\t", "\nСКО\t"}},
    };
    for (const Case& c : cases) {
        const Output en = Run("LANG=en_US.UTF-8", c.args);
        const Output ru = Run("LANG=ru_RU.UTF-8", c.args);
        const std::string enText = en.out + en.err, ruText = ru.out + ru.err;
        EXPECT_EQ(en.code, c.code) << c.args << "\n" << enText;
        EXPECT_EQ(ru.code, c.code) << c.args << "\n" << ruText;
        for (const std::string& e : c.english) {
            EXPECT_NE(enText.find(e), std::string::npos) << c.args << ": " << e << "\n" << enText;
            EXPECT_EQ(ruText.find(e), std::string::npos) << c.args << ": " << e << "\n" << ruText;
        }
        for (const std::string& r : c.russian)
            EXPECT_NE(ruText.find(r), std::string::npos) << c.args << ": " << r << "\n" << ruText;
        EXPECT_EQ(test::FirstCyrillicLine(WithoutParameterNames(enText)), "") << c.args;
        EXPECT_TRUE(test::HasCyrillic(ruText)) << c.args;
    }
}

}  // namespace
}  // namespace dravmer::cli
