#include "bench/experiment_number.h"

#include <ctime>

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
        number = store.GetInt("Dravmer", "ExperimentNumber", 1) + 1;
        store.SetInt("Dravmer", "ExperimentNumber", number);
    } else {
        store.SetString("Dravmer", "ExperimentDate", today);
        store.SetInt("Dravmer", "ExperimentNumber", 1);
    }
    return number;
}

}  // namespace dravmer
