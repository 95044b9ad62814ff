#include "fileserver/server_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dravmer::fileserver {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(EscapeLogText, ControlCharactersCannotStartALineOrReachATerminal) {
    EXPECT_EQ(EscapeLogText("ok\n2099-01-01 00:00:00 pc: forged", 1024),
              "ok\\n2099-01-01 00:00:00 pc: forged");
    EXPECT_EQ(EscapeLogText("\r\t\x1b[31m\x7f\x01", 1024), "\\r\\t\\x1B[31m\\x7F\\x01");
    EXPECT_EQ(EscapeLogText("Новая версия C:\\dravmer", 1024), "Новая версия C:\\dravmer");
    EXPECT_EQ(EscapeLogText("", 1024), "");
}

TEST(EscapeLogText, LongTextsAreCutWholeCharactersAndEscapesFirst) {
    EXPECT_EQ(EscapeLogText(std::string(1024, 'a'), 1024), std::string(1024, 'a'));
    const std::string cut = EscapeLogText(std::string(5000, 'a'), 1024);
    EXPECT_EQ(cut, std::string(1021, 'a') + "...");
    // Two-byte letters: the cut never splits one.
    std::string cyrillic;
    for (int i = 0; i < 600; ++i) cyrillic += "Ж";
    const std::string letters = EscapeLogText(cyrillic, 1024);
    EXPECT_LE(letters.size(), 1024u);
    EXPECT_EQ(letters.substr(letters.size() - 3), "...");
    EXPECT_EQ((letters.size() - 3) % 2, 0u);
    EXPECT_EQ(letters.substr(0, letters.size() - 3), cyrillic.substr(0, letters.size() - 3));
    // Four-byte escapes: none is cut in half.
    const std::string escapes = EscapeLogText(std::string(400, '\x01'), 1024);
    EXPECT_LE(escapes.size(), 1024u);
    EXPECT_EQ((escapes.size() - 3) % 4, 0u);
    EXPECT_EQ(escapes.substr(escapes.size() - 7), "\\x01...");
}

TEST(ServerLog, OneLinePerWriteAndTheFileIsRotatedAtItsCap) {
    const fs::path dir = fs::temp_directory_path() / ("server-log-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    SLogLimits limits;
    limits.lineBytes = 64;
    limits.fileBytes = 2000;
    limits.keep = 2;
    CServerLog log(limits);
    std::string error;
    ASSERT_TRUE(log.Open(dir / "server.log", error)) << error;
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(log.Write("pc\nforged",
                              "line " + std::to_string(i) + "\nforged: " + std::string(200, 'x')));
    }
    std::vector<std::string> all;
    for (const char* name : {"server.log.2", "server.log.1", "server.log"}) {
        ASSERT_TRUE(fs::exists(dir / name)) << name;
        EXPECT_LE(fs::file_size(dir / name), limits.fileBytes) << name;
        const auto lines = Lines(dir / name);
        all.insert(all.end(), lines.begin(), lines.end());
    }
    EXPECT_FALSE(fs::exists(dir / "server.log.3"));
    ASSERT_FALSE(all.empty());
    for (const std::string& line : all) {
        EXPECT_EQ(line.find("pc\\nforged: line "), 20u) << line;  // after "YYYY-MM-DD hh:mm:ss "
        EXPECT_LE(line.size(), 20u + 11 + 2 + limits.lineBytes) << line;
    }
    // The newest lines are kept, in order.
    EXPECT_NE(all.back().find("line 199\\nforged"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dravmer::fileserver
