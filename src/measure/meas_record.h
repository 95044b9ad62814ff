#pragma once
// One device's measurement of one second: 43 parameters addressed by catalogue index 0..42.
// The same type carries one value per parameter for each statistic. The storage order differs
// from the catalogue order; only GetParam/SetParam know the mapping.
#include <cstddef>
#include <cstdint>

#include "measure/param_index.h"

namespace dravmer {

struct CMeasRecord {
    static constexpr int kParamCount = dravmer::kParamCount;

    std::int32_t position = 0;  // index in its store; -1 in an empty store's placeholder
    std::uint32_t time = 0;     // время: whole seconds of the experiment clock (index 0)
    std::uint8_t cycle = 0;     // Цикл: the device's own second counter (index 1)
    std::uint8_t kg = 0;        // gain byte of the electrode channels
    std::uint8_t kr = 0;        // gain byte of the other channels
    std::uint16_t state = 0;    // Cст: state bit mask (index 2)
    double ug = 0, ug2 = 0, gi = 0, ug2_2 = 0, ig = 0, tRef = 0, t1 = 0, t2 = 0, pRef = 0, p = 0,
           tProc = 0, emptyPipe = 0, emptyPipeDelta = 0, ugMin = 0, ugMax = 0;
    double ugi[10] = {};  // UG[0]..UG[9]
    double tempProc = 0, ip = 0, res1 = 0, res2 = 0, res3 = 0;
    double gv20 = 0, t1_20 = 0, p1_20 = 0, gi20 = 0, tProc20 = 0, t2_20 = 0, rt1_26 = 0, rt2_26 = 0,
           tps26 = 0;
    std::uint8_t gvEr = 0;  // GvEr: flow channel error code (index 15)
};

static_assert(sizeof(CMeasRecord) == 336, "the store's growth rule counts 336-byte records");

// Index 0 as unsigned 32-bit, 1 and 15 as bytes, 2 as unsigned 16-bit, the rest as stored.
// An index outside 0..42 gives 0.
double GetParam(const CMeasRecord& r, int index);
// Integer parameters (0, 1, 2, 15) take the value truncated toward zero and then cut to the
// field's width (so -3 in a byte reads 253); a value that is not finite stores 0. An index
// outside 0..42 changes nothing.
void SetParam(CMeasRecord& r, int index, double value);

// Byte offset of a double parameter inside the record, -1 for the integer parameters and for
// indices outside 0..42 (loaders unpack columns straight into their fields with it).
std::ptrdiff_t DoubleParamOffset(int index);

// All 43 parameters at once, in catalogue order (the statistics walk records this way).
void GetAllParams(const CMeasRecord& r, double out[CMeasRecord::kParamCount]);

// The record of an empty store: zeroed, position and time -1.
CMeasRecord EmptyRecord();

}  // namespace dravmer
