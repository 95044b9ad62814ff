#pragma once
// The 43 parameters of a measurement record by name, in catalogue order, and their count. Code
// names a parameter through these, never through its bare index.
namespace dravmer {

inline constexpr int kParamCount = 43;

namespace param {
enum Index : int {
    kTime = 0,   // время: whole seconds of the experiment clock
    kCycle,      // Цикл: the device's own second counter
    kState,      // Cст: state bit mask
    kUG,         // electrode signal, mean of the second
    kUG2,        // electrode signal of the second half-period
    kGi,         // flow computed from UG2
    kUG2_2,      // mean of this and the last UG2
    kIG,         // coil-current shunt
    kTOp,        // tоп: temperature reference channel
    kT1,         // t1: temperature channel 1
    kPOp,        // Pоп: pressure reference channel
    kP,          // P: pressure channel
    kTPr,        // t пр: processor temperature channel
    kDPt,        // Д пт: empty-pipe detector
    kDDPt,       // dД пт: empty-pipe detector change
    kGvEr,       // flow channel error code
    kT2,         // t2: temperature channel 2
    kIP,         // pressure-sensor current
    kUGmin,      // smallest of the ten measurements
    kUGmax,      // largest of the ten measurements
    kRes1,       // Рез1: exchange time of the second, ms
    kRes2,       // Рез2: t1(20) - t2(20)
    kRes3,       // Рез3: from t2
    kUG0,        // UG[0]; UG[1]..UG[9] follow
    kUG9 = kUG0 + 9,
    kTempPr,     // Temp пр: processor temperature, °C
    kGv20,       // the device's own values, read on request
    kT1_20,
    kP1_20,
    kGi20,
    kTPr20,
    kT2_20,
    kRt1_26,     // sensor resistances, read on request
    kRt2_26,
    kTps26,
};
static_assert(kTps26 + 1 == kParamCount, "one name per parameter");

// The ten within-second measurements UG[0..9].
constexpr int UGi(int i) { return kUG0 + i; }
}  // namespace param

// Statistics cover the parameters from UG on.
inline constexpr int kStatFirstParam = param::kUG;

}  // namespace dravmer
