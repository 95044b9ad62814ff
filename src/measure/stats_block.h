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

struct CDeviceData::SStats {
    double v[kSlotCount][CMeasRecord::kParamCount] = {};
    SStatState state;
    STrendResult trend;
};

}  // namespace dravmer
