#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "measure/device_data.h"

namespace dravmer {
namespace {

constexpr int kUG = 3;

CMeasRecord Rec(std::uint32_t second, int cycle, double ug) {
    CMeasRecord r;
    r.time = second;
    r.cycle = static_cast<std::uint8_t>(cycle);
    r.ug = ug;
    return r;
}

double Stat(const CDeviceData& s, StatKind k, int param = kUG) { return s.GetStatValue(k, param); }

// Both ways of computing must give the hand-computed values.
enum class Mode { Running, Recomputed };
class StatsBothModes : public ::testing::TestWithParam<Mode> {
protected:
    void Finish(CDeviceData& s) {
        if (GetParam() == Mode::Recomputed) s.CalcAll();
    }
};

TEST_P(StatsBothModes, TwoRecordsOfOppositeParity) {
    CDeviceData s;
    s.AddSample(Rec(0, 4, 10));
    s.AddSample(Rec(1, 5, 14));
    Finish(s);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Average), 12);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Min), 10);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Max), 14);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Delta), 4);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Sigma), std::sqrt(8.0));
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Noise), std::sqrt(8.0));
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageE), 10);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageO), 14);
    EXPECT_EQ(Stat(s, StatKind::NoiseE), 0);
    EXPECT_EQ(Stat(s, StatKind::NoiseO), 0);
    SStatState st = s.GetStatState();
    EXPECT_EQ(st.n, 2);
    EXPECT_EQ(st.nE, 1);
    EXPECT_EQ(st.nO, 1);
    EXPECT_EQ(st.firstSecond, 0);
    EXPECT_EQ(st.lastSecond, 1);
    EXPECT_FALSE(st.rangeMode);
}

TEST_P(StatsBothModes, EvenNoisePairsTheTwoEvenRecords) {
    CDeviceData s;
    s.AddSample(Rec(0, 2, 1));
    s.AddSample(Rec(1, 3, 5));
    s.AddSample(Rec(2, 4, 2));
    Finish(s);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::NoiseE), std::sqrt(0.5));
    EXPECT_EQ(Stat(s, StatKind::NoiseO), 0);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageE), 1.5);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Noise), std::sqrt((16.0 + 9.0) / 4));
}

TEST_P(StatsBothModes, MissedSecondPairsWithPredecessorAndNearestSameParity) {
    CDeviceData s;
    s.AddSample(Rec(0, 2, 1));
    s.AddSample(Rec(1, 3, 5));
    s.AddSample(Rec(3, 5, 9));  // second 2 was lost: two odd records in a row
    Finish(s);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Noise), std::sqrt(32.0 / 4));
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::NoiseO), std::sqrt(16.0 / 2));
    EXPECT_EQ(Stat(s, StatKind::NoiseE), 0);  // one even record: no spread
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageO), 7);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageE), 1);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Sigma), 4);
}

TEST_P(StatsBothModes, GvErTakesPartLikeEveryOtherParameter) {
    CDeviceData s;
    CMeasRecord a = Rec(0, 0, 0), b = Rec(1, 1, 0);
    a.gvEr = 0;
    b.gvEr = 5;
    s.AddSample(a);
    s.AddSample(b);
    Finish(s);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Average, 15), 2.5);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Max, 15), 5);
    EXPECT_EQ(::dravmer::GetParam(s.GetStat(StatKind::Average), 15), 2);  // the record holds a byte
}

TEST_P(StatsBothModes, OneRecordHasNoSpreadAndNoOtherParity) {
    CDeviceData s;
    s.AddSample(Rec(0, 6, 3.5));
    Finish(s);
    EXPECT_EQ(Stat(s, StatKind::Sigma), 0);
    EXPECT_EQ(Stat(s, StatKind::Noise), 0);
    EXPECT_EQ(Stat(s, StatKind::Average), 3.5);
    EXPECT_EQ(Stat(s, StatKind::Delta), 0);
    EXPECT_EQ(s.GetStatState().n, 1);
}

INSTANTIATE_TEST_SUITE_P(Statistics, StatsBothModes,
                         ::testing::Values(Mode::Running, Mode::Recomputed));

TEST(Statistics, RangeRecomputeUsesOnlyTheRangeAndFreezes) {
    CDeviceData s;
    for (int t = 0; t < 10; ++t) s.AddSample(Rec(t, t, t * t));
    s.CalcRange(3, 6, false);  // values 9, 16, 25, 36
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Average), 21.5);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageE), 26);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageO), 17);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Min), 9);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Delta), 27);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Sigma), std::sqrt(409.0 / 3));
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Noise), std::sqrt(251.0 / 6));
    // The even noise does not reach back to record 2 (value 4) before the range.
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::NoiseE), std::sqrt(400.0 / 2));
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::NoiseO), std::sqrt(256.0 / 2));
    SStatState st = s.GetStatState();
    EXPECT_TRUE(st.rangeMode);
    EXPECT_EQ(st.firstSecond, 3);
    EXPECT_EQ(st.lastSecond, 6);
    EXPECT_EQ(st.rangeFirstIndex, 3);

    s.AddSample(Rec(10, 10, 1000));  // stored, but the statistics stay frozen
    EXPECT_EQ(s.GetCount(), 11);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Average), 21.5);
    EXPECT_EQ(s.GetStatState().lastSecond, 6);

    s.CalcAll();
    EXPECT_FALSE(s.GetStatState().rangeMode);
    EXPECT_EQ(s.GetStatState().lastSecond, 10);
    s.AddSample(Rec(11, 11, 0));  // running again
    EXPECT_EQ(s.GetStatState().n, 12);
    EXPECT_EQ(Stat(s, StatKind::Min), 0);
}

TEST(Statistics, ReversedRangeBoundsAreOrdered) {
    CDeviceData s;
    for (int t = 0; t < 10; ++t) s.AddSample(Rec(t, t, t));
    s.CalcRange(6, 3, false);
    EXPECT_EQ(s.GetStatState().n, 4);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Average), 4.5);
}

TEST(Statistics, RangeWithoutOddRecordsReadsZeroForThem) {
    CDeviceData s;
    for (int t = 0; t < 6; ++t) s.AddSample(Rec(t, 2 * t, 1.0 + t));  // all even
    s.CalcRange(1, 4, false);
    EXPECT_EQ(s.GetStatState().nO, 0);
    EXPECT_EQ(Stat(s, StatKind::AverageO), 0);
    EXPECT_EQ(Stat(s, StatKind::NoiseO), 0);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageE), 3.5);
}

TEST(Statistics, RestartMakesTheNewestRecordTheFirst) {
    CDeviceData s;
    EXPECT_FALSE(s.RestartStats(true));  // nothing stored
    s.AddSample(Rec(0, 0, 100));
    s.AddSample(Rec(1, 1, 7));
    EXPECT_FALSE(s.RestartStats(false));  // acquisition stopped: nothing happens
    EXPECT_EQ(s.GetStatState().n, 2);
    ASSERT_TRUE(s.RestartStats(true));
    SStatState st = s.GetStatState();
    EXPECT_EQ(st.n, 1);
    EXPECT_EQ(st.nE, 0);
    EXPECT_EQ(st.nO, 1);
    EXPECT_EQ(st.firstSecond, 1);
    EXPECT_EQ(Stat(s, StatKind::AverageE), 7);
    EXPECT_EQ(Stat(s, StatKind::AverageO), 7);
    EXPECT_FALSE(s.GetTrend().upper);

    // The first even record after the restart finds the even record before it: its pair is
    // counted for later, but one even record in range has no spread yet.
    s.AddSample(Rec(2, 2, 110));
    EXPECT_EQ(Stat(s, StatKind::NoiseE), 0);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::AverageE), 110);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::Average), 58.5);
    s.AddSample(Rec(3, 3, 7));
    s.AddSample(Rec(4, 4, 112));
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::NoiseE), std::sqrt((100.0 + 4.0) / 2));
    // A recompute of the same records stops at the range start and sees only the later pair.
    s.CalcRange(1, 4, false);
    EXPECT_DOUBLE_EQ(Stat(s, StatKind::NoiseE), std::sqrt(4.0 / 2));
}

// Running and recomputed statistics agree with a plain two-pass computation on noisy data.
TEST(Statistics, RunningAndRecomputeMatchTwoPassValues) {
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(50, 3);
    CDeviceData s;
    std::vector<double> v;
    std::vector<int> cyc;
    int cycle = 0;
    for (int t = 0; t < 500; ++t) {
        cycle += (t % 37 == 0) ? 2 : 1;  // an occasional lost second
        double x = noise(rng);
        CMeasRecord r = Rec(t, cycle & 0xFF, x);
        r.tps26 = -x;
        s.AddSample(r);
        v.push_back(x);
        cyc.push_back(cycle & 0xFF);
    }
    double sum = 0, sumE = 0, sumO = 0, ns = 0, nsE = 0, nsO = 0;
    int nE = 0, nO = 0, lastE = -1, lastO = -1;
    for (size_t i = 0; i < v.size(); ++i) {
        sum += v[i];
        if (i) ns += (v[i] - v[i - 1]) * (v[i] - v[i - 1]);
        bool even = (cyc[i] & 1) == 0;
        int& last = even ? lastE : lastO;
        if (last >= 0) (even ? nsE : nsO) += (v[i] - v[last]) * (v[i] - v[last]);
        last = static_cast<int>(i);
        (even ? sumE : sumO) += v[i];
        (even ? nE : nO) += 1;
    }
    double n = static_cast<double>(v.size()), avg = sum / n, var = 0;
    for (double x : v) var += (x - avg) * (x - avg);
    auto check = [&] {
        EXPECT_NEAR(Stat(s, StatKind::Average), avg, 1e-9);
        EXPECT_NEAR(Stat(s, StatKind::Sigma), std::sqrt(var / (n - 1)), 1e-6);
        EXPECT_NEAR(Stat(s, StatKind::Noise), std::sqrt(ns / (2 * n - 2)), 1e-9);
        EXPECT_NEAR(Stat(s, StatKind::NoiseE), std::sqrt(nsE / (2.0 * nE - 2)), 1e-9);
        EXPECT_NEAR(Stat(s, StatKind::NoiseO), std::sqrt(nsO / (2.0 * nO - 2)), 1e-9);
        EXPECT_NEAR(Stat(s, StatKind::AverageE), sumE / nE, 1e-9);
        EXPECT_NEAR(Stat(s, StatKind::AverageO), sumO / nO, 1e-9);
        EXPECT_NEAR(Stat(s, StatKind::Average, 42), -avg, 1e-9);
    };
    check();
    s.CalcAll();
    check();
}

CDeviceData& WithProfiles(CDeviceData& s, const double* even, const double* odd) {
    CMeasRecord e = Rec(0, 0, 0), o = Rec(1, 1, 0);
    for (int i = 0; i < 10; ++i) {
        e.ugi[i] = even[i];
        o.ugi[i] = odd[i];
    }
    s.AddSample(e);
    s.AddSample(o);
    return s;
}

TEST(Statistics, TrendCheckMeasuresRatioAndFlagsABentSeries) {
    double E[10], O[10];
    for (int i = 0; i < 10; ++i) {
        E[i] = i;
        O[i] = 10 + 2 * i;
    }
    {
        CDeviceData s;
        STrendResult t = WithProfiles(s, E, O).GetTrend();
        EXPECT_DOUBLE_EQ(t.ratio, 9.0 / 19);
        EXPECT_FALSE(t.upper);
        EXPECT_FALSE(t.lower);
    }
    O[4] += 4;  // deviation 2 + 4 = 6 exceeds 1.2 x 4.5
    {
        CDeviceData s;
        STrendResult t = WithProfiles(s, E, O).GetTrend();
        EXPECT_TRUE(t.upper);
        EXPECT_FALSE(t.lower);
        s.CalcAll();  // the recompute runs the same check
        EXPECT_TRUE(s.GetTrend().upper);
    }
    for (int i = 0; i < 10; ++i) O[i] = E[i];  // both end at the same value: ratio reads 0
    {
        CDeviceData s;
        EXPECT_EQ(WithProfiles(s, E, O).GetTrend().ratio, 0);
    }
}

TEST(Statistics, CurrentIsTheNewestRecordAndStatRecordsLeaveIntegerFieldsZero) {
    CDeviceData s;
    EXPECT_EQ(s.GetStat(StatKind::Current).position, 0);  // zeroed, not the placeholder
    s.AddSample(Rec(5, 3, 1.25));
    EXPECT_EQ(s.GetStat(StatKind::Current).time, 5u);
    CMeasRecord avg = s.GetStat(StatKind::Average);
    EXPECT_EQ(avg.time, 0u);
    EXPECT_EQ(avg.cycle, 0);
    EXPECT_EQ(avg.ug, 1.25);
}

}  // namespace
}  // namespace dravmer
