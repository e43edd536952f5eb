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

// Coordinate i of an axis of c points: -1 to 1 as (i * step) * 2 - 1.
double axisValue(int32_t i, int32_t c) {
    return c == 1 ? -1.0 : (i * (1.0 / (c - 1.0))) * 2 - 1.0;
}

// All points of a regular grid, four coordinates each, first axis fastest.
std::vector<double> gridPoints(Dims c) {
    std::vector<double> out;
    for (int32_t i3 = 0; i3 < c[3]; ++i3) {
        for (int32_t i2 = 0; i2 < c[2]; ++i2) {
            for (int32_t i1 = 0; i1 < c[1]; ++i1) {
                for (int32_t i0 = 0; i0 < c[0]; ++i0) {
                    out.insert(out.end(), {axisValue(i0, c[0]), axisValue(i1, c[1]),
                                           axisValue(i2, c[2]), axisValue(i3, c[3])});
                }
            }
        }
    }
    return out;
}

int32_t countOf(Dims c) {
    return c[0] * c[1] * c[2] * c[3];
}

// The seven centre grids a model's weight count can name.
const std::vector<Dims> kCentreGrids = {{5, 5, 5, 5}, {8, 5, 5, 5}, {6, 6, 6, 6},    {7, 7, 7, 7},
                                        {8, 8, 8, 8}, {9, 9, 9, 9}, {10, 10, 10, 10}};

// The model value, written here term by term in the order the grids must
// reproduce: q from 0.0 up, axis by axis, then the shape; sum from 0.0 up,
// centre by centre; offset last.
double straightforward(const PackageData& m, const double* centres, const double* x) {
    double sum = 0.0;
    for (size_t i = 0; i < m.weights.size(); ++i) {
        double q = 0.0;
        for (int k = 0; k < 4; ++k) {
            const double d = (centres[4 * i + k] - x[k]) * m.scales[k];
            q = q + d * d;
        }
        q = q + m.shape;
        sum = sum + std::sqrt(q) * m.weights[i];
    }
    return sum + m.offset;
}

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

// Every variant against the straightforward loop written here and against the
// library's reference loop, bit for bit (NaN payloads included).
void expectAllKernelsExact(const PackageData& m, Dims dims, const std::vector<double>& points,
                           double factor, const char* what) {
    const std::vector<double> centres = gridPoints(dims);
    ASSERT_EQ(static_cast<size_t>(countOf(dims)), m.weights.size());
    const size_t count = points.size() / 4;
    std::vector<double> expected(count);
    for (size_t p = 0; p < count; ++p) {
        expected[p] = factor * straightforward(m, centres.data(), points.data() + 4 * p);
    }
    for (GridKernel kernel : supportedKernels()) {
        const std::vector<double> got = sampled(kernel, m, centres, dims, points, factor);
        size_t mismatches = 0;
        for (size_t p = 0; p < count; ++p) {
            if (bits(got[p]) != bits(expected[p]) && mismatches++ < 3) {
                ADD_FAILURE() << what << ", kernel " << GridKernelName(kernel) << ", point " << p
                              << ": " << got[p] << " instead of " << expected[p];
            }
        }
        EXPECT_EQ(mismatches, 0u) << what << ", kernel " << GridKernelName(kernel);
    }
}

TEST(GridKernels, BaselineAndReferenceAreAlwaysSupported) {
    EXPECT_TRUE(GridKernelSupported(GridKernel::Reference));
    EXPECT_TRUE(GridKernelSupported(GridKernel::Baseline));
    EXPECT_TRUE(GridKernelSupported(ActiveGridKernel()));
    // The kernel chosen by CPU is the widest one supported.
    for (GridKernel k : kAllGridKernels) {
        if (GridKernelSupported(k)) {
            EXPECT_GE(ActiveGridKernel(), k);
        }
    }
}

TEST(GridKernels, EveryCentreGridOddPointCountsBitForBit) {
    std::mt19937_64 rng(7);
    for (const Dims& dims : kCentreGrids) {
        const PackageData m = randomModel(static_cast<size_t>(countOf(dims)), rng);
        // 37 points: two full blocks of the widest kernel and a ragged tail.
        expectAllKernelsExact(m, dims, randomPoints(37, rng), 1.0, "random points");
    }
}

TEST(GridKernels, EveryPointCountFromOneToFortyBitForBit) {
    std::mt19937_64 rng(11);
    const Dims dims = {8, 5, 5, 5};
    const PackageData m = randomModel(1000, rng);
    const std::vector<double> all = randomPoints(40, rng);
    for (int32_t n = 1; n <= 40; ++n) {
        expectAllKernelsExact(m, dims, std::vector<double>(all.begin(), all.begin() + 4 * n), -3.0,
                              "point count prefix");
    }
}

TEST(GridKernels, PointsOnTheCentreGridItselfBitForBit) {
    // Points and centres from one grid: zero differences, exact symmetry.
    std::mt19937_64 rng(3);
    const Dims dims = {5, 5, 5, 5};
    PackageData m = randomModel(625, rng);
    m.shape = 0.0;  // q = 0 at every centre: sqrt(+0) terms
    expectAllKernelsExact(m, dims, gridPoints(dims), 2.0, "same grid");
    expectAllKernelsExact(m, dims, gridPoints({6, 5, 4, 3}), 1.0, "another grid");
}

TEST(GridKernels, NegativeQNanAndInfinityBitForBit) {
    std::mt19937_64 rng(5);
    const Dims dims = {5, 5, 5, 5};
    const std::vector<double> points = randomPoints(23, rng);

    PackageData negative = randomModel(625, rng);
    negative.shape = -1.5;  // some q negative: NaN terms poison some sums only
    negative.scales = {0.2, 0.3, 0.25, 0.1};
    expectAllKernelsExact(negative, dims, points, 1.0, "negative q");

    PackageData nanScale = randomModel(625, rng);
    nanScale.scales[2] = std::numeric_limits<double>::quiet_NaN();
    expectAllKernelsExact(nanScale, dims, points, 1.0, "NaN scale");

    PackageData infScale = randomModel(625, rng);
    infScale.scales[0] = std::numeric_limits<double>::infinity();
    expectAllKernelsExact(infScale, dims, points, 1.0, "infinite scale");

    // Infinite scale at zero difference: inf * 0 = NaN in a_0 itself, which
    // the leading 0.0 + a_0 of the straightforward loop passes on unchanged.
    expectAllKernelsExact(infScale, dims, gridPoints(dims), 1.0, "infinite scale on the grid");

    PackageData nanWeight = randomModel(625, rng);
    nanWeight.weights[300] = std::numeric_limits<double>::quiet_NaN();
    expectAllKernelsExact(nanWeight, dims, points, 1.0, "NaN weight");

    PackageData infWeights = randomModel(625, rng);
    infWeights.weights[10] = std::numeric_limits<double>::infinity();
    infWeights.weights[20] = -std::numeric_limits<double>::infinity();
    expectAllKernelsExact(infWeights, dims, points, 1.0, "opposite infinite weights");
}

TEST(GridKernels, SignedZerosFactorAndOffsetBitForBit) {
    std::mt19937_64 rng(9);
    const Dims dims = {5, 5, 5, 5};
    const std::vector<double> onGrid = gridPoints(dims);

    // Zero scales and shape: every q is +0, every term sqrt(+0) * w; negative
    // weights give -0 terms, and +0 + -0 must stay +0 as in the loop.
    PackageData zeros = randomModel(625, rng);
    zeros.scales = {0.0, -0.0, 0.0, -0.0};
    zeros.shape = 0.0;
    zeros.offset = -0.0;
    for (double& w : zeros.weights)
        w = -std::abs(w);
    expectAllKernelsExact(zeros, dims, onGrid, 1.0, "zero terms");
    expectAllKernelsExact(zeros, dims, onGrid, -1.0, "zero terms, negative factor");

    PackageData m = randomModel(625, rng);
    expectAllKernelsExact(m, dims, onGrid, -7.0, "negative factor");
    expectAllKernelsExact(m, dims, onGrid, 0.0, "zero factor");
    m.offset = 1e300;
    expectAllKernelsExact(m, dims, onGrid, 1e10, "overflowing factor");
}

TEST(GridKernels, AgreeWithTheLibraryReferenceLoop) {
    std::mt19937_64 rng(13);
    const Dims dims = {6, 6, 6, 6};
    const std::vector<double> centres = gridPoints(dims);
    const PackageData m = randomModel(1296, rng);
    const std::vector<double> points = gridPoints({3, 3, 3, 3});
    std::vector<double> expected(81);
    EvaluateModelOnGrid(m, centres.data(), points.data(), 81, -2.0, expected.data());
    for (GridKernel kernel : supportedKernels()) {
        const std::vector<double> got = sampled(kernel, m, centres, dims, points, -2.0);
        for (size_t p = 0; p < 81; ++p) {
            ASSERT_EQ(bits(got[p]), bits(expected[p])) << GridKernelName(kernel) << " point " << p;
        }
    }
}

TEST(GridKernels, CentresOffTheirGridFallBackToTheLoop) {
    std::mt19937_64 rng(17);
    const Dims dims = {5, 5, 5, 5};
    const PackageData m = randomModel(625, rng);
    const std::vector<double> points = randomPoints(19, rng);

    // Two centres swapped: still 625 centres, no longer the regular grid.
    std::vector<double> swapped = gridPoints(dims);
    for (int k = 0; k < 4; ++k)
        std::swap(swapped[4 * 7 + k], swapped[4 * 400 + k]);
    // Weights for another grid than the one named.
    const std::vector<double> grid = gridPoints(dims);

    for (GridKernel kernel : supportedKernels()) {
        const std::vector<double> got = sampled(kernel, m, swapped, dims, points, 1.0);
        for (size_t p = 0; p < 19; ++p) {
            const double want = straightforward(m, swapped.data(), points.data() + 4 * p);
            ASSERT_EQ(bits(got[p]), bits(want)) << GridKernelName(kernel) << " point " << p;
        }
        // Dimensions whose product is not the weight count: the loop over the
        // weights decides, and nothing past the 625 centres is read.
        const std::vector<double> wrongDims = sampled(kernel, m, grid, {5, 5, 5, 4}, points, 1.0);
        for (size_t p = 0; p < 19; ++p) {
            const double want = straightforward(m, grid.data(), points.data() + 4 * p);
            ASSERT_EQ(bits(wrongDims[p]), bits(want)) << GridKernelName(kernel) << " point " << p;
        }
    }
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
    const GridKernel chosen = ActiveGridKernel();
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
