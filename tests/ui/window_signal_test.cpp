// The window program told to end (SIGTERM, as when the session ends) closes as the operator's
// close does: the running experiment stops and the stream says so ("reason":"interrupted") and
// goes offline, the settings are written, and the record cache goes. Run as a process on the
// demo bench, offscreen, against a private broker.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "stream/broker.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
using namespace testing_stream;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t FilesIn(const fs::path& folder) {
    std::error_code ec;
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(folder, ec)) n += e.is_regular_file();
    return n;
}

std::string Retained(int port, const std::string& topic) {
    CTestSubscriber late;
    if (!late.Connect(port, topic) || !late.WaitFor(1, 10000)) return "";
    return late.Messages().front().retained ? late.Messages().front().payload : "";
}

TEST(WindowSignal, SigtermClosesTheWindowThroughItsClosePath) {
    const fs::path dir = fs::temp_directory_path() / ("dravmer-winsignal-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "home");
    CTestBroker broker;
    ASSERT_TRUE(broker.Start());
    CTestSubscriber sub;
    ASSERT_TRUE(sub.Connect(broker.Port(), "win/#"));
    const fs::path config = dir / "demo.conf";
    std::ofstream(config) << "[Stream]\nMqttUrl=" << broker.Url() << "\nMqttTopic=win\n";
    const fs::path cache = dir / "home" / "cache";

    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string home = (dir / "home").string();
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        ::setenv("DRAVMER_DATA_DIR", (home + "/data").c_str(), 1);
        ::setenv("DRAVMER_LOG_DIR", (home + "/logs").c_str(), 1);
        ::setenv("DRAVMER_CACHE_DIR", cache.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const std::string err = (dir / "stderr").string();
        if (!std::freopen(err.c_str(), "w", stderr)) ::_exit(126);
        ::execl(DRAVMER_PROGRAM, DRAVMER_PROGRAM, "--demo", "--config", config.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    int status = -1;
    auto ended = [&] { return ::waitpid(pid, &status, WNOHANG) == pid; };
    // The demo searches and starts by itself: wait for its records on the broker.
    const bool running = WaitUntil(
        [&] {
            for (const auto& m : sub.Messages())
                if (m.topic.size() > 7 && m.topic.compare(m.topic.size() - 7, 7, "/record") == 0)
                    return true;
            return false;
        },
        120000);
    if (!running) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        FAIL() << "no record published: " << Slurp(dir / "stderr");
    }
    EXPECT_EQ(Retained(broker.Port(), "win/status"), "online");
    EXPECT_GE(FilesIn(cache), 1u) << "the record cache is there while the window runs";

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    if (!WaitUntil(ended, 60000)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        FAIL() << "still running a minute after SIGTERM";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << Slurp(dir / "stderr");
    const std::string stop = Retained(broker.Port(), "win/experiment");
    ASSERT_FALSE(stop.empty());
    const auto j = nlohmann::json::parse(stop);
    EXPECT_EQ(j["event"], "stop");
    EXPECT_EQ(j["reason"], "interrupted");
    EXPECT_EQ(Retained(broker.Port(), "win/status"), "offline");
    EXPECT_EQ(FilesIn(cache), 0u) << "the record cache went with the window";
    EXPECT_NE(Slurp(config).find("[WindowPos]"), std::string::npos) << "the settings were written";
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dravmer
