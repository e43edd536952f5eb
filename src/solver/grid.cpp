#include "solver/grid.h"

namespace mx {

std::array<int32_t, 4> GridDimensions(int64_t key) {
    if (key == kUnevenGridKey) return {8, 5, 5, 5};
    const auto k = static_cast<int32_t>(static_cast<uint32_t>(key));
    return {k, k, k, k};
}

bool CentreGridKey(int64_t centreCount, int64_t& key) {
    static constexpr struct {
        int64_t centres;
        int64_t key;
    } kCentreGrids[] = {
        {625, 5}, {1000, kUnevenGridKey}, {1296, 6}, {2401, 7}, {4096, 8}, {6561, 9}, {10000, 10}};
    for (const auto& grid : kCentreGrids) {
        if (grid.centres == centreCount) {
            key = grid.key;
            return true;
        }
    }
    return false;
}

// The c values of one axis: -1 alone for a single point, otherwise
// (i * step) * 2 - 1 in exactly that order, running from -1 to 1.
static std::vector<double> axisValues(int32_t c) {
    if (c == 1) return {-1.0};
    std::vector<double> values(static_cast<size_t>(c));
    const double step = 1.0 / (c - 1.0);
    for (int32_t i = 0; i < c; ++i) {
        values[static_cast<size_t>(i)] = (i * step) * 2 - 1.0;
    }
    return values;
}

std::vector<double> BuildGridPoints(int64_t key) {
    const std::array<int32_t, 4> c = GridDimensions(key);
    int64_t total = 1;
    for (int32_t count : c) {
        if (count < 1) return {};
        total *= count;
        if (total > INT32_MAX) return {};
    }
    const std::vector<double> v0 = axisValues(c[0]), v1 = axisValues(c[1]), v2 = axisValues(c[2]),
                              v3 = axisValues(c[3]);
    // Reserved, then appended: each coordinate is written once, with no
    // zero fill before (a 215-point grid holds 8.5e9 coordinates).
    std::vector<double> points;
    points.reserve(static_cast<size_t>(total) * 4);
    for (double x3 : v3) {
        for (double x2 : v2) {
            for (double x1 : v1) {
                for (double x0 : v0)
                    points.insert(points.end(), {x0, x1, x2, x3});
            }
        }
    }
    return points;
}

const std::vector<double>& FindOrBuildGrid(GridCache& cache, int64_t key) {
    for (size_t i = 0; i < cache.keys.size(); ++i) {
        if (cache.keys[i] == key) return *cache.grids[i];
    }
    auto grid = std::make_unique<std::vector<double>>(BuildGridPoints(key));
    cache.grids.reserve(cache.grids.size() + 1);
    cache.keys.reserve(cache.keys.size() + 1);
    cache.grids.push_back(std::move(grid));
    cache.keys.push_back(key);
    return *cache.grids.back();
}

}  // namespace mx
