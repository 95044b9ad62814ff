// The run of rows eight parameters at a time, for processors with AVX-512. This file alone is
// compiled for AVX-512 and is entered only when the processor has it; it holds nothing else.
#include "measure/batch_kernel.h"

#if defined(__x86_64__) && defined(__AVX512F__)
#include <immintrin.h>

namespace dravmer::batch {

namespace {

// As the AVX2 run: no fused multiply-add, and VMINPD / VMAXPD keep the record-by-record
// comparisons.
struct SAvx512 {
    using V = __m512d;
    static constexpr int kWidth = 8;
    static V Load(const double* p) { return _mm512_loadu_pd(p); }
    static V Load(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
    static void Store(double* p, V v) { _mm512_storeu_pd(p, v); }
    static V Add(V a, V b) { return _mm512_add_pd(a, b); }
    static V Sub(V a, V b) { return _mm512_sub_pd(a, b); }
    static V Mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static V Min(V x, V m) { return _mm512_min_pd(x, m); }
    static V Max(V x, V m) { return _mm512_max_pd(x, m); }
};

// The five groups of the 40 statistics parameters side by side: thirty accumulators and their
// operands in thirty-two registers.
template <class T>
void Run(const SAccumulators& a, int first, int end, const T* rows, const SRun& run) {
    RunGroups<SAvx512, 5>(a, first, end, rows, run);
}

}  // namespace

void RunAvx512(const SAccumulators& a, int first, int end, const double* rows, const SRun& run) {
    Run(a, first, end, rows, run);
}
void RunAvx512(const SAccumulators& a, int first, int end, const float* rows, const SRun& run) {
    Run(a, first, end, rows, run);
}

}  // namespace dravmer::batch
#endif
