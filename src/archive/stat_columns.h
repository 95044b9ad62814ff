#pragma once
// What the archive's files share: the columns of the statistics table.
#include "measure/stat_kind.h"

namespace dravmer::archive {

// Column of each statistic kind in device_stats, in StatKind order.
inline constexpr const char* kStatColumns[kStatKindCount] = {
    "current_v", "average_e", "average_o", "average", "min_v",  "max_v",
    "delta",     "sigma",     "noise",     "noise_e", "noise_o"};

}  // namespace dravmer::archive
