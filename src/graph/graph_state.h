#pragma once
// What the time-series graph draws besides the data: axes, time window, grids, colours,
// caption and selection. The widget and the command-line plotter fill one and hand it to the
// painter; all colours are 0x00BBGGRR.
#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "graph/graph_math.h"
#include "platform/language.h"

namespace dravmer {
class CDeviceData;
}

namespace dravmer::graph {

struct SGraphState {
    int hLines = 9;   // horizontal grid lines (cells + 1)
    int vLines = 11;  // vertical grid lines
    std::uint32_t gridColor = 0x000000;
    std::uint32_t background = 0x8CB4D2;
    std::uint32_t selectionColor = 0xFFFFFF;
    bool selectionBand = false;
    bool timeAxes = false;
    std::array<SAxis, kMaxCurves> axes{};
    STimeWindow window = MakeTimeWindow(0, 2000, 11);
    int selectedCurve = -1;  // position, -1: none
    SSelection selection;
    std::string caption = kDefaultCaption;
    bool captionOn = false;
    int experiment = 0;
    std::time_t startTime = 0;
    std::time_t captionDate = 0;  // the date shown for {Date}; 0: today
    Language language = Language::Russian;  // of the units beside the axes
};

// One drawn curve: where its points come from and how it is named.
struct SCurveSpec {
    const CDeviceData* store = nullptr;  // nullptr: only its axis is drawn
    std::uint32_t address = 0;
    int param = 3;
    int slot = 0;
    std::uint32_t color = 0;
};

// The range (lo, hi) of a curve's values over [from, to] seconds, or over all records when
// whole is set; (0, 1) when there are none. Non-finite values are skipped.
class CCurveSeries;
void SeriesRange(const CCurveSeries& s, bool whole, std::int64_t from, std::int64_t to,
                 double& lo, double& hi);

// Fit: the axis over (lo - 5d, hi + 5d) with its own step.
SAxis FitAxis(double lo, double hi, int n);
// Common scale: every axis over (lo - d/2, hi + d/2) of the lowest and highest of all ranges.
void CommonScale(std::vector<SAxis>& axes, const std::vector<std::pair<double, double>>& ranges,
                 int n);
// Fit all with common scale: the largest step of the halved fits, each axis centred on its data.
void FitAllCommon(std::vector<SAxis>& axes, const std::vector<std::pair<double, double>>& ranges,
                  int n);

}  // namespace dravmer::graph
