#include "graph/curve_series.h"

#include <algorithm>

#include "measure/device_data.h"

namespace dravmer::graph {

void CCurveSeries::Sync(const CDeviceData& store, int param) {
    int count = store.GetCount();
    std::size_t have = m_time.size();
    if (have > static_cast<std::size_t>(count) ||
        (have > 0 && store.GetSample(static_cast<int>(have) - 1).time != m_time.back())) {
        m_time.clear();
        m_value.clear();
        m_odd.clear();
        have = 0;
    }
    if (have == static_cast<std::size_t>(count)) return;
    m_time.reserve(static_cast<std::size_t>(count));
    m_value.reserve(static_cast<std::size_t>(count));
    m_odd.reserve(static_cast<std::size_t>(count));
    constexpr int kChunk = 1024;
    std::vector<CMeasRecord> buf(kChunk);
    int at = static_cast<int>(have);
    while (at < count) {
        int got = store.CopySamples(at, std::min(kChunk, count - at), buf.data());
        if (got <= 0) break;
        for (int i = 0; i < got; ++i) {
            const CMeasRecord& r = buf[static_cast<std::size_t>(i)];
            m_time.push_back(r.time);
            m_value.push_back(GetParam(r, param));
            m_odd.push_back(static_cast<std::uint8_t>(r.cycle & 1));
        }
        at += got;
    }
}

std::size_t CCurveSeries::FirstAtOrAfter(const CDeviceData& store, std::uint32_t second) const {
    std::size_t n = m_time.size();
    if (n == 0) return 0;
    std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(store.TimeToIndex(second)),
                                          n - 1);
    // The store's index is the nearest record; step to the first one not below the second.
    while (i > 0 && m_time[i - 1] >= second) --i;
    while (i < n && m_time[i] < second) ++i;
    return i;
}

CCurveSeries& CSeriesCache::Get(const CDeviceData* store, int param) {
    m_touched.emplace_back(store, param);
    return m_series[{store, param}];
}

void CSeriesCache::Prune() {
    std::sort(m_touched.begin(), m_touched.end());
    for (auto it = m_series.begin(); it != m_series.end();) {
        if (!std::binary_search(m_touched.begin(), m_touched.end(), it->first))
            it = m_series.erase(it);
        else
            ++it;
    }
}

SCurvePath BuildPath(const CCurveSeries& s, std::size_t begin, Parity parity,
                     const SGraphLayout& layout, const STimeWindow& window, const SAxis& axis,
                     bool reduce) {
    SCurvePath path;
    const auto& t = s.Times();
    const auto& v = s.Values();
    const auto& odd = s.Odd();
    const std::size_t n = t.size();
    if (window.Span() <= 0) return path;
    const double scaleX = layout.plotWidth / static_cast<double>(window.Span());
    const double range = axis.max - axis.min;
    const double scaleY = range != 0 ? layout.plotHeight / range : 0;
    const double top = layout.plot.top, bottom = layout.plot.bottom;
    const std::int64_t first = window.first, last = window.last;

    auto row = [&](double value) {
        double y = bottom - (value - axis.min) * scaleY;
        if (!(y >= top)) y = top;
        if (y > bottom) y = bottom;
        return static_cast<int>(y);
    };

    int colX = 0;
    bool inCol = false;
    SPixel cFirst, cLast;
    int cMin = 0, cMax = 0;
    bool minFirst = true;
    auto flush = [&] {
        if (!inCol) return;
        auto push = [&](SPixel p) {
            if (path.points.empty() || !(path.points.back() == p)) path.points.push_back(p);
        };
        push(cFirst);
        SPixel lo{colX, cMin}, hi{colX, cMax};
        // Keep the order the extremes came in, so the last point leads on to the next column.
        if (minFirst) {
            push(lo);
            push(hi);
        } else {
            push(hi);
            push(lo);
        }
        push(cLast);
    };

    path.points.reserve(reduce ? std::min<std::size_t>(n - std::min(begin, n), 4 * static_cast<std::size_t>(layout.plotWidth + 2)) : 0);
    for (std::size_t i = begin; i < n; ++i) {
        const std::int64_t c = t[i];
        if (c > last) break;
        if (c < first) continue;
        if (parity == Parity::Odd && !odd[i]) continue;
        if (parity == Parity::Even && odd[i]) continue;
        SPixel p{static_cast<int>(static_cast<double>(c - first) * scaleX + layout.plot.left),
                 row(v[i])};
        if (!reduce) {
            path.points.push_back(p);
            continue;
        }
        if (!inCol || p.x != colX) {
            flush();
            inCol = true;
            colX = p.x;
            cFirst = cLast = p;
            cMin = cMax = p.y;
            minFirst = true;
            continue;
        }
        cLast = p;
        if (p.y < cMin) {
            cMin = p.y;
            minFirst = false;  // the newest extreme is the low one: high came first
        }
        if (p.y > cMax) {
            cMax = p.y;
            minFirst = true;
        }
    }
    flush();
    return path;
}

}  // namespace dravmer::graph
