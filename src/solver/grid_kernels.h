// Sampling a multiquadric model on a grid at the machine's square-root rate.
//
// The straightforward loop (EvaluateModelOnGrid) spends one square root per
// grid point and centre; everything else can hide behind it. The kernels here
// keep that loop's order of operations exactly, so every grid value has the
// same bits: each grid point keeps its own sum and adds its centres in order.
// The vector kernels compute several grid points side by side (one per lane),
// never several centres of one sum, and use no fused multiply-add.
//
// The per-axis squared scaled differences of a point to the centre grid's axis
// values are computed once per block of points, which leaves four additions, a
// square root, a multiplication and an addition per term.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "model/module.h"

namespace mx {

// The ways of sampling a model; all give identical grid values.
enum class GridKernel : int {
    Reference,  // the straightforward loop, one point at a time
    Baseline,   // blocked by points; SSE2 pairs on x86-64, plain doubles elsewhere
    Avx2,       // four points a lane group (x86-64 with AVX2)
    Avx512,     // eight points a lane group (x86-64 with AVX-512F)
};

inline constexpr std::array<GridKernel, 4> kAllGridKernels = {
    GridKernel::Reference, GridKernel::Baseline, GridKernel::Avx2, GridKernel::Avx512};

const char* GridKernelName(GridKernel kernel);

// Whether this build and this CPU (with OS support for the register state) can
// run `kernel`. Reference and Baseline always can.
bool GridKernelSupported(GridKernel kernel);

// The kernel preparation uses: the widest supported one, chosen once.
GridKernel ActiveGridKernel();

// For tests and benchmarks only: makes ActiveGridKernel return `kernel` from
// now on; std::nullopt restores the choice by CPU. Returns false, changing
// nothing, for a kernel this machine cannot run. Not for concurrent use with
// a running preparation.
bool ForceGridKernel(std::optional<GridKernel> kernel);

// out[p] = factor * the model at point p, for `pointCount` points of `points`
// (four coordinates each, in any arrangement). `centres` is the regular grid
// of `centreDims` points per axis (first axis fastest) holding one centre per
// weight; centres that do not form that grid, or a centre count that differs
// from the weight count, are sampled by the reference loop instead. The model
// needs at least four scales. Uses ActiveGridKernel().
void SampleModelOnGrid(const PackageData& model, const double* centres,
                       std::array<int32_t, 4> centreDims, const double* points, int32_t pointCount,
                       double factor, double* out);

// The same with an explicit kernel; an unsupported one runs as Baseline.
void SampleModelOnGridWith(GridKernel kernel, const PackageData& model, const double* centres,
                           std::array<int32_t, 4> centreDims, const double* points,
                           int32_t pointCount, double factor, double* out);

}  // namespace mx
