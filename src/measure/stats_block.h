#pragma once
// Private to the store: the statistics block, one row of 43 doubles per statistic and sum.
#include "measure/device_data.h"

namespace dravmer {

enum StatSlot {
    kSlotAverage,
    kSlotMin,
    kSlotMax,
    kSlotDelta,
    kSlotSigma,
    kSlotNoise,
    kSlotAverageE,
    kSlotAverageO,
    kSlotNoiseE,
    kSlotNoiseO,
    kSlotSumE,
    kSlotSumO,
    kSlotSum,
    kSlotSumSq,
    kSlotNoiseSum,
    kSlotNoiseSumE,
    kSlotNoiseSumO,
    kSlotCount
};

// A recompute walks the records of its range in order; whole blocks of a long range are taken
// from their summaries.
struct CDeviceData::SWalk {
    double prev[CMeasRecord::kParamCount], lastE[CMeasRecord::kParamCount],
        lastO[CMeasRecord::kParamCount];
    bool havePrev = false, haveE = false, haveO = false;
    int nE = 0, nO = 0;
};

struct CDeviceData::SStats {
    double v[kSlotCount][CMeasRecord::kParamCount] = {};
    SStatState state;
    STrendResult trend;
};

}  // namespace dravmer
