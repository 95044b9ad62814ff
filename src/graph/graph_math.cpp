#include "graph/graph_math.h"
#include "measure/param_index.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dravmer::graph {

namespace {

// Scales a > 0 into (10, 100] and applies the 0.9999 rule; h is the scale.
double Mantissa(double a, double& h) {
    double c = std::log10(a / 100.0);
    double e = c > 0 ? -std::trunc(c) - 1 : -std::trunc(c);
    h = std::pow(10.0, e);
    double m = a * h;
    double up = std::ceil(m);
    return up - m > 0.9999 ? up - 1 : up;
}

std::string Format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

}  // namespace

double NiceStep(double a) {
    if (!(a > 0) || !std::isfinite(a)) return 1.0;
    double h;
    double m = Mantissa(a, h);
    if (m > 10 && m <= 25) m = 25;
    else if (m > 25 && m <= 50) m = 50;
    else if (m > 50 && m <= 100) m = 100;
    return m / h;
}

double RoundToMultiple(double x, double s) {
    if (s == 0) return x;
    double q = x / s;
    double f = q - std::trunc(q);
    double r;
    if (q > 0) r = f >= 0.5 ? std::ceil(q) : std::floor(q);
    else r = std::fabs(f) >= 0.5 ? std::floor(q) : std::ceil(q);
    return r * s;
}

int Decimals(double s) {
    if (!(s > 0) || !std::isfinite(s)) return 0;
    int d = 0;
    if (s < 1) d = static_cast<int>(std::ceil(-std::log10(std::fabs(s))));
    double h;
    double m = Mantissa(s, h);
    if (m == 25 && s < 10) d += 1;
    return std::clamp(d, 0, 12);
}

SAxis AxisCentred(double lo, double hi, int n, double step, int decimals) {
    SAxis a;
    a.step = step;
    double centre = RoundToMultiple((lo + hi) / 2, step);
    a.min = centre - n * step / 2;
    a.max = centre + n * step / 2;
    a.decimals = decimals;
    return a;
}

SAxis AxisFromRange(double lo, double hi, int n, double factor) {
    if (n < 1) n = 1;
    if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0, hi = 1;
    if (lo == hi) {
        lo -= 0.0005;
        hi += 0.0005;
    }
    double step = NiceStep(factor * std::fabs(hi - lo) / n);
    return AxisCentred(lo, hi, n, step, Decimals(step));
}

std::vector<std::string> TickLabels(const SAxis& axis, int lines) {
    lines = std::clamp(lines, 1, kMaxLabels);
    int d = axis.decimals < 0 || axis.decimals > 12 ? 0 : axis.decimals;
    std::vector<std::string> out(static_cast<std::size_t>(lines));
    double v = axis.min;
    for (int i = 0; i < lines; ++i) {
        if (std::fabs(v) < 1e-12) v = 0;
        out[static_cast<std::size_t>(lines - 1 - i)] = Format("%.*f", d, v);
        v += axis.step;
    }
    return out;
}

SAxis ZoomAxis(const SAxis& axis, int n, bool zoomIn) {
    double step = zoomIn ? NiceStep(axis.step / 3) : NiceStep(2 * axis.step);
    return AxisCentred(axis.min, axis.max, n, step, Decimals(step));
}

void ShiftAxis(SAxis& axis, bool up) {
    double d = up ? -axis.step : axis.step;
    axis.min += d;
    axis.max += d;
}

STimeWindow MakeTimeWindow(std::int64_t first, std::int64_t last, int verticalLines) {
    STimeWindow w;
    w.first = first;
    w.last = last;
    w.step = std::max<std::int64_t>(1, (last - first) / std::max(1, verticalLines - 1));
    return w;
}

bool ZoomTime(STimeWindow& w, int verticalLines, bool zoomIn) {
    const auto& s = kTimeSteps;
    std::int64_t step = w.step;
    if (zoomIn) {
        if (step <= s.front()) return false;
        auto it = std::lower_bound(s.begin(), s.end(), step);  // first >= step
        step = it == s.begin() ? s.front() : *(it - 1);
    } else {
        if (step >= s.back()) return false;
        auto it = std::upper_bound(s.begin(), s.end(), step);  // first > step
        step = *it;
    }
    w.step = step;
    w.first = w.first / step * step;
    w.last = w.first + (verticalLines - 1) * step;
    return true;
}

bool ScrollTime(STimeWindow& w, bool forward) {
    if (forward) {
        w.first += w.step;
        w.last += w.step;
        return true;
    }
    if (w.first - w.step < 0) return false;
    w.first -= w.step;
    w.last -= w.step;
    return true;
}

void TimeToStart(STimeWindow& w, int verticalLines) {
    w.first = 0;
    w.last = (verticalLines - 1) * w.step;
}

void TimeToEnd(STimeWindow& w, std::int64_t lastSecond) {
    if (w.step <= 0) return;
    if (w.last < lastSecond) {
        std::int64_t k = (lastSecond - w.last + w.step - 1) / w.step;
        w.first += k * w.step;
        w.last += k * w.step;
    }
}

SGraphLayout LayoutGraph(int width, int height, int curveCount) {
    SGraphLayout l;
    l.client = {0, 0, width - 5, height};
    l.inner = {l.client.left + 10, l.client.top + 10, l.client.right - 10, l.client.bottom - 10};
    l.plot.left = l.inner.left + 20 * (curveCount + 1);
    l.plot.right = l.inner.right;
    l.plot.top = l.inner.top;
    l.plot.bottom = l.inner.bottom - 20;
    l.plotWidth = l.plot.right - l.plot.left - 2;
    l.plotHeight = l.plot.bottom - l.plot.top - 2;
    l.captionBaseTop = l.plot.top;
    return l;
}

void ApplyCaptionHeight(SGraphLayout& l, int captionHeight) {
    l.plot.top = l.captionBaseTop + captionHeight;
    l.plotHeight = l.plot.bottom - l.plot.top;
}

std::int64_t SecondAtX(const SGraphLayout& l, const STimeWindow& w, int x) {
    if (x < l.plot.left) return 0;
    x = std::min(x, l.plot.right);
    if (l.plotWidth <= 0) return w.first;
    return w.first +
           static_cast<std::int64_t>((x - l.plot.left) * static_cast<double>(w.Span()) /
                                     l.plotWidth);
}

double XOfSecond(const SGraphLayout& l, const STimeWindow& w, std::int64_t c) {
    c = std::clamp(c, w.first, std::max(w.first, w.last));
    if (w.Span() <= 0) return l.plot.left;
    return static_cast<double>(c - w.first) / static_cast<double>(w.Span()) * l.plotWidth +
           l.plot.left;
}

int PointColumn(const SGraphLayout& l, const STimeWindow& w, std::int64_t c) {
    if (w.Span() <= 0) return l.plot.left;
    return static_cast<int>(static_cast<double>(c - w.first) / static_cast<double>(w.Span()) *
                                l.plotWidth +
                            l.plot.left);
}

int PointRow(const SGraphLayout& l, const SAxis& a, double v) {
    double range = a.max - a.min;
    double y = range != 0 ? l.plot.bottom - (v - a.min) / range * l.plotHeight : l.plot.bottom;
    if (!(y >= l.plot.top)) y = l.plot.top;  // also NaN
    if (y > l.plot.bottom) y = l.plot.bottom;
    return static_cast<int>(y);
}

int HorizontalLineY(const SGraphLayout& l, int i, int lines) {
    if (lines < 2) return l.plot.top;
    return static_cast<int>(l.plot.top +
                            i * static_cast<double>(l.plot.bottom - l.plot.top) / (lines - 1));
}

int VerticalLineX(const SGraphLayout& l, int i, int lines) {
    if (lines < 2) return l.plot.left;
    return static_cast<int>(l.plot.left +
                            i * static_cast<double>(l.plot.right - l.plot.left) / (lines - 1));
}

int CurveAtX(const SGraphLayout& l, int x, int curveCount) {
    if (x >= l.plot.left - 20) return -1;
    int k = (l.plot.left - x - 20) / 20;
    return k < curveCount ? k : -1;
}

bool IsParityParam(int p) {
    return p == param::kUG || p == param::kUGmin || p == param::kUGmax ||
           (p >= param::kUG0 && p <= param::kUG9);
}

void MoveSelection(SSelection& s, bool forward) {
    std::int64_t lo = s.Lower(), hi = s.Upper(), w = hi - lo;
    bool startLow = s.start <= s.end;
    if (forward) {
        lo = hi;
        hi = hi + w;
    } else {
        lo -= w;
        hi -= w;
        if (lo < 0) {
            lo = 0;
            hi = w;
        }
    }
    s.start = startLow ? lo : hi;
    s.end = startLow ? hi : lo;
}

std::string ExpandCaption(const std::string& tmpl, const std::tm& date, int experiment) {
    std::string s = tmpl;
    if (auto p = s.find("{Date}"); p != std::string::npos) {
        char buf[32];
        std::strftime(buf, sizeof buf, "%d-%m-%Y", &date);
        s.replace(p, 6, buf);
    }
    if (auto p = s.find("{Experiment}"); p != std::string::npos)
        s.replace(p, 12, std::to_string(experiment));
    return s;
}

std::vector<std::string> WrapCaption(const std::string& text,
                                     const std::function<int(const std::string&)>& width,
                                     double maxWidth) {
    std::vector<std::string> pieces;
    std::string cur;
    for (char ch : text) {
        cur += ch;
        if (ch == ' ' || ch == ';' || ch == ',' || ch == '.' || ch == '\n') {
            pieces.push_back(cur);
            cur.clear();
        }
    }
    if (!cur.empty()) pieces.push_back(cur);

    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (const auto& piece : pieces) {
        if (lines.size() >= 10) break;
        if (piece.back() == '\n') {
            // The CR LF pair is dropped; a lone LF loses only itself.
            std::string body = piece.substr(0, piece.size() - 1);
            if (!body.empty() && body.back() == '\r') body.pop_back();
            if (open && !line.empty() && width(line + body) >= maxWidth) {
                lines.push_back(line);
                line.clear();
                if (lines.size() >= 10) break;
            }
            lines.push_back(line + body);
            line.clear();
            open = false;
            continue;
        }
        // A line already too wide (one long word) is closed too, so nothing runs on past it.
        if (open && !line.empty() && width(line + piece) >= maxWidth) {
            lines.push_back(line);
            line = piece;
        } else {
            line += piece;
        }
        open = true;
    }
    if (open && lines.size() < 10) lines.push_back(line);
    if (lines.size() > 10) lines.resize(10);
    return lines;
}

STimeLabels MakeTimeLabels(const STimeWindow& w, int verticalLines, std::time_t start) {
    STimeLabels out;
    for (int i = 0; i < verticalLines && i < 50; ++i) {
        std::int64_t c = w.first + i * w.step;
        out.seconds.push_back(std::to_string(c));
        std::time_t t = start + static_cast<std::time_t>(c);
        std::tm tm{};
        localtime_r(&t, &tm);
        char buf[16];
        std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
        out.times.emplace_back(buf);
    }
    return out;
}

bool WithinTolerance(double ratio) { return ratio >= kToleranceLow && ratio <= kToleranceHigh; }

double StatStep(double lo, double hi, int n) {
    if (hi == lo) hi = lo + 1;
    double a = std::fabs(hi - lo) / n;
    if (!(a > 0) || !std::isfinite(a)) return 1.0;
    double h;
    double m = Mantissa(a, h);
    // Candidates 25, 50, 100, 250, ... in units of 1/h / 10: 1, 2.5 and 5 times a power of ten.
    static constexpr double kMant[] = {25, 50, 100};
    double scale = 1.0;
    int idx = 0;
    while (kMant[idx] * scale < m) {
        if (++idx == 3) {
            idx = 0;
            scale *= 10;
        }
    }
    for (int guard = 0; guard < 60; ++guard) {
        double s = kMant[idx] * scale / h;
        double q = lo / s;
        double k = std::floor(q);
        if (q - k > 0.99999) k += 1;
        if (k * s + n * s >= hi) return s;
        if (++idx == 3) {
            idx = 0;
            scale *= 10;
        }
    }
    return a;
}

std::array<SStatAxis, 2> StatAutoRange(double lo0, double hi0, double lo1, double hi1) {
    auto finite = [](double a, double b) { return std::isfinite(a) && std::isfinite(b); };
    if (!finite(lo0, hi0)) lo0 = lo1, hi0 = hi1;
    if (!finite(lo1, hi1)) lo1 = lo0, hi1 = hi0;
    if (!finite(lo0, hi0)) lo0 = lo1 = 0, hi0 = hi1 = 1;
    double step = std::max({StatStep(lo0, hi0), StatStep(lo1, hi1), 0.5});
    std::array<SStatAxis, 2> ax;
    const double lo[2] = {lo0, lo1}, hi[2] = {hi0, hi1};
    for (int p = 0; p < 2; ++p) {
        double c = RoundToMultiple((lo[p] + hi[p]) / 2, step);
        ax[p].step = step;
        ax[p].min = c - 5 * step;
        ax[p].max = ax[p].min + 10 * step;
    }
    auto holdsBoth = [&](const SStatAxis& a) {
        return a.min < lo0 && a.max > hi0 && a.min < lo1 && a.max > hi1;
    };
    if (holdsBoth(ax[0])) ax[1] = ax[0];
    else if (holdsBoth(ax[1])) ax[0] = ax[1];
    return ax;
}

std::string SignChar(double v) { return v >= 0 ? " " : "\u2014"; }

std::string SignedValue(double v) { return SignChar(v) + Format("%2.2f", std::fabs(v)); }

std::vector<std::string> StatLabels(const SStatAxis& axis, int lines) {
    int d = static_cast<int>(std::ceil(std::fabs(std::log10(axis.step))));
    std::vector<std::string> out;
    for (int i = 0; i < lines; ++i) {
        double v = axis.min + i * axis.step;
        if (std::fabs(v) < 1e-7) v = 0;
        std::string body = d >= 6 ? Format("%.1e", std::fabs(v)) : Format("%.*f", d, std::fabs(v));
        out.push_back(SignChar(v) + body);
    }
    return out;
}

SStatText StatGraphText(const std::string& deviceName, double ratio,
                        const std::array<SStatProfile, 2>& averaged, std::int64_t firstSecond,
                        std::int64_t lastSecond, bool upperFlag, bool lowerFlag,
                        Language language) {
    const bool en = language == Language::English;
    SStatText t;
    t.header = deviceName + (en ? "                  DU rel=" : "                  DU отн=") +
               Format("%g", ratio) + (en ? " (tolerance: " : " (допуск: ") +
               Format("%g...%g", kToleranceLow, kToleranceHigh) + ") " +
               (WithinTolerance(ratio) ? ""
                : en                   ? "out of tolerance !"
                                       : "вне допуска !");
    if (lastSecond < 0) lastSecond = 0;
    for (int p = 0; p < 2; ++p) {
        const auto& prof = averaged[static_cast<std::size_t>(p)];
        double swing = prof.max - prof.min;
        bool falling = std::fabs(prof.values[9]) < std::fabs(prof.values[0]);
        bool warn = p == 0 ? lowerFlag : upperFlag;
        t.lines[static_cast<std::size_t>(p)] =
            std::string("Av") + (p == 0 ? "O" : "E") + " " + std::to_string(firstSecond) +
            "\u2014" + std::to_string(lastSecond) + "  Min=" + SignedValue(prof.min) +
            "  Max=" + SignedValue(prof.max) + "  D=" + (falling ? "\u2014" : " ") +
            SignedValue(swing) + " " +
            (!warn ? ""
             : en  ? "  -   not monotonic"
                   : "  -   функция немонотонная");
    }
    return t;
}

SStatLayout LayoutStatGraph(int width, int height, int axes) {
    SStatLayout l;
    l.client = {0, 0, width - 5, height};
    l.inner = {l.client.left, l.client.top + 20, l.client.right, l.client.bottom - 10};
    l.plot.left = l.inner.left + 64 * axes;
    l.plot.right = l.inner.right;
    l.plot.top = l.inner.top + 40;
    l.plot.bottom = l.inner.bottom - 14;
    l.plotWidth = l.plot.right - l.plot.left - 2;
    l.plotHeight = l.plot.bottom - l.plot.top - 2;
    return l;
}

}  // namespace dravmer::graph
