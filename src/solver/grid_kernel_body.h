// The blocked sampling loop every variant shares, written against a lane type
// V that the variant file defines for its instruction set. A variant file
// defines MX_KERNEL_TARGET (the target attribute its functions carry) and then
// includes this file; everything here has internal linkage, so each variant
// gets its own copy compiled for its own instructions.
//
// Order of operations, per lane, identical to the straightforward loop:
//   d_k = (z_k - x_k) * scale_k,  a_k = d_k * d_k
//   q = (((a_0 + a_1) + a_2) + a_3) + shape
//   sum = sum + sqrt(q) * weight        (centres in order, sum starting at +0)
//   value = factor * (sum + offset)
// The straightforward loop starts q at 0.0 + a_0, which is a_0 itself: a
// square is never -0.0, and a NaN or infinity passes through unchanged.
//
// Lane type V: Reg, kWidth, zero, load and store (aligned), broadcast, add,
// sub, mul, sqrt.
#ifndef MX_KERNEL_TARGET
#error "define MX_KERNEL_TARGET before including grid_kernel_body.h"
#endif

namespace mx::kernels {
namespace {

// One row of L lanes per centre axis value j: the squared scaled difference
// of that axis value to each lane's point coordinate.
template <class V, int32_t L>
MX_KERNEL_TARGET void buildAxisTerms(const double* axis, int32_t count, const double* laneCoords,
                                     double scale, double* terms) {
    constexpr int32_t W = V::kWidth;
    const typename V::Reg s = V::broadcast(scale);
    for (int32_t j = 0; j < count; ++j) {
        const typename V::Reg z = V::broadcast(axis[j]);
        for (int32_t l = 0; l < L; l += W) {
            const typename V::Reg d = V::mul(V::sub(z, V::load(laneCoords + l)), s);
            V::store(terms + static_cast<size_t>(j) * L + l, V::mul(d, d));
        }
    }
}

// Samples the U * kWidth points from `first` on (lanes past the last point
// repeat it and are dropped).
template <class V, int32_t U>
MX_KERNEL_TARGET void sampleBlock(const SampleArgs& a, int64_t first) {
    using Reg = typename V::Reg;
    constexpr int32_t W = V::kWidth;
    constexpr int32_t L = W * U;
    const int32_t c0 = a.centreDims[0], c1 = a.centreDims[1], c2 = a.centreDims[2],
                  c3 = a.centreDims[3];

    double* const laneCoords = a.scratch;  // 4 rows: coordinate k of every lane's point
    double* const terms0 = laneCoords + 4 * L;
    double* const terms1 = terms0 + static_cast<size_t>(c0) * L;
    double* const terms2 = terms1 + static_cast<size_t>(c1) * L;
    double* const terms3 = terms2 + static_cast<size_t>(c2) * L;
    double* const result = terms3 + static_cast<size_t>(c3) * L;

    for (int32_t l = 0; l < L; ++l) {
        const int64_t p = first + l < a.pointCount ? first + l : a.pointCount - 1;
        for (int32_t k = 0; k < 4; ++k)
            laneCoords[k * L + l] = a.points[4 * p + k];
    }
    buildAxisTerms<V, L>(a.centreAxes[0], c0, laneCoords, a.scales[0], terms0);
    buildAxisTerms<V, L>(a.centreAxes[1], c1, laneCoords + L, a.scales[1], terms1);
    buildAxisTerms<V, L>(a.centreAxes[2], c2, laneCoords + 2 * L, a.scales[2], terms2);
    buildAxisTerms<V, L>(a.centreAxes[3], c3, laneCoords + 3 * L, a.scales[3], terms3);

    const Reg shape = V::broadcast(a.shape);
    Reg sum[U];
    for (int32_t u = 0; u < U; ++u)
        sum[u] = V::zero();
    const double* weight = a.weights;
    for (int32_t j3 = 0; j3 < c3; ++j3) {
        Reg t3[U];
        for (int32_t u = 0; u < U; ++u)
            t3[u] = V::load(terms3 + static_cast<size_t>(j3) * L + u * W);
        for (int32_t j2 = 0; j2 < c2; ++j2) {
            Reg t2[U];
            for (int32_t u = 0; u < U; ++u) {
                t2[u] = V::load(terms2 + static_cast<size_t>(j2) * L + u * W);
            }
            for (int32_t j1 = 0; j1 < c1; ++j1) {
                Reg t1[U];
                for (int32_t u = 0; u < U; ++u) {
                    t1[u] = V::load(terms1 + static_cast<size_t>(j1) * L + u * W);
                }
                const double* t0 = terms0;
                for (int32_t j0 = 0; j0 < c0; ++j0, t0 += L) {
                    const Reg w = V::broadcast(*weight++);
#pragma GCC unroll 8
                    for (int32_t u = 0; u < U; ++u) {
                        Reg q = V::add(V::load(t0 + u * W), t1[u]);
                        q = V::add(q, t2[u]);
                        q = V::add(q, t3[u]);
                        q = V::add(q, shape);
                        sum[u] = V::add(sum[u], V::mul(V::sqrt(q), w));
                    }
                }
            }
        }
    }

    const Reg offset = V::broadcast(a.offset);
    const Reg factor = V::broadcast(a.factor);
    for (int32_t u = 0; u < U; ++u)
        V::store(result + u * W, V::mul(factor, V::add(sum[u], offset)));
    const int64_t valid = a.pointCount - first < L ? a.pointCount - first : L;
    for (int64_t l = 0; l < valid; ++l)
        a.out[first + l] = result[l];
}

// All points: blocks of U lane groups, then single lane groups for the rest.
template <class V, int32_t U>
MX_KERNEL_TARGET void sampleAllPoints(const SampleArgs& a) {
    constexpr int32_t L = V::kWidth * U;
    int64_t first = 0;
    for (; first + L <= a.pointCount; first += L)
        sampleBlock<V, U>(a, first);
    for (; first < a.pointCount; first += V::kWidth)
        sampleBlock<V, 1>(a, first);
}

}  // namespace
}  // namespace mx::kernels
