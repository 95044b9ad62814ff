#include "measure/meas_record.h"

#include <cmath>
#include <cstddef>

namespace dravmer {
namespace {

// Where each double parameter lives; nullptr for the four integer parameters.
using DoubleField = double CMeasRecord::*;
constexpr DoubleField kDoubleFields[CMeasRecord::kParamCount] = {
    nullptr,
    nullptr,
    nullptr,
    &CMeasRecord::ug,
    &CMeasRecord::ug2,
    &CMeasRecord::gi,
    &CMeasRecord::ug2_2,
    &CMeasRecord::ig,
    &CMeasRecord::tRef,
    &CMeasRecord::t1,
    &CMeasRecord::pRef,
    &CMeasRecord::p,
    &CMeasRecord::tProc,
    &CMeasRecord::emptyPipe,
    &CMeasRecord::emptyPipeDelta,
    nullptr,
    &CMeasRecord::t2,
    &CMeasRecord::ip,
    &CMeasRecord::ugMin,
    &CMeasRecord::ugMax,
    &CMeasRecord::res1,
    &CMeasRecord::res2,
    &CMeasRecord::res3,
    nullptr,  // 23..32: UG[0]..UG[9], handled apart
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    &CMeasRecord::tempProc,
    &CMeasRecord::gv20,
    &CMeasRecord::t1_20,
    &CMeasRecord::p1_20,
    &CMeasRecord::gi20,
    &CMeasRecord::tProc20,
    &CMeasRecord::t2_20,
    &CMeasRecord::rt1_26,
    &CMeasRecord::rt2_26,
    &CMeasRecord::tps26,
};

// Truncation toward zero, then cut to the width like a C cast of an integer. Values outside the
// 64-bit range would make the conversion undefined, so they are cut first.
std::int64_t TruncateToInteger(double value) {
    if (!std::isfinite(value)) return 0;
    double t = std::trunc(value);
    if (t >= 9.2e18) return INT64_MAX;
    if (t <= -9.2e18) return INT64_MIN;
    return static_cast<std::int64_t>(t);
}

}  // namespace

double GetParam(const CMeasRecord& r, int index) {
    switch (index) {
        case param::kTime:
            return r.time;
        case param::kCycle:
            return r.cycle;
        case param::kState:
            return r.state;
        case param::kGvEr:
            return r.gvEr;
        default:
            break;
    }
    if (index >= param::kUG0 && index <= param::kUG9) return r.ugi[index - param::kUG0];
    if (index < 0 || index >= CMeasRecord::kParamCount) return 0;
    return r.*kDoubleFields[index];
}

void SetParam(CMeasRecord& r, int index, double value) {
    switch (index) {
        case param::kTime:
            r.time = static_cast<std::uint32_t>(TruncateToInteger(value));
            return;
        case param::kCycle:
            r.cycle = static_cast<std::uint8_t>(TruncateToInteger(value));
            return;
        case param::kState:
            r.state = static_cast<std::uint16_t>(TruncateToInteger(value));
            return;
        case param::kGvEr:
            r.gvEr = static_cast<std::uint8_t>(TruncateToInteger(value));
            return;
        default:
            break;
    }
    if (index >= param::kUG0 && index <= param::kUG9) {
        r.ugi[index - param::kUG0] = value;
        return;
    }
    if (index < 0 || index >= CMeasRecord::kParamCount) return;
    r.*kDoubleFields[index] = value;
}

std::ptrdiff_t DoubleParamOffset(int index) {
    if (index >= param::kUG0 && index <= param::kUG9)
        return static_cast<std::ptrdiff_t>(offsetof(CMeasRecord, ugi) +
                                           static_cast<std::size_t>(index - param::kUG0) * sizeof(double));
    if (index < 0 || index >= CMeasRecord::kParamCount || !kDoubleFields[index]) return -1;
    static const CMeasRecord probe{};
    return reinterpret_cast<const char*>(&(probe.*kDoubleFields[index])) -
           reinterpret_cast<const char*>(&probe);
}

void GetAllParams(const CMeasRecord& r, double out[CMeasRecord::kParamCount]) {
    for (int i = 0; i < CMeasRecord::kParamCount; ++i) {
        DoubleField f = kDoubleFields[i];
        if (f) out[i] = r.*f;
    }
    out[param::kTime] = r.time;
    out[param::kCycle] = r.cycle;
    out[param::kState] = r.state;
    out[param::kGvEr] = r.gvEr;
    for (int k = 0; k < 10; ++k) out[param::UGi(k)] = r.ugi[k];
}

CMeasRecord EmptyRecord() {
    CMeasRecord r;
    r.position = -1;
    r.time = static_cast<std::uint32_t>(-1);
    return r;
}

}  // namespace dravmer
