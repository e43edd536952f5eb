// Regular grids of normalized points in [-1, 1]^4 (pressure, strain,
// temperature, velocity) and the cache that builds each grid once per run.
//
// A grid key n names the grid of n points on each axis; the key 8555 names the
// uneven grid of 8 points on the first axis and 5 on the other three. The same
// grids serve as the points a model is sampled at and as the centres of the
// multiquadric models, whose centre count names their grid.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "model/module.h"

namespace mx {

constexpr int64_t kUnevenGridKey = 8555;

// Points per axis of the grid `key` names (low 32 bits of the key).
std::array<int32_t, 4> GridDimensions(int64_t key);

// The key of the grid the centres of a model with `centreCount` centres lie
// on; false for a count that is none of the seven centre counts.
bool CentreGridKey(int64_t centreCount, int64_t& key);

// Four coordinates a point, first axis fastest. Empty when the key names no
// grid (a count below 1, or more points than a signed 32-bit count holds).
std::vector<double> BuildGridPoints(int64_t key);

// The cached point set of `key`, built and appended on a miss. The cache keeps
// ownership; the reference stays valid until the cache is destroyed.
const std::vector<double>& FindOrBuildGrid(GridCache& cache, int64_t key);

}  // namespace mx
