// The bench's record cache: the stores keep their older records in a file of the cache folder,
// which goes with the bench; without a usable folder everything stays in memory, and the
// operator's log says so.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "bench/bench.h"
#include "platform/page_file.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;
constexpr int B = CDeviceData::kPageRecords;

struct Folder {
    fs::path path;
    explicit Folder(const std::string& name)
        : path(fs::temp_directory_path() /
               ("dravmer-paging-" + std::to_string(::getpid()) + "-" + name)) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    int Count() const {
        int n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(path)) ++n;
        return n;
    }
};

struct Log {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::function<void(const std::string&)> Writer() {
        return [this](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        };
    }
};

void List(CBench& bench, std::initializer_list<std::uint32_t> addresses) {
    CDeviceList& list = bench.Settings().devices;
    list.ClearFound();
    for (auto a : addresses) list.AddFound(a, 0, true);
    list.RebuildActive();
    bench.EnsureStores();
}

void Append(CDeviceData& store, int from, int count) {
    for (int k = from; k < from + count; ++k) {
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(k);
        r.cycle = static_cast<std::uint8_t>(k);
        r.ug = k * 0.5;
        ASSERT_EQ(store.AddSample(r), 0);
    }
}

void ExpectEveryRecord(const CDeviceData& store, int count) {
    ASSERT_EQ(store.GetCount(), count);
    for (int k = 0; k < count; k += 97) {
        const CMeasRecord r = store.GetSample(k);
        ASSERT_EQ(r.time, static_cast<std::uint32_t>(k));
        ASSERT_EQ(r.ug, k * 0.5);
    }
}

TEST(BenchPaging, StoresOldAndNewKeepTheirOlderRecordsInTheCacheFileWhichGoesWithTheBench) {
    Folder cache("cache");
    Log log;
    {
        CMemorySettingsStore settings;
        CBench bench(settings);
        List(bench, {101});
        ASSERT_TRUE(bench.EnablePaging(cache.path, log.Writer()));
        ASSERT_TRUE(bench.PageFile());
        EXPECT_EQ(bench.PageFile()->Path().parent_path(), cache.path);
        EXPECT_EQ(cache.Count(), 1);
        List(bench, {101, 102});  // a store made after the cache came
        Append(bench.Data(0), 0, 2 * B + 3);
        Append(bench.Data(1), 0, B);
        EXPECT_EQ(bench.Data(0).PagedCount(), 2 * B);
        EXPECT_EQ(bench.Data(1).PagedCount(), B);
        ExpectEveryRecord(bench.Data(0), 2 * B + 3);
        EXPECT_EQ(bench.PageFile()->BytesInUse(), 3 * CDeviceData::kPageBytes);
    }
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_TRUE(log.lines.empty());
}

TEST(BenchPaging, AFolderThatCannotBeWrittenKeepsEverythingInMemoryAndSaysSo) {
    Folder dir("unwritable");
    std::ofstream(dir.path / "file") << "a file, not a folder";
    Log log;
    CMemorySettingsStore settings;
    CBench bench(settings);
    List(bench, {101});
    EXPECT_FALSE(bench.EnablePaging(dir.path / "file" / "cache", log.Writer()));
    EXPECT_FALSE(bench.PageFile());
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find((dir.path / "file").string()), std::string::npos) << log.lines[0];
    EXPECT_NE(log.lines[0].find("хранятся в памяти"), std::string::npos) << log.lines[0];
    Append(bench.Data(0), 0, 3 * B);
    EXPECT_EQ(bench.Data(0).PagedCount(), 0);
    ExpectEveryRecord(bench.Data(0), 3 * B);
}

TEST(BenchPaging, AFullDiskIsLoggedOnceAndTheRecordsStayUntilTheFileTakesThemAgain) {
    Folder cache("full");
    Log log;
    CMemorySettingsStore settings;
    CBench bench(settings);
    List(bench, {101, 102});
    ASSERT_TRUE(bench.EnablePaging(cache.path, log.Writer()));
    bench.PageFile()->SetReserveBytes(~0ull >> 2);
    Append(bench.Data(0), 0, 2 * B);
    Append(bench.Data(1), 0, B);
    EXPECT_EQ(bench.Data(0).PagedCount(), 0);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("остаются в памяти"), std::string::npos) << log.lines[0];
    bench.PageFile()->SetReserveBytes(0);
    Append(bench.Data(0), 2 * B, B);
    EXPECT_EQ(bench.Data(0).PagedCount(), 3 * B);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_NE(log.lines[1].find("снова принимает"), std::string::npos) << log.lines[1];
    ExpectEveryRecord(bench.Data(0), 3 * B);
}

}  // namespace
}  // namespace dravmer
