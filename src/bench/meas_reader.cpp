#include "bench/meas_reader.h"

#include <bit>
#include <cmath>

#include "platform/perf_timer.h"

namespace dravmer {

namespace {
// Catalogue indices of the channels of the first ADC reply, in channel order.
constexpr int kChannelParam[15] = {3, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 18, 19, 4, 20};

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
    const int previousCycle = static_cast<int>(GetParam(record, 1));
    SAdcData first;
    bool repeated = false;
    for (;;) {
        CPerfTimer exchange;
        if (link.ReadAdc(address, 0, first) != 0) return kMeasFailed;
        const auto exchangeUs = static_cast<std::uint32_t>(exchange.GetElapsedUs());
        const int n = static_cast<int>(first.codes.size());
        if (n == 0) return kMeasFailed;
        if (first.cycle == previousCycle && !repeated) return kMeasSameCycle;
        if (repeated && first.cycle == static_cast<int>(GetParam(record, 1))) return kMeasSameCycle;
        // A gain of 0 would turn every value of the second into an infinity: the reply is unusable.
        if (first.kr == 0 || first.kg == 0) return kMeasFailed;

        SetParam(record, 1, first.cycle);
        record.kg = first.kg;
        record.kr = first.kr;
        SetParam(record, 2, first.state);

        double scaled[15] = {};
        for (int c = 0; c < n && c < 15; ++c)
            scaled[c] = ScaleChannel(c, first.codes[static_cast<size_t>(c)], first.kg, first.kr,
                                     options.ky);
        if (n >= 14) {
            const double previousUg2 = GetParam(record, 4);
            const double newUg2 = scaled[13];
            SetParam(record, 6, previousUg2 == 0 ? newUg2 : (previousUg2 + newUg2) / 2);
            SetParam(record, 5,
                     scaled[1] >= 1.0 ? static_cast<double>(first.codes[13]) /
                                            static_cast<double>(first.codes[1])
                                      : 0.0);
        }
        for (int p : {13, 14, 16, 17, 20, 21, 22}) SetParam(record, p, 0.0);
        for (int c = 0; c < n && c < 15; ++c) SetParam(record, kChannelParam[c], scaled[c]);
        SetParam(record, 20, exchangeUs * 0.001);
        SetParam(record, 22, (GetParam(record, 16) - 16) * 35 / 64 + 0.05);
        SetParam(record, 21, 0.0);

        if (options.readTenMeasurements && !repeated) {
            SAdcData ten;
            if (link.ReadAdc(address, 1, ten) != 0) return kMeasFailed;
            for (size_t c = 0; c < ten.codes.size() && c < 10; ++c)
                SetParam(record, 23 + static_cast<int>(c),
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

    SetParam(record, 33, GetParam(record, 12) * 2.665 - 282.14);

    if (options.readCurrentValues) {
        std::vector<SValueGroup> groups;
        if (link.ReadCurrentValues(address, groups) != 0 || groups.size() < 6) return kMeasFailed;
        record.gvEr = groups[0].status;
        SetParam(record, 34, DeviceFloat(groups[0].raw));
        SetParam(record, 35, GroupValue(groups[1], false));
        SetParam(record, 36, GroupValue(groups[2], false));
        SetParam(record, 37, GroupValue(groups[3], true));
        SetParam(record, 38, GroupValue(groups[4], false));
        SetParam(record, 39, GroupValue(groups[5], false));
        SetParam(record, 21, GetParam(record, 35) - GetParam(record, 39));
    }
    if (options.readResistances) {
        std::array<SValueGroup, 3> groups{};
        if (link.ReadResistances(address, groups) != 0) return kMeasFailed;
        for (int g = 0; g < 3; ++g)
            SetParam(record, 40 + g, GroupValue(groups[static_cast<size_t>(g)], false));
    }

    const std::uint32_t second = options.experimentSecond ? options.experimentSecond() : 0;
    if (second == static_cast<std::uint32_t>(GetParam(record, 0))) return kMeasSameSecond;
    SetParam(record, 0, second);
    return 0;
}

}  // namespace dravmer
