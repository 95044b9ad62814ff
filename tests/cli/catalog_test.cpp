// catalog: the parameter table, and the aliases every command takes beside the short names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
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

TEST(CatalogCommand, ListsAllParametersWithAliasUnitAndDescription) {
    auto json = Cli({"catalog", "--json"});
    ASSERT_EQ(json.code, kExitOk) << json.err;
    auto j = nlohmann::json::parse(json.out);
    ASSERT_EQ(j.size(), 43u);
    EXPECT_EQ(j[2]["name"], "Cст");
    EXPECT_EQ(j[2]["alias"], "Cst");
    EXPECT_EQ(j[0]["name"], "время") << "without the padding blanks";
    EXPECT_EQ(j[33]["unit"], "°С");
    EXPECT_EQ(j[8]["alias"], "t_op");
    EXPECT_EQ(j[42]["index"], 42);
    EXPECT_EQ(j[20]["description"], "Резерв");

    auto text = Cli({"catalog"});
    ASSERT_EQ(text.code, kExitOk);
    std::istringstream lines(text.out);
    int rows = 0;
    for (std::string l; std::getline(lines, l);) ++rows;
    EXPECT_EQ(rows, 44);
    // The listing is read by the operator: units and descriptions in the run's language.
    EXPECT_NE(text.out.find(" 8 tоп      t_op     mV     Voltage across the 121 Ω reference"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(" 3 UG       UG       µV     Electrode signal"), std::string::npos)
        << text.out;
    EXPECT_EQ(j[8]["unit_en"], "mV");
    EXPECT_EQ(j[42]["description_en"], "Pressure sensor temperature");

    auto md = Cli({"catalog", "--markdown"});
    EXPECT_NE(md.out.find("| 12 | `t пр` | `t_pr` | мВ |"), std::string::npos) << md.out;
    EXPECT_EQ(Cli({"catalog", "--json", "--markdown"}).code, kExitUsage);
}

TEST(CatalogCommand, CommandsTakingAParameterTakeItsAlias) {
    const fs::path dir =
        fs::temp_directory_path() / ("dravmer-alias-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    CDeviceData store;
    for (int s = 0; s < 30; ++s) {
        CMeasRecord r = EmptyRecord();
        SetParam(r, 0, s);
        SetParam(r, 8, 100 + s);
        SetParam(r, 23, s % 3);
        store.AddSample(r);
    }
    SFileOptions options;
    const std::string adc = (dir / "261206-001-000007.adc").string();
    ASSERT_EQ(SaveStoreAs(store, adc, false, options.Columns(), options), 0);
    const std::string png = (dir / "g.png").string();
    auto plot = Cli({"plot", adc, "--param", "t_op,UG_0", "--out", png});
    EXPECT_EQ(plot.code, kExitOk) << plot.err;
    EXPECT_TRUE(fs::exists(png));
    auto bad = Cli({"plot", adc, "--param", "t_oops", "--out", (dir / "h.png").string()});
    EXPECT_NE(bad.code, kExitOk);

    const std::string archive = "sqlite:" + (dir / "a.sqlite").string();
    auto history =
        Cli({"archive", "--archive", archive, "history", "--device", "7", "--param", "t_op"});
    EXPECT_NE(history.code, kExitUsage) << history.err;
    auto unknown =
        Cli({"archive", "--archive", archive, "history", "--device", "7", "--param", "time"});
    EXPECT_EQ(unknown.code, kExitUsage) << "время has no statistics, under its alias too";
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dravmer::cli
