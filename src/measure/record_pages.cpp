#include "measure/record_pages.h"

#include <cstring>

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
    // Column by column: each pass writes one contiguous run.
    for (int k = 0; k < kDoubleColumns; ++k) {
        double* column = DoublesOut(out, k);
        const char* base = reinterpret_cast<const char*>(records) + f.offset[k];
        for (int i = 0; i < kRecords; ++i)
            std::memcpy(&column[i], base + sizeof(CMeasRecord) * static_cast<std::size_t>(i),
                        sizeof(double));
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
    // Parity of each record and the record of the same parity before it in the block.
    static thread_local std::int16_t before[kRecords];
    static thread_local bool even[kRecords];
    int firstE = -1, firstO = -1, lastE = -1, lastO = -1;
    s.nE = s.nO = 0;
    for (int i = 0; i < kRecords; ++i) {
        even[i] = (block[kCycleAt + static_cast<std::size_t>(i)] & 1) == 0;
        int& last = even[i] ? lastE : lastO;
        before[i] = static_cast<std::int16_t>(last);
        last = i;
        if (even[i]) {
            if (firstE < 0) firstE = i;
            ++s.nE;
        } else {
            if (firstO < 0) firstO = i;
            ++s.nO;
        }
    }
    s.hasExtremes = 0;
    static thread_local double gvEr[kRecords];
    for (int i = 0; i < kRecords; ++i) gvEr[i] = block[kGvErAt + static_cast<std::size_t>(i)];
    for (int k = 0; k < kStatParams; ++k) {
        const int p = k + kStatFirstParam;
        const double* x = p == param::kGvEr ? gvEr : DoublesOf(block, DoubleColumn(p));
        // In record order, as a recompute walks them.
        double sum = 0, sumSq = 0, sumE = 0, sumO = 0, noise = 0, noiseE = 0, noiseO = 0;
        double lo = 0, hi = 0;
        bool any = false;
        for (int i = 0; i < kRecords; ++i) {
            const double v = x[i];
            sum += v;
            sumSq += v * v;
            if (even[i]) sumE += v;
            else sumO += v;
            if (i > 0) {
                const double d = v - x[i - 1];
                noise += d * d;
            }
            if (before[i] >= 0) {
                const double d = v - x[before[i]];
                if (even[i]) noiseE += d * d;
                else noiseO += d * d;
            }
            if (v == v) {  // NaN never takes part in the extremes, as in a recompute
                if (!any) {
                    lo = hi = v;
                    any = true;
                } else {
                    if (v > hi) hi = v;
                    if (v < lo) lo = v;
                }
            }
        }
        s.sum[k] = sum;
        s.sumSq[k] = sumSq;
        s.sumE[k] = sumE;
        s.sumO[k] = sumO;
        s.noise[k] = noise;
        s.noiseE[k] = noiseE;
        s.noiseO[k] = noiseO;
        s.min[k] = lo;
        s.max[k] = hi;
        if (any) s.hasExtremes |= std::uint64_t{1} << k;
        s.first[k] = x[0];
        s.last[k] = x[kRecords - 1];
        s.firstE[k] = firstE >= 0 ? x[firstE] : 0;
        s.lastE[k] = lastE >= 0 ? x[lastE] : 0;
        s.firstO[k] = firstO >= 0 ? x[firstO] : 0;
        s.lastO[k] = lastO >= 0 ? x[lastO] : 0;
    }
}

}  // namespace dravmer::pages
