// list, stats and convert on files the bench writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "files/experiment_files.h"
#include "files/file_format.h"
#include "measure/device_data.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

struct Result {
    int code;
    std::string out, err;
};

Result Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = RunCli(args, out, err, std::make_unique<CMemorySettingsStore>(), Language::English);
    return {code, out.str(), err.str()};
}

class DataCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Ten seconds of one device: UG alternates 10/20 by cycle parity, IG climbs 1..10.
    std::string Write(const std::string& name, bool text) {
        CDeviceData store;
        for (int s = 0; s < 10; ++s) {
            CMeasRecord r = EmptyRecord();
            SetParam(r, 0, s);
            SetParam(r, 1, s);
            SetParam(r, 2, 0xA3);
            SetParam(r, 3, s % 2 ? 20.0 : 10.0);
            SetParam(r, 7, s + 1.0);
            store.AddSample(r);
        }
        SFileOptions options;
        const std::string path = (dir / name).string();
        EXPECT_EQ(SaveStoreAs(store, path, text, options.Columns(), options), 0);
        return path;
    }

    fs::path dir;
};

TEST_F(DataCommands, StatsJsonGivesHandCheckableFiguresOverAllRecordsAndARange) {
    const auto path = Write("261206-003-000042.adc", false);
    auto all = Cli({"stats", path, "--json"});
    ASSERT_EQ(all.code, kExitOk) << all.err;
    auto j = nlohmann::json::parse(all.out);
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["records"], 10);
    EXPECT_DOUBLE_EQ(j[0]["stats"]["Average"]["UG"].get<double>(), 15.0);
    EXPECT_DOUBLE_EQ(j[0]["stats"]["AverageE"]["UG"].get<double>(), 10.0);
    EXPECT_DOUBLE_EQ(j[0]["stats"]["AverageO"]["UG"].get<double>(), 20.0);
    EXPECT_DOUBLE_EQ(j[0]["stats"]["Delta"]["IG"].get<double>(), 9.0);
    EXPECT_DOUBLE_EQ(j[0]["stats"]["NoiseE"]["UG"].get<double>(), 0.0);
    EXPECT_TRUE(j[0]["stats"]["Average"].contains("Temp пр")) << "short names without trailing blanks";

    auto range = Cli({"stats", path, "--from", "2", "--to", "5", "--json"});
    ASSERT_EQ(range.code, kExitOk) << range.err;
    auto r = nlohmann::json::parse(range.out);
    EXPECT_EQ(r[0]["range"][0], 2);
    EXPECT_EQ(r[0]["range"][1], 5);
    EXPECT_DOUBLE_EQ(r[0]["stats"]["Average"]["IG"].get<double>(), (3 + 4 + 5 + 6) / 4.0);
}

TEST_F(DataCommands, ARangeGivenBackwardsIsPutInOrderAndSaidSo) {
    const auto path = Write("261206-003-000042.adc", false);
    auto json = Cli({"stats", path, "--from", "5", "--to", "2", "--json"});
    ASSERT_EQ(json.code, kExitOk) << json.err;
    auto r = nlohmann::json::parse(json.out);
    EXPECT_EQ(r[0]["range"][0], 2);
    EXPECT_EQ(r[0]["range"][1], 5);
    EXPECT_EQ(r[0]["range_reordered"], true);
    EXPECT_NE(json.err.find("--from 5 is after --to 2; the statistics are over 2..5"),
              std::string::npos)
        << json.err;
    auto text = Cli({"stats", path, "--from", "50"});
    EXPECT_NE(text.out.find("put in order"), std::string::npos) << text.out;
    EXPECT_NE(text.err.find("after the last record 9"), std::string::npos) << text.err;
    auto forwards = Cli({"stats", path, "--from", "2", "--to", "5", "--json"});
    EXPECT_FALSE(nlohmann::json::parse(forwards.out)[0].contains("range_reordered"));
    EXPECT_EQ(forwards.err, "");
}

TEST_F(DataCommands, ConvertRoundTripsAndWritesACsvWithOneHeaderRow) {
    const auto adc = Write("261206-003-000042.adc", false);
    const auto txt = (dir / "261206-003-000042.txt").string();
    const auto back = (dir / "back.adc").string();
    const auto csv = (dir / "day.csv").string();
    ASSERT_EQ(Cli({"convert", adc, txt}).code, kExitOk);
    ASSERT_EQ(Cli({"convert", txt, back}).code, kExitOk);
    auto a = nlohmann::json::parse(Cli({"stats", adc, "--json"}).out);
    auto b = nlohmann::json::parse(Cli({"stats", back, "--json"}).out);
    EXPECT_EQ(a[0]["stats"]["Average"]["UG"], b[0]["stats"]["Average"]["UG"]);
    ASSERT_EQ(Cli({"convert", adc, csv}).code, kExitOk);
    std::ifstream in(csv);
    std::string header, first;
    std::getline(in, header);
    std::getline(in, first);
    EXPECT_EQ(header.rfind("datetime,address,время,Цикл,Cст,UG,", 0), 0u) << header;
    EXPECT_NE(first.find("+", 0), std::string::npos) << "a datetime with its UTC offset";
    EXPECT_NE(first.find(",42,0,0,163,10,"), std::string::npos) << first;
    int lines = 2;
    for (std::string l; std::getline(in, l);) ++lines;
    EXPECT_EQ(lines, 11);
}

TEST_F(DataCommands, ConvertToTextUsesTheFileDecimalsOfTheSettings) {
    const auto adc = Write("261206-003-000042.adc", false);
    const auto txt = (dir / "261206-003-000042.txt").string();
    auto store = std::make_unique<CMemorySettingsStore>();
    store->SetString("ExperimentSettings", "SignToFile", "0002");  // UG with 2 decimals
    std::ostringstream out, err;
    ASSERT_EQ(RunCli({"convert", adc, txt}, out, err, std::move(store), Language::English), kExitOk)
        << err.str();
    std::ifstream in(txt, std::ios::binary);
    std::string header, first;
    std::getline(in, header);
    std::getline(in, header);
    std::getline(in, first);
    // время, Цикл and Cст take 5 characters each; UG follows in 12 with two decimals.
    EXPECT_EQ(first.substr(15, 12), "       10.00") << first;
    EXPECT_EQ(first.substr(27, 12), "    0.000000") << "UG2 keeps the default 6";
}

TEST_F(DataCommands, ListShowsOneRowPerExperimentAndJsonFields) {
    Write("261206-003-000042.adc", false);
    Write("261206-003-000043.adc", false);
    Write("261206-004-000042.txt", true);
    Write("not-an-experiment.adc", false);
    auto list = Cli({"list", dir.string(), "--json"});
    ASSERT_EQ(list.code, kExitOk) << list.err;
    auto j = nlohmann::json::parse(list.out);
    ASSERT_EQ(j.size(), 2u);
    for (const auto& e : j) {
        if (e["number"] == 3) {
            EXPECT_EQ(e["addresses"], nlohmann::json::array({42, 43}));
            EXPECT_EQ(e["format"], "adc");
        } else {
            EXPECT_EQ(e["number"], 4);
            EXPECT_EQ(e["format"], "txt");
        }
    }
}

TEST_F(DataCommands, ALabelsControlCharactersNeitherForgeRowsNorReachTheTerminal) {
    Write("261206-003-000042.adc", false);
    const std::string label = "line one\nforged\t9\x1b[2Jred\x7f";
    ASSERT_EQ(WriteLabelFile((dir / "261206-003-label .txt").string(), label), 0);
    auto text = Cli({"list", dir.string()});
    ASSERT_EQ(text.code, kExitOk) << text.err;
    std::istringstream lines(text.out);
    std::vector<std::string> rows;
    for (std::string l; std::getline(lines, l);) rows.push_back(l);
    ASSERT_EQ(rows.size(), 2u) << "the header and one row:\n" << text.out;
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.out.find('\x7f'), std::string::npos);
    const std::string comment = rows[1].substr(rows[1].rfind('\t') + 1);
    EXPECT_NE(comment.find("line one forged 9?[2Jred?"), std::string::npos) << comment;
    // JSON escapes them itself and keeps the text as it is.
    auto json = Cli({"list", dir.string(), "--json"});
    ASSERT_EQ(json.code, kExitOk);
    const std::string kept = nlohmann::json::parse(json.out)[0]["comment"];
    EXPECT_NE(kept.find(label), std::string::npos) << kept;
}

TEST_F(DataCommands, ColumnIdentifiersOutsideTheCatalogueAreReported) {
    const auto adc = Write("261206-004-000042.adc", false);
    {
        std::fstream f(adc, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(60 + 3);  // the fourth column's identifier
        f.put(static_cast<char>(50));
    }
    auto stats = Cli({"stats", adc});
    EXPECT_EQ(stats.code, kExitOk);
    EXPECT_NE(stats.err.find("1 unknown columns skipped"), std::string::npos) << stats.err;
}

TEST_F(DataCommands, AFolderThatCannotBeReadIsNotShownAsEmpty) {
    const auto locked = dir / "locked";
    fs::create_directories(locked);
    Write("261206-004-000042.adc", false);
    fs::copy_file(dir / "261206-004-000042.adc", locked / "261206-004-000042.adc");
    fs::permissions(locked, fs::perms::none);
    // The superuser reads any folder: the list runs in a child that has given that up.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(10);
        auto list = Cli({"list", locked.string()});
        const bool said = list.err.find("cannot be read") != std::string::npos;
        ::_exit(list.code == kExitFailure && said && list.out.empty() ? 0 : 11);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    fs::permissions(locked, fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(DataCommands, BadInputGivesAClearErrorAndAFailureCode) {
    auto missing = Cli({"stats", (dir / "none.adc").string()});
    EXPECT_NE(missing.code, kExitOk);
    EXPECT_NE(missing.err.find("none.adc"), std::string::npos);
    std::ofstream(dir / "garbage.adc") << "this is not an experiment";
    EXPECT_NE(Cli({"stats", (dir / "garbage.adc").string()}).code, kExitOk);
    EXPECT_EQ(Cli({"convert", "a.adc", "b.xls"}).code, kExitUsage);
    EXPECT_EQ(Cli({"stats"}).code, kExitUsage);
    EXPECT_NE(Cli({"list", (dir / "nope").string()}).code, kExitOk);
}

}  // namespace
}  // namespace dravmer::cli
