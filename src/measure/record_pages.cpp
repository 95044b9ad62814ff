#include "measure/record_pages.h"

#include <cstring>
#include <initializer_list>

namespace dravmer::pages {

namespace {

// Byte offset of each double column's field in the record, in column order.
struct SColumnFields {
    std::ptrdiff_t offset[kDoubleColumns];
    SColumnFields() {
        int k = 0;
        for (int p = 0; p < kParamCount; ++p)
            if (DoubleParamOffset(p) >= 0) offset[k++] = DoubleParamOffset(p);
    }
};
const SColumnFields& Fields() {
    static const SColumnFields fields;
    return fields;
}

double* DoublesOut(unsigned char* block, int column) {
    return reinterpret_cast<double*>(block + kDoublesAt +
                                     sizeof(double) * kB * static_cast<std::size_t>(column));
}

}  // namespace

int DoubleColumn(int param) {
    if (param < param::kUG || param >= kParamCount || param == param::kGvEr) return -1;
    return param < param::kGvEr ? param - param::kUG : param - param::kUG - 1;
}

void Encode(const CMeasRecord* records, unsigned char* out) {
    auto* time = reinterpret_cast<std::uint32_t*>(out + kTimeAt);
    auto* state = reinterpret_cast<std::uint16_t*>(out + kStateAt);
    for (int i = 0; i < kRecords; ++i) {
        const CMeasRecord& r = records[i];
        time[i] = r.time;
        out[kCycleAt + i] = r.cycle;
        out[kKgAt + i] = r.kg;
        out[kKrAt + i] = r.kr;
        out[kGvErAt + i] = r.gvEr;
        state[i] = r.state;
    }
    const SColumnFields& f = Fields();
    // In tiles of records that stay in the first-level cache while every column takes its run.
    constexpr int kTile = 32;
    for (int first = 0; first < kRecords; first += kTile) {
        const char* tile = reinterpret_cast<const char*>(records + first);
        for (int k = 0; k < kDoubleColumns; ++k) {
            double* column = DoublesOut(out, k) + first;
            const char* base = tile + f.offset[k];
            for (int i = 0; i < kTile; ++i)
                std::memcpy(&column[i], base + sizeof(CMeasRecord) * static_cast<std::size_t>(i),
                            sizeof(double));
        }
    }
}

void Decode(const unsigned char* block, int offset, int position, CMeasRecord& out) {
    const auto o = static_cast<std::size_t>(offset);
    out = CMeasRecord{};
    out.position = position;
    out.time = TimeOf(block, offset);
    out.cycle = block[kCycleAt + o];
    out.kg = block[kKgAt + o];
    out.kr = block[kKrAt + o];
    out.gvEr = block[kGvErAt + o];
    std::memcpy(&out.state, block + kStateAt + 2 * o, 2);
    const SColumnFields& f = Fields();
    for (int k = 0; k < kDoubleColumns; ++k)
        std::memcpy(reinterpret_cast<char*>(&out) + f.offset[k], DoublesOf(block, k) + o,
                    sizeof(double));
}

double ParamOf(const unsigned char* block, int offset, int param) {
    const auto o = static_cast<std::size_t>(offset);
    switch (param) {
        case param::kTime:
            return TimeOf(block, offset);
        case param::kCycle:
            return block[kCycleAt + o];
        case param::kState: {
            std::uint16_t s;
            std::memcpy(&s, block + kStateAt + 2 * o, 2);
            return s;
        }
        case param::kGvEr:
            return block[kGvErAt + o];
        default:
            break;
    }
    const int k = DoubleColumn(param);
    return k < 0 ? 0 : DoublesOf(block, k)[o];
}

void StatParamsOf(const unsigned char* block, int offset, double* out) {
    const auto o = static_cast<std::size_t>(offset);
    for (int k = 0; k < kDoubleColumns; ++k) {
        const int p = k + param::kUG + (k >= param::kGvEr - param::kUG ? 1 : 0);
        out[p] = DoublesOf(block, k)[o];
    }
    out[param::kGvEr] = block[kGvErAt + o];
}

void Summarize(const unsigned char* block, SBlockSum& s) {
    // Parity of each record, and the pairs of neighbours of one parity inside the block.
    static thread_local bool evenMask[kRecords];
    static thread_local std::int16_t pairs[2][kRecords][2];
    int pairCount[2] = {0, 0};
    int firstOf[2] = {-1, -1}, lastOf[2] = {-1, -1};  // [0] even, [1] odd
    for (int i = 0; i < kRecords; ++i) {
        const int odd = block[kCycleAt + static_cast<std::size_t>(i)] & 1;
        evenMask[i] = !odd;
        if (lastOf[odd] >= 0) {
            pairs[odd][pairCount[odd]][0] = static_cast<std::int16_t>(lastOf[odd]);
            pairs[odd][pairCount[odd]][1] = static_cast<std::int16_t>(i);
            ++pairCount[odd];
        }
        if (firstOf[odd] < 0) firstOf[odd] = i;
        lastOf[odd] = i;
    }
    s.nE = pairCount[0] + (firstOf[0] >= 0 ? 1 : 0);
    s.nO = kRecords - s.nE;
    s.hasExtremes = 0;
    static thread_local double gvEr[kRecords];
    for (int i = 0; i < kRecords; ++i) gvEr[i] = block[kGvErAt + static_cast<std::size_t>(i)];
    auto pairSum = [](const double* x, const std::int16_t (*pair)[2], int count) {
        double a = 0, b = 0;
        int j = 0;
        for (; j + 1 < count; j += 2) {
            const double d0 = x[pair[j][1]] - x[pair[j][0]];
            const double d1 = x[pair[j + 1][1]] - x[pair[j + 1][0]];
            a += d0 * d0;
            b += d1 * d1;
        }
        if (j < count) {
            const double d = x[pair[j][1]] - x[pair[j][0]];
            a += d * d;
        }
        return a + b;
    };
    for (int k = 0; k < kStatParams; ++k) {
        const int p = k + kStatFirstParam;
        const double* x = p == param::kGvEr ? gvEr : DoublesOf(block, DoubleColumn(p));
        // Two interleaved sums each, held in registers: a block's sums are its own, in an
        // order that keeps the processor busy. NaN makes them NaN in any order.
        double sum0 = 0, sum1 = 0, sq0 = 0, sq1 = 0, e0 = 0, e1 = 0, o0 = 0, o1 = 0;
        for (int i = 0; i < kRecords; i += 2) {
            const double v0 = x[i], v1 = x[i + 1];
            sum0 += v0;
            sum1 += v1;
            sq0 += v0 * v0;
            sq1 += v1 * v1;
            // Selects, not products: NaN or an infinity of the other parity stays out.
            e0 += evenMask[i] ? v0 : 0.0;
            o0 += evenMask[i] ? 0.0 : v0;
            e1 += evenMask[i + 1] ? v1 : 0.0;
            o1 += evenMask[i + 1] ? 0.0 : v1;
        }
        double n0 = 0, n1 = 0;
        int i = 1;
        for (; i + 1 < kRecords; i += 2) {
            const double d0 = x[i] - x[i - 1], d1 = x[i + 1] - x[i];
            n0 += d0 * d0;
            n1 += d1 * d1;
        }
        for (; i < kRecords; ++i) {
            const double d = x[i] - x[i - 1];
            n0 += d * d;
        }
        s.sum[k] = sum0 + sum1;
        s.sumSq[k] = sq0 + sq1;
        s.sumE[k] = e0 + e1;
        s.sumO[k] = o0 + o1;
        s.noise[k] = n0 + n1;
        s.noiseE[k] = pairSum(x, pairs[0], pairCount[0]);
        s.noiseO[k] = pairSum(x, pairs[1], pairCount[1]);
        // The extremes as a walk finds them: NaN never replaces one, a tie keeps the earlier.
        // Four lanes, each started from the first value that is not NaN; where they could
        // differ from the walk (the extreme is a zero, whose sign a tie decides), the walk.
        int start = 0;
        while (start < kRecords && x[start] != x[start]) ++start;
        double lo = 0, hi = 0;
        if (start < kRecords) {
            double h[4], l[4];
            for (int q = 0; q < 4; ++q) h[q] = l[q] = x[start];
            double h0 = h[0], h1 = h[1], h2 = h[2], h3 = h[3];
            double l0 = l[0], l1 = l[1], l2 = l[2], l3 = l[3];
            int j = start + 1;
            for (; j + 3 < kRecords; j += 4) {
                h0 = x[j] > h0 ? x[j] : h0;
                h1 = x[j + 1] > h1 ? x[j + 1] : h1;
                h2 = x[j + 2] > h2 ? x[j + 2] : h2;
                h3 = x[j + 3] > h3 ? x[j + 3] : h3;
                l0 = x[j] < l0 ? x[j] : l0;
                l1 = x[j + 1] < l1 ? x[j + 1] : l1;
                l2 = x[j + 2] < l2 ? x[j + 2] : l2;
                l3 = x[j + 3] < l3 ? x[j + 3] : l3;
            }
            for (; j < kRecords; ++j) {
                h0 = x[j] > h0 ? x[j] : h0;
                l0 = x[j] < l0 ? x[j] : l0;
            }
            hi = h0;
            for (double v : {h1, h2, h3}) hi = v > hi ? v : hi;
            lo = l0;
            for (double v : {l1, l2, l3}) lo = v < lo ? v : lo;
            if (hi == 0 || lo == 0) {
                lo = hi = x[start];
                for (int q = start + 1; q < kRecords; ++q) {
                    hi = x[q] > hi ? x[q] : hi;
                    lo = x[q] < lo ? x[q] : lo;
                }
            }
            s.hasExtremes |= std::uint64_t{1} << k;
        }
        s.min[k] = lo;
        s.max[k] = hi;
        s.first[k] = x[0];
        s.last[k] = x[kRecords - 1];
        s.firstE[k] = firstOf[0] >= 0 ? x[firstOf[0]] : 0;
        s.lastE[k] = lastOf[0] >= 0 ? x[lastOf[0]] : 0;
        s.firstO[k] = firstOf[1] >= 0 ? x[firstOf[1]] : 0;
        s.lastO[k] = lastOf[1] >= 0 ? x[lastOf[1]] : 0;
    }
}

}  // namespace dravmer::pages
