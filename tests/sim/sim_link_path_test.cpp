// The simulator's --link PATH never replaces or deletes what it did not make.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim/sim_line.h"
#include "sim/sim_pty.h"

namespace dravmer::sim {
namespace {

namespace fs = std::filesystem;

struct LinkPath : ::testing::Test {
    void SetUp() override {
        dir = fs::temp_directory_path() / ("dravmer-simlink-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    static std::string Read(const fs::path& p) {
        std::ifstream f(p);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    fs::path dir;
    CSimLine line;
};

TEST_F(LinkPath, AnExistingFileOrForeignLinkIsRefusedAndKept) {
    const fs::path file = dir / "261207-001-000101.adc";
    std::ofstream(file) << "an experiment";
    {
        CSimPtyServer server(line);
        EXPECT_FALSE(server.Open(file.string()));
        EXPECT_NE(server.Error().find("not replaced"), std::string::npos) << server.Error();
    }
    EXPECT_EQ(Read(file), "an experiment") << "neither replaced nor deleted at exit";

    const fs::path foreign = dir / "foreign";
    fs::create_symlink(file, foreign);
    {
        CSimPtyServer server(line);
        EXPECT_FALSE(server.Open(foreign.string()));
    }
    EXPECT_EQ(fs::read_symlink(foreign), file);
}

TEST_F(LinkPath, AStaleTerminalLinkIsReplacedAndOnlyItsOwnLinkIsRemoved) {
    const fs::path link = dir / "line";
    fs::create_symlink("/dev/pts/999999", link);  // left behind by a simulator that was killed
    auto first = std::make_unique<CSimPtyServer>(line);
    ASSERT_TRUE(first->Open(link.string())) << first->Error();
    EXPECT_EQ(fs::read_symlink(link).string(), first->SlavePath());
    first.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "its own link goes at exit";

    auto older = std::make_unique<CSimPtyServer>(line);
    ASSERT_TRUE(older->Open(link.string()));
    CSimPtyServer newer(line);
    ASSERT_TRUE(newer.Open(link.string())) << "a live simulator's link is taken over";
    older.reset();  // must not take the newer simulator's link with it
    EXPECT_EQ(fs::read_symlink(link).string(), newer.SlavePath());
}

}  // namespace
}  // namespace dravmer::sim
