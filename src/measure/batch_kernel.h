#pragma once
// Private to the store: what a run of rows does to the running statistics of a group of
// parameters, the group's accumulators held in registers over the run. Each parameter sees the
// same operations in the same order as record by record, so the results are the same to the
// last bit. Ops gives the width (one, two or four parameters at a time).
//
// This header is also compiled for AVX2 alone (batch_avx2.cpp): it includes nothing whose
// inline code could be shared with the rest of the program.
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dravmer::batch {

// The running sums of the statistics parameters and the rows the next record is taken against.
struct SAccumulators {
    double *sum, *sumSq, *min, *max, *noise, *sumE, *sumO, *noiseE, *noiseO;
    double *prev, *lastE, *lastO;
};

// The rows: n of them, `stride` values apart; each one's parity and whether a row of its
// parity came before it.
struct SRun {
    int n = 0;
    std::size_t stride = 0;
    const unsigned char* even = nullptr;
    const unsigned char* hasSame = nullptr;
};

namespace {

template <class Ops, class T>
inline void Group(const SAccumulators& a, int p, const T* rows, const SRun& run) {
    using V = typename Ops::V;
    V sum = Ops::Load(a.sum + p), sq = Ops::Load(a.sumSq + p);
    V mn = Ops::Load(a.min + p), mx = Ops::Load(a.max + p), noise = Ops::Load(a.noise + p);
    V sumE = Ops::Load(a.sumE + p), sumO = Ops::Load(a.sumO + p);
    V noiseE = Ops::Load(a.noiseE + p), noiseO = Ops::Load(a.noiseO + p);
    V pv = Ops::Load(a.prev + p), le = Ops::Load(a.lastE + p), lo = Ops::Load(a.lastO + p);
    for (int r = 0; r < run.n; ++r) {
        const V x = Ops::Load(rows + static_cast<std::size_t>(r) * run.stride + static_cast<std::size_t>(p));
        sum = Ops::Add(sum, x);
        sq = Ops::Add(sq, Ops::Mul(x, x));
        mn = Ops::Min(x, mn);  // x < mn ? x : mn
        mx = Ops::Max(x, mx);  // x > mx ? x : mx
        const V d = Ops::Sub(x, pv);
        noise = Ops::Add(noise, Ops::Mul(d, d));
        pv = x;
        if (run.even[r]) {
            sumE = Ops::Add(sumE, x);
            if (run.hasSame[r]) {
                const V e = Ops::Sub(x, le);
                noiseE = Ops::Add(noiseE, Ops::Mul(e, e));
            }
            le = x;
        } else {
            sumO = Ops::Add(sumO, x);
            if (run.hasSame[r]) {
                const V e = Ops::Sub(x, lo);
                noiseO = Ops::Add(noiseO, Ops::Mul(e, e));
            }
            lo = x;
        }
    }
    Ops::Store(a.sum + p, sum);
    Ops::Store(a.sumSq + p, sq);
    Ops::Store(a.min + p, mn);
    Ops::Store(a.max + p, mx);
    Ops::Store(a.noise + p, noise);
    Ops::Store(a.sumE + p, sumE);
    Ops::Store(a.sumO + p, sumO);
    Ops::Store(a.noiseE + p, noiseE);
    Ops::Store(a.noiseO + p, noiseO);
    Ops::Store(a.prev + p, pv);
    Ops::Store(a.lastE + p, le);
    Ops::Store(a.lastO + p, lo);
}

// One parameter at a time: any machine.
struct SScalar {
    using V = double;
    static constexpr int kWidth = 1;
    static V Load(const double* p) { return *p; }
    static V Load(const float* p) {
        float f;
        std::memcpy(&f, p, sizeof f);
        return f;
    }
    static void Store(double* p, V v) { *p = v; }
    static V Add(V a, V b) { return a + b; }
    static V Sub(V a, V b) { return a - b; }
    static V Mul(V a, V b) { return a * b; }
    static V Min(V x, V m) { return x < m ? x : m; }
    static V Max(V x, V m) { return x > m ? x : m; }
};

#if defined(__SSE2__)
// Two parameters at a time. MINPD and MAXPD give their second operand unless the first is
// smaller (larger), NaN included: the comparisons of the record-by-record update.
struct SSse2 {
    using V = __m128d;
    static constexpr int kWidth = 2;
    static V Load(const double* p) { return _mm_loadu_pd(p); }
    static V Load(const float* p) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void Store(double* p, V v) { _mm_storeu_pd(p, v); }
    static V Add(V a, V b) { return _mm_add_pd(a, b); }
    static V Sub(V a, V b) { return _mm_sub_pd(a, b); }
    static V Mul(V a, V b) { return _mm_mul_pd(a, b); }
    static V Min(V x, V m) { return _mm_min_pd(x, m); }
    static V Max(V x, V m) { return _mm_max_pd(x, m); }
};
#endif

}  // namespace

// Parameters first .. end-1 (a multiple of four) with AVX2; only where the processor has it.
void RunAvx2(const SAccumulators& a, int first, int end, const double* rows, const SRun& run);
void RunAvx2(const SAccumulators& a, int first, int end, const float* rows, const SRun& run);

}  // namespace dravmer::batch
