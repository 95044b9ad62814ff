// `run` with Archive/ArchiveOnStop on: the stopped experiment goes into the archive and the
// summary says so; an archive that cannot be written is named and the exit code says so.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/archive.h"
#include "archive/archive_io.h"
#include "cli/cli.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

class RunArchive : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-run-archive-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "out");
        ::setenv("DRAVMER_DATA_DIR", (dir / "data").c_str(), 1);
        ::setenv("DRAVMER_LOG_DIR", (dir / "logs").c_str(), 1);
        line = std::make_unique<sim::CSimLine>();
        line->AddDevices(2, 5001, 1);
        server = std::make_unique<sim::CSimPtyServer>(*line, 115200);
        ASSERT_TRUE(server->Open());
        server->Start();
    }
    void TearDown() override {
        server.reset();
        fs::remove_all(dir);
    }
    std::unique_ptr<CMemorySettingsStore> Store(const std::string& url) {
        auto store = std::make_unique<CMemorySettingsStore>();
        store->SetString("ComSettingsPort0", "DevicePath", server->SlavePath());
        for (int p = 1; p < 4; ++p)
            store->SetInt("ComSettingsPort" + std::to_string(p), "UseLink", 0);
        store->SetString("DeviceList", "List", "5001;5002;");
        store->SetString("DeviceList", "PortList", "0;0;");
        store->SetString("DeviceList", "EnableList", "1;1;");
        store->SetString("ExperimentSettings", "strPathToSaveFile", (dir / "out").string() + "/");
        store->SetString("ExperimentSettings", "strPeriod", "0.2");
        store->SetInt(kArchiveSection, kArchiveOnStopKey, 1);
        store->SetString(kArchiveSection, kArchiveUrlKey, url);
        return store;
    }
    int Run(std::unique_ptr<CMemorySettingsStore> store) {
        std::ostringstream o, e;
        const int code =
            RunCli({"run", "--seconds", "2"}, o, e, std::move(store), Language::English);
        out = o.str();
        err = e.str();
        return code;
    }

    fs::path dir;
    std::string out, err;
    std::unique_ptr<sim::CSimLine> line;
    std::unique_ptr<sim::CSimPtyServer> server;
};

TEST_F(RunArchive, TheStoppedExperimentIsArchivedWithEveryRecord) {
    const std::string url = "sqlite:" + (dir / "a.sqlite").string();
    ASSERT_EQ(Run(Store(url)), kExitOk) << err;
    EXPECT_NE(err.find("Archive: Experiment "), std::string::npos) << err;
    EXPECT_NE(err.find(" archived as 1."), std::string::npos) << err;
    int code = 0;
    std::string error;
    auto archive = CArchive::Open(url, code, error);
    ASSERT_TRUE(archive) << error;
    std::vector<SArchiveListRow> rows;
    ASSERT_EQ(archive->List({}, rows), kArchiveOk);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].addresses, (std::vector<std::uint32_t>{5001, 5002}));
    SArchivedExperiment e;
    ASSERT_EQ(archive->Get(rows[0].id, e), kArchiveOk);
    // The summary's record count of each device is what the archive holds.
    for (const SArchivedDevice& d : e.devices) {
        EXPECT_GT(d.recordCount, 0);
        EXPECT_NE(out.find("Device " + std::to_string(d.address) +
                           " (port 1): " + std::to_string(d.recordCount) + " records"),
                  std::string::npos)
            << out;
    }
}

TEST_F(RunArchive, AnArchiveThatCannotBeWrittenIsNamedAndTheFilesStay) {
    std::ofstream(dir / "blocker") << "x";
    const int code = Run(Store("sqlite:" + (dir / "blocker" / "a.sqlite").string()));
    EXPECT_EQ(code, kExitIncomplete) << err;
    EXPECT_NE(err.find("dravmer-cli run: archive: cannot open the archive"), std::string::npos)
        << err;
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "out"))
        if (entry.path().extension() == ".adc" || entry.path().extension() == ".txt") ++files;
    EXPECT_GE(files, 2);
}

}  // namespace
}  // namespace dravmer::cli
