#pragma once
// The arithmetic of both graphs: axis steps and labels, the time window, the layout rectangles,
// the mapping between seconds and pixels, the caption and the statistics graph's axes and
// texts. No drawing here: the painters only turn these results into strokes.
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "platform/language.h"

namespace dravmer::graph {

inline constexpr int kMaxCurves = 50;
inline constexpr int kMaxLabels = 20;

// The step of 1, 2.5 or 5 times a power of ten that is the smallest not below a > 0 (a raw step
// at most 0.0001 of the scaled mantissa above such a value counts as that value).
double NiceStep(double a);
// x rounded half away from zero to a multiple of s (x itself when s is 0).
double RoundToMultiple(double x, double s);
// Decimals the labels of an axis with step s need: 0.25 -> 2, 2.5 -> 1, 50 -> 0.
int Decimals(double s);

struct SAxis {
    double min = -4.0;
    double max = 2.66666666;
    double step = 1.0;
    int decimals = 0;
};

// Axis over (lo, hi) with n steps, the raw step scaled by factor, centred on a multiple of the
// step. lo == hi is widened by 0.0005 on each side first.
SAxis AxisFromRange(double lo, double hi, int n, double factor);
// An axis of n steps of `step` centred on the midpoint of (lo, hi) rounded to the step.
SAxis AxisCentred(double lo, double hi, int n, double step, int decimals);
// Tick labels of an axis with `lines` lines; label 0 belongs to the top line.
std::vector<std::string> TickLabels(const SAxis& axis, int lines);
// Value-axis zoom: out takes nice(2 x step), in nice(step / 3); centred as in AxisCentred.
SAxis ZoomAxis(const SAxis& axis, int n, bool zoomIn);
// Dragging up moves the window of values down by one step, and the other way round.
void ShiftAxis(SAxis& axis, bool up);

// ---- time window ----
inline constexpr std::array<int, 10> kTimeSteps = {10,   25,   50,   100,  200,
                                                   500, 1000, 2000, 5000, 10000};

struct STimeWindow {
    std::int64_t first = 0;
    std::int64_t last = 2000;
    std::int64_t step = 200;  // seconds per vertical grid division
    std::int64_t Span() const { return last - first; }
};

// step = (last - first) / (lines - 1), integer division.
STimeWindow MakeTimeWindow(std::int64_t first, std::int64_t last, int verticalLines);
// Zoom in or out by one entry of kTimeSteps; first snapped to the new step. False: at the end.
bool ZoomTime(STimeWindow& w, int verticalLines, bool zoomIn);
// Forward: later seconds. Back refuses to go below 0.
bool ScrollTime(STimeWindow& w, bool forward);
void TimeToStart(STimeWindow& w, int verticalLines);
// Advances by whole steps while last < lastSecond.
void TimeToEnd(STimeWindow& w, std::int64_t lastSecond);

// ---- layout ----
struct SRectI {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

struct SGraphLayout {
    SRectI client;  // right edge taken 5 pixels in
    SRectI inner;   // client inset by 10
    SRectI plot;
    double plotWidth = 0, plotHeight = 0;
    int captionBaseTop = 0;
};

SGraphLayout LayoutGraph(int width, int height, int curveCount);
// After the caption: plot top moves down by the caption's height.
void ApplyCaptionHeight(SGraphLayout& layout, int captionHeight);

// Second at pixel x (0 left of the plot, x limited to the plot's right edge).
std::int64_t SecondAtX(const SGraphLayout& l, const STimeWindow& w, int x);
// Pixel of second c (c limited to the window).
double XOfSecond(const SGraphLayout& l, const STimeWindow& w, std::int64_t c);
// The integer pixel column and row of a point as the curves draw it; y limited to the plot.
int PointColumn(const SGraphLayout& l, const STimeWindow& w, std::int64_t c);
int PointRow(const SGraphLayout& l, const SAxis& a, double v);

// Grid line positions (truncated as drawn).
int HorizontalLineY(const SGraphLayout& l, int i, int lines);
int VerticalLineX(const SGraphLayout& l, int i, int lines);
// Curve position k whose axis band is under x (left of the plot), or -1.
int CurveAtX(const SGraphLayout& l, int x, int curveCount);

// The UG parameters drawn as separate odd and even lines.
bool IsParityParam(int param);

// ---- selection ----
struct SSelection {
    bool active = false;
    std::int64_t start = 0, end = 0;  // as the pointer set them
    std::int64_t Lower() const { return start < end ? start : end; }
    std::int64_t Upper() const { return start < end ? end : start; }
};
// Moves the selection by its own width; back never below 0.
void MoveSelection(SSelection& s, bool forward);

// ---- caption ----
// First "{Date}" -> "%d-%m-%Y" of date, first "{Experiment}" -> "%d".
std::string ExpandCaption(const std::string& tmpl, const std::tm& date, int experiment);
// Lines of the caption: pieces cut after blanks, ';', ',', '.', line feeds; a piece that would
// make the line as wide as maxWidth starts a new one; a piece ending with a line feed closes
// the line (its CR LF dropped). At most ten lines.
std::vector<std::string> WrapCaption(const std::string& text,
                                     const std::function<int(const std::string&)>& width,
                                     double maxWidth);
inline constexpr const char* kDefaultCaption = "{Date}  -  Experiment: {Experiment}   ";

// ---- time labels ----
struct STimeLabels {
    std::vector<std::string> seconds, times;
};
STimeLabels MakeTimeLabels(const STimeWindow& w, int verticalLines, std::time_t start);

// ---- statistics graph ----
inline constexpr double kToleranceLow = -0.005;
inline constexpr double kToleranceHigh = 0.2;
bool WithinTolerance(double ratio);
double StatStep(double lo, double hi, int n = 10);

struct SStatAxis {
    double min = 0, max = 1, step = 0.1;
};
// Both axes from the two averaged profiles' ranges (lo0, hi0) and (lo1, hi1).
std::array<SStatAxis, 2> StatAutoRange(double lo0, double hi0, double lo1, double hi1);
// The sign character: a blank, or the dash for negative values (an em dash on screen).
std::string SignChar(double v);
// "%c%2.2f" with the sign character.
std::string SignedValue(double v);
// Value labels of a statistics axis, line 0 at the bottom (11 lines).
std::vector<std::string> StatLabels(const SStatAxis& axis, int lines = 11);

struct SStatText {
    std::string header;
    std::array<std::string, 2> lines;  // parity 0 ("O") and parity 1 ("E")
};
struct SStatProfile {
    std::array<double, 10> values{};
    double min = 0, max = 1;
};
SStatText StatGraphText(const std::string& deviceName, double ratio,
                        const std::array<SStatProfile, 2>& averaged, std::int64_t firstSecond,
                        std::int64_t lastSecond, bool upperFlag, bool lowerFlag,
                        Language language = Language::Russian);

struct SStatLayout {
    SRectI client, inner, plot;
    double plotWidth = 0, plotHeight = 0;
};
SStatLayout LayoutStatGraph(int width, int height, int axes = 2);

}  // namespace dravmer::graph
