// What a sampling kernel variant receives: plain pointers and numbers only.
//
// The variant files are compiled for different instruction sets. They include
// nothing but this header and the intrinsics, so no inline function of a
// shared header (whose one out-of-line copy the linker would pick at random)
// is ever compiled with instructions the CPU may lack.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mx::kernels {

struct SampleArgs {
    const double* centreAxes[4];  // the centre grid's values on each axis
    int32_t centreDims[4];        // centre grid points per axis, first axis fastest
    const double* weights;        // one per centre: the product of centreDims
    const double* points;         // four coordinates a point
    int32_t pointCount;
    double scales[4];
    double shape;
    double offset;
    double factor;
    double* out;      // pointCount values
    double* scratch;  // ScratchDoubles(centreDims) doubles, 64-byte aligned
};

// Points computed side by side in one block, the most any variant uses.
constexpr int32_t kMaxBlockLanes = 32;

// Scratch a variant needs: lane coordinates, per-axis term tables and results.
inline size_t ScratchDoubles(const int32_t centreDims[4]) {
    size_t rows = 4 + 1;
    for (int k = 0; k < 4; ++k)
        rows += static_cast<size_t>(centreDims[k]);
    return rows * kMaxBlockLanes;
}

void SampleBaseline(const SampleArgs& args);
void SampleAvx2(const SampleArgs& args);
void SampleAvx512(const SampleArgs& args);

}  // namespace mx::kernels
