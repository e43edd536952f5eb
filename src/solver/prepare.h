// Solver data preparation: every package model sampled on its grid, then the
// heat-transfer curves limited against package 6.
#pragma once

#include <cstdint>
#include <vector>

#include "model/module.h"

namespace mx {

// Samples every model that needs a grid, then limits the heat-transfer curves.
// Fails on a model that needs a grid but cannot have one (centre count none of
// the seven, fewer than four scales, grid point count above 215), or when a
// grid cannot be allocated (std::bad_alloc); models prepared before keep their
// grids and the module stays releasable.
bool PrepareSolverData(Module& m);

// Fills gridValues of every model of `entries` that has a grid point count,
// is not at package index 2 or 4 and is not prepared yet. Stops at the first
// model that cannot be prepared.
bool PrecomputePackageGrids(std::vector<TableEntry>& entries, GridCache& cache);

// Raises the divisors of the first curve of every entry so that no sample
// exceeds package 6 at that temperature. Needs the grids of package 6.
void LimitHeatTransferCurves(Module& m);

}  // namespace mx
