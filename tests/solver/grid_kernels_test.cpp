// Faults guarded against: a kernel variant whose grid values differ in any bit
// from the straightforward loop (centres of one sum added in another order or
// in parallel lanes, fused multiply-add, the leading 0.0 + a dropped where it
// matters), lanes past the last point written or read (point counts that are
// no multiple of a block), centre axes mixed up or taken from the wrong stride
// (the uneven 8 x 5 x 5 x 5 grid), the offset or factor applied in another
// order, NaN and infinity handled differently per variant, centres that do not
// form their grid sampled as if they did, and the test-only kernel switch
// accepting a kernel this machine cannot run, and a whole preparation (grids
// and limited heat-transfer curves) that changes with the kernel forced.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "solver/grid_kernels.h"
#include "solver/multiquadric.h"
#include "solver/prepare.h"
#include "support/module_builder.h"

using namespace mx;

namespace {

using Dims = std::array<int32_t, 4>;
using test::ReferenceModelValue;
using test::RegularGrid;

int32_t countOf(Dims c) {
    return c[0] * c[1] * c[2] * c[3];
}

// The seven centre grids a model's weight count can name.
const std::vector<Dims> kCentreGrids = {{5, 5, 5, 5}, {8, 5, 5, 5}, {6, 6, 6, 6},    {7, 7, 7, 7},
                                        {8, 8, 8, 8}, {9, 9, 9, 9}, {10, 10, 10, 10}};

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

std::vector<GridKernel> supportedKernels() {
    std::vector<GridKernel> out;
    for (GridKernel k : kAllGridKernels) {
        if (GridKernelSupported(k)) out.push_back(k);
    }
    return out;
}

std::vector<double> sampled(GridKernel kernel, const PackageData& m, const std::vector<double>& c,
                            Dims dims, const std::vector<double>& points, double factor) {
    const auto count = static_cast<int32_t>(points.size() / 4);
    std::vector<double> out(static_cast<size_t>(count) + 1, 12345.0);  // one guard value
    SampleModelOnGridWith(kernel, m, c.data(), dims, points.data(), count, factor, out.data());
    EXPECT_EQ(out.back(), 12345.0) << GridKernelName(kernel) << " wrote past the last point";
    out.pop_back();
    return out;
}

uint64_t bits(double v) {
    return std::bit_cast<uint64_t>(v);
}

// Every variant against the straightforward loop, bit for bit (NaN payloads
// included), with `centres` given and `dims` named for them.
void expectAllKernelsExact(const PackageData& m, const std::vector<double>& centres, Dims dims,
                           const std::vector<double>& points, double factor, const char* what) {
    const size_t count = points.size() / 4;
    for (GridKernel kernel : supportedKernels()) {
        const std::vector<double> got = sampled(kernel, m, centres, dims, points, factor);
        size_t mismatches = 0;
        for (size_t p = 0; p < count; ++p) {
            const double want =
                factor * ReferenceModelValue(m, centres.data(), points.data() + 4 * p);
            if (bits(got[p]) != bits(want) && mismatches++ < 3) {
                ADD_FAILURE() << what << ", kernel " << GridKernelName(kernel) << ", point " << p
                              << ": " << got[p] << " instead of " << want;
            }
        }
        EXPECT_EQ(mismatches, 0u) << what << ", kernel " << GridKernelName(kernel);
    }
}

void expectAllKernelsExact(const PackageData& m, Dims dims, const std::vector<double>& points,
                           double factor, const char* what) {
    ASSERT_EQ(static_cast<size_t>(countOf(dims)), m.weights.size());
    expectAllKernelsExact(m, RegularGrid(dims), dims, points, factor, what);
}

TEST(GridKernels, EveryCentreGridAndEveryPointCountBitForBit) {
    std::mt19937_64 rng(7);
    for (const Dims& dims : kCentreGrids) {
        const PackageData m = randomModel(static_cast<size_t>(countOf(dims)), rng);
        // 37 points: two full blocks of the widest kernel and a ragged tail.
        expectAllKernelsExact(m, dims, randomPoints(37, rng), 1.0, "random points");
        expectAllKernelsExact(m, dims, RegularGrid({6, 5, 4, 3}), 1.0, "another grid");
    }
    const PackageData m = randomModel(1000, rng);
    const std::vector<double> all = randomPoints(40, rng);
    for (int32_t n = 1; n <= 40; ++n) {
        expectAllKernelsExact(m, {8, 5, 5, 5},
                              std::vector<double>(all.begin(), all.begin() + 4 * n), -3.0,
                              "point count prefix");
    }
}

TEST(GridKernels, SpecialValuesBitForBit) {
    std::mt19937_64 rng(5);
    const Dims dims = {5, 5, 5, 5};
    const std::vector<double> random = randomPoints(23, rng), onGrid = RegularGrid(dims);
    constexpr double inf = std::numeric_limits<double>::infinity(), nan = NAN;
    // Every q +0, every term sqrt(+0) * w; negative weights give -0 terms, and
    // +0 + -0 must stay +0 as in the loop.
    const auto zeroTerms = [](PackageData& m) {
        m.scales = {0.0, -0.0, 0.0, -0.0}, m.shape = 0.0, m.offset = -0.0;
        for (double& w : m.weights)
            w = -std::abs(w);
    };
    const struct {
        const char* what;
        std::function<void(PackageData&)> change;
        bool gridPoints;
        double factor;
    } cases[] = {
        // Some q negative: NaN terms poison some sums only.
        {"negative q",
         [](PackageData& m) {
             m.shape = -1.5, m.scales = {0.2, 0.3, 0.25, 0.1};
         },
         false, 1.0},
        {"NaN scale", [](PackageData& m) { m.scales[2] = nan; }, false, 1.0},
        {"infinite scale", [](PackageData& m) { m.scales[0] = inf; }, false, 1.0},
        // inf * 0 = NaN in a_0 itself, which the leading 0.0 + a_0 passes on.
        {"infinite scale on the grid", [](PackageData& m) { m.scales[0] = inf; }, true, 1.0},
        {"NaN weight", [](PackageData& m) { m.weights[300] = nan; }, false, 1.0},
        {"opposite infinite weights",
         [](PackageData& m) { m.weights[10] = inf, m.weights[20] = -inf; }, false, 1.0},
        {"zero terms", zeroTerms, true, 1.0},
        {"zero terms, negative factor", zeroTerms, true, -1.0},
        // q = 0 at every centre: sqrt(+0) terms.
        {"zero shape on the grid", [](PackageData& m) { m.shape = 0.0; }, true, 2.0},
        {"negative factor", [](PackageData&) {}, true, -7.0},
        {"zero factor", [](PackageData&) {}, true, 0.0},
        {"overflowing factor", [](PackageData& m) { m.offset = 1e300; }, true, 1e10},
    };
    for (const auto& c : cases) {
        PackageData m = randomModel(625, rng);
        c.change(m);
        expectAllKernelsExact(m, dims, c.gridPoints ? onGrid : random, c.factor, c.what);
    }
}

TEST(GridKernels, CentresOffTheirGridFallBackToTheLoop) {
    std::mt19937_64 rng(17);
    const PackageData m = randomModel(625, rng);
    const std::vector<double> points = randomPoints(19, rng);
    // Two centres swapped: still 625 centres, no longer the regular grid.
    std::vector<double> swapped = RegularGrid({5, 5, 5, 5});
    for (int k = 0; k < 4; ++k)
        std::swap(swapped[4 * 7 + k], swapped[4 * 400 + k]);
    expectAllKernelsExact(m, swapped, {5, 5, 5, 5}, points, 1.0, "swapped centres");
    // One centre off its grid in a single coordinate, for each coordinate.
    for (int k = 0; k < 4; ++k) {
        std::vector<double> moved = RegularGrid({5, 5, 5, 5});
        moved[4 * 7 + k] += 0.125;
        expectAllKernelsExact(m, moved, {5, 5, 5, 5}, points, 1.0, "one coordinate off");
    }
    // Dimensions whose product is not the weight count: the loop over the
    // weights decides, and nothing past the 625 centres is read.
    expectAllKernelsExact(m, RegularGrid({5, 5, 5, 5}), {5, 5, 5, 4}, points, 1.0, "wrong dims");
}

TEST(GridKernels, NoCentresGiveTheOffset) {
    PackageData m;
    m.scales = {1, 1, 1, 1};
    m.offset = 0.75;
    const std::vector<double> points = {0, 0, 0, 0, 1, 1, 1, 1, -1, 0, 1, 0};
    for (GridKernel kernel : supportedKernels()) {
        const std::vector<double> got = sampled(kernel, m, {}, {0, 5, 5, 5}, points, -2.0);
        for (double v : got)
            EXPECT_EQ(v, -1.5) << GridKernelName(kernel);
    }
}

// Restores the kernel choice by CPU however a test ends.
struct ForcedKernel {
    explicit ForcedKernel(GridKernel k) { ok = ForceGridKernel(k); }
    ~ForcedKernel() { ForceGridKernel(std::nullopt); }
    bool ok;
};

// Every grid value and every limited heat-transfer divisor of a module.
std::vector<uint64_t> preparedBits(const Module& m) {
    std::vector<uint64_t> out;
    for (const auto* entries : {&m.primaryEntries, &m.secondaryEntries}) {
        for (const TableEntry& entry : *entries) {
            for (const PackageData& model : entry.packageData) {
                out.push_back(model.gridValues.size());
                for (double v : model.gridValues)
                    out.push_back(bits(v));
            }
            for (const HeatTransferCurve& curve : entry.curves) {
                for (double d : curve.divisors)
                    out.push_back(bits(d));
            }
        }
    }
    return out;
}

// A small module shaped like lab data: one primary and one secondary entry,
// centre counts cycled over the seven grids, 81 grid points (no multiple of
// any block), negated values, and NaN terms where the shape makes q negative
// (in the package kept non-negative, too).
ModulePtr smallLabModule() {
    test::RepresentativeOptions options;
    options.gridPointCount = 3;
    options.sheetRoughnessCount = 1;
    options.lubricationAmountCount = 1;
    options.stateCount = 1;
    ModulePtr m = test::RepresentativeModule(options);
    m->primaryEntries[0].packageData[3].factor = static_cast<uint64_t>(int64_t{-1});
    m->primaryEntries[0].packageData[7].shape = -0.4;
    m->secondaryEntries[0].packageData[5].shape = -0.4;
    return m;
}

TEST(GridKernels, PreparationWithEveryKernelGivesTheReferenceGrids) {
    std::vector<uint64_t> expected;
    {
        const ForcedKernel forced(GridKernel::Reference);
        const ModulePtr m = smallLabModule();
        ASSERT_TRUE(PrepareSolverData(*m));
        expected = preparedBits(*m);
    }
    for (GridKernel kernel : supportedKernels()) {
        const ForcedKernel forced(kernel);
        ASSERT_TRUE(forced.ok);
        const ModulePtr m = smallLabModule();
        ASSERT_TRUE(PrepareSolverData(*m));
        EXPECT_TRUE(preparedBits(*m) == expected) << GridKernelName(kernel);
    }
}

TEST(GridKernels, ForcingSelectsOnlySupportedKernels) {
    // Reference and Baseline always run; the choice by CPU is the widest one.
    EXPECT_TRUE(GridKernelSupported(GridKernel::Reference));
    EXPECT_TRUE(GridKernelSupported(GridKernel::Baseline));
    const GridKernel chosen = ActiveGridKernel();
    for (GridKernel k : kAllGridKernels)
        EXPECT_TRUE(!GridKernelSupported(k) || chosen >= k);
    for (GridKernel k : kAllGridKernels) {
        if (GridKernelSupported(k)) {
            EXPECT_TRUE(ForceGridKernel(k));
            EXPECT_EQ(ActiveGridKernel(), k);
        } else {
            EXPECT_FALSE(ForceGridKernel(k));
            EXPECT_NE(ActiveGridKernel(), k);
        }
    }
    EXPECT_TRUE(ForceGridKernel(std::nullopt));
    EXPECT_EQ(ActiveGridKernel(), chosen);
}

}  // namespace
