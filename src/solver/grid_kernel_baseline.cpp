// Sampling kernel every build can run: pairs of grid points in SSE2 registers
// on x86-64 (part of the architecture), plain doubles elsewhere. The fallback
// when no wider kernel is supported.
#include <cmath>

#include "solver/grid_kernel_args.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#define MX_KERNEL_TARGET

namespace mx::kernels {
namespace {

#if defined(__SSE2__)
struct BaselineLanes {
    using Reg = __m128d;
    static constexpr int32_t kWidth = 2;
    static constexpr int32_t kGroups = 2;
    static Reg zero() { return _mm_setzero_pd(); }
    static Reg load(const double* p) { return _mm_load_pd(p); }
    static void store(double* p, Reg v) { _mm_store_pd(p, v); }
    static Reg broadcast(double x) { return _mm_set1_pd(x); }
    static Reg add(Reg a, Reg b) { return _mm_add_pd(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm_sub_pd(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm_mul_pd(a, b); }
    static Reg sqrt(Reg a) { return _mm_sqrt_pd(a); }
};
#else
struct BaselineLanes {
    using Reg = double;
    static constexpr int32_t kWidth = 1;
    static constexpr int32_t kGroups = 4;
    static Reg zero() { return 0.0; }
    static Reg load(const double* p) { return *p; }
    static void store(double* p, Reg v) { *p = v; }
    static Reg broadcast(double x) { return x; }
    static Reg add(Reg a, Reg b) { return a + b; }
    static Reg sub(Reg a, Reg b) { return a - b; }
    static Reg mul(Reg a, Reg b) { return a * b; }
    static Reg sqrt(Reg a) { return std::sqrt(a); }
};
#endif

}  // namespace
}  // namespace mx::kernels

#include "solver/grid_kernel_body.h"

namespace mx::kernels {

void SampleBaseline(const SampleArgs& args) {
    sampleAllPoints<BaselineLanes, BaselineLanes::kGroups>(args);
}

}  // namespace mx::kernels
