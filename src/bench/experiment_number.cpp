#include "bench/experiment_number.h"

#include <ctime>

#include "files/experiment_files.h"

namespace dravmer {

std::string TodayYyMmDd() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[16];
    std::strftime(buf, sizeof buf, "%y%m%d", &local);
    return buf;
}

int NextExperimentNumber(ISettingsStore& store, const std::string& today) {
    int number = 1;
    if (store.GetString("Dravmer", "ExperimentDate", "") == today) {
        // File names hold three digits: after 999 (or a stored value out of range) the day's
        // count starts again at 1, and the free-number search steps over files already there.
        const int last = store.GetInt("Dravmer", "ExperimentNumber", 1);
        number = last >= 1 && last < kMaxFileExperimentNumber ? last + 1 : 1;
        store.SetInt("Dravmer", "ExperimentNumber", number);
    } else {
        store.SetString("Dravmer", "ExperimentDate", today);
        store.SetInt("Dravmer", "ExperimentNumber", 1);
    }
    return number;
}

}  // namespace dravmer
