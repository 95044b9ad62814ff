// The two servers' command lines: help and version end with 0, anything they cannot take with
// the usage code 2 (scripts and unit files tell a typo from a server that failed to start).
#include <sys/wait.h>

#include <gtest/gtest.h>

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
    }
    EXPECT_EQ(ExitCode(std::string(FILESERVER_PROGRAM)), 2) << "--root is required";
    EXPECT_EQ(ExitCode(std::string(FILESERVER_PROGRAM) + " --root /no/such/folder"), 2);
    EXPECT_EQ(ExitCode(std::string(COMSERVER_PROGRAM) + " --baud 1234 /dev/null"), 2);
}

}  // namespace
