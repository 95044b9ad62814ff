// The store's own costs: one append (with and without statistics), TimeToIndex on a day of
// records, the recompute over a whole day, and the memory a day of records takes.
#include <benchmark/benchmark.h>

#include <random>

#include "measure/device_data.h"

namespace dravmer {
namespace {

constexpr int kDay = 86400;

CMeasRecord Sample(int t, std::mt19937& rng) {
    std::normal_distribution<double> v(100, 5);
    CMeasRecord r;
    for (int i = 3; i < 43; ++i) SetParam(r, i, v(rng));
    r.time = static_cast<std::uint32_t>(t);
    r.cycle = static_cast<std::uint8_t>(t);
    return r;
}

void FillDay(CDeviceData& store) {
    std::mt19937 rng(7);
    for (int t = 0; t < kDay; ++t) store.AddSample(Sample(t, rng));
}

// Appends without statistics: the store is put in range mode first, so AddSample only stores.
void BM_AddSampleNoStats(benchmark::State& state) {
    std::mt19937 rng(1);
    CMeasRecord r = Sample(1, rng);
    auto store = std::make_unique<CDeviceData>();
    store->AddSample(r);
    store->CalcRange(0, 0, false);
    int n = 0;
    for (auto _ : state) {
        r.time = static_cast<std::uint32_t>(++n);
        store->AddSample(r);
        if (n == kDay) {
            state.PauseTiming();
            store = std::make_unique<CDeviceData>();
            store->AddSample(r);
            store->CalcRange(0, 0, false);
            n = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_AddSampleNoStats);

// The same in a store whose block has already grown (a store is reset, not freed, between
// experiments): the append itself without first-touch page faults.
void BM_AddSampleNoStatsGrownStore(benchmark::State& state) {
    std::mt19937 rng(1);
    CMeasRecord r = Sample(1, rng);
    CDeviceData store;
    for (int t = 0; t < kDay; ++t) store.AddSample(r);
    store.ResetData();
    store.AddSample(r);
    store.CalcRange(0, 0, false);
    int n = 0;
    for (auto _ : state) {
        r.time = static_cast<std::uint32_t>(++n);
        store.AddSample(r);
        if (n == kDay - 2) {
            state.PauseTiming();
            store.ResetData();
            store.AddSample(r);
            store.CalcRange(0, 0, false);
            n = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_AddSampleNoStatsGrownStore);

void BM_AddSampleWithStats(benchmark::State& state) {
    std::mt19937 rng(1);
    CMeasRecord r = Sample(1, rng);
    auto store = std::make_unique<CDeviceData>();
    int n = 0;
    for (auto _ : state) {
        r.time = static_cast<std::uint32_t>(++n);
        r.cycle = static_cast<std::uint8_t>(n);
        store->AddSample(r);
        if (n == kDay) {
            state.PauseTiming();
            store = std::make_unique<CDeviceData>();
            n = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_AddSampleWithStats);

void BM_MemoryPerRecordOfADay(benchmark::State& state) {
    CDeviceData store;
    FillDay(store);
    for (auto _ : state) benchmark::DoNotOptimize(store.GetCount());
    state.counters["record_bytes"] = sizeof(CMeasRecord);
    state.counters["allocated_bytes_per_record"] =
        static_cast<double>(store.AllocatedBytes()) / store.GetCount();
}
BENCHMARK(BM_MemoryPerRecordOfADay)->Iterations(1);

void BM_TimeToIndexDay(benchmark::State& state) {
    CDeviceData store;
    FillDay(store);
    std::uint32_t t = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.TimeToIndex(t));
        t = (t * 7919 + 13) % kDay;
    }
}
BENCHMARK(BM_TimeToIndexDay);

void BM_CalcRangeDay(benchmark::State& state) {
    CDeviceData store;
    FillDay(store);
    for (auto _ : state) store.CalcRange(0, kDay - 1, false);
    state.SetItemsProcessed(state.iterations() * kDay);
}
BENCHMARK(BM_CalcRangeDay)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace dravmer

BENCHMARK_MAIN();
