#include "cli/cli.h"

#include <gtest/gtest.h>

#include <sstream>

namespace dravmer::cli {
namespace {

struct Run {
    int code;
    std::string out, err;
};

Run Cli(std::vector<std::string> args, CMemorySettingsStore* shared = nullptr) {
    std::ostringstream out, err;
    std::unique_ptr<ISettingsStore> store;
    if (shared) {
        // Forward to a store the test keeps, so effects can be checked afterwards.
        struct Forward : ISettingsStore {
            CMemorySettingsStore& s;
            explicit Forward(CMemorySettingsStore& t) : s(t) {}
            int GetInt(const std::string& a, const std::string& b, int d) const override { return s.GetInt(a, b, d); }
            void SetInt(const std::string& a, const std::string& b, int v) override { s.SetInt(a, b, v); }
            std::string GetString(const std::string& a, const std::string& b, const std::string& d) const override { return s.GetString(a, b, d); }
            void SetString(const std::string& a, const std::string& b, const std::string& v) override { s.SetString(a, b, v); }
            Bytes GetBinary(const std::string& a, const std::string& b) const override { return s.GetBinary(a, b); }
            void SetBinary(const std::string& a, const std::string& b, const Bytes& v) override { s.SetBinary(a, b, v); }
            bool Contains(const std::string& a, const std::string& b) const override { return s.Contains(a, b); }
        };
        store = std::make_unique<Forward>(*shared);
    } else {
        store = std::make_unique<CMemorySettingsStore>();
    }
    int code = RunCli(args, out, err, std::move(store));
    return {code, out.str(), err.str()};
}

TEST(CliGlobal, VersionHelpAndUnknownCommand) {
    EXPECT_EQ(Cli({"--version"}).out, "dravmer-cli 05.43\n");
    auto help = Cli({"--help"});
    EXPECT_EQ(help.code, kExitOk);
    EXPECT_NE(help.out.find("--config FILE"), std::string::npos);
    EXPECT_NE(help.out.find("settings dump"), std::string::npos);
    auto bad = Cli({"frobnicate"});
    EXPECT_EQ(bad.code, kExitUsage);
    EXPECT_NE(bad.err.find("unknown command"), std::string::npos);
    EXPECT_EQ(Cli({"--config"}).code, kExitUsage);
}

TEST(CliSettings, DumpGetSetWithClearErrors) {
    CMemorySettingsStore store;
    auto dump = Cli({"settings", "dump"}, &store);
    EXPECT_NE(dump.out.find("ExperimentSettings/SignToTable=0003336666663333333333333333333333333333333\n"),
              std::string::npos);
    EXPECT_NE(dump.out.find("WindowPos/cy=400\n"), std::string::npos);
    EXPECT_EQ(Cli({"settings", "set", "ExperimentSettings/strPeriod", "1"}, &store).code, kExitOk);
    EXPECT_EQ(Cli({"settings", "get", "ExperimentSettings/strPeriod"}, &store).out, "1\n");
    auto bad = Cli({"settings", "set", "WindowPos/cx", "wide"}, &store);
    EXPECT_EQ(bad.code, kExitFailure);
    EXPECT_NE(bad.err.find("not a whole number"), std::string::npos);
    EXPECT_EQ(Cli({"settings", "get", "Nope/x"}, &store).code, kExitFailure);
    EXPECT_EQ(Cli({"settings", "get"}, &store).code, kExitUsage);
}

}  // namespace
}  // namespace dravmer::cli
