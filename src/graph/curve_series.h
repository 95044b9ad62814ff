#pragma once
// The points of one curve (one parameter of one device store) kept next to the graph, and their
// reduction to what one pixel column can show. A day of seconds is 86,400 records of 336 bytes;
// the graph copies the parameter it draws once and afterwards only the records appended since,
// so a repaint walks compact arrays. A curve is drawn as line segments; the reduced drawing keeps
// per pixel column one vertical segment from its lowest to its highest point and the segment
// from the previous column's last point to its first, which paints the very pixels the full
// line would: inside a column the segments are vertical, between columns they are the same.
// The lowest and highest values of a column come from the minima and maxima kept per block of
// 16 records and per big block of 256, so a week in one window costs blocks, not records.
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "graph/graph_math.h"

namespace dravmer {
class CDeviceData;
struct CMeasRecord;
}

namespace dravmer::graph {

class CCurveSeries {
public:
    // Brings the copy up to date with the store: appended records are added; a store that was
    // reset or reloaded since (or holds fewer records, or a different record where the copy
    // ends) is copied anew.
    void Sync(const CDeviceData& store, int param);
    // Takes one parameter of records handed over directly (a file read as it streams, its
    // records kept by no store): the copy is then the curve's own, and Sync leaves it as it is.
    void AppendRecords(const CMeasRecord* records, int n, int param);
    std::size_t Size() const { return m_time.size(); }
    const std::vector<std::uint32_t>& Times() const { return m_time; }
    const std::vector<double>& Values() const { return m_value; }
    const std::vector<std::uint8_t>& Odd() const { return m_odd; }
    // Index of the first point whose second is not below `second` (Size() when none); starts
    // from the store's own time index and corrects the guess locally.
    std::size_t FirstAtOrAfter(const CDeviceData& store, std::uint32_t second) const;

    static constexpr std::size_t kBlock = 16;
    static constexpr std::size_t kBigBlock = 256;  // 16 blocks: a week-wide column spans ~2
    // Lowest and highest value of the points [begin, end) of a parity (0 all, 1 odd, 2 even);
    // NaN counts as the highest (it is drawn at the top). False when no point has the parity.
    bool Extremes(std::size_t begin, std::size_t end, int parity, double& lo, double& hi) const;

private:
    // Adds n points (odd[i] is 0 or 1) with their blocks' extremes.
    void Append(const std::uint32_t* t, const double* v, const std::uint8_t* odd, std::size_t n);
    std::vector<std::uint32_t> m_time;
    std::vector<double> m_value;
    std::vector<std::uint8_t> m_odd;
    // Per block of kBlock points and per parity: lowest and highest value; the same per big
    // block of kBigBlock points.
    std::vector<double> m_blockLo[3], m_blockHi[3];
    std::vector<double> m_bigLo[3], m_bigHi[3];
    std::uint64_t m_generation = 0;  // of the store the copy was made from
    bool m_own = false;              // filled by AppendRecords, not from a store
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

struct SSegment {
    SPixel a, b;  // both ends are painted
};

// One line of a curve in pixels: segments, and where it starts (the curve's label goes there).
struct SCurvePath {
    std::vector<SSegment> segments;
    bool any = false;
    SPixel first;
};

// Which points of a series make the path: all, only odd records, only even ones.
enum class Parity { All, Odd, Even };

// The path of the points [begin, ...) up to the first second above window.last, each point
// mapped as the curve draws it; with `reduce` at most two segments per pixel column.
SCurvePath BuildPath(const CCurveSeries& s, std::size_t begin, Parity parity,
                     const SGraphLayout& layout, const STimeWindow& window, const SAxis& axis,
                     bool reduce);

}  // namespace dravmer::graph
