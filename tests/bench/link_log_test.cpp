#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench/bench.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(LinkErrorLog, TheCheckBoxSendsEntriesToAFileInTheLogFolderAndIsRemembered) {
    const fs::path dir = fs::temp_directory_path() / "dravmer-linklog-test";
    fs::remove_all(dir);
    ::setenv("DRAVMER_LOG_DIR", dir.c_str(), 1);
    CMemorySettingsStore store;
    std::uint8_t identity[kIdentitySize];
    {
        CBench bench(store);
        bench.LoadSettings();
        // Off: a failing command leaves no file behind.
        EXPECT_EQ(bench.Link(0).ReadIdentity(4242, identity), -9);
        EXPECT_FALSE(fs::exists(bench.LinkErrorLogPath()));

        bench.SetLinkErrorLog(true);
        EXPECT_EQ(store.GetInt("Properties", "bWriteLinkErrorsToLog", 0), 1);
        EXPECT_EQ(bench.Link(1).ReadIdentity(4242, identity), -9);  // port not open
        EXPECT_EQ(bench.LinkErrorLogPath(), (dir / "Dravmer-LinkErrors.log").string());
    }
    const std::string log = ReadAll(dir / "Dravmer-LinkErrors.log");
    EXPECT_EQ(log.front(), '[');
    EXPECT_EQ(log.substr(21, 8), "Start.\r\n") << log.substr(0, 40);
    EXPECT_NE(
        log.find("Ошибка передачи команды. Код ошибки: -9 - \"ошибка при передачи в порт - нет "
                 "соединения\".\r\nПрибор: 4242  команда: 1\r\n" +
                 std::string(39, '-')),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("Device: 4242    \tCommands: 1   \tErrors: 1"), std::string::npos) << log;
    EXPECT_NE(log.find("Stop.\r\n\r\n\r\n"), std::string::npos);

    // The switch survives a restart: the next start logs at once.
    CBench again(store);
    again.LoadSettings();
    again.Link(2).ReadIdentity(99, identity);
    again.SetLinkErrorLog(false);
    const std::string more = ReadAll(dir / "Dravmer-LinkErrors.log");
    EXPECT_NE(more.find("Прибор: 99  команда: 1"), std::string::npos);
    again.Link(2).ReadIdentity(98, identity);
    EXPECT_EQ(ReadAll(dir / "Dravmer-LinkErrors.log").find("Прибор: 98"), std::string::npos);
    EXPECT_EQ(store.GetInt("Properties", "bWriteLinkErrorsToLog", 1), 0);
    fs::remove_all(dir);
    ::unsetenv("DRAVMER_LOG_DIR");
}

}  // namespace
}  // namespace dravmer
