// The two servers' command lines: help and version end with 0, anything they cannot take with
// the usage code 2 (scripts and unit files tell a typo from a server that failed to start).
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int ExitCode(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ServerCommandLine, HelpAndVersionSucceedAndBadOptionsAreUsageErrors) {
    for (const std::string program : {FILESERVER_PROGRAM, COMSERVER_PROGRAM}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(ExitCode(program + " --help"), 0);
        EXPECT_EQ(ExitCode(program + " --version"), 0);
        EXPECT_EQ(ExitCode(program + " --no-such-option"), 2);
        EXPECT_EQ(ExitCode(program + " --port 70000 /dev/null"), 2);
        EXPECT_EQ(ExitCode(program + " --port"), 2);
        EXPECT_EQ(ExitCode(program + " --max-per-peer 0 /dev/null"), 2);
        EXPECT_EQ(ExitCode(program + " --max-per-peer x /dev/null"), 2);
    }
    EXPECT_EQ(ExitCode(std::string(FILESERVER_PROGRAM)), 2) << "--root is required";
    EXPECT_EQ(ExitCode(std::string(FILESERVER_PROGRAM) + " --root /no/such/folder"), 2);
    EXPECT_EQ(ExitCode(std::string(COMSERVER_PROGRAM) + " --baud 1234 /dev/null"), 2);
}

// What a lab must know before it starts a server: where it listens, and how many connections
// one computer may hold.
TEST(ServerCommandLine, HelpSaysTheServersListenOnEveryInterfaceAndLimitEachPeer) {
    for (const std::string program : {FILESERVER_PROGRAM, COMSERVER_PROGRAM}) {
        SCOPED_TRACE(program);
        FILE* pipe = ::popen((program + " --help 2>&1").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string help;
        char buffer[512];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
            help.append(buffer, n);
        }
        ::pclose(pipe);
        // The help wraps its lines: compare the words.
        std::string words;
        for (const char c : help) {
            if (c == ' ' || c == '\n') {
                if (!words.empty() && words.back() != ' ') words += ' ';
            } else {
                words += c;
            }
        }
        EXPECT_NE(words.find("0.0.0.0 is every interface"), std::string::npos) << help;
        EXPECT_NE(words.find("--max-per-peer"), std::string::npos) << help;
        EXPECT_NE(words.find("connections one address may hold at a time"), std::string::npos)
            << help;
    }
}

}  // namespace
