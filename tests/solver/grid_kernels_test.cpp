// Faults guarded against: a kernel variant whose grid values differ in any bit
// from the straightforward loop (centres of one sum added in another order or
// in parallel lanes, fused multiply-add, the leading 0.0 + a dropped where it
// matters), lanes past the last point written or read (point counts that are
// no multiple of a block), centre axes mixed up or taken from the wrong stride
// (the uneven 8 x 5 x 5 x 5 grid), the offset or factor applied in another
// order, NaN and infinity handled differently per variant, centres that do not
// form their grid sampled as if they did, and the test-only kernel switch
// accepting a kernel this machine cannot run.
// The grids themselves: points not ordered first axis fastest, axis values
// computed in another order than (i * step) * 2 - 1 (which differs in the last
// bit), the uneven grid built as 8^4, a wrong centre-count table (the grid
// cache: the preparation tests).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "solver/grid.h"
#include "solver/grid_kernels.h"
#include "support/module_builder.h"

using namespace mx;

namespace {

using Dims = std::array<int32_t, 4>;
using test::RegularGrid;

PackageData randomModel(size_t centres, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    PackageData m;
    m.scales = {0.5 + unit(rng), -1.5 + unit(rng), 2.0 * unit(rng), 0.25 + 0.1 * unit(rng)};
    m.shape = 0.3 + 0.2 * unit(rng);
    m.offset = unit(rng);
    m.weights.resize(centres);
    for (double& w : m.weights)
        w = 10.0 * unit(rng);
    return m;
}

// Random points inside and a little outside [-1, 1]^4.
std::vector<double> randomPoints(int32_t count, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> wide(-1.25, 1.25);
    std::vector<double> out(4 * static_cast<size_t>(count));
    for (double& v : out)
        v = wide(rng);
    return out;
}

// Every supported variant against the straightforward loop, bit for bit (NaN
// payloads included), with `centres` given and `dims` named for them; one
// guard value after the last point must stay untouched.
void expectAllKernelsExact(const PackageData& m, const std::vector<double>& centres, Dims dims,
                           const std::vector<double>& points, double factor, const char* what) {
    const auto count = static_cast<int32_t>(points.size() / 4);
    for (GridKernel kernel : kAllGridKernels) {
        if (!GridKernelSupported(kernel)) continue;
        SCOPED_TRACE(std::string(what) + ", kernel " + GridKernelName(kernel));
        std::vector<double> got(static_cast<size_t>(count) + 1, 12345.0);
        SampleModelOnGridWith(kernel, m, centres.data(), dims, points.data(), count, factor,
                              got.data());
        EXPECT_EQ(got.back(), 12345.0) << "written past the last point";
        size_t mismatches = 0;
        for (int32_t p = 0; p < count; ++p) {
            const double want =
                factor * test::ReferenceModelValue(m, centres.data(), points.data() + 4 * p);
            if (std::bit_cast<uint64_t>(got[p]) != std::bit_cast<uint64_t>(want) &&
                mismatches++ < 3)
                ADD_FAILURE() << "point " << p << ": " << got[p] << " instead of " << want;
        }
        EXPECT_EQ(mismatches, 0u);
    }
}

}  // namespace

TEST(GridPoints, KeysGridsAndCentreCounts) {
    // RegularGrid spells the axis values out as (i * (1 / (n - 1))) * 2 - 1.
    const std::pair<int64_t, Dims> grids[] = {
        {1, {1, 1, 1, 1}}, {2, {2, 2, 2, 2}},      {5, {5, 5, 5, 5}},
        {7, {7, 7, 7, 7}}, {10, {10, 10, 10, 10}}, {kUnevenGridKey, {8, 5, 5, 5}}};
    for (const auto& [key, dims] : grids) {
        EXPECT_EQ(GridDimensions(key), dims) << key;
        EXPECT_EQ(BuildGridPoints(key), RegularGrid(dims)) << key;
    }
    // With 7 points, value 5 is one unit in the last place below -1 + 10/6.
    EXPECT_EQ(BuildGridPoints(7)[4 * 5], 0.6666666666666665);
    for (int64_t key : {0, -3, 1000})  // 10^12 points do not fit a 32-bit count
        EXPECT_TRUE(BuildGridPoints(key).empty()) << key;

    const std::pair<int64_t, int64_t> table[] = {{625, 5},  {1000, 8555}, {1296, 6},  {2401, 7},
                                                 {4096, 8}, {6561, 9},    {10000, 10}};
    for (auto [count, expected] : table) {
        int64_t key = -1;
        EXPECT_TRUE(CentreGridKey(count, key) && key == expected) << count;
    }
    for (int64_t count : {0, 1, 5, 624, 1001, 8555, 100000000}) {
        int64_t key = -1;
        EXPECT_FALSE(CentreGridKey(count, key) || key != -1) << count;
    }
}

TEST(GridKernels, EveryCentreGridAndEveryPointCountBitForBit) {
    std::mt19937_64 rng(7);
    for (const Dims& dims : {Dims{5, 5, 5, 5}, Dims{8, 5, 5, 5}, Dims{6, 6, 6, 6}, Dims{7, 7, 7, 7},
                             Dims{8, 8, 8, 8}, Dims{9, 9, 9, 9}, Dims{10, 10, 10, 10}}) {
        const PackageData m = randomModel(size_t(dims[0] * dims[1] * dims[2] * dims[3]), rng);
        // 37 points: two full blocks of the widest kernel and a ragged tail.
        expectAllKernelsExact(m, RegularGrid(dims), dims, randomPoints(37, rng), 1.0, "random");
        expectAllKernelsExact(m, RegularGrid(dims), dims, RegularGrid({6, 5, 4, 3}), 1.0, "grid");
    }
    const PackageData m = randomModel(1000, rng);
    const std::vector<double> all = randomPoints(40, rng);
    for (size_t n = 1; n <= 40; ++n) {
        expectAllKernelsExact(m, RegularGrid({8, 5, 5, 5}), {8, 5, 5, 5},
                              std::vector<double>(all.begin(), all.begin() + 4 * n), -3.0,
                              "point count prefix");
    }
}

TEST(GridKernels, SpecialValuesAndCentresOffTheirGridBitForBit) {
    std::mt19937_64 rng(5);
    const Dims dims = {5, 5, 5, 5};
    const std::vector<double> random = randomPoints(23, rng), onGrid = RegularGrid(dims),
                              nodes = RegularGrid({5, 3, 3, 2});  // points on centres' axes
    constexpr double inf = std::numeric_limits<double>::infinity(), nan = NAN;
    // Each change on random points and on centres' coordinates, each with
    // factors that keep, flip, clear or overflow the sums.
    const std::pair<const char*, std::function<void(PackageData&)>> cases[] = {
        {"unchanged", [](PackageData&) {}},
        // Some q negative: NaN terms poison some sums only.
        {"negative q",
         [](PackageData& m) {
             m.shape = -1.5, m.scales = {0.2, 0.3, 0.25, 0.1};
         }},
        {"NaN scale", [](PackageData& m) { m.scales[2] = nan; }},
        // On the grid, inf * 0 = NaN in a_0 itself, which the leading 0.0 + a_0 passes on.
        {"infinite scale", [](PackageData& m) { m.scales[0] = inf; }},
        {"NaN weight", [](PackageData& m) { m.weights[300] = nan; }},
        {"opposite infinite weights",
         [](PackageData& m) { m.weights[10] = inf, m.weights[20] = -inf; }},
        // Every q +0, every term sqrt(+0) * w; negative weights give -0 terms,
        // and +0 + -0 must stay +0 as in the loop.
        {"zero terms",
         [](PackageData& m) {
             m.scales = {0.0, -0.0, 0.0, -0.0}, m.shape = 0.0, m.offset = -0.0;
             for (double& w : m.weights)
                 w = -std::abs(w);
         }},
        {"zero shape", [](PackageData& m) { m.shape = 0.0; }},  // q = 0 at every centre
        {"huge offset", [](PackageData& m) { m.offset = 1e300; }},
    };
    for (const auto& [what, change] : cases) {
        PackageData m = randomModel(625, rng);
        change(m);
        for (const std::vector<double>* points : {&random, &nodes})
            for (double factor : {1.0, -7.0, 0.0, 1e10})
                expectAllKernelsExact(m, onGrid, dims, *points, factor, what);
    }

    // Centres that are no longer their grid: two swapped, then one moved in a
    // single coordinate, for each coordinate; dimensions whose product is not
    // the weight count (nothing past the 625 centres read); no centres at all.
    const PackageData m = randomModel(625, rng);
    std::vector<double> swapped = onGrid;
    for (int k = 0; k < 4; ++k)
        std::swap(swapped[4 * 7 + k], swapped[4 * 400 + k]);
    expectAllKernelsExact(m, swapped, dims, random, 1.0, "swapped centres");
    for (int k = 0; k < 4; ++k) {
        std::vector<double> moved = onGrid;
        moved[4 * 7 + k] += 0.125;
        expectAllKernelsExact(m, moved, dims, random, 1.0, "one coordinate off");
    }
    expectAllKernelsExact(m, onGrid, {5, 5, 5, 4}, random, 1.0, "wrong dims");
    PackageData offsetOnly;
    offsetOnly.scales = {1, 1, 1, 1};
    offsetOnly.offset = 0.75;
    expectAllKernelsExact(offsetOnly, {}, {0, 5, 5, 5}, random, -2.0, "no centres");
}

TEST(GridKernels, ForcingSelectsOnlySupportedKernels) {
    // Reference and Baseline always run; the choice by CPU is the widest one.
    EXPECT_TRUE(GridKernelSupported(GridKernel::Reference));
    EXPECT_TRUE(GridKernelSupported(GridKernel::Baseline));
    const GridKernel chosen = ActiveGridKernel();
    for (GridKernel k : kAllGridKernels) {
        const bool supported = GridKernelSupported(k);
        EXPECT_TRUE(!supported || k <= chosen) << GridKernelName(k);
        EXPECT_EQ(ForceGridKernel(k), supported) << GridKernelName(k);
        EXPECT_EQ(ActiveGridKernel() == k, supported) << GridKernelName(k);
    }
    EXPECT_TRUE(ForceGridKernel(std::nullopt));
    EXPECT_EQ(ActiveGridKernel(), chosen);
}
