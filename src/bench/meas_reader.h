#pragma once
// One poll of one device: the ADC reply of the last second (and, when wanted, its ten electrode
// measurements, the device's own current values and resistances) turned into a record.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/adc_reply.h"
#include "measure/meas_record.h"

namespace dravmer {

// The ADC reply of command 25 as the device sends it.
using SAdcData = SAdcReply;

// A status byte and a 32-bit value (a float, or a count for Gи).
struct SValueGroup {
    std::uint8_t status = 0;
    std::uint32_t raw = 0;
};

// The three reads a poll makes; the link adapter implements it over a port's protocol object,
// tests with scripted replies.
class IMeasLink {
public:
    virtual ~IMeasLink() = default;
    virtual int ReadAdc(std::uint32_t address, int mode, SAdcData& out) = 0;
    // groups: as many as the device sent (at most six used)
    virtual int ReadCurrentValues(std::uint32_t address, std::vector<SValueGroup>& groups) = 0;
    virtual int ReadResistances(std::uint32_t address, std::array<SValueGroup, 3>& groups) = 0;
};

struct SMeasReadOptions {
    double ky = 19.93;
    bool readTenMeasurements = true;
    bool readCurrentValues = true;
    bool readResistances = true;
    std::function<std::uint32_t()> experimentSecond;  // whole seconds on the experiment clock
};

// Results besides 0 (a new record in `record`).
inline constexpr int kMeasFailed = -1;      // an exchange failed or a reply was unusable
inline constexpr int kMeasSameCycle = -2;   // the device has not finished a new second
inline constexpr int kMeasSameSecond = -3;  // the experiment clock is still in the same second

// `record` comes in as a copy of the device's newest record, so whatever this poll does not
// deliver keeps the previous second's value.
int ReadMeasRecord(IMeasLink& link, std::uint32_t address, CMeasRecord& record,
                   const SMeasReadOptions& options);

// The scaling constant: the double with bit pattern 0x3F33880013880014.
double AdcScale();
// Scales one first-reply channel the way the device's front end needs it.
double ScaleChannel(int channel, std::int32_t code, std::uint8_t kg, std::uint8_t kr, double ky);
// Electrode formula for every channel of the ten-measurement reply.
double ScaleElectrode(std::int32_t code, std::uint8_t kg, double ky);
// A device float: NaN, infinite or denormal become -20.0.
double DeviceFloat(std::uint32_t raw);

}  // namespace dravmer
