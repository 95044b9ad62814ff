// `dravmer-cli run --mqtt` ended from outside, as the program itself (a process on the demo
// bench): killed (SIGKILL), the broker's last will says "offline" on PREFIX/status; told to end
// (SIGTERM, as at logout), it publishes the stop with "reason":"interrupted" and then "offline".
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

class RunSignal : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dravmer-runsignal-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
        ASSERT_TRUE(broker.Start());
    }
    void TearDown() override {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        fs::remove_all(dir);
    }
    // The demo bench publishing under `prefix`, its output kept in the test's folder.
    void Start(const std::string& prefix) {
        pid = ::fork();
        if (pid == 0) {
            const std::string home = (dir / "home").string();
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
            ::setenv("DRAVMER_DATA_DIR", (home + "/data").c_str(), 1);
            ::setenv("DRAVMER_LOG_DIR", (home + "/logs").c_str(), 1);
            ::setenv("DRAVMER_CACHE_DIR", (home + "/cache").c_str(), 1);
            ::setenv("LANG", "C.UTF-8", 1);
            const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
            if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr))
                ::_exit(126);
            const std::string config = (dir / "demo.conf").string();
            const std::string url = broker.Url();
            ::execl(DRAVMER_CLI_PROGRAM, DRAVMER_CLI_PROGRAM, "--config", config.c_str(), "--demo",
                    "run", "--no-files", "--mqtt", url.c_str(), "--mqtt-topic", prefix.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
    }
    // Waits (bounded) for the program to end; its wait status, -1 when it did not.
    int Wait(int ms) {
        int status = -1;
        const bool ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, ms);
        if (!ended) return -1;
        pid = -1;
        return status;
    }
    std::string Err() const {
        std::ifstream in(dir / "stderr");
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Waits until the experiment's start was published (the demo bench found and polling).
    bool Started(const CTestSubscriber& sub, const std::string& prefix) {
        return WaitUntil(
            [&] {
                int records = 0;
                bool start = false;
                for (const auto& m : sub.Messages()) {
                    if (m.topic == prefix + "/experiment") start = true;
                    if (m.topic.size() > 7 && m.topic.compare(m.topic.size() - 7, 7, "/record") == 0)
                        ++records;
                }
                return start && records > 0;
            },
            90000);
    }
    static std::string Retained(int port, const std::string& topic) {
        CTestSubscriber late;
        if (!late.Connect(port, topic) || !late.WaitFor(1, 10000)) return "";
        return late.Messages().front().retained ? late.Messages().front().payload : "";
    }

    fs::path dir;
    CTestBroker broker;
    pid_t pid = -1;
};

TEST_F(RunSignal, KilledTheBrokersLastWillSaysOfflineOnTheStatusTopic) {
    CTestSubscriber sub;
    ASSERT_TRUE(sub.Connect(broker.Port(), "kill9/#"));
    Start("kill9");
    ASSERT_TRUE(Started(sub, "kill9")) << Err();
    EXPECT_EQ(Retained(broker.Port(), "kill9/status"), "online");
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    const int status = Wait(30000);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto messages = sub.Messages();
            return !messages.empty() && messages.back().topic == "kill9/status" &&
                   messages.back().payload == "offline";
        },
        30000))
        << "the broker told the will";
    EXPECT_EQ(Retained(broker.Port(), "kill9/status"), "offline");
}

TEST_F(RunSignal, ToldToEndItPublishesTheStopAsInterruptedThenOffline) {
    CTestSubscriber sub;
    ASSERT_TRUE(sub.Connect(broker.Port(), "term/#"));
    Start("term");
    ASSERT_TRUE(Started(sub, "term")) << Err();
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    const int status = Wait(60000);
    ASSERT_TRUE(WIFEXITED(status)) << status << Err();
    const std::string stop = Retained(broker.Port(), "term/experiment");
    ASSERT_FALSE(stop.empty());
    const auto j = nlohmann::json::parse(stop);
    EXPECT_EQ(j["event"], "stop");
    EXPECT_EQ(j["reason"], "interrupted");
    EXPECT_EQ(Retained(broker.Port(), "term/status"), "offline");
    // In that order: the stop, then the goodbye.
    ASSERT_TRUE(WaitUntil(
        [&] { return !sub.Messages().empty() && sub.Messages().back().payload == "offline"; },
        10000));
    const auto messages = sub.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2].topic, "term/experiment");
}

}  // namespace
}  // namespace dravmer
