// The folder the lab's release key goes into: one that others may write is refused as it is.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "fileserver/release_signing.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

class KeyFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_top = fs::temp_directory_path() /
                ("key-folder-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_top);
        fs::create_directories(m_top);
    }
    void TearDown() override { fs::remove_all(m_top); }
    // An existing folder with exactly this mode.
    fs::path Folder(const std::string& name, mode_t mode) {
        const fs::path dir = m_top / name;
        fs::create_directories(dir);
        EXPECT_EQ(::chmod(dir.c_str(), mode), 0);
        return dir;
    }
    static mode_t ModeOf(const fs::path& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    fs::path m_top;
};

TEST_F(KeyFolder, AnExistingFolderOthersCanWriteIsRefusedAndLeftAsItIs) {
    struct SCase {
        mode_t mode;
        bool taken;
    };
    for (const SCase c : {SCase{0777, false}, SCase{01777, false}, SCase{0770, false},
                          SCase{0720, false}, SCase{0702, false}, SCase{0755, true},
                          SCase{0750, true}, SCase{0700, true}}) {
        char name[16];
        std::snprintf(name, sizeof name, "m%04o", static_cast<unsigned>(c.mode));
        SCOPED_TRACE(name);
        const fs::path dir = Folder(name, c.mode);
        std::string publicHex, error;
        EXPECT_EQ(fileserver::GenerateReleaseKey(dir, publicHex, error), c.taken) << error;
        EXPECT_EQ(fs::exists(dir / fileserver::kPublicKeyFile), c.taken);
        EXPECT_EQ(fs::exists(dir / fileserver::kSecretKeyFile), c.taken);
        EXPECT_EQ(ModeOf(dir), c.mode) << "the folder's mode was changed";
        if (!c.taken) {
            EXPECT_NE(error.find("can be written by others"), std::string::npos) << error;
            EXPECT_NE(error.find("chmod go-w"), std::string::npos) << error;
        }
    }
    // A folder made for the key is its owner's alone.
    std::string publicHex, error;
    ASSERT_TRUE(fileserver::GenerateReleaseKey(m_top / "new" / "keys", publicHex, error)) << error;
    EXPECT_EQ(ModeOf(m_top / "new" / "keys"), 0700u);
}

TEST_F(KeyFolder, AFolderOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
    const fs::path dir = Folder("nobody", 0755);
    ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    std::string publicHex, error;
    EXPECT_FALSE(fileserver::GenerateReleaseKey(dir, publicHex, error));
    EXPECT_NE(error.find("belongs to another user"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(KeyFolder, TheProgramSaysWhyAndFails) {
    const fs::path dir = Folder("shared", 0777);
    const std::string command =
        std::string(FILESERVER_PROGRAM) + " --gen-key " + dir.string() + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[512];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << out;
    EXPECT_NE(out.find("can be written by others than its owner (mode 0777)"), std::string::npos)
        << out;
    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_EQ(ModeOf(dir), 0777u);
}

}  // namespace
}  // namespace dravmer
