// The run of rows four parameters at a time, for processors with AVX2. This file alone is
// compiled for AVX2 and is entered only when the processor has it; it holds nothing else.
#include "measure/batch_kernel.h"

#if defined(__x86_64__) && defined(__AVX2__)
#include <immintrin.h>

namespace dravmer::batch {

namespace {

// No fused multiply-add: a product is rounded before it is added, as everywhere else. MINPD
// and MAXPD give their second operand unless the first is smaller (larger), NaN included: the
// comparisons of the record-by-record update.
struct SAvx2 {
    using V = __m256d;
    static constexpr int kWidth = 4;
    static V Load(const double* p) { return _mm256_loadu_pd(p); }
    static V Load(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
    static void Store(double* p, V v) { _mm256_storeu_pd(p, v); }
    static V Add(V a, V b) { return _mm256_add_pd(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V Min(V x, V m) { return _mm256_min_pd(x, m); }
    static V Max(V x, V m) { return _mm256_max_pd(x, m); }
};

// Two groups side by side: twelve accumulators and their operands fill the sixteen registers.
template <class T>
void Run(const SAccumulators& a, int first, int end, const T* rows, const SRun& run) {
    RunGroups<SAvx2, 2>(a, first, end, rows, run);
}

}  // namespace

void RunAvx2(const SAccumulators& a, int first, int end, const double* rows, const SRun& run) {
    Run(a, first, end, rows, run);
}
void RunAvx2(const SAccumulators& a, int first, int end, const float* rows, const SRun& run) {
    Run(a, first, end, rows, run);
}

}  // namespace dravmer::batch
#endif
