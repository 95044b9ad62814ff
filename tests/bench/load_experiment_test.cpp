// Loading a stored experiment for review: the devices shown are the experiment's, the saved
// device list is kept and comes back before the next experiment.
#include <gtest/gtest.h>

#include <filesystem>

#include "bench/bench.h"
#include "files/file_format.h"

namespace dravmer {
namespace {

namespace fs = std::filesystem;

fs::path WriteDay(const fs::path& dir, const char* name, int records, double base) {
    CDeviceData store;
    for (int k = 0; k < records; ++k) {
        CMeasRecord r;
        r.time = static_cast<std::uint32_t>(k);
        r.cycle = static_cast<std::uint8_t>(k);
        r.ug = base + (k % 5);
        store.AddSample(r);
    }
    std::vector<int> columns;
    for (int i = 0; i < kParamCount; ++i) columns.push_back(i);
    SFileOptions options;
    fs::path path = dir / name;
    EXPECT_EQ(SaveStoreAs(store, path.string(), false, columns, options), 0);
    return path;
}

TEST(BenchLoad, LoadedDevicesReplaceTheListButNeverTheSavedOne) {
    fs::path dir = fs::temp_directory_path() / "dravmer-bench-load";
    fs::remove_all(dir);
    fs::create_directories(dir);
    SGroupLoadData group;
    group.paths = {WriteDay(dir, "261206-007-000101.adc", 300, 10).string(),
                   WriteDay(dir, "261206-007-000102.adc", 200, 20).string()};
    group.addresses = {101, 102};

    CMemorySettingsStore store;
    store.SetString("DeviceList", "List", "5;6;7;");
    store.SetString("DeviceList", "PortList", "1;2;2;");
    store.SetString("DeviceList", "EnableList", "1;0;1;");
    CBench bench(store);
    bench.LoadSettings();
    ASSERT_EQ(bench.Settings().devices.Active().size(), 2u);

    EXPECT_EQ(bench.LoadExperiment(group), 2);
    EXPECT_FALSE(bench.IsLoading());
    EXPECT_TRUE(bench.ShowsLoadedExperiment());
    const auto& active = bench.Settings().devices.Active();
    ASSERT_EQ(active.size(), 2u);
    EXPECT_EQ(active[0].address, 101u);
    EXPECT_EQ(active[1].address, 102u);
    EXPECT_EQ(active[1].port, 0);
    EXPECT_EQ(bench.Data(0).GetCount(), 300);
    EXPECT_EQ(bench.Data(1).GetCount(), 200);
    EXPECT_DOUBLE_EQ(bench.Data(1).GetStatValue(StatKind::Min, 3), 20);

    // Unticking a loaded device changes what is shown, not what is saved.
    EXPECT_TRUE(bench.SetDeviceEnabled(0, false));
    EXPECT_EQ(store.GetString("DeviceList", "List", ""), "5;6;7;");
    EXPECT_EQ(store.GetString("DeviceList", "EnableList", ""), "1;0;1;");

    bench.RestoreSavedDevices();
    EXPECT_FALSE(bench.ShowsLoadedExperiment());
    ASSERT_EQ(bench.Settings().devices.Found().size(), 3u);
    ASSERT_EQ(bench.Settings().devices.Active().size(), 2u);
    EXPECT_EQ(bench.Settings().devices.Active()[1].address, 7u);
    EXPECT_EQ(bench.Settings().devices.Active()[1].port, 2);
    fs::remove_all(dir);
}

TEST(BenchLoad, AnEmptyGroupAndAMissingFileLeaveNoLoadRunning) {
    CMemorySettingsStore store;
    CBench bench(store);
    EXPECT_EQ(bench.LoadExperiment(SGroupLoadData{}), 0);
    EXPECT_FALSE(bench.ShowsLoadedExperiment());
    SGroupLoadData group;
    group.paths = {"/nonexistent/261206-007-000101.adc"};
    group.addresses = {101};
    EXPECT_EQ(bench.LoadExperiment(group), 0);  // the file fails, the list is still replaced
    EXPECT_FALSE(bench.IsLoading());
    EXPECT_EQ(bench.Settings().devices.Active().size(), 1u);
    EXPECT_EQ(bench.Data(0).GetCount(), 0);
}

}  // namespace
}  // namespace dravmer

namespace dravmer {
namespace {

TEST(BenchLoad, RefusedWhileASearchOrAnExperimentIsUnderWayAndTheFileSizesTheStore) {
    fs::path dir = fs::temp_directory_path() / "dravmer-bench-load-size";
    fs::remove_all(dir);
    fs::create_directories(dir);
    SGroupLoadData group;
    group.paths = {WriteDay(dir, "261206-001-000101.adc", 1000, 1).string()};
    group.addresses = {101};
    CMemorySettingsStore store;
    CBench bench(store);
    std::vector<CDeviceData*> stores = bench.PrepareLoad(group.addresses);
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_TRUE(bench.IsLoading());
    // A second load, a start and a search wait for the first load.
    EXPECT_TRUE(bench.PrepareLoad(group.addresses).empty());
    EXPECT_EQ(bench.Start(), StartResult::Busy);
    EXPECT_EQ(bench.Search(), CBench::kSearchBusy);
    EXPECT_EQ(bench.LoadPrepared(group, stores, nullptr), 1);
    EXPECT_FALSE(bench.IsLoading());
    // The store was sized from the file: one block, no doubling on the way.
    EXPECT_EQ(bench.Data(0).GetCount(), 1000);
    EXPECT_EQ(bench.Data(0).Capacity(), 1000);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dravmer
