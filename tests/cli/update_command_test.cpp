#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli.h"
#include "fileserver/file_server.h"
#include "platform/paths.h"
#include "platform/tcp_listen.h"
#include "update/self_update_files.h"

namespace dravmer::cli {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int code;
    std::string out, err;
};

CliRun Cli(std::vector<std::string> args, std::unique_ptr<ISettingsStore> store = nullptr) {
    std::ostringstream out, err;
    if (!store) store = std::make_unique<CMemorySettingsStore>();
    const int code = RunCli(args, out, err, std::move(store), Language::English);
    return {code, out.str(), err.str()};
}

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("cli-update-" + std::to_string(::getpid()));
        fs::create_directories(m_root);
        std::ofstream(m_root / "dravmer") << "release";
        fileserver::SFileServerOptions o;
        o.root = m_root;
        o.listen = "127.0.0.1";
        o.port = 0;
        o.logFile = m_root.string() + "-fileserver.log";
        m_server = std::make_unique<fileserver::CFileServer>(o);
        std::string error;
        ASSERT_TRUE(m_server->Listen(error)) << error;
        m_server->Start();
        m_address = "127.0.0.1:" + std::to_string(m_server->TcpPort());
    }
    void TearDown() override {
        m_server.reset();
        fs::remove_all(m_root);
        fs::remove(m_root.string() + "-fileserver.log");
    }
    void Publish(const std::string& version) {
        std::ofstream(m_root / "versions.txt") << "dravmer " << version << "\n";
    }
    fs::path m_root;
    std::unique_ptr<fileserver::CFileServer> m_server;
    std::string m_address;
};

TEST_F(UpdateCheck, ReportsBothVersionsAndWhetherAnUpdateIsOffered) {
    Publish("05.44");
    CliRun r = Cli({"update", "check", "--server", m_address, "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["current"], "05.43");
    EXPECT_EQ(j["server"], "05.44");
    EXPECT_EQ(j["offered"], true);  // the test's build folder can be written
    EXPECT_EQ(j["result"], 0);
    EXPECT_EQ(j["message"], "Completed successfully.");

    Publish("05.43");
    r = Cli({"update", "check", "--server=" + m_address});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("current version: 05.43"), std::string::npos);
    EXPECT_NE(r.out.find("server version: 05.43"), std::string::npos);
    EXPECT_NE(r.out.find("update offered: no"), std::string::npos);
}

TEST_F(UpdateCheck, StoredServerIsUsedAndAboutBoxValueWins) {
    Publish("06.00");
    auto store = std::make_unique<CMemorySettingsStore>();
    store->SetString("NetProp", "Server", "no-such-host.invalid");
    store->SetString("UpdateVersionSettings", "Server", m_address);
    const CliRun r = Cli({"update", "check", "--json"}, std::move(store));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["server"], "06.00");
}

TEST_F(UpdateCheck, ExitCodeIsNonZeroOnlyWhenTheServerCouldNotBeAsked) {
    // The server answers that it has no such file: asked, nothing offered.
    fs::remove(m_root / "dravmer");
    CliRun r = Cli({"update", "check", "--server", m_address, "--json"});
    EXPECT_EQ(r.code, 0);
    auto j = nlohmann::json::parse(r.out);
    EXPECT_TRUE(j["server"].is_null());
    EXPECT_EQ(j["offered"], false);
    EXPECT_EQ(j["result"], 1);

    int port = 0;
    std::string error;
    ::close(ListenTcp("127.0.0.1", port, error));
    r = Cli({"update", "check", "--server", "127.0.0.1:" + std::to_string(port), "--json"});
    EXPECT_EQ(r.code, kExitFailure);
    j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["result"], 16);
    EXPECT_EQ(j["message"], "Error connecting to the server.");

    EXPECT_EQ(Cli({"update", "check", "--server", "host:70000"}).code, kExitUsage);
    EXPECT_EQ(Cli({"update", "check", "--server"}).code, kExitUsage);
    EXPECT_EQ(Cli({"update"}).code, kExitUsage);
}

// A download of the bench program that a kill cut short is removed by the next update command;
// one that a process still writes is left alone.
TEST_F(UpdateCheck, RemovesPartialDownloadsThatNoRunningProcessOwns) {
    Publish("05.44");
    const int ended = StartProgram("/bin/true", {});
    ASSERT_GT(ended, 0);
    ::waitpid(ended, nullptr, 0);
    // Beside the bench program, which is where this command looks for it.
    const fs::path left = ExecutableDir() / (".dravmer_05.44.part-" + std::to_string(ended));
    std::ofstream(left) << "part";
    CPartFile writing(ExecutableDir() / "dravmer_05.45");
    ASSERT_TRUE(writing.IsOpen());
    const CliRun r = Cli({"update", "check", "--server", m_address, "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(writing.PartPath()));
    EXPECT_NE(r.err.find("removed partial downloads left by a program that ended: 1"),
              std::string::npos)
        << r.err;
    EXPECT_NO_THROW(nlohmann::json::parse(r.out)) << "the answer stays one JSON object";
    fs::remove(left);
}

}  // namespace
}  // namespace dravmer::cli
