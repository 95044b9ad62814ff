// dravmer-cli as it is installed: the commands that need only the engine start without Qt, the
// database client or the MQTT library; the others load their module when they run, and say
// clearly when it is not there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "files/experiment_files.h"
#include "files/file_format.h"
#include "measure/device_data.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path path;
    Folder() {
        static int counter = 0;
        path = fs::temp_directory_path() /
               ("dravmer-cli-modules-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

struct SRun {
    int code = -1;
    std::string out;
};

// The program with a home and settings of its own; both output streams together.
SRun Program(const std::string& program, const fs::path& home, const std::string& args) {
    const std::string cmd = "HOME='" + home.string() + "' XDG_CONFIG_HOME='" +
                            (home / "config").string() + "' DRAVMER_CACHE_DIR='" +
                            (home / "cache").string() + "' QT_QPA_PLATFORM=offscreen '" + program +
                            "' " + args + " 2>&1";
    SRun run;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return run;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) run.out += buf;
    const int status = ::pclose(p);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Libraries(const std::string& program) {
    SRun r = Program("/usr/bin/ldd", fs::temp_directory_path(), "'" + program + "'");
    return r.out;
}

std::string WriteExperiment(const fs::path& dir) {
    CDeviceData store;
    for (std::uint32_t t = 0; t < 300; ++t) {
        CMeasRecord r;
        r.time = t;
        r.cycle = static_cast<std::uint8_t>(t);
        r.ug = 10 + t % 7;
        r.t1 = 20 - t % 3;
        store.AddSample(r);
    }
    SFileOptions options;
    const std::string path = (dir / ExperimentFileName("261206", 1, 42, false)).string();
    EXPECT_EQ(SaveStoreAs(store, path, false, options.Columns(), options), 0);
    return path;
}

TEST(CliModules, TheEngineCommandsLoadNoQtNoDatabaseNoMqtt) {
    const std::string libraries = Libraries(DRAVMER_CLI_PROGRAM);
    ASSERT_NE(libraries.find("libstdc++"), std::string::npos) << libraries;
    for (const char* heavy : {"libQt6", "libpq", "libsqlite3", "libmosquitto", "libdeflate", "libz."})
        EXPECT_EQ(libraries.find(heavy), std::string::npos) << heavy << " in\n" << libraries;
}

TEST(CliModules, CommandsOfTheModulesWork) {
    Folder home;
    const std::string program = DRAVMER_CLI_PROGRAM;
    const std::string adc = WriteExperiment(home.path);
    // settings: Qt's settings file.
    SRun set = Program(program, home.path, "settings set ComSettingsPort0/DevicePath /tmp/ttyLAB");
    EXPECT_EQ(set.code, 0) << set.out;
    SRun get = Program(program, home.path, "settings get ComSettingsPort0/DevicePath");
    EXPECT_EQ(get.code, 0) << get.out;
    EXPECT_NE(get.out.find("/tmp/ttyLAB"), std::string::npos) << get.out;
    // plot: the painting.
    const std::string png = (home.path / "g.png").string();
    SRun plot = Program(program, home.path, "plot '" + adc + "' --param UG,t1 --out '" + png + "'");
    EXPECT_EQ(plot.code, 0) << plot.out;
    EXPECT_GT(fs::file_size(png), 1000u);
    // archive: the database.
    const std::string url = "sqlite:" + (home.path / "a.sqlite").string();
    SRun add = Program(program, home.path, "archive --archive '" + url + "' add '" + adc + "'");
    EXPECT_EQ(add.code, 0) << add.out;
    SRun list = Program(program, home.path, "archive --archive '" + url + "' list");
    EXPECT_EQ(list.code, 0) << list.out;
    EXPECT_NE(list.out.find("\t42\t"), std::string::npos) << list.out;
    SRun help = Program(program, home.path, "archive export --help");
    EXPECT_EQ(help.code, 0) << help.out;
    EXPECT_NE(help.out.find("--format"), std::string::npos) << help.out;
}

TEST(CliModules, WithoutItsModulesTheProgramStillReadsFilesAndNamesWhatIsMissing) {
    Folder home;
    // The program alone in a folder of its own: no module beside it, none in ../lib/dravmer.
    fs::create_directories(home.path / "bin");
    const fs::path alone = home.path / "bin" / "dravmer-cli";
    fs::copy_file(DRAVMER_CLI_PROGRAM, alone);
    const std::string adc = WriteExperiment(home.path);
    SRun version = Program(alone.string(), home.path, "--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "dravmer-cli 05.43\n");
    SRun stats = Program(alone.string(), home.path, "stats '" + adc + "' --json");
    EXPECT_EQ(stats.code, 0) << stats.out;
    EXPECT_NE(stats.out.find("\"records\": 300"), std::string::npos) << stats.out;
    SRun help = Program(alone.string(), home.path, "--help");
    EXPECT_NE(help.out.find("archive [--archive URL] add"), std::string::npos) << help.out;
    SRun archive = Program(alone.string(), home.path, "archive list");
    EXPECT_EQ(archive.code, 1) << archive.out;
    EXPECT_NE(archive.out.find("archive part of dravmer-cli is not installed"), std::string::npos)
        << archive.out;
    SRun settings = Program(alone.string(), home.path, "settings get ComSettingsPort0/DevicePath");
    EXPECT_EQ(settings.code, 1) << settings.out;
    EXPECT_NE(settings.out.find("settings part of dravmer-cli is not installed"),
              std::string::npos)
        << settings.out;
}

}  // namespace
}  // namespace dravmer::cli
