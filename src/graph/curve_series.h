#pragma once
// The points of one curve (one parameter of one device store) kept next to the graph, and their
// reduction to what one pixel column can show. A day of seconds is 86,400 records of 336 bytes;
// the graph copies the parameter it draws once and afterwards only the records appended since,
// so a repaint walks compact arrays, and each polyline is cut down to at most four points per
// pixel column (first, lowest, highest, last), which paints the very pixels the full polyline
// would: inside a column the segments are vertical, between columns the segments are the same.
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "graph/graph_math.h"

namespace dravmer {
class CDeviceData;
}

namespace dravmer::graph {

class CCurveSeries {
public:
    // Brings the copy up to date with the store: appended records are added; a store that was
    // reset or reloaded (fewer records, or a different record where the copy ends) is copied
    // anew.
    void Sync(const CDeviceData& store, int param);
    std::size_t Size() const { return m_time.size(); }
    const std::vector<std::uint32_t>& Times() const { return m_time; }
    const std::vector<double>& Values() const { return m_value; }
    const std::vector<std::uint8_t>& Odd() const { return m_odd; }
    // Index of the first point whose second is not below `second` (Size() when none); starts
    // from the store's own time index and corrects the guess locally.
    std::size_t FirstAtOrAfter(const CDeviceData& store, std::uint32_t second) const;

private:
    std::vector<std::uint32_t> m_time;
    std::vector<double> m_value;
    std::vector<std::uint8_t> m_odd;
};

// The copies of all curves, keyed by store and parameter; curves no longer drawn are dropped by
// Prune.
class CSeriesCache {
public:
    CCurveSeries& Get(const CDeviceData* store, int param);
    void BeginFrame() { m_touched.clear(); }
    void Prune();  // drops the copies not asked for since BeginFrame
    void Clear() { m_series.clear(); }

private:
    std::map<std::pair<const CDeviceData*, int>, CCurveSeries> m_series;
    std::vector<std::pair<const CDeviceData*, int>> m_touched;
};

struct SPixel {
    int x = 0, y = 0;
    bool operator==(const SPixel&) const = default;
};

// One polyline of a curve in pixels.
struct SCurvePath {
    std::vector<SPixel> points;
};

// Which points of a series make the path: all, only odd records, only even ones.
enum class Parity { All, Odd, Even };

// The path of the points [begin, ...) up to the first second above window.last, each point
// mapped as the curve draws it; with `reduce` at most four points per pixel column.
SCurvePath BuildPath(const CCurveSeries& s, std::size_t begin, Parity parity,
                     const SGraphLayout& layout, const STimeWindow& window, const SAxis& axis,
                     bool reduce);

}  // namespace dravmer::graph
