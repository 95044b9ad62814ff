// `run` against a simulated device on a pseudo-terminal: what its summary and exit code say when
// the line dies, a port does not open or the files cannot go where they were asked to.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/cli.h"
#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Result {
    int code;
    std::string out, err;
};

class RunCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-run-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "out");
        fs::create_directories(dir / "data");
        ::setenv("DRAVMER_DATA_DIR", (dir / "data").c_str(), 1);
        ::setenv("DRAVMER_LOG_DIR", (dir / "logs").c_str(), 1);
        line = std::make_unique<sim::CSimLine>();
        line->AddDevices(1, 5001, 1);
        server = std::make_unique<sim::CSimPtyServer>(*line, 115200);
        // A link of the test's own: a dead line's pseudo-terminal number can be handed to another
        // test's simulator at once, and a reopen must not reach that one.
        ASSERT_TRUE(server->Open(LinePath())) << server->Error();
        server->Start();
    }
    std::string LinePath() const { return (dir / "line").string(); }
    void TearDown() override {
        server.reset();
        fs::remove_all(dir);
    }
    // A store with the device on port 1 and the other ports off.
    std::unique_ptr<CMemorySettingsStore> Store(const std::string& devicePath) {
        auto store = std::make_unique<CMemorySettingsStore>();
        store->SetString("ComSettingsPort0", "DevicePath", devicePath);
        for (int p = 1; p < 4; ++p) store->SetInt("ComSettingsPort" + std::to_string(p), "UseLink", 0);
        store->SetString("DeviceList", "List", "5001;");
        store->SetString("DeviceList", "PortList", "0;");
        store->SetString("DeviceList", "EnableList", "1;");
        store->SetString("ExperimentSettings", "strPathToSaveFile", (dir / "out").string() + "/");
        store->SetString("ExperimentSettings", "strPeriod", "0.2");
        return store;
    }
    static Result Run(std::vector<std::string> args, std::unique_ptr<CMemorySettingsStore> store) {
        std::ostringstream out, err;
        const int code = RunCli(args, out, err, std::move(store), Language::English);
        return {code, out.str(), err.str()};
    }

    fs::path dir;
    std::unique_ptr<sim::CSimLine> line;
    std::unique_ptr<sim::CSimPtyServer> server;
};

TEST_F(RunCommand, AnOutageAtTheEndIsCountedAsMissedRecordsAndTheExitCodeSaysSo) {
    auto store = Store(LinePath());
    Result result;
    std::thread run([&] { result = Run({"run", "--seconds", "5"}, std::move(store)); });
    std::this_thread::sleep_for(2500ms);
    server.reset();  // the line dies and stays dead
    run.join();
    EXPECT_EQ(result.code, kExitIncomplete) << result.err;
    EXPECT_NE(result.out.find("seconds missed"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("100.0% received"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("Port 1 is not open"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("records were missed"), std::string::npos);
}

TEST_F(RunCommand, APortThatDoesNotOpenIsNamedBeforeTheWaitForItsDevice) {
    const std::string missing = (dir / "no-such-line").string();
    Result result = Run({"run", "--seconds", "1", "--wait-device", "0.5"}, Store(missing));
    EXPECT_EQ(result.code, kExitFailure);
    const auto named = result.err.find("Port 1 is not open: ");
    ASSERT_NE(named, std::string::npos) << result.err;
    EXPECT_NE(result.err.find(missing + ": No such file or directory"), std::string::npos);
    EXPECT_LT(named, result.err.find("Waiting for device 5001")) << "said before the wait";
}

TEST_F(RunCommand, FilesThatCannotGoToTheSaveFolderAreNamedAndTheExitCodeSaysSo) {
    // The save folder lies under a regular file, so it cannot be created: the files go to the
    // user's data folder, which the summary names.
    std::ofstream(dir / "blocker") << "x";
    auto store = Store(LinePath());
    store->SetString("ExperimentSettings", "strPathToSaveFile", (dir / "blocker" / "sub").string() + "/");
    Result result = Run({"run", "--seconds", "2"}, std::move(store));
    EXPECT_EQ(result.code, kExitIncomplete) << result.err;
    EXPECT_NE(result.err.find("could not be created"), std::string::npos) << result.err;
    EXPECT_NE(result.out.find((dir / "data").string()), std::string::npos) << result.out;
}

}  // namespace
}  // namespace dravmer::cli
