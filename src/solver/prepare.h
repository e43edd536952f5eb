// Solver data preparation: every package model sampled on its grid, then the
// heat-transfer curves limited against package 6.
#pragma once

#include "api/module.h"

namespace mx {

bool PrepareSolverData(Module& m);

}  // namespace mx
