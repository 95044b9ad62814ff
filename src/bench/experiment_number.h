#pragma once
// Experiments are numbered per day: the first of a day is 1, then 2, 3, ... The last date
// ("%y%m%d") and number live in section Dravmer.
#include <string>

#include "platform/settings_store.h"

namespace dravmer {

// Today's date as "%y%m%d" in local time.
std::string TodayYyMmDd();
// Advances and stores the counter, 1..999 and back to 1; `today` is "%y%m%d" (tests pass their
// own dates).
int NextExperimentNumber(ISettingsStore& store, const std::string& today = TodayYyMmDd());

}  // namespace dravmer
