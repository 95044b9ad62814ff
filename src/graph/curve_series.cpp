#include "graph/curve_series.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "measure/device_data.h"

namespace dravmer::graph {

namespace {
// NaN is drawn at the top, like +inf: as a value it counts as the highest.
inline double HighKey(double v) { return std::isnan(v) ? std::numeric_limits<double>::infinity() : v; }
}  // namespace

void CCurveSeries::Append(const std::uint32_t* t, const double* v, const std::uint8_t* odd,
                          std::size_t n) {
    if (n == 0) return;
    const std::size_t first = m_time.size();
    m_time.insert(m_time.end(), t, t + n);
    m_value.insert(m_value.end(), v, v + n);
    m_odd.insert(m_odd.end(), odd, odd + n);
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::size_t end = first + n;
    // The blocks the run reaches, opened empty; then each block of kBlock points takes its points'
    // extremes in one pass, [0] of all, [1] of the odd, [2] of the even ones.
    const std::size_t blocks = (end + kBlock - 1) / kBlock;
    for (int p = 0; p < 3; ++p) {
        m_blockLo[p].resize(blocks, kInf);
        m_blockHi[p].resize(blocks, -kInf);
    }
    for (std::size_t b = first / kBlock; b < blocks; ++b) {
        double lo[3], hi[3];
        for (int p = 0; p < 3; ++p) {
            lo[p] = m_blockLo[p][b];
            hi[p] = m_blockHi[p][b];
        }
        const std::size_t to = std::min(end, (b + 1) * kBlock);
        for (std::size_t i = std::max(first, b * kBlock); i < to; ++i) {
            const double key = HighKey(m_value[i]);
            const int p = m_odd[i] ? 1 : 2;
            lo[0] = std::min(lo[0], key);
            hi[0] = std::max(hi[0], key);
            lo[p] = std::min(lo[p], key);
            hi[p] = std::max(hi[p], key);
        }
        for (int p = 0; p < 3; ++p) {
            m_blockLo[p][b] = lo[p];
            m_blockHi[p][b] = hi[p];
        }
    }
    // A big block's extremes are those of its blocks (kBigBlock / kBlock of them).
    constexpr std::size_t kPer = kBigBlock / kBlock;
    const std::size_t bigs = (end + kBigBlock - 1) / kBigBlock;
    for (int p = 0; p < 3; ++p) {
        m_bigLo[p].resize(bigs, kInf);
        m_bigHi[p].resize(bigs, -kInf);
        for (std::size_t big = first / kBigBlock; big < bigs; ++big) {
            double lo = kInf, hi = -kInf;
            const std::size_t to = std::min(blocks, (big + 1) * kPer);
            for (std::size_t b = big * kPer; b < to; ++b) {
                lo = std::min(lo, m_blockLo[p][b]);
                hi = std::max(hi, m_blockHi[p][b]);
            }
            m_bigLo[p][big] = lo;
            m_bigHi[p][big] = hi;
        }
    }
}

void CCurveSeries::AppendRecords(const CMeasRecord* records, int n, int param) {
    m_own = true;
    constexpr int kChunk = 1024;
    double values[kChunk];
    std::uint32_t times[kChunk];
    std::uint8_t odd[kChunk];
    for (int at = 0; at < n; at += kChunk) {
        const int m = std::min(kChunk, n - at);
        for (int k = 0; k < m; ++k) {
            const CMeasRecord& r = records[at + k];
            values[k] = GetParam(r, param);
            times[k] = r.time;
            odd[k] = static_cast<std::uint8_t>(r.cycle & 1);
        }
        Append(times, values, odd, static_cast<std::size_t>(m));
    }
}

void CCurveSeries::Sync(const CDeviceData& store, int param) {
    if (m_own) return;
    const std::uint64_t generation = store.Generation();
    int count = store.GetCount();
    std::size_t have = m_time.size();
    if (generation != m_generation || have > static_cast<std::size_t>(count) ||
        (have > 0 && store.GetSample(static_cast<int>(have) - 1).time != m_time.back())) {
        m_time.clear();
        m_value.clear();
        m_odd.clear();
        for (int p = 0; p < 3; ++p) {
            m_blockLo[p].clear();
            m_blockHi[p].clear();
            m_bigLo[p].clear();
            m_bigHi[p].clear();
        }
        have = 0;
        m_generation = generation;
    }
    if (have == static_cast<std::size_t>(count)) return;
    // The first copy takes exactly what is there; later appends grow the arrays by an eighth,
    // so that a week of curves carries little unused room and no copy happens every second.
    const std::size_t need = static_cast<std::size_t>(count);
    if (m_time.capacity() < need) {
        const std::size_t room = have == 0 ? need : std::max(need, have + have / 8 + 4096);
        m_time.reserve(room);
        m_value.reserve(room);
        m_odd.reserve(room);
        for (int p = 0; p < 3; ++p) {
            m_blockLo[p].reserve(room / kBlock + 1);
            m_blockHi[p].reserve(room / kBlock + 1);
            m_bigLo[p].reserve(room / kBigBlock + 1);
            m_bigHi[p].reserve(room / kBigBlock + 1);
        }
    }
    constexpr int kChunk = 4096;
    // Sized to what is missing: the live update copies one value, not a whole chunk.
    const auto size = static_cast<std::size_t>(std::min(kChunk, count - static_cast<int>(have)));
    std::vector<double> values(size);
    std::vector<std::uint32_t> times(size);
    std::vector<std::uint8_t> odd(size);
    int at = static_cast<int>(have);
    while (at < count) {
        const int got = store.CopyParam(param, at, std::min(kChunk, count - at), values.data(),
                                        times.data(), odd.data());
        if (got <= 0) break;
        Append(times.data(), values.data(), odd.data(), static_cast<std::size_t>(got));
        at += got;
    }
}

bool CCurveSeries::Extremes(std::size_t begin, std::size_t end, int parity, double& lo,
                            double& hi) const {
    lo = std::numeric_limits<double>::infinity();
    hi = -std::numeric_limits<double>::infinity();
    bool any = false;
    auto one = [&](std::size_t i) {
        if (parity == 1 && !m_odd[i]) return;
        if (parity == 2 && m_odd[i]) return;
        const double k = HighKey(m_value[i]);
        lo = std::min(lo, k);
        hi = std::max(hi, k);
        any = true;
    };
    auto block = [&](const std::vector<double>& blockLo, const std::vector<double>& blockHi,
                     std::size_t b) {
        if (blockLo[b] <= blockHi[b]) {
            lo = std::min(lo, blockLo[b]);
            hi = std::max(hi, blockHi[b]);
            any = true;
        }
    };
    std::size_t i = begin;
    for (; i < end && i % kBlock != 0; ++i) one(i);
    for (; i + kBlock <= end && i % kBigBlock != 0; i += kBlock)
        block(m_blockLo[parity], m_blockHi[parity], i / kBlock);
    for (; i + kBigBlock <= end; i += kBigBlock)
        block(m_bigLo[parity], m_bigHi[parity], i / kBigBlock);
    for (; i + kBlock <= end; i += kBlock) block(m_blockLo[parity], m_blockHi[parity], i / kBlock);
    for (; i < end; ++i) one(i);
    return any;
}

std::size_t CCurveSeries::FirstAtOrAfter(const CDeviceData& store, std::uint32_t second) const {
    std::size_t n = m_time.size();
    if (n == 0) return 0;
    // A copy of its own has no store to ask: the times are in order in a file of a bench.
    std::size_t i = m_own ? static_cast<std::size_t>(
                                std::lower_bound(m_time.begin(), m_time.end(), second) -
                                m_time.begin())
                          : static_cast<std::size_t>(store.TimeToIndex(second));
    i = std::min(i, n - 1);
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
    if (window.Span() <= 0 || begin >= n) return path;
    const double scaleX = layout.plotWidth / static_cast<double>(window.Span());
    const double range = axis.max - axis.min;
    const double scaleY = range != 0 ? layout.plotHeight / range : 0;
    const double top = layout.plot.top, bottom = layout.plot.bottom;
    const std::int64_t first = window.first, last = window.last;
    const int parityIndex = parity == Parity::All ? 0 : parity == Parity::Odd ? 1 : 2;

    auto row = [&](double value) {
        double y = bottom - (value - axis.min) * scaleY;
        if (!(y >= top)) y = top;
        if (y > bottom) y = bottom;
        return static_cast<int>(y);
    };
    auto column = [&](std::int64_t c) {
        return static_cast<int>(static_cast<double>(c - first) * scaleX + layout.plot.left);
    };
    auto wanted = [&](std::size_t i) {
        return parity == Parity::All || (parity == Parity::Odd) == (odd[i] != 0);
    };
    bool havePrev = false;
    SPixel prev;
    auto add = [&](SPixel a, SPixel b) { path.segments.push_back({a, b}); };
    auto start = [&](SPixel p) {
        if (!path.any) {
            path.any = true;
            path.first = p;
        }
    };

    // Points before the window (a store whose times are not in order) are skipped.
    std::size_t i = begin;
    while (i < n && static_cast<std::int64_t>(t[i]) < first) ++i;

    if (!reduce) {
        for (; i < n; ++i) {
            const std::int64_t c = t[i];
            if (c > last) break;
            if (c < first || !wanted(i)) continue;
            SPixel p{column(c), row(v[i])};
            start(p);
            if (havePrev) add(prev, p);
            prev = p;
            havePrev = true;
        }
        if (path.any && path.segments.empty()) add(path.first, path.first);
        return path;
    }

    path.segments.reserve(2 * static_cast<std::size_t>(layout.plotWidth + 2));
    while (i < n) {
        const std::int64_t c0 = t[i];
        if (c0 > last) break;
        const int x = column(c0);
        // The end of this column's run of points: a guess from the seconds the column spans
        // (right when no second is missing), then gallop and bisect from there.
        auto inColumn = [&](std::size_t j) {
            return static_cast<std::int64_t>(t[j]) <= last && column(t[j]) == x;
        };
        std::int64_t cEnd = std::max(
            c0, first + static_cast<std::int64_t>((x + 1 - layout.plot.left) / scaleX));
        while (cEnd > c0 && column(cEnd) != x) --cEnd;
        while (column(cEnd + 1) == x) ++cEnd;
        std::size_t lo = i, step = 1;
        const std::size_t guess = std::min(n - 1, i + static_cast<std::size_t>(cEnd - c0));
        if (guess > i && inColumn(guess)) lo = guess;
        while (lo + step < n && inColumn(lo + step)) {
            lo += step;
            step *= 2;
        }
        std::size_t hi = std::min(n, lo + step);  // first index known (or assumed) outside
        while (hi - lo > 1) {
            std::size_t mid = lo + (hi - lo) / 2;
            if (inColumn(mid)) lo = mid;
            else hi = mid;
        }
        const std::size_t end = lo + 1;  // [i, end) is this column
        std::size_t a = i;
        while (a < end && !wanted(a)) ++a;
        if (a < end) {
            std::size_t b = end - 1;
            while (!wanted(b)) --b;
            SPixel pa{x, row(v[a])}, pb{x, row(v[b])};
            start(pa);
            if (havePrev) add(prev, pa);
            if (a != b) {
                double vlo, vhi;
                s.Extremes(a, b + 1, parityIndex, vlo, vhi);
                const int yTop = row(vhi), yBottom = row(vlo);
                if (yTop != yBottom) add({x, yTop}, {x, yBottom});
            }
            prev = pb;
            havePrev = true;
        }
        i = end;
    }
    if (path.any && path.segments.empty()) add(path.first, path.first);
    return path;
}

}  // namespace dravmer::graph
