#pragma once
// Private to the store: what a run of rows does to the running statistics of a group of
// parameters, the group's accumulators held in registers over the run. Each parameter sees the
// same operations in the same order as record by record, so the results are the same to the
// last bit. Ops gives the width (one, two or four parameters at a time).
//
// This header is also compiled for AVX2 and AVX-512 alone (batch_avx2.cpp, batch_avx512.cpp):
// it includes nothing whose inline code could be shared with the rest of the program.
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

// The rows: n of them, `stride` values apart, and the rows of each parity in order ([0] even,
// [1] odd) with whether the first of them has a row of its parity before it (in an earlier run).
struct SRun {
    int n = 0;
    std::size_t stride = 0;
    const int* parityRows[2] = {nullptr, nullptr};
    int parityCount[2] = {0, 0};
    bool firstHasSame[2] = {false, false};
};

namespace {

// K groups of parameters side by side from p on, each Ops::kWidth wide (the loops over the
// groups are unrolled, so that their accumulators stay in registers). The accumulators that
// every row feeds are taken in one pass over the rows, those of each parity in a pass over its
// rows: each accumulator still sees its values in record order, and the groups' chains of
// additions run side by side instead of one after the other.
template <class Ops, int K, class T>
inline void Groups(const SAccumulators& a, int p, const T* rows, const SRun& run) {
    using V = typename Ops::V;
    constexpr int W = Ops::kWidth;
    auto row = [&](int r, int k) {
        return rows + static_cast<std::size_t>(r) * run.stride + static_cast<std::size_t>(p + k * W);
    };
    {
        V sum[K], sq[K], mn[K], mx[K], noise[K], pv[K];
        _Pragma("GCC unroll 8") for (int k = 0; k < K; ++k) {
            const int at = p + k * W;
            sum[k] = Ops::Load(a.sum + at);
            sq[k] = Ops::Load(a.sumSq + at);
            mn[k] = Ops::Load(a.min + at);
            mx[k] = Ops::Load(a.max + at);
            noise[k] = Ops::Load(a.noise + at);
            pv[k] = Ops::Load(a.prev + at);
        }
        for (int r = 0; r < run.n; ++r)
            _Pragma("GCC unroll 8") for (int k = 0; k < K; ++k) {
                const V x = Ops::Load(row(r, k));
                sum[k] = Ops::Add(sum[k], x);
                sq[k] = Ops::Add(sq[k], Ops::Mul(x, x));
                mn[k] = Ops::Min(x, mn[k]);  // x < mn ? x : mn
                mx[k] = Ops::Max(x, mx[k]);  // x > mx ? x : mx
                const V d = Ops::Sub(x, pv[k]);
                noise[k] = Ops::Add(noise[k], Ops::Mul(d, d));
                pv[k] = x;
            }
        _Pragma("GCC unroll 8") for (int k = 0; k < K; ++k) {
            const int at = p + k * W;
            Ops::Store(a.sum + at, sum[k]);
            Ops::Store(a.sumSq + at, sq[k]);
            Ops::Store(a.min + at, mn[k]);
            Ops::Store(a.max + at, mx[k]);
            Ops::Store(a.noise + at, noise[k]);
            Ops::Store(a.prev + at, pv[k]);
        }
    }
    for (int q = 0; q < 2; ++q) {
        const int count = run.parityCount[q];
        if (count == 0) continue;
        const int* rowsOf = run.parityRows[q];
        double* sums = q == 0 ? a.sumE : a.sumO;
        double* noises = q == 0 ? a.noiseE : a.noiseO;
        double* lasts = q == 0 ? a.lastE : a.lastO;
        V s[K], nz[K], last[K];
        _Pragma("GCC unroll 8") for (int k = 0; k < K; ++k) {
            const int at = p + k * W;
            s[k] = Ops::Load(sums + at);
            nz[k] = Ops::Load(noises + at);
            last[k] = Ops::Load(lasts + at);
        }
        _Pragma("GCC unroll 8") for (int k = 0; k < K; ++k) {  // the first row of the parity
            const V x = Ops::Load(row(rowsOf[0], k));
            s[k] = Ops::Add(s[k], x);
            if (run.firstHasSame[q]) {
                const V e = Ops::Sub(x, last[k]);
                nz[k] = Ops::Add(nz[k], Ops::Mul(e, e));
            }
            last[k] = x;
        }
        for (int i = 1; i < count; ++i)
            _Pragma("GCC unroll 8") for (int k = 0; k < K; ++k) {
                const V x = Ops::Load(row(rowsOf[i], k));
                s[k] = Ops::Add(s[k], x);
                const V e = Ops::Sub(x, last[k]);
                nz[k] = Ops::Add(nz[k], Ops::Mul(e, e));
                last[k] = x;
            }
        _Pragma("GCC unroll 8") for (int k = 0; k < K; ++k) {
            const int at = p + k * W;
            Ops::Store(sums + at, s[k]);
            Ops::Store(noises + at, nz[k]);
            Ops::Store(lasts + at, last[k]);
        }
    }
}

// Parameters first .. end-1: K groups at a time, then what is left one group at a time.
template <class Ops, int K, class T>
inline void RunGroups(const SAccumulators& a, int first, int end, const T* rows, const SRun& run) {
    int p = first;
    for (; p + K * Ops::kWidth <= end; p += K * Ops::kWidth) Groups<Ops, K>(a, p, rows, run);
    for (; p + Ops::kWidth <= end; p += Ops::kWidth) Groups<Ops, 1>(a, p, rows, run);
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

// Parameters first .. end-1 (a multiple of four, of eight) with AVX2, AVX-512; only where the
// processor has it.
void RunAvx2(const SAccumulators& a, int first, int end, const double* rows, const SRun& run);
void RunAvx2(const SAccumulators& a, int first, int end, const float* rows, const SRun& run);
void RunAvx512(const SAccumulators& a, int first, int end, const double* rows, const SRun& run);
void RunAvx512(const SAccumulators& a, int first, int end, const float* rows, const SRun& run);

}  // namespace dravmer::batch
