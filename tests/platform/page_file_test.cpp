#include "platform/page_file.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace dravmer {
namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path path;
    Folder() {
        static int counter = 0;
        path = fs::temp_directory_path() /
               ("dravmer-pages-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(path);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(path, ec))
            names.push_back(e.path().filename().string());
        return names;
    }
};

constexpr std::size_t kSlot = 2 * 4096;

std::vector<unsigned char> Pattern(int seed) {
    std::vector<unsigned char> b(kSlot);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(seed * 31 + i * 7);
    return b;
}

TEST(PageFile, SlotsReadBackWhatWasWrittenAndTheFileGoesWithTheObject) {
    Folder folder;
    std::string error;
    auto file = CPageFile::Create(folder.path, kSlot, &error);
    ASSERT_TRUE(file) << error;
    file->SetReserveBytes(0);
    EXPECT_TRUE(fs::exists(file->Path()));
    EXPECT_EQ(file->Path().parent_path(), folder.path);
    // Enough slots to need a second chunk of the mapping.
    const int n = static_cast<int>((64u << 20) / kSlot) + 5;
    std::vector<std::int64_t> slots;
    for (int i = 0; i < n; ++i) {
        auto data = Pattern(i);
        slots.push_back(file->Write(data.data(), &error));
        ASSERT_GE(slots.back(), 0) << error;
    }
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(std::memcmp(file->Data(slots[static_cast<std::size_t>(i)]), Pattern(i).data(), kSlot), 0)
            << "slot " << i;
    EXPECT_EQ(file->BytesInUse(), n * kSlot);

    // A freed slot is taken again, with its new bytes; the others keep theirs.
    file->Free(slots[3]);
    EXPECT_EQ(file->BytesInUse(), (n - 1) * kSlot);
    auto again = Pattern(1000);
    const std::int64_t reused = file->Write(again.data());
    EXPECT_EQ(reused, slots[3]);
    EXPECT_EQ(std::memcmp(file->Data(reused), again.data(), kSlot), 0);
    EXPECT_EQ(std::memcmp(file->Data(slots[4]), Pattern(4).data(), kSlot), 0);
    EXPECT_EQ(file->PeakBytes(), n * kSlot);

    const fs::path path = file->Path();
    file.reset();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(folder.Files().empty());
}

TEST(PageFile, AFileLeftByAnEndedProcessIsRemovedAndALiveOneKept) {
    Folder folder;
    fs::create_directories(folder.path);
    // As a crashed run leaves it: the name, no lock.
    std::ofstream(folder.path / "records-999999-0.cache") << "left over";
    // A live run's file: locked by its owner (here another descriptor of this process).
    const fs::path live = folder.path / "records-999998-0.cache";
    std::ofstream(live) << "in use";
    const int fd = open(live.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    std::ofstream(folder.path / "notes.txt") << "not ours";

    auto file = CPageFile::Create(folder.path, kSlot, nullptr);
    ASSERT_TRUE(file);
    EXPECT_FALSE(fs::exists(folder.path / "records-999999-0.cache"));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(folder.path / "notes.txt"));
    // Another program's sweep leaves the file in use alone too.
    EXPECT_EQ(CPageFile::RemoveStale(folder.path), 0);
    EXPECT_TRUE(fs::exists(file->Path()));
    close(fd);
    EXPECT_EQ(CPageFile::RemoveStale(folder.path), 1);
    EXPECT_FALSE(fs::exists(live));
}

TEST(PageFile, AFolderThatCannotBeMadeIsRefusedWithItsReason) {
    Folder folder;
    fs::create_directories(folder.path);
    std::ofstream(folder.path / "plain") << "a file where the folder should be";
    std::string error;
    EXPECT_FALSE(CPageFile::Create(folder.path / "plain" / "cache", kSlot, &error));
    EXPECT_NE(error.find("plain"), std::string::npos) << error;
    EXPECT_FALSE(CPageFile::Create(folder.path, 1000, &error));  // not whole pages
}

TEST(PageFile, AWriteThatWouldEatTheReserveFailsAndTakesNoSlot) {
    Folder folder;
    auto file = CPageFile::Create(folder.path, kSlot, nullptr);
    ASSERT_TRUE(file);
    file->SetReserveBytes(~0ull >> 2);  // more than any disk has free
    std::string error;
    auto data = Pattern(1);
    EXPECT_EQ(file->Write(data.data(), &error), -1);
    EXPECT_NE(error.find("MiB free"), std::string::npos) << error;
    EXPECT_EQ(file->BytesInUse(), 0u);
    file->SetReserveBytes(0);
    EXPECT_EQ(file->Write(data.data(), &error), 0) << error;
}

}  // namespace
}  // namespace dravmer
