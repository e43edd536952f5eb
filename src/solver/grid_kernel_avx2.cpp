// Sampling kernel for x86-64 with AVX2: four grid points per register,
// two registers per block. Called only when the CPU and the OS support it.
#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>

#include "solver/grid_kernel_args.h"

#define MX_KERNEL_TARGET __attribute__((target("avx2")))

namespace mx::kernels {
namespace {

struct Avx2Lanes {
    using Reg = __m256d;
    static constexpr int32_t kWidth = 4;
    MX_KERNEL_TARGET static Reg zero() { return _mm256_setzero_pd(); }
    MX_KERNEL_TARGET static Reg load(const double* p) { return _mm256_load_pd(p); }
    MX_KERNEL_TARGET static void store(double* p, Reg v) { _mm256_store_pd(p, v); }
    MX_KERNEL_TARGET static Reg broadcast(double x) { return _mm256_set1_pd(x); }
    MX_KERNEL_TARGET static Reg add(Reg a, Reg b) { return _mm256_add_pd(a, b); }
    MX_KERNEL_TARGET static Reg sub(Reg a, Reg b) { return _mm256_sub_pd(a, b); }
    MX_KERNEL_TARGET static Reg mul(Reg a, Reg b) { return _mm256_mul_pd(a, b); }
    MX_KERNEL_TARGET static Reg sqrt(Reg a) { return _mm256_sqrt_pd(a); }
};

}  // namespace
}  // namespace mx::kernels

#include "solver/grid_kernel_body.h"

namespace mx::kernels {

MX_KERNEL_TARGET void SampleAvx2(const SampleArgs& args) {
    sampleAllPoints<Avx2Lanes, 2>(args);
}

}  // namespace mx::kernels

#endif
