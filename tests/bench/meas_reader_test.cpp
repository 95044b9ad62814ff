#include "bench/meas_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <deque>
#include <limits>

namespace dravmer {
namespace {

// Codes that scale to round numbers: full scale 8388608 codes is 2500 mV before the gain.
std::int32_t CodeForMv(double mv, int gain = 1) {
    return static_cast<std::int32_t>(std::lround(mv * gain / AdcScale()));
}

std::uint32_t FloatBits(float f) { return std::bit_cast<std::uint32_t>(f); }

// Replies given in order; a missing reply is a failed exchange.
class ScriptedLink : public IMeasLink {
public:
    std::deque<SAdcData> adc;
    std::deque<std::vector<SValueGroup>> current;
    std::deque<std::array<SValueGroup, 3>> resistances;
    std::vector<int> modesAsked;

    int ReadAdc(std::uint32_t, int mode, SAdcData& out) override {
        modesAsked.push_back(mode);
        if (adc.empty()) return -1;
        out = adc.front();
        adc.pop_front();
        return 0;
    }
    int ReadCurrentValues(std::uint32_t, std::vector<SValueGroup>& groups) override {
        if (current.empty()) return -1;
        groups = current.front();
        current.pop_front();
        return 0;
    }
    int ReadResistances(std::uint32_t, std::array<SValueGroup, 3>& groups) override {
        if (resistances.empty()) return -1;
        groups = resistances.front();
        resistances.pop_front();
        return 0;
    }
};

// A first reply of n channels: UG 40 µV-ish, IG 80 mV, tоп 100 mV, t пр 120 mV, t2 16 mV,
// UG2 from code 1000.
SAdcData FirstReply(int n, std::uint8_t cycle, std::uint8_t kg = 16, std::uint8_t kr = 1) {
    SAdcData d;
    d.mode = 0;
    d.cycle = cycle;
    d.kg = kg;
    d.kr = kr;
    d.state = 0xA3;
    d.codes.assign(static_cast<size_t>(n), 0);
    auto set = [&](int c, std::int32_t v) {
        if (c < n) d.codes[static_cast<size_t>(c)] = v;
    };
    set(0, 5000);
    set(1, CodeForMv(80, kr));
    set(2, CodeForMv(100, kr));
    set(6, CodeForMv(120, kr));
    set(7, -3000);
    set(8, 2000);
    set(9, CodeForMv(16, kr));
    set(13, 1000);
    set(14, 777);
    return d;
}

SAdcData TenReply(std::uint8_t cycle, std::uint8_t kg = 16) {
    SAdcData d;
    d.mode = 1;
    d.cycle = cycle;
    d.kg = kg;
    for (int i = 0; i < 10; ++i) d.codes.push_back(100 * (i + 1));
    return d;
}

std::vector<SValueGroup> CurrentGroups(float gv, float t1, float t2) {
    return {{0, FloatBits(gv)}, {0, FloatBits(t1)},    {0, FloatBits(1.5f)},
            {0, 1234},          {0, FloatBits(36.6f)}, {0, FloatBits(t2)}};
}

SMeasReadOptions Options(std::uint32_t second, bool ten = true, bool cmd20 = true,
                         bool cmd26 = true) {
    SMeasReadOptions o;
    o.ky = 19.93;
    o.readTenMeasurements = ten;
    o.readCurrentValues = cmd20;
    o.readResistances = cmd26;
    o.experimentSecond = [second] { return second; };
    return o;
}

TEST(ReadMeasRecord, ScalesElectrodeAndAuxiliaryChannelsAndDerivesValues) {
    ScriptedLink link;
    link.adc = {FirstReply(15, 5), TenReply(5)};
    link.current = {CurrentGroups(2.5f, 20.0f, 18.0f)};
    link.resistances = {{{{0, FloatBits(110.0f)}, {0, FloatBits(111.0f)}, {0, FloatBits(25.0f)}}}};
    CMeasRecord r = EmptyRecord();
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(3)), 0);
    const double k = AdcScale();
    EXPECT_DOUBLE_EQ(k, 2.980232416405226e-4);
    EXPECT_DOUBLE_EQ(GetParam(r, 3), 5000 * k / 16 * 1000 / 19.93);
    EXPECT_NEAR(GetParam(r, 7), 80.0, 1e-3);
    EXPECT_NEAR(GetParam(r, 8), 100.0, 1e-3);
    EXPECT_DOUBLE_EQ(GetParam(r, 13), -3000 * k / 16 * 1000 / 19.93);
    EXPECT_NEAR(GetParam(r, 33), 120 * 2.665 - 282.14, 1e-3);  // Temp пр = 37.66 °C
    EXPECT_NEAR(GetParam(r, 22), 0.05, 1e-4) << "Рез3 from t2 = 16 mV";
    EXPECT_NE(GetParam(r, 20), 777 * k / 16 * 1000 / 19.93) << "Рез1 is the exchange time";
    EXPECT_GE(GetParam(r, 20), 0.0);
    EXPECT_DOUBLE_EQ(GetParam(r, 4), 1000 * k / 16 * 1000 / 19.93);
    EXPECT_DOUBLE_EQ(GetParam(r, 6), GetParam(r, 4)) << "previous UG2 was 0";
    EXPECT_DOUBLE_EQ(GetParam(r, 5), 1000.0 / CodeForMv(80)) << "Gi = raw UG2 / raw IG";
    EXPECT_DOUBLE_EQ(GetParam(r, 23), 100 * k / 16 * 1000 / 19.93);
    EXPECT_DOUBLE_EQ(GetParam(r, 32), 1000 * k / 16 * 1000 / 19.93);
    EXPECT_DOUBLE_EQ(GetParam(r, 34), 2.5f);
    EXPECT_DOUBLE_EQ(GetParam(r, 37), 1234.0) << "Gи is a count, not a float";
    EXPECT_DOUBLE_EQ(GetParam(r, 21), 20.0 - 18.0) << "Рез2 = t1(20) - t2(20)";
    EXPECT_DOUBLE_EQ(GetParam(r, 40), 110.0);
    EXPECT_EQ(GetParam(r, 0), 3.0);
    EXPECT_EQ(GetParam(r, 1), 5.0);
    EXPECT_EQ(GetParam(r, 2), 0xA3);
    EXPECT_EQ(r.kg, 16);
    EXPECT_EQ((std::vector<int>{0, 1}), link.modesAsked);
}

TEST(ReadMeasRecord, GainOneInvertsElectrodeChannelsButNotTheEmptyPipeDifference) {
    ScriptedLink link;
    link.adc = {FirstReply(15, 1, /*kg=*/1), TenReply(1, 1)};
    CMeasRecord r = EmptyRecord();
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(1, true, false, false)), 0);
    const double k = AdcScale();
    EXPECT_DOUBLE_EQ(GetParam(r, 3), 5000 * k / 16 * 1000 * -1);
    EXPECT_DOUBLE_EQ(GetParam(r, 13), -3000 * k / 16 * 1000 * -1);
    EXPECT_DOUBLE_EQ(GetParam(r, 14), 2000 * k / 16 * 1000) << "dД пт keeps the sign of its code";
    EXPECT_DOUBLE_EQ(GetParam(r, 23), 100 * k / 16 * 1000 * -1);
}

TEST(ReadMeasRecord, Ug2AveragesWithThePreviousSecondAndGiNeedsCurrent) {
    ScriptedLink link;
    CMeasRecord r = EmptyRecord();
    auto first = FirstReply(14, 1);
    first.codes[13] = CodeForMv(40.0 * 19.93 / 1000, 16);  // UG2 = 40 µV
    link.adc = {first};
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(1, false, false, false)), 0);
    EXPECT_NEAR(GetParam(r, 6), 40.0, 1e-3);
    auto next = FirstReply(14, 2);
    next.codes[13] = CodeForMv(60.0 * 19.93 / 1000, 16);
    next.codes[1] = CodeForMv(0.99);  // IG below 1 mV
    link.adc = {next};
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(2, false, false, false)), 0);
    EXPECT_NEAR(GetParam(r, 6), 50.0, 1e-3);
    EXPECT_EQ(GetParam(r, 5), 0.0);
}

TEST(ReadMeasRecord, ThirteenChannelsKeepUg2AndItsDerivedValues) {
    ScriptedLink link;
    CMeasRecord r = EmptyRecord();
    SetParam(r, 4, 11.0);
    SetParam(r, 5, 0.5);
    SetParam(r, 6, 12.0);
    SetParam(r, 17, 9.0);
    link.adc = {FirstReply(13, 1)};
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(1, false, false, false)), 0);
    EXPECT_EQ(GetParam(r, 4), 11.0);
    EXPECT_EQ(GetParam(r, 5), 0.5);
    EXPECT_EQ(GetParam(r, 6), 12.0);
    EXPECT_NE(GetParam(r, 17), 9.0) << "IP comes from channel 10";
    link.adc = {FirstReply(9, 2)};
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(2, false, false, false)), 0);
    EXPECT_EQ(GetParam(r, 16), 0.0) << "t2 without channel 9 reads 0";
    EXPECT_EQ(GetParam(r, 17), 0.0);
    EXPECT_NEAR(GetParam(r, 22), -16 * 35.0 / 64 + 0.05, 1e-9);
}

TEST(ReadMeasRecord, SameCycleSameSecondAndFailuresLeaveNothingNew) {
    ScriptedLink link;
    CMeasRecord r = EmptyRecord();
    SetParam(r, 1, 9);
    SetParam(r, 0, 4);
    link.adc = {FirstReply(15, 9)};
    EXPECT_EQ(ReadMeasRecord(link, 7, r, Options(5)), kMeasSameCycle);
    link.adc = {FirstReply(15, 10)};
    EXPECT_EQ(ReadMeasRecord(link, 7, r, Options(4, false, false, false)), kMeasSameSecond);
    link.adc = {FirstReply(15, 11)};  // the ten-measurement read fails
    EXPECT_EQ(ReadMeasRecord(link, 7, r, Options(6)), kMeasFailed);
    link.adc = {FirstReply(0, 12)};
    EXPECT_EQ(ReadMeasRecord(link, 7, r, Options(6)), kMeasFailed);
    link.adc = {FirstReply(15, 13, 16, /*kr=*/0)};
    EXPECT_EQ(ReadMeasRecord(link, 7, r, Options(6)), kMeasFailed) << "a gain of 0 is unusable";
    link.adc = {FirstReply(15, 14)};
    link.current = {{{0, 0}, {0, 0}}};  // two groups only
    EXPECT_EQ(ReadMeasRecord(link, 7, r, Options(6, false, true, false)), kMeasFailed);
}

TEST(ReadMeasRecord, ACycleChangeBetweenTheTwoRepliesRepeatsTheFirstReadOnce) {
    ScriptedLink link;
    CMeasRecord r = EmptyRecord();
    auto ten = TenReply(6);
    link.adc = {FirstReply(15, 5), ten, FirstReply(15, 6)};
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(1, true, false, false)), 0);
    EXPECT_EQ((std::vector<int>{0, 1, 0}), link.modesAsked) << "no second ten-measurement read";
    EXPECT_EQ(GetParam(r, 1), 6.0);
    EXPECT_DOUBLE_EQ(GetParam(r, 23), 100 * AdcScale() / 16 * 1000 / 19.93);

    // The repeated read still shows the counter of the first pass: nothing new yet.
    link.modesAsked.clear();
    link.adc = {FirstReply(15, 7), TenReply(8), FirstReply(15, 7)};
    EXPECT_EQ(ReadMeasRecord(link, 7, r, Options(2, true, false, false)), kMeasSameCycle);
}

TEST(ReadMeasRecord, DeviceStatusesAndInvalidFloatsStayVisible) {
    ScriptedLink link;
    CMeasRecord r = EmptyRecord();
    auto groups = CurrentGroups(std::numeric_limits<float>::quiet_NaN(), 20.0f, 18.0f);
    groups[0].status = 5;  // GvEr: empty pipe
    groups[1].status = 3;
    groups[5].raw = FloatBits(std::numeric_limits<float>::infinity());
    link.adc = {FirstReply(15, 1)};
    link.current = {groups};
    link.resistances = {{{{2, FloatBits(1.0f)}, {0, FloatBits(1e-41f)}, {0, 0}}}};
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(1, false, true, true)), 0);
    EXPECT_EQ(GetParam(r, 15), 5.0);
    EXPECT_EQ(GetParam(r, 34), -20.0) << "NaN flow";
    EXPECT_EQ(GetParam(r, 35), -3.0) << "status 3";
    EXPECT_EQ(GetParam(r, 39), -20.0) << "infinite t2";
    EXPECT_EQ(GetParam(r, 21), -3.0 - -20.0);
    EXPECT_EQ(GetParam(r, 40), -2.0);
    EXPECT_EQ(GetParam(r, 41), -20.0) << "denormal";
}

TEST(ReadMeasRecord, OptionalReadsOffKeepThePreviousValues) {
    ScriptedLink link;
    CMeasRecord r = EmptyRecord();
    SetParam(r, 34, 7.5);
    SetParam(r, 15, 2);
    SetParam(r, 40, 100.0);
    SetParam(r, 27, 3.0);
    link.adc = {FirstReply(15, 1)};
    ASSERT_EQ(ReadMeasRecord(link, 7, r, Options(1, false, false, false)), 0);
    EXPECT_EQ(GetParam(r, 34), 7.5);
    EXPECT_EQ(GetParam(r, 15), 2.0);
    EXPECT_EQ(GetParam(r, 40), 100.0);
    EXPECT_EQ(GetParam(r, 27), 3.0);
    EXPECT_EQ(GetParam(r, 21), 0.0) << "Рез2 is 0 without the current values";
    EXPECT_EQ((std::vector<int>{0}), link.modesAsked);
}

}  // namespace
}  // namespace dravmer
