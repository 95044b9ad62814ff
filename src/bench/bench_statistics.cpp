// Recomputing the stores' statistics over a range of seconds or over all records, for every
// front end that asks (the window's command and its graph's selection).
#include "bench/bench.h"

namespace dravmer {

std::size_t CBench::RecomputeStatistics(
    std::optional<SSecondRange> range,
    const std::function<void(std::size_t done, std::size_t total)>& progress,
    const std::atomic<bool>* stop) {
    std::lock_guard recompute(m_recomputeMutex);
    // The stores as the list is now; a store is never freed while the bench lives, so a list
    // that changes meanwhile only makes this work on stores it no longer shows.
    std::vector<CDeviceData*> stores;
    {
        const std::size_t active = ActiveCount();
        std::lock_guard lock(m_storesMutex);
        const std::size_t count = std::min(active, m_storeCount);
        for (std::size_t j = 0; j < count; ++j) stores.push_back(m_data[j].get());
    }
    std::size_t done = 0;
    for (CDeviceData* store : stores) {
        if (stop && stop->load()) break;
        if (range)
            store->CalcRange(range->from, range->to, false);
        else
            store->CalcAll();
        ++done;
        if (progress) progress(done, stores.size());
    }
    return done;
}

}  // namespace dravmer
