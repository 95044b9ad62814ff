#include "bench/meas_reader.h"

#include <bit>
#include <cmath>

#include "measure/param_index.h"
#include "platform/perf_timer.h"

namespace dravmer {

namespace {
// Catalogue indices of the channels of the first ADC reply, in channel order.
using namespace param;
constexpr int kChannelParam[15] = {kUG,  kIG, kTOp,  kT1,   kPOp, kP,   kTPr, kDPt,
                                   kDDPt, kT2, kIP,  kUGmin, kUGmax, kUG2, kRes1};

bool IsAuxiliary(int channel) {
    return (channel >= 1 && channel <= 6) || channel == 9 || channel == 10;
}

// Status byte s != 0 shows as -s, so a device's refusal is visible in tables and files.
double GroupValue(const SValueGroup& g, bool isCount) {
    if (g.status != 0) return -static_cast<double>(g.status);
    return isCount ? static_cast<double>(g.raw) : DeviceFloat(g.raw);
}
}  // namespace

double AdcScale() { return std::bit_cast<double>(std::uint64_t{0x3F33880013880014ull}); }

double ScaleElectrode(std::int32_t code, std::uint8_t kg, double ky) {
    if (kg == 1) return code * AdcScale() / 16 * 1000 * -1;
    return code * AdcScale() / kg * 1000 / ky;
}

double ScaleChannel(int channel, std::int32_t code, std::uint8_t kg, std::uint8_t kr, double ky) {
    if (IsAuxiliary(channel)) return code * AdcScale() / kr;
    double v = ScaleElectrode(code, kg, ky);
    // With gain 1 the electrode channels come inverted; the empty-pipe difference does not.
    if (kg == 1 && channel == 8) v = -v;
    return v;
}

double DeviceFloat(std::uint32_t raw) {
    const float f = std::bit_cast<float>(raw);
    if (std::isnan(f) || std::isinf(f) || std::fpclassify(f) == FP_SUBNORMAL) return -20.0;
    return f;
}

int ReadMeasRecord(IMeasLink& link, std::uint32_t address, CMeasRecord& record,
                   const SMeasReadOptions& options) {
    const int previousCycle = static_cast<int>(GetParam(record, kCycle));
    SAdcData first;
    bool repeated = false;
    for (;;) {
        CPerfTimer exchange;
        if (link.ReadAdc(address, 0, first) != 0) return kMeasFailed;
        const auto exchangeUs = static_cast<std::uint32_t>(exchange.GetElapsedUs());
        const int n = static_cast<int>(first.codes.size());
        if (n == 0) return kMeasFailed;
        if (first.cycle == previousCycle && !repeated) return kMeasSameCycle;
        if (repeated && first.cycle == static_cast<int>(GetParam(record, kCycle))) return kMeasSameCycle;
        // A gain of 0 would turn every value of the second into an infinity: the reply is unusable.
        if (first.kr == 0 || first.kg == 0) return kMeasFailed;

        SetParam(record, kCycle, first.cycle);
        record.kg = first.kg;
        record.kr = first.kr;
        SetParam(record, kState, first.state);

        double scaled[15] = {};
        for (int c = 0; c < n && c < 15; ++c)
            scaled[c] = ScaleChannel(c, first.codes[static_cast<size_t>(c)], first.kg, first.kr,
                                     options.ky);
        if (n >= 14) {
            const double previousUg2 = GetParam(record, kUG2);
            const double newUg2 = scaled[13];
            SetParam(record, kUG2_2, previousUg2 == 0 ? newUg2 : (previousUg2 + newUg2) / 2);
            SetParam(record, kGi,
                     scaled[1] >= 1.0 ? static_cast<double>(first.codes[13]) /
                                            static_cast<double>(first.codes[1])
                                      : 0.0);
        }
        for (int p : {kDPt, kDDPt, kT2, kIP, kRes1, kRes2, kRes3}) SetParam(record, p, 0.0);
        for (int c = 0; c < n && c < 15; ++c) SetParam(record, kChannelParam[c], scaled[c]);
        SetParam(record, kRes1, exchangeUs * 0.001);
        SetParam(record, kRes3, (GetParam(record, kT2) - 16) * 35 / 64 + 0.05);
        SetParam(record, kRes2, 0.0);

        if (options.readTenMeasurements && !repeated) {
            SAdcData ten;
            if (link.ReadAdc(address, 1, ten) != 0) return kMeasFailed;
            for (size_t c = 0; c < ten.codes.size() && c < 10; ++c)
                SetParam(record, UGi(static_cast<int>(c)),
                         ScaleElectrode(ten.codes[c], ten.kg, options.ky));
            if (ten.cycle != first.cycle) {
                // The device moved on between the two replies: read the new second once more,
                // keeping these ten values.
                repeated = true;
                continue;
            }
        }
        break;
    }

    SetParam(record, kTempPr, GetParam(record, kTPr) * 2.665 - 282.14);

    if (options.readCurrentValues) {
        std::vector<SValueGroup> groups;
        if (link.ReadCurrentValues(address, groups) != 0 || groups.size() < 6) return kMeasFailed;
        record.gvEr = groups[0].status;
        SetParam(record, kGv20, DeviceFloat(groups[0].raw));
        SetParam(record, kT1_20, GroupValue(groups[1], false));
        SetParam(record, kP1_20, GroupValue(groups[2], false));
        SetParam(record, kGi20, GroupValue(groups[3], true));
        SetParam(record, kTPr20, GroupValue(groups[4], false));
        SetParam(record, kT2_20, GroupValue(groups[5], false));
        SetParam(record, kRes2, GetParam(record, kT1_20) - GetParam(record, kT2_20));
    }
    if (options.readResistances) {
        std::array<SValueGroup, 3> groups{};
        if (link.ReadResistances(address, groups) != 0) return kMeasFailed;
        for (int g = 0; g < 3; ++g)
            SetParam(record, kRt1_26 + g, GroupValue(groups[static_cast<size_t>(g)], false));
    }

    const std::uint32_t second = options.experimentSecond ? options.experimentSecond() : 0;
    if (second == static_cast<std::uint32_t>(GetParam(record, kTime))) return kMeasSameSecond;
    SetParam(record, kTime, second);
    return 0;
}

}  // namespace dravmer
