#pragma once
// Made-up device records for the graph tests and benchmarks: every parameter a slow wave with
// noise, the UG family a step apart on odd and even seconds, and a rare spike so that a single
// extreme has to survive any reduction of the drawing.
#include <cmath>
#include <cstdint>

#include "measure/device_data.h"

namespace dravmer::graph::test {

inline double DayValue(int param, std::int64_t second, unsigned seed) {
    std::uint32_t h = static_cast<std::uint32_t>(second) * 2654435761u ^ (seed * 40503u + param * 97u);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    const double noise = (h % 2001) / 1000.0 - 1.0;  // -1 .. 1
    const double wave = std::sin(second / (600.0 + 97.0 * (param % 7) + seed * 13.0));
    double v = 10.0 * param + 5.0 * wave + 0.8 * noise;
    if (second % 9973 == static_cast<std::int64_t>(param + seed) % 97) v += 40.0;  // a spike
    return v;
}

inline CMeasRecord DayRecord(std::int64_t second, unsigned seed) {
    CMeasRecord r;
    r.time = static_cast<std::uint32_t>(second);
    r.cycle = static_cast<std::uint8_t>(second & 0xFF);
    for (int p = 3; p < CMeasRecord::kParamCount; ++p) {
        if (p == 15) continue;  // GvEr stays 0
        double v = DayValue(p, second, seed);
        if ((p == 3 || p == 18 || p == 19 || (p >= 23 && p <= 32)) && (r.cycle & 1)) v += 6.0;
        SetParam(r, p, v);
    }
    return r;
}

// Appends `count` records, one a second from `first`.
inline void FillDay(CDeviceData& store, int count, unsigned seed, std::int64_t first = 0) {
    for (int i = 0; i < count; ++i) store.AddSample(DayRecord(first + i, seed));
}

}  // namespace dravmer::graph::test
