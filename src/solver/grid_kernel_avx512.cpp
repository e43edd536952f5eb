// Sampling kernel for x86-64 with AVX-512F: eight grid points per register,
// two registers per block. Called only when the CPU and the OS support it.
#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>

#include "solver/grid_kernel_args.h"

#define MX_KERNEL_TARGET __attribute__((target("avx512f")))

namespace mx::kernels {
namespace {

struct Avx512Lanes {
    using Reg = __m512d;
    static constexpr int32_t kWidth = 8;
    MX_KERNEL_TARGET static Reg zero() { return _mm512_setzero_pd(); }
    MX_KERNEL_TARGET static Reg load(const double* p) { return _mm512_load_pd(p); }
    MX_KERNEL_TARGET static void store(double* p, Reg v) { _mm512_store_pd(p, v); }
    MX_KERNEL_TARGET static Reg broadcast(double x) { return _mm512_set1_pd(x); }
    MX_KERNEL_TARGET static Reg add(Reg a, Reg b) { return _mm512_add_pd(a, b); }
    MX_KERNEL_TARGET static Reg sub(Reg a, Reg b) { return _mm512_sub_pd(a, b); }
    MX_KERNEL_TARGET static Reg mul(Reg a, Reg b) { return _mm512_mul_pd(a, b); }
    // The masked form with every lane selected is the plain square root; the
    // unmasked intrinsic trips a false uninitialized-value warning in GCC 12.
    MX_KERNEL_TARGET static Reg sqrt(Reg a) { return _mm512_mask_sqrt_pd(a, 0xFF, a); }
};

}  // namespace
}  // namespace mx::kernels

#include "solver/grid_kernel_body.h"

namespace mx::kernels {

MX_KERNEL_TARGET void SampleAvx512(const SampleArgs& args) {
    sampleAllPoints<Avx512Lanes, 2>(args);
}

}  // namespace mx::kernels

#endif
