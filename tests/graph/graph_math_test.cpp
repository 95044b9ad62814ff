#include "graph/graph_math.h"

#include "files/experiment_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace dravmer::graph {
namespace {

TEST(GraphAxis, NiceStepPicksOneTwoAndAHalfOrFiveTimesAPowerOfTen) {
    EXPECT_DOUBLE_EQ(NiceStep(0.8333), 1.0);
    EXPECT_DOUBLE_EQ(NiceStep(0.1667), 0.25);
    EXPECT_DOUBLE_EQ(NiceStep(2), 2.5);
    EXPECT_DOUBLE_EQ(NiceStep(0.3333), 0.5);
    EXPECT_DOUBLE_EQ(NiceStep(1.0), 1.0);
    EXPECT_DOUBLE_EQ(NiceStep(100), 100);
    EXPECT_DOUBLE_EQ(NiceStep(101), 250);
    EXPECT_DOUBLE_EQ(NiceStep(0.00026), 0.0005);
    // A hair above a nice value counts as that value.
    EXPECT_DOUBLE_EQ(NiceStep(25.000001), 25);
}

TEST(GraphAxis, DecimalsFollowTheStep) {
    EXPECT_EQ(Decimals(0.25), 2);
    EXPECT_EQ(Decimals(2.5), 1);
    EXPECT_EQ(Decimals(25), 0);
    EXPECT_EQ(Decimals(50), 0);
    EXPECT_EQ(Decimals(0.5), 1);
    EXPECT_EQ(Decimals(0.001), 3);
    EXPECT_EQ(Decimals(1), 0);
}

TEST(GraphAxis, RoundToMultipleHalfAwayFromZero) {
    EXPECT_DOUBLE_EQ(RoundToMultiple(2.5, 1), 3);
    EXPECT_DOUBLE_EQ(RoundToMultiple(-2.5, 1), -3);
    EXPECT_DOUBLE_EQ(RoundToMultiple(-2.4, 1), -2);
    EXPECT_DOUBLE_EQ(RoundToMultiple(0.74, 0.5), 0.5);
    EXPECT_DOUBLE_EQ(RoundToMultiple(7, 0), 7);
}

TEST(GraphAxis, InitialAxesRescaleToStepOneFromMinusFiveToThree) {
    SAxis a = AxisFromRange(-4.0, 2.66666666, 8, 1.0);
    EXPECT_DOUBLE_EQ(a.step, 1);
    EXPECT_DOUBLE_EQ(a.min, -5);
    EXPECT_DOUBLE_EQ(a.max, 3);
    auto labels = TickLabels(a, 9);
    ASSERT_EQ(labels.size(), 9u);
    EXPECT_EQ(labels.front(), "3");  // top line
    EXPECT_EQ(labels[3], "0");
    EXPECT_EQ(labels.back(), "-5");
}

TEST(GraphAxis, FlatRangeIsWidenedAndLabelsSnapTinyValuesToZero) {
    SAxis a = AxisFromRange(1.0, 1.0, 8, 1.0);
    EXPECT_GT(a.max, 1.0);
    EXPECT_LT(a.min, 1.0);
    EXPECT_NEAR(a.max - a.min, 8 * a.step, 1e-12);
    SAxis z{-0.3, 0.3, 0.1, 1};
    auto labels = TickLabels(z, 7);
    EXPECT_EQ(labels[3], "0.0");  // -0.3 + 3 x 0.1 is not exactly 0
    SAxis bad{0, 1, 0.125, 40};
    EXPECT_EQ(TickLabels(bad, 9)[0], "1");  // decimals out of range print none
}

TEST(GraphAxis, ZoomKeepsTheCentreOnAMultipleOfTheNewStep) {
    SAxis a{-5, 3, 1, 0};
    SAxis out = ZoomAxis(a, 8, false);
    EXPECT_DOUBLE_EQ(out.step, 2.5);
    EXPECT_DOUBLE_EQ(out.min, -10);
    EXPECT_DOUBLE_EQ(out.max, 10);
    SAxis in = ZoomAxis(a, 8, true);
    EXPECT_DOUBLE_EQ(in.step, 0.5);
    EXPECT_DOUBLE_EQ(in.min, -3);
    EXPECT_DOUBLE_EQ(in.max, 1);
    EXPECT_EQ(in.decimals, 1);
    ShiftAxis(in, true);
    EXPECT_DOUBLE_EQ(in.min, -3.5);
}

TEST(GraphTime, ZoomRunsThroughTheStepTableAndStopsAtItsEnds) {
    STimeWindow w = MakeTimeWindow(0, 250, 11);
    EXPECT_EQ(w.step, 25);
    EXPECT_TRUE(ZoomTime(w, 11, true));
    EXPECT_EQ(w.step, 10);
    EXPECT_FALSE(ZoomTime(w, 11, true));
    EXPECT_EQ(w.step, 10);

    w = MakeTimeWindow(12345, 12345 + 50000, 11);
    EXPECT_EQ(w.step, 5000);
    EXPECT_TRUE(ZoomTime(w, 11, false));
    EXPECT_EQ(w.step, 10000);
    EXPECT_EQ(w.first, 10000);
    EXPECT_EQ(w.last, w.first + 10 * 10000);
    EXPECT_FALSE(ZoomTime(w, 11, false));

    // A window set by hand (step 333) zooms to the neighbours in the table.
    w = MakeTimeWindow(1000, 4330, 11);
    EXPECT_TRUE(ZoomTime(w, 11, true));
    EXPECT_EQ(w.step, 200);
    EXPECT_EQ(w.first % 200, 0);
    EXPECT_EQ(w.last, w.first + 2000);
}

TEST(GraphTime, ScrollingBackStopsAtZeroAndToEndCoversTheLastSecond) {
    STimeWindow w = MakeTimeWindow(0, 2000, 11);
    EXPECT_FALSE(ScrollTime(w, false));
    EXPECT_EQ(w.first, 0);
    EXPECT_EQ(w.last, 2000);
    EXPECT_TRUE(ScrollTime(w, true));
    EXPECT_EQ(w.first, 200);
    EXPECT_TRUE(ScrollTime(w, false));
    EXPECT_EQ(w.first, 0);
    TimeToEnd(w, 86399);
    EXPECT_GE(w.last, 86399);
    EXPECT_LT(w.last - w.step, 86399);
    EXPECT_EQ(w.first % 200, 0);
    TimeToStart(w, 11);
    EXPECT_EQ(w.first, 0);
    EXPECT_EQ(w.last, 2000);
}

TEST(GraphLayout, RectanglesAndPixelMapping) {
    SGraphLayout l = LayoutGraph(1005, 600, 3);
    EXPECT_EQ(l.client.right, 1000);
    EXPECT_EQ(l.plot.left, 10 + 80);
    EXPECT_EQ(l.plot.right, 990);
    EXPECT_EQ(l.plot.bottom, 570);
    EXPECT_DOUBLE_EQ(l.plotWidth, 898);
    STimeWindow w = MakeTimeWindow(0, 898, 11);
    EXPECT_EQ(SecondAtX(l, w, 50), 0);
    EXPECT_EQ(SecondAtX(l, w, l.plot.left + 100), 100);
    EXPECT_EQ(SecondAtX(l, w, 5000), SecondAtX(l, w, l.plot.right));
    EXPECT_DOUBLE_EQ(XOfSecond(l, w, -5), l.plot.left);
    EXPECT_DOUBLE_EQ(XOfSecond(l, w, 449), l.plot.left + 449);
    SAxis a{0, 10, 1.25, 2};
    EXPECT_EQ(PointRow(l, a, 100), l.plot.top);
    EXPECT_EQ(PointRow(l, a, -100), l.plot.bottom);
    EXPECT_EQ(PointRow(l, a, std::nan("")), l.plot.top);
}

TEST(GraphLayout, AxisBandSelectsTheCurveLeftOfThePlot) {
    SGraphLayout l = LayoutGraph(800, 600, 4);  // plot left 110; axes at 90, 70, 50, 30
    EXPECT_EQ(CurveAtX(l, 89, 4), 0);
    EXPECT_EQ(CurveAtX(l, 55, 4), 1);  // just right of the axis of curve 2: still curve 1
    EXPECT_EQ(CurveAtX(l, 49, 4), 2);  // the 20 pixels left of an axis are its band
    EXPECT_EQ(CurveAtX(l, 29, 4), 3);
    EXPECT_EQ(CurveAtX(l, 95, 4), -1);  // the position labels' band
    EXPECT_EQ(CurveAtX(l, 5, 4), -1);   // beyond the last axis
}

TEST(GraphSelection, MovesByItsWidthAndNeverBelowZero) {
    SSelection s{true, 100, 150};
    MoveSelection(s, true);
    EXPECT_EQ(s.Lower(), 150);
    EXPECT_EQ(s.Upper(), 200);
    MoveSelection(s, false);
    MoveSelection(s, false);
    EXPECT_EQ(s.Lower(), 50);
    MoveSelection(s, false);
    EXPECT_EQ(s.Lower(), 0);
    EXPECT_EQ(s.Upper(), 50);
    SSelection r{true, 300, 200};  // dragged right to left
    MoveSelection(r, true);
    EXPECT_EQ(r.Lower(), 300);
    EXPECT_EQ(r.Upper(), 400);
}

TEST(GraphCaption, ExpandsDateAndExperimentOnce) {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 6;
    EXPECT_EQ(ExpandCaption("{Date} {Experiment}", tm, 7), "06-12-2026 7");
    EXPECT_EQ(ExpandCaption("{Date}{Date}", tm, 7), "06-12-2026{Date}");
}

TEST(GraphCaption, WrapsAtDelimitersAndCutsAfterTenLines) {
    auto width = [](const std::string& s) { return static_cast<int>(s.size()) * 10; };
    auto lines = WrapCaption("aaa bbb ccc,ddd", width, 90);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "aaa bbb ");
    EXPECT_EQ(lines[1], "ccc,ddd");
    lines = WrapCaption("one\r\ntwo\nthree", width, 1000);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "one");
    EXPECT_EQ(lines[1], "two");
    std::string many;
    for (int i = 0; i < 15; ++i) many += "line" + std::to_string(i) + "\n";
    lines = WrapCaption(many, width, 1000);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[9], "line9");
    // A word wider than the plot gets a line of its own and the text goes on below it.
    lines = WrapCaption("averyveryverylongword x", width, 50);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "averyveryverylongword ");
    EXPECT_EQ(lines[1], "x");
}

TEST(GraphCaption, LabelTextDropsTheTemplateAndItsBlanks) {
    EXPECT_EQ(dravmer::LabelTextFromComment("{Date}  -  Experiment: {Experiment}   Calibration run"),
              "Calibration run");
    EXPECT_EQ(dravmer::LabelTextFromComment("plain"), "plain");
    // Text typed before the template is kept, not cut by the template's length.
    EXPECT_EQ(dravmer::LabelTextFromComment("Run 5: {Date}  -  Experiment: {Experiment} end"),
              "Run 5: end");
}

TEST(StatGraph, ToleranceEdges) {
    EXPECT_TRUE(WithinTolerance(-0.005));
    EXPECT_TRUE(WithinTolerance(0.2));
    EXPECT_FALSE(WithinTolerance(-0.0051));
    EXPECT_FALSE(WithinTolerance(0.2001));
    std::array<SStatProfile, 2> prof{};
    EXPECT_EQ(StatGraphText("d", 0.2001, prof, 0, 10, false, false).header.find("вне допуска !") !=
                  std::string::npos,
              true);
    EXPECT_EQ(StatGraphText("d", 0.2, prof, 0, 10, false, false).header.find("вне допуска"),
              std::string::npos);
}

TEST(StatGraph, StepCoversTheRangeWithTenIntervals) {
    EXPECT_DOUBLE_EQ(StatStep(0, 10), 1);
    EXPECT_DOUBLE_EQ(StatStep(0, 1), 0.1);
    EXPECT_DOUBLE_EQ(StatStep(5, 5), 0.1);  // hi = lo + 1
    double s = StatStep(0.95, 2.05);        // 0.11 raw -> 0.25 so that 10 steps from 0.75 reach
    EXPECT_GE(std::floor(0.95 / s) * s + 10 * s, 2.05);
    for (double lo : {-3.7, 0.0, 12.3}) {
        for (double hi : {lo + 0.01, lo + 4.2, lo + 333.0}) {
            double st = StatStep(lo, hi);
            EXPECT_GE(std::floor(lo / st + 1e-5) * st + 10 * st, hi - 1e-9) << lo << " " << hi;
        }
    }
}

TEST(StatGraph, ConstantProfileGetsTenHalfSteps) {
    auto ax = StatAutoRange(2.0, 2.0, 2.0, 2.0);
    EXPECT_DOUBLE_EQ(ax[0].step, 0.5);
    EXPECT_DOUBLE_EQ(ax[0].min, -0.5);
    EXPECT_DOUBLE_EQ(ax[0].max, 4.5);
    EXPECT_DOUBLE_EQ(ax[1].min, ax[0].min);
    // A profile without numbers takes the other's range.
    auto bx = StatAutoRange(std::nan(""), std::nan(""), 10, 11);
    EXPECT_LT(bx[0].min, 10);
    EXPECT_GT(bx[0].max, 11);
}

TEST(StatGraph, NegativeNumbersPrintWithTheDash) {
    EXPECT_EQ(SignedValue(-1.5), "\u20141.50");
    EXPECT_EQ(SignedValue(1.5), " 1.50");
    auto labels = StatLabels(SStatAxis{-1, 1.5, 0.25});
    EXPECT_EQ(labels[0], "\u20141.0");  // one decimal for a step of 0.25
    EXPECT_EQ(labels[4], " 0.0");
    std::array<SStatProfile, 2> prof{};
    prof[0].values[0] = 5;
    prof[0].values[9] = 1;  // falling: the swing carries the dash
    prof[0].min = 1;
    prof[0].max = 5;
    prof[1].values[0] = -1;
    prof[1].values[9] = 3;
    prof[1].min = -1;
    prof[1].max = 3;
    SStatText t = StatGraphText("dev", 0.1, prof, 10, -4, true, false);
    EXPECT_EQ(t.lines[0], "AvO 10\u20140  Min= 1.00  Max= 5.00  D=\u2014 4.00 ");
    EXPECT_EQ(t.lines[1],
              "AvE 10\u20140  Min=\u20141.00  Max= 3.00  D=  4.00   -   функция немонотонная");
}

TEST(StatGraph, ParityParametersAreTheUgFamily) {
    for (int p : {3, 18, 19, 23, 32}) EXPECT_TRUE(IsParityParam(p)) << p;
    for (int p : {0, 4, 9, 22, 33, 42}) EXPECT_FALSE(IsParityParam(p)) << p;
}

}  // namespace
}  // namespace dravmer::graph
