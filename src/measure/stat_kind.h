#pragma once
// The statistics a store keeps per parameter, in the order the selectors and texts use.
#include <string_view>

namespace dravmer {

enum class StatKind {
    Current = 0,
    AverageE = 1,
    AverageO = 2,
    Average = 3,
    Min = 4,
    Max = 5,
    Delta = 6,
    Sigma = 7,
    Noise = 8,
    NoiseE = 9,
    NoiseO = 10,
};

inline constexpr int kStatKindCount = 11;

// "Current", "AverageE", ... "NoiseO" (the names of JSON keys and of the table rows).
constexpr std::string_view StatKindName(StatKind kind) {
    constexpr std::string_view kNames[kStatKindCount] = {
        "Current", "AverageE", "AverageO", "Average", "Min",   "Max",
        "Delta",   "Sigma",    "Noise",    "NoiseE",  "NoiseO"};
    int k = static_cast<int>(kind);
    return k >= 0 && k < kStatKindCount ? kNames[k] : std::string_view();
}

}  // namespace dravmer
