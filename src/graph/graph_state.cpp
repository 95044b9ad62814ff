#include "graph/graph_state.h"

#include <algorithm>
#include <cmath>

#include "graph/curve_series.h"

namespace dravmer::graph {

void SeriesRange(const CCurveSeries& s, bool whole, std::int64_t from, std::int64_t to,
                 double& lo, double& hi) {
    lo = 0;
    hi = 1;
    bool any = false;
    const auto& t = s.Times();
    const auto& v = s.Values();
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!whole && (t[i] < from || t[i] > to)) continue;
        double x = v[i];
        if (!std::isfinite(x)) continue;
        if (!any) {
            lo = hi = x;
            any = true;
        } else {
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
    }
}

SAxis FitAxis(double lo, double hi, int n) {
    double d = hi - lo;
    return AxisFromRange(lo - 5 * d, hi + 5 * d, n, 1.0);
}

void CommonScale(std::vector<SAxis>& axes, const std::vector<std::pair<double, double>>& ranges,
                 int n) {
    if (ranges.empty()) return;
    double lo = ranges[0].first, hi = ranges[0].second;
    for (const auto& [a, b] : ranges) {
        lo = std::min(lo, a);
        hi = std::max(hi, b);
    }
    double d = hi - lo;
    SAxis common = AxisFromRange(lo - d / 2, hi + d / 2, n, 1.0);
    for (std::size_t k = 0; k < ranges.size() && k < axes.size(); ++k) axes[k] = common;
}

void FitAllCommon(std::vector<SAxis>& axes, const std::vector<std::pair<double, double>>& ranges,
                  int n) {
    if (ranges.empty()) return;
    double step = 0;
    int decimals = 0;
    for (const auto& [lo, hi] : ranges) {
        double d = hi - lo;
        SAxis a = AxisFromRange(lo - 5 * d, hi + 5 * d, n, 0.5);
        if (a.step > step) {
            step = a.step;
            decimals = a.decimals;
        }
    }
    for (std::size_t k = 0; k < ranges.size() && k < axes.size(); ++k)
        axes[k] = AxisCentred(ranges[k].first, ranges[k].second, n, step, decimals);
}

}  // namespace dravmer::graph
