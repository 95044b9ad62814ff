// dravmer-cli archive on both back ends, checked against what list and stats say of the files.
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "archive/archive_io.h"
#include "archive_fixture.h"
#include "cli/cli.h"
#include "platform/settings_store.h"

namespace dravmer::testing_archive {
namespace {

struct Result {
    int code;
    std::string out, err;
    nlohmann::json Json() const { return nlohmann::json::parse(out); }
};

Result Cli(std::vector<std::string> args, const std::string& settingsUrl = "") {
    std::ostringstream out, err;
    auto store = std::make_unique<CMemorySettingsStore>();
    if (!settingsUrl.empty()) store->SetString(kArchiveSection, kArchiveUrlKey, settingsUrl);
    int code = cli::RunCli(args, out, err, std::move(store), Language::English);
    return {code, out.str(), err.str()};
}

// The list's row without what depends on the folder.
nlohmann::json Comparable(nlohmann::json row) {
    nlohmann::json names = nlohmann::json::array();
    for (const auto& f : row["files"]) names.push_back(fs::path(f.get<std::string>()).filename());
    row["files"] = names;
    row.erase("id");
    return row;
}

class CliArchive : public ArchiveTest {};

TEST_P(CliArchive, AddListHistoryExportAgreeWithTheFiles) {
    const fs::path in = dir / "in";
    WriteExperiment(in, "261206", 7, {101, 102}, 300, false);
    WriteExperiment(in, "261206", 8, {101}, 200, false, "");
    Result add = Cli({"archive", "--archive", url, "add", in.string()});
    ASSERT_EQ(add.code, 0) << add.err;
    EXPECT_NE(add.out.find("261206-007: 2 device(s) archived as"), std::string::npos) << add.out;
    // Again, this time the files one by one and the URL from the settings.
    Result again = Cli({"archive", "add", (in / "261206-007-000102.adc").string(),
                        (in / "261206-007-000101.adc").string(),
                        (in / "261206-008-000101.adc").string()},
                       url);
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_NE(again.out.find("261206-007: already in the archive"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("261206-008: already in the archive"), std::string::npos) << again.out;

    Result list = Cli({"archive", "--archive", url, "list", "--json"});
    ASSERT_EQ(list.code, 0) << list.err;
    Result files = Cli({"list", in.string(), "--json"});
    ASSERT_EQ(files.code, 0) << files.err;
    ASSERT_EQ(list.Json().size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_TRUE(list.Json()[k].contains("id"));
        EXPECT_EQ(Comparable(list.Json()[k]), Comparable(files.Json()[k]));
    }
    Result one = Cli({"archive", "--archive", url, "list", "--device", "102", "--json"});
    ASSERT_EQ(one.Json().size(), 1u);
    EXPECT_EQ(one.Json()[0]["number"], 7);

    Result history = Cli({"archive", "--archive", url, "history", "--device", "101", "--param",
                          "UG", "--kind", "sigma", "--json"});
    ASSERT_EQ(history.code, 0) << history.err;
    auto rows = history.Json();
    ASSERT_EQ(rows.size(), 2u);
    for (const char* key : {"id", "date_time", "number", "value"}) EXPECT_TRUE(rows[0].contains(key));
    EXPECT_EQ(rows[0]["number"], 7);  // oldest first
    Result stats = Cli({"stats", (in / "261206-007-000101.adc").string(), "--json"});
    ASSERT_EQ(stats.code, 0) << stats.err;
    EXPECT_EQ(rows[0]["value"].get<double>(),
              stats.Json()[0]["stats"]["Sigma"]["UG"].get<double>());

    // Export both formats; what stats and list read from them is what they read from the originals.
    const std::int64_t id = list.Json()[0]["id"];
    for (const char* format : {"adc", "txt"}) {
        SCOPED_TRACE(format);
        fs::path out = dir / (std::string("out-") + format);
        Result ex = Cli({"archive", "--archive", url, "export", std::to_string(id), out.string(),
                         "--format", format});
        ASSERT_EQ(ex.code, 0) << ex.err;
        Result exported = Cli({"list", out.string(), "--json"});
        ASSERT_EQ(exported.Json().size(), 1u);
        EXPECT_EQ(exported.Json()[0]["addresses"], files.Json()[0]["addresses"]);
        EXPECT_EQ(exported.Json()[0]["duration_s"], files.Json()[0]["duration_s"]);
        EXPECT_EQ(exported.Json()[0]["comment"], files.Json()[0]["comment"]);
        const std::string ext = std::string(".") + format;
        Result s2 = Cli({"stats", (out / ("261206-007-000102" + ext)).string(), "--json"});
        Result s1 = Cli({"stats", (in / "261206-007-000102.adc").string(), "--json"});
        ASSERT_EQ(s2.code, 0) << s2.err;
        auto a = s1.Json()[0], b = s2.Json()[0];
        a.erase("file");
        b.erase("file");
        if (std::string(format) == "adc") {
            EXPECT_EQ(a, b);
        } else {  // text keeps the file decimals, so compare the record count and the range
            EXPECT_EQ(a["records"], b["records"]);
            EXPECT_EQ(a["range"], b["range"]);
        }
    }
    // A second export into a folder that already holds the files writes nothing.
    fs::path out = dir / "out-adc";
    const std::string before = ReadAll((out / "261206-007-000101.adc").string());
    Result clash = Cli({"archive", "--archive", url, "export", std::to_string(id), out.string()});
    EXPECT_EQ(clash.code, 1);
    EXPECT_NE(clash.err.find("exists"), std::string::npos) << clash.err;
    EXPECT_EQ(ReadAll((out / "261206-007-000101.adc").string()), before);
}

INSTANTIATE_TEST_SUITE_P(Backends, CliArchive, ::testing::Values("sqlite", "postgresql"),
                         BackendName);

TEST(CliArchiveErrors, AnUnreachableArchiveSaysSoAndLeavesTheFilesAlone) {
    const fs::path in = fs::temp_directory_path() / ("dravmer-cli-arch-" + std::to_string(::getpid()));
    fs::remove_all(in);
    fs::create_directories(in);
    const std::string path = (in / "261206-001-000005.adc").string();
    {
        CDeviceData store;
        FillStore(store, 50, 1);
        SFileOptions options;
        ASSERT_EQ(SaveStoreAs(store, path, false, options.Columns(), options), 0);
    }
    struct stat before {};
    ::stat(path.c_str(), &before);
    const std::string bytes = ReadAll(path);
    Result r = Cli({"archive", "--archive", "postgresql://lab@/dravmer?host=/nonexistent-socket-dir",
                    "add", in.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot open the archive postgresql://lab@/dravmer"), std::string::npos)
        << r.err;
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ(fs::directory_iterator(in) == fs::directory_iterator(), false);
    EXPECT_EQ(std::distance(fs::directory_iterator(in), fs::directory_iterator()), 1);
    fs::remove_all(in);
}

TEST(CliArchiveErrors, BadCommandLinesAreUsageErrors) {
    const std::string url =
        "sqlite:" + (fs::temp_directory_path() / ("dravmer-cli-u-" + std::to_string(::getpid())) /
                     "a.sqlite")
                        .string();
    EXPECT_EQ(Cli({"archive", "--archive", url}).code, 2);
    EXPECT_EQ(Cli({"archive", "--archive", url, "frobnicate"}).code, 2);
    EXPECT_EQ(Cli({"archive", "--archive", url, "history", "--device", "5"}).code, 2);
    EXPECT_EQ(Cli({"archive", "--archive", url, "history", "--device", "5", "--param", "время"}).code,
              2);  // no statistics for the clock
    EXPECT_EQ(
        Cli({"archive", "--archive", url, "history", "--device", "5", "--param", "UG", "--kind", "Mean"})
            .code,
        2);
    EXPECT_EQ(Cli({"archive", "--archive", url, "list", "--from", "06.12.2026"}).code, 2);
    EXPECT_EQ(Cli({"archive", "--archive", url, "export", "x", "/tmp"}).code, 2);
    Result missing = Cli({"archive", "--archive", url, "export", "42", "/tmp"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("no experiment 42"), std::string::npos) << missing.err;
    fs::remove_all(fs::path(url.substr(7)).parent_path());
}

}  // namespace
}  // namespace dravmer::testing_archive
