// Records that the experiment file cannot take are saved whole elsewhere at close.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "files/experiment_files.h"
#include "files/file_format.h"
#include "test_util.h"

namespace dravmer {
namespace {
using namespace testing_files;

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path);
    f << text;
    return static_cast<bool>(f);
}

// Runs `body` in a child process that sees a tmpfs of `kib` KiB mounted on `mountPoint`, in a
// mount namespace of its own (the mount vanishes with the child). Returns the child's exit code.
int WithSmallDisk(const std::string& mountPoint, int kib, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0) {
            // Without root: a user namespace of our own may mount a tmpfs all the same.
            const uid_t uid = ::getuid();
            const gid_t gid = ::getgid();
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(90);
            WriteFile("/proc/self/setgroups", "deny");
            WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
            WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
        }
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(91);
        const std::string options = "size=" + std::to_string(kib) + "k";
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0) ::_exit(92);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(ExperimentRescue, RecordsAFullDiskRefusedAreSavedWholeToTheRescueFolderAtClose) {
    TempDir full, rescue;
    const std::string result = rescue / "result";
    const int code = WithSmallDisk(full.path.string(), 64, [&] {
        CDeviceData store;
        CExperimentFiles files(store);
        files.SetRescueFolder(rescue.Folder());
        std::string save = full.Folder();
        if (files.OpenExperimentFiles(save, 4000001, 7, false, false, true) != kFilesOpenOk)
            return 3;
        Fill(store, 600);  // about 100 KiB of records: the disk fills up half way
        const int written = files.WrittenCount();
        files.CloseExperimentFiles();
        std::ofstream out(result);
        out << store.GetCount() << " " << written << " " << files.UnsavedRecords() << " "
            << files.RescuedPath();
        return 0;
    });
    ASSERT_EQ(code, 0);
    std::ifstream in(result);
    int count = 0, written = 0, unsaved = -1;
    std::string rescued;
    in >> count >> written >> unsaved >> rescued;
    EXPECT_EQ(count, 600);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, 600) << "the small disk refused part of the records";
    EXPECT_EQ(unsaved, 0);
    EXPECT_EQ(rescued, rescue / ExperimentFileName(DateText(std::time(nullptr)), 7, 4000001, false));
    CDeviceData back;
    ASSERT_EQ(LoadExperimentFile(back, rescued), 1);
    EXPECT_EQ(back.GetCount(), 600) << "every record, not only those the disk refused";
}

TEST(ExperimentRescue, ADiskFullFromTheStartLeavesNoEmptyFileBesideTheRescuedOne) {
    TempDir full, rescue;
    const std::string result = rescue / "result";
    const int code = WithSmallDisk(full.path.string(), 64, [&] {
        {
            // Another program took all the room before the experiment began.
            std::ofstream filler(full / "filler", std::ios::binary);
            const std::string block(4096, 'x');
            for (int k = 0; k < 64 && filler; ++k) filler << block;
        }
        CDeviceData store;
        CExperimentFiles files(store);
        files.SetRescueFolder(rescue.Folder());
        std::string save = full.Folder();
        if (files.OpenExperimentFiles(save, 4000002, 8, false, false, true) != kFilesOpenOk)
            return 3;
        const std::string path = files.FilePath();
        Fill(store, 50);
        const int written = files.WrittenCount();
        files.CloseExperimentFiles();
        std::ofstream out(result);
        out << written << " " << std::filesystem::exists(path) << " " << files.RescuedPath();
        return 0;
    });
    ASSERT_EQ(code, 0);
    std::ifstream in(result);
    int written = -1;
    bool left = true;
    std::string rescued;
    in >> written >> left >> rescued;
    EXPECT_EQ(written, 0);
    EXPECT_FALSE(left) << "an empty experiment file stayed beside the rescued one";
    CDeviceData back;
    ASSERT_EQ(LoadExperimentFile(back, rescued), 1);
    EXPECT_EQ(back.GetCount(), 50);
}

struct RescueFixture : ::testing::Test {
    TempDir dir, rescue;
    CDeviceData store;
    std::unique_ptr<CExperimentFiles> files;
    void SetUp() override {
        files = std::make_unique<CExperimentFiles>(store);
        files->SetRescueFolder(rescue.Folder());
    }
};

TEST_F(RescueFixture, AFileThatCouldNotBeOpenedLosesNothingAndAnOldRescueIsKept) {
    std::string save = dir.Folder();
    const std::time_t now = std::time(nullptr);
    const std::string name = ExperimentFileName(DateText(now), 5, 101, false);
    WriteAll(dir / name, "an older experiment");  // the name is taken: nothing is opened
    WriteAll(rescue / name, "an earlier rescue");
    ASSERT_EQ(files->OpenExperimentFiles(save, 101, 5, false, false, true), kFilesNameTaken);
    Fill(store, 12);
    files->CloseExperimentFiles();
    EXPECT_EQ(ReadAll(dir / name), "an older experiment");
    EXPECT_EQ(ReadAll(rescue / name), "an earlier rescue");
    const std::string rescued = files->RescuedPath();
    EXPECT_EQ(rescued, rescue / (name.substr(0, name.size() - 4) + ".1.adc"));
    CDeviceData back;
    ASSERT_EQ(LoadExperimentFile(back, rescued), 1);
    EXPECT_EQ(back.GetCount(), 12);
    EXPECT_EQ(files->UnsavedRecords(), 0);
}

TEST_F(RescueFixture, NothingIsRescuedWhenTheFileTookEveryRecordOrWritingIsOff) {
    std::string save = dir.Folder();
    ASSERT_EQ(files->OpenExperimentFiles(save, 101, 6, false, false, true), kFilesOpenOk);
    Fill(store, 5);
    files->CloseExperimentFiles();
    EXPECT_EQ(files->RescuedPath(), "");
    EXPECT_TRUE(std::filesystem::is_empty(rescue.path));

    SFileOptions off;
    off.writeToFile = false;
    CDeviceData other;
    CExperimentFiles quiet(other, off);
    quiet.SetRescueFolder(rescue.Folder());
    ASSERT_EQ(quiet.OpenExperimentFiles(save, 102, 6, false, false, true), kFilesOpenOk);
    Fill(other, 5);
    quiet.CloseExperimentFiles();
    EXPECT_EQ(quiet.RescuedPath(), "");
    EXPECT_TRUE(std::filesystem::is_empty(rescue.path));
}

}  // namespace
}  // namespace dravmer
