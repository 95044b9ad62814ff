// The command line of every command: its own help, --opt=value, values out of range with a
// message, unknown options and subcommands; nothing runs when the line is refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
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
    const int code =
        RunCli(args, out, err, std::make_unique<CMemorySettingsStore>(), Language::English);
    return {code, out.str(), err.str()};
}

class CliParser : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-parser-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Twelve seconds of one device; IG is the second number plus one.
    std::string Experiment() {
        CDeviceData store;
        for (int s = 0; s < 12; ++s) {
            CMeasRecord r = EmptyRecord();
            SetParam(r, 0, s);
            SetParam(r, 1, s);
            SetParam(r, 7, s + 1.0);
            store.AddSample(r);
        }
        SFileOptions options;
        const std::string path = (dir / "261206-001-000042.adc").string();
        EXPECT_EQ(SaveStoreAs(store, path, false, options.Columns(), options), 0);
        return path;
    }

    fs::path dir;
};

// Every option a command's usage line promises is one its parser knows, and its help says so.
TEST_F(CliParser, EveryCommandHasItsOwnHelpListingTheOptionsOfItsUsageLine) {
    ASSERT_GE(Commands().size(), 10u);
    const std::regex option("--[a-z][a-z-]*");
    for (const CommandInfo& c : Commands()) {
        const std::string usage = c.usage;
        // The options of subcommands ("archive list --device") are listed in their own help.
        std::set<std::string> options{std::sregex_token_iterator(usage.begin(), usage.end(), option),
                                      std::sregex_token_iterator()};
        std::string helpText;
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{c.name, "--help"}, {c.name, "-h"}}) {
            const Result help = Cli(args);
            EXPECT_EQ(help.code, kExitOk) << c.name;
            EXPECT_EQ(help.err, "") << c.name;
            EXPECT_NE(help.out.find(std::string("Usage: dravmer-cli ") + c.name), std::string::npos)
                << help.out;
            helpText = help.out;
        }
        for (const char* sub : {"add", "list", "history", "export", "check", "dump", "get", "set"}) {
            const Result help = Cli({c.name, sub, "--help"});
            if (help.code == kExitOk) helpText += help.out;
        }
        for (const auto& o : options)
            EXPECT_NE(helpText.find(o), std::string::npos) << c.name << " --help lacks " << o;
    }
}

TEST_F(CliParser, EveryCommandRefusesAnUnknownOptionByName) {
    for (const CommandInfo& c : Commands()) {
        const Result r = Cli({c.name, "--no-such-option"});
        EXPECT_EQ(r.code, kExitUsage) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_NE(r.err.find(std::string("dravmer-cli ") + c.name + ": unknown option --no-such-option"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << "says where the help is: " << r.err;
    }
    const Result global = Cli({"--no-such-option", "list", dir.string()});
    EXPECT_EQ(global.code, kExitUsage);
    EXPECT_NE(global.err.find("unknown option --no-such-option"), std::string::npos) << global.err;
}

TEST_F(CliParser, ValuesOutOfRangeAreRefusedWithWhatWasExpected) {
    const std::string file = Experiment();
    const std::string png = (dir / "x.png").string();
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"run", "--seconds", "0"}, "--seconds: expected a number of seconds above 0, not '0'"},
        {{"run", "--seconds=-5"}, "--seconds: expected a number of seconds above 0, not '-5'"},
        {{"run", "--seconds", "ten"}, "not 'ten'"},
        {{"run", "--wait-device", "-1"}, "--wait-device: expected a number of seconds from 0"},
        {{"run", "--format", "csv"}, "--format: expected adc or txt, not 'csv'"},
        {{"run", "--out="}, "--out"},
        {{"run", "--seconds"}, "--seconds"},
        {{"params", "--out", ""}, "--out: expected a folder"},
        {{"stats", file, "--from", "-1"}, "--from: expected a whole number from 0 to 999999999"},
        {{"stats", file, "--to", "1e3"}, "not '1e3'"},
        {{"stats", file, "--to", "0x10"}, "not '0x10'"},
        {{"plot", file, "--param", "UG", "--out", png, "--width", "99"},
         "--width: expected a whole number from 100 to 20000 pixels, not '99'"},
        {{"plot", file, "--param", "UG", "--out", png, "--height=20001"}, "--height"},
        {{"plot", file, "--out", png}, "--param is required"},
        {{"update", "check", "--server", "lab:0"}, "PORT 1..65535, not 'lab:0'"},
        {{"update", "check", "--server=lab:65536"}, "PORT 1..65535"},
        {{"update", "check", "--server", ""}, "--server"},
        {{"archive", "list", "--device", "4294967296"}, "--device: expected a whole number from 0"},
        {{"archive", "history", "--device", "x", "--param", "UG"}, "not 'x'"},
        {{"archive", "export", "1", dir.string(), "--format", "csv"}, "expected adc or txt"},
        {{"archive", "list", "--from", ""}, "--from: expected YYYY-MM-DD or"},
        {{"archive", "--archive", "sqlite:" + (dir / "a.sqlite").string(), "list", "--to=06.12.2026"},
         "--to: expected YYYY-MM-DD or"},
        {{"archive", "history", "--device", "5", "--param", "время"}, "not a parameter with"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        const Result r = Cli(c.args);
        EXPECT_EQ(r.code, kExitUsage) << joined << r.err;
        EXPECT_EQ(r.out, "") << joined;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << joined << "\n" << r.err;
    }
    EXPECT_FALSE(fs::exists(png)) << "nothing ran";
    EXPECT_FALSE(fs::exists(dir / "a.sqlite")) << "no archive made for a refused command line";
}

TEST_F(CliParser, OptionEqualsValueAndLeadingZerosReadAsWritten) {
    const std::string file = Experiment();
    const Result spaced = Cli({"stats", file, "--from", "8", "--to", "10", "--json"});
    ASSERT_EQ(spaced.code, kExitOk) << spaced.err;
    const auto j = nlohmann::json::parse(spaced.out);
    EXPECT_EQ(j[0]["range"][0], 8);
    EXPECT_EQ(j[0]["range"][1], 10);
    EXPECT_DOUBLE_EQ(j[0]["stats"]["Average"]["IG"].get<double>(), 10.0);
    // "08" and "010" are decimal: not refused as bad octal, not read as 8.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"stats", "--from=8", "--to=10", file, "--json"},
          {"stats", file, "--from", "08", "--to", "010", "--json"},
          {"stats", "--json", "--to=010", file, "--from=0008"}}) {
        const Result r = Cli(args);
        ASSERT_EQ(r.code, kExitOk) << r.err;
        EXPECT_EQ(r.out, spaced.out) << args[1] << " " << args[2];
    }
}

TEST_F(CliParser, SubcommandsAreNamedWhenMissingOrUnknown) {
    const Result none = Cli({"archive"});
    EXPECT_EQ(none.code, kExitUsage);
    EXPECT_NE(none.err.find("a subcommand is needed: add, list, history or export"),
              std::string::npos)
        << none.err;
    const Result unknown = Cli({"settings", "show"});
    EXPECT_EQ(unknown.code, kExitUsage);
    EXPECT_NE(unknown.err.find("unknown subcommand 'show' (dump, get or set)"), std::string::npos)
        << unknown.err;
    const Result extra = Cli({"settings", "get", "WindowPos/cx", "WindowPos/cy"});
    EXPECT_EQ(extra.code, kExitUsage);
    EXPECT_NE(extra.err.find("unexpected argument 'WindowPos/cy'"), std::string::npos) << extra.err;
    const Result command = Cli({"frobnicate", "--json"});
    EXPECT_EQ(command.code, kExitUsage);
    EXPECT_NE(command.err.find("unknown command 'frobnicate'"), std::string::npos) << command.err;
    EXPECT_EQ(Cli({}).code, kExitUsage);
}

TEST_F(CliParser, OptionsOfACommandWithSubcommandsGoBeforeOrAfterTheSubcommand) {
    const std::string url = "sqlite:" + (dir / "a.sqlite").string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"archive", "--archive", url, "list", "--json"},
          {"archive", "list", "--json", "--archive=" + url}}) {
        const Result r = Cli(args);
        ASSERT_EQ(r.code, kExitOk) << r.err;
        EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json::array());
    }
    // A port nobody listens on: asked in vain, so exit 1 with the JSON, not a usage error.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"update", "--json", "--server", "127.0.0.1:1", "check"},
          {"update", "check", "--server=127.0.0.1:1", "--json"}}) {
        const Result r = Cli(args);
        EXPECT_EQ(r.code, kExitFailure) << r.err;
        EXPECT_EQ(nlohmann::json::parse(r.out)["result"], 16) << r.out;
    }
}

TEST_F(CliParser, GlobalOptionsComeBeforeTheCommand) {
    // The settings file of --config, not a store handed in.
    auto onFile = [](std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = RunCli(args, out, err, nullptr, Language::English);
        return Result{code, out.str(), err.str()};
    };
    const std::string config = (dir / "bench.conf").string();
    ASSERT_EQ(onFile({"--config=" + config, "settings", "set", "WindowPos/cx", "640"}).code, kExitOk);
    EXPECT_EQ(onFile({"--config", config, "settings", "get", "WindowPos/cx"}).out, "640\n");
    const Result late = onFile({"settings", "get", "WindowPos/cx", "--config", config});
    EXPECT_EQ(late.code, kExitUsage) << "a global option after the command is not taken";

    // --demo before the command means the simulated bench for the device commands only.
    const Result list = Cli({"--demo", "list", dir.string()});
    EXPECT_EQ(list.code, kExitUsage);
    EXPECT_NE(list.err.find("--demo goes with params, run and search, not with list"),
              std::string::npos)
        << list.err;
    ::setenv("DRAVMER_DATA_DIR", (dir / "data").c_str(), 1);
    ::setenv("DRAVMER_LOG_DIR", (dir / "logs").c_str(), 1);
    const Result search = Cli({"--config", (dir / "demo.conf").string(), "--demo", "search", "--json"});
    ASSERT_EQ(search.code, kExitOk) << search.err;
    EXPECT_GT(nlohmann::json::parse(search.out).size(), 0u) << "the demo devices were found";
}

}  // namespace
}  // namespace dravmer::cli
