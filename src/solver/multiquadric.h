// The multiquadric radial basis function model of a package and its sampling
// on a grid. This is the reference evaluation: the only place grid values are
// computed, in the exact order of additions every build must reproduce.
#pragma once

#include <cstdint>

#include "model/module.h"

namespace mx {

// offset + sum over the centres of sqrt(|scaled (centre - point)|^2 + shape) *
// weight, centre by centre. `centres` holds four coordinates per centre, one
// centre per weight; the model needs at least four scales.
double EvaluateMultiquadric(const PackageData& model, const double* centres, const double* point);

// out[p] = factor * the model at point p, for the `pointCount` points of
// `points` (four coordinates each).
void EvaluateModelOnGrid(const PackageData& model, const double* centres, const double* points,
                         int32_t pointCount, double factor, double* out);

}  // namespace mx
