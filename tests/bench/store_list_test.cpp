// The stores follow the active list: each device's records stay with that device whatever
// happens to the list, only the list's devices count, and the experiment on screen names the
// label file its comment belongs in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bench/bench.h"
#include "files/file_format.h"
#include "platform/cp1251.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path path;
    explicit Folder(const std::string& name)
        : path(fs::temp_directory_path() /
               ("dravmer-stores-" + std::to_string(::getpid()) + "-" + name)) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
};

std::string WriteFile(const fs::path& dir, const std::string& name, int records) {
    CDeviceData store;
    for (int k = 0; k < records; ++k) {
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(k);
        store.AddSample(r);
    }
    const fs::path path = dir / name;
    SFileOptions options;
    EXPECT_EQ(SaveStoreAs(store, path.string(), false, options.Columns(), options), 0);
    return path.string();
}

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// A list as a search leaves it.
void List(CBench& bench, std::initializer_list<std::uint32_t> addresses) {
    CDeviceList& list = bench.Settings().devices;
    list.ClearFound();
    for (auto a : addresses) list.AddFound(a, 0, true);
    list.RebuildActive();
    bench.EnsureStores();
}

void Records(CBench& bench, std::size_t index, int count) {
    for (int k = 0; k < count; ++k) {
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(k);
        bench.Data(index).AddSample(r);
    }
}

TEST(BenchStores, ALoadOfFewerDevicesCountsOnlyItsOwn) {
    Folder dir("fewer");
    CMemorySettingsStore settings;
    CBench bench(settings);
    SGroupLoadData three;
    three.paths = {WriteFile(dir.path, "261206-001-000101.adc", 30),
                   WriteFile(dir.path, "261206-001-000102.adc", 40),
                   WriteFile(dir.path, "261206-001-000103.adc", 50)};
    three.addresses = {101, 102, 103};
    ASSERT_EQ(bench.LoadExperiment(three), 3);
    ASSERT_EQ(bench.StoreCount(), 3u);
    SGroupLoadData one;
    one.paths = {WriteFile(dir.path, "261206-002-000201.adc", 10)};
    one.addresses = {201};
    ASSERT_EQ(bench.LoadExperiment(one), 1);
    EXPECT_EQ(bench.StoreCount(), 1u);
    EXPECT_EQ(bench.Data(0).GetCount(), 10);
    EXPECT_EQ(bench.Data(0).Title(), "261206-002-000201");
    EXPECT_EQ(bench.Title(), "Dravmer v.05.43, 261206-002-000201");
}

TEST(BenchStores, EachDeviceKeepsItsRecordsWhenTheListChanges) {
    CMemorySettingsStore settings;
    CBench bench(settings);
    List(bench, {101, 102, 103});
    Records(bench, 0, 10);
    Records(bench, 1, 20);
    Records(bench, 2, 30);
    bench.Data(2).SetTitle("261206-005-000103");

    // Unticking 101: 102 and 103 move up with their own records.
    ASSERT_TRUE(bench.SetDeviceEnabled(0, false));
    ASSERT_EQ(bench.StoreCount(), 2u);
    EXPECT_EQ(bench.Data(0).GetCount(), 20);
    EXPECT_EQ(bench.Data(1).GetCount(), 30);
    EXPECT_EQ(bench.Data(1).Title(), "261206-005-000103");
    // Ticking it again brings its records back.
    ASSERT_TRUE(bench.SetDeviceEnabled(0, true));
    ASSERT_EQ(bench.StoreCount(), 3u);
    EXPECT_EQ(bench.Data(0).GetCount(), 10);
    EXPECT_EQ(bench.Data(2).GetCount(), 30);

    // A search that finds other devices: a new one never shows another device's records.
    List(bench, {104, 102});
    ASSERT_EQ(bench.StoreCount(), 2u);
    EXPECT_EQ(bench.Data(0).GetCount(), 0);
    EXPECT_EQ(bench.Data(0).Title(), "");
    EXPECT_EQ(bench.Data(1).GetCount(), 20);
    // The same device twice (its text and binary file) gets two stores.
    List(bench, {102, 102, 105});
    ASSERT_EQ(bench.StoreCount(), 3u);
    EXPECT_EQ(bench.Data(0).GetCount(), 20);
    EXPECT_NE(&bench.Data(0), &bench.Data(1));
    EXPECT_EQ(bench.Data(2).GetCount(), 0);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(bench.Data(i).ListIndex(), static_cast<int>(i));
}

TEST(BenchLabel, TheCommentGoesToTheExperimentOnScreenOrNowhere) {
    Folder run("run"), other("other");
    CMemorySettingsStore settings;
    CBench bench(settings);
    List(bench, {101});
    // Nothing run or loaded yet: no label to write.
    EXPECT_EQ(bench.ExperimentLabelPath(), "");
    EXPECT_EQ(bench.WriteExperimentLabel("x"), CBench::LabelResult::NoExperiment);

    // A run that wrote its files: its own label.
    Records(bench, 0, 3);
    std::string savePath = run.path.string() + "/";
    ASSERT_EQ(bench.Files(0).OpenExperimentFiles(savePath, 101, 4, true, false, true), 0);
    bench.Files(0).CloseExperimentFiles();
    const std::string runLabel = bench.ExperimentLabelPath();
    ASSERT_EQ(fs::path(runLabel).parent_path(), run.path);
    std::string detail;
    EXPECT_EQ(bench.WriteExperimentLabel("Прогон", &detail), CBench::LabelResult::Written);
    EXPECT_EQ(detail, runLabel);
    EXPECT_EQ(ReadAll(runLabel), Utf8ToCp1251("Прогон"));

    // Another folder's experiment loaded: its label, beside its files, never the run's.
    SGroupLoadData group;
    group.paths = {WriteFile(other.path, "261206-007-000301.adc", 5)};
    group.addresses = {301};
    group.time = 1796540400;
    group.label = "Калибровка";
    ASSERT_EQ(bench.LoadExperiment(group), 1);
    EXPECT_EQ(bench.ExperimentLabelPath(), (other.path / "261206-007-label .txt").string());
    EXPECT_EQ(bench.LoadedExperiment().label, "Калибровка");
    EXPECT_EQ(bench.LoadedExperiment().time, 1796540400);
    EXPECT_EQ(bench.WriteExperimentLabel("Повтор"), CBench::LabelResult::Written);
    EXPECT_EQ(ReadAll(other.path / "261206-007-label .txt"), Utf8ToCp1251("Повтор"));
    EXPECT_EQ(bench.LoadedExperiment().label, "Повтор");
    EXPECT_EQ(ReadAll(runLabel), Utf8ToCp1251("Прогон"));

    // An experiment read back without files (the archive) has no label file either.
    ASSERT_EQ(bench.PrepareLoad({301}).size(), 1u);
    bench.EndLoad();
    EXPECT_EQ(bench.ExperimentLabelPath(), "");

    // A label file that cannot be written is reported, not taken for written.
    ASSERT_EQ(bench.LoadExperiment(group), 1);
    fs::remove(other.path / "261206-007-label .txt");
    fs::create_directory(other.path / "261206-007-label .txt");
    EXPECT_EQ(bench.WriteExperimentLabel("y", &detail), CBench::LabelResult::WriteFailed);
    EXPECT_NE(detail.find("261206-007-label .txt: "), std::string::npos) << detail;
}

TEST(BenchLabel, ARunRecordedWithoutFilesHasNoLabelOfTheRunBefore) {
    Folder run("without");
    CMemorySettingsStore settings;
    CBench bench(settings);
    List(bench, {101});
    Records(bench, 0, 3);
    std::string savePath = run.path.string() + "/";
    ASSERT_EQ(bench.Files(0).OpenExperimentFiles(savePath, 101, 1, true, false, true), 0);
    bench.Files(0).CloseExperimentFiles();
    ASSERT_NE(bench.ExperimentLabelPath(), "");
    // The next run, with writing to file off.
    bench.Data(0).ResetData();
    SFileOptions off = bench.Files(0).Options();
    off.writeToFile = false;
    bench.Files(0).SetOptions(off);
    ASSERT_EQ(bench.Files(0).OpenExperimentFiles(savePath, 101, 2, true, false, true), 0);
    EXPECT_EQ(bench.ExperimentLabelPath(), "");
    EXPECT_EQ(bench.WriteExperimentLabel("x"), CBench::LabelResult::NoExperiment);
}

}  // namespace
}  // namespace dravmer
