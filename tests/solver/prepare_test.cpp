// Faults guarded against: grid values summed in another order than centre by
// centre (checked bit for bit against a reference written here), points and
// centres taken from the wrong grid, the factor applied as unsigned or not at
// all, negative values of package 7 kept (or NaN and -0.0 changed), grids
// computed for packages 2 and 4, a second run overwriting grids, models that
// cannot be prepared accepted (or crashing), grid sizes up to 215 refused
// or sampled off the reference, a one-point grid interpolated in, and every fault of the
// heat-transfer curve limiting: wrong sample temperatures, strict comparison,
// curves other than the first changed, secondary entries limited against
// their own data, and short curves read past their end.
#include <gtest/gtest.h>

#include <cmath>

#include "friction/evaluate.h"
#include "solver/grid.h"
#include "solver/prepare.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

PackageData varyingModel(size_t centres, uint64_t gridPointCount, int64_t factor) {
    PackageData pd = ConstantModel(0.5, gridPointCount, factor, centres);
    pd.scales = {0.7, 1.3, 0.9, 1.1};
    pd.shape = 0.25;
    for (size_t i = 0; i < centres; ++i)
        pd.weights[i] = static_cast<double>(static_cast<int>((i * 37) % 101) - 50) / 100.0;
    return pd;
}

ModulePtr singleEntryModule(std::vector<PackageData> packages) {
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({}, std::move(packages)));
    return BuildModule(std::move(recipe));
}

// The grids of a one-entry module after a successful preparation.
std::vector<std::vector<double>> preparedGrids(std::vector<PackageData> packages) {
    ModulePtr m = singleEntryModule(std::move(packages));
    EXPECT_TRUE(PrepareSolverData(*m));
    std::vector<std::vector<double>> grids;
    for (const PackageData& pd : m->primaryEntries[0].packageData)
        grids.push_back(pd.gridValues);
    return grids;
}

}  // namespace

TEST(PrepareGrids, ValuesEqualTheReferenceSumBitForBit) {
    // Index 0 on the 5^4 centre grid, index 1 on the uneven 8x5x5x5 one.
    ModulePtr m = singleEntryModule({varyingModel(625, 4, 3), varyingModel(1000, 3, -2)});
    ASSERT_TRUE(PrepareSolverData(*m));
    const struct {
        int32_t n;
        std::array<int32_t, 4> centres;
        double factor;
    } cases[] = {{4, {5, 5, 5, 5}, 3.0}, {3, {8, 5, 5, 5}, -2.0}};
    for (size_t i = 0; i < 2; ++i) {
        const auto& c = cases[i];
        const PackageData& pd = m->primaryEntries[0].packageData[i];
        const std::vector<double> centres = RegularGrid(c.centres),
                                  points = RegularGrid({c.n, c.n, c.n, c.n});
        ASSERT_EQ(pd.gridValues.size() * 4, points.size());
        for (size_t p = 0; p < pd.gridValues.size(); ++p)
            ASSERT_EQ(pd.gridValues[p],
                      c.factor * ReferenceModelValue(pd, centres.data(), &points[4 * p]))
                << i << " " << p;
    }
}

TEST(PrepareGrids, EveryGridSizeFromOnePointSamplesAndEvaluatesExactly) {
    // One point, two, and counts at and above 32 (a limit once): every 997th
    // value and the last against the reference sum, the grid held at its exact
    // size, and package values at grid nodes (spacing 1) equal to the values
    // there; a single point is no grid to interpolate in.
    // Under AddressSanitizer the unoptimized kernels run some thirty times
    // slower: 33, sampled in 19 blocks and a ragged last one, stands for the
    // large counts there.
    const std::vector<double> centres = RegularGrid({5, 5, 5, 5});
#ifdef __SANITIZE_ADDRESS__
    for (int32_t n : {1, 2, 33}) {
#else
    for (int32_t n : {1, 2, 32, 33, 40}) {
#endif
        SCOPED_TRACE(n);
        ModuleRecipe recipe;
        const double top = n > 1 ? n - 1.0 : 1.0;
        recipe.ranges = {0, top, 0, top, 0, top, 0, top};
        recipe.primary.push_back(Entry({}, {ConstantModel(1.0, 2), varyingModel(625, n, -2)}));
        ModulePtr m = BuildModule(std::move(recipe));
        ASSERT_TRUE(PrepareSolverData(*m));
        const std::vector<double>& grid = m->primaryEntries[0].packageData[1].gridValues;
        const size_t total = static_cast<size_t>(n) * n * n * n;
        ASSERT_EQ(grid.size(), total);
        EXPECT_EQ(grid.capacity(), total);
        const std::vector<double> axis = RegularGrid({n, 1, 1, 1});
        const auto expectReference = [&](size_t p) {
            double x[4];
            for (size_t k = 0, rest = p; k < 4; ++k, rest /= n)
                x[k] = axis[4 * (rest % n)];
            ASSERT_EQ(grid[p], -2.0 * ReferenceModelValue(m->primaryEntries[0].packageData[1],
                                                          centres.data(), x))
                << p;
        };
        for (size_t p = 0; p < total; p += 997)
            expectReference(p);
        expectReference(total - 1);
        double v = 0.0;
        for (const std::array<int32_t, 4> i :
             {std::array<int32_t, 4>{0, 0, 0, 0}, {n - 1, n / 2, 1 % n, n - 1}}) {
            const InputRecord in = InputAt(i[0], i[1], i[2], i[3], {});
            ASSERT_EQ(GetPackageValue(*m, in, 3, v), n > 1);
            if (n > 1) {
                EXPECT_EQ(v, grid[i[0] + n * (i[1] + n * (i[2] + n * i[3]))]);
            }
        }
    }
}

TEST(PrepareGrids, ByHandConstantModelsAndSignedFactors) {
    // Weight 2 at centre 0 = (-1, -1, -1, -1), offset 1, on a 3-point grid
    // (-1, 0, 1): value 2 * |x - centre| + 1.
    PackageData distance = ConstantModel(1.0, 3);
    distance.weights[0] = 2.0;
    const auto v = preparedGrids({distance})[0];
    ASSERT_EQ(v.size(), 81u);
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[1], 3.0);                         // (0, -1, -1, -1): distance 1
    EXPECT_EQ(v[2], 5.0);                         // (1, -1, -1, -1): distance 2
    EXPECT_EQ(v[4], 2.0 * std::sqrt(2.0) + 1.0);  // (0, 0, -1, -1)
    EXPECT_EQ(v[80], 9.0);                        // (1, 1, 1, 1): distance 4

    // Index 2 gets no grid; factors 4, -1 and 0 at indices 0, 1 and 3.
    const auto grids = preparedGrids({ConstantModel(0.75, 3, 4), ConstantModel(2.5, 2, -1),
                                      ConstantModel(1.0, 2), ConstantModel(2.5, 2, 0)});
    EXPECT_EQ(grids[0], std::vector<double>(81, 3.0));
    EXPECT_EQ(grids[1], std::vector<double>(16, -2.5));
    EXPECT_TRUE(grids[2].empty());
    EXPECT_EQ(grids[3], std::vector<double>(16, 0.0));
}

TEST(PrepareGrids, PackageSevenNeverBelowZeroButNaNAndNegativeZeroStay) {
    auto packages = Packages(8, ConstantModel(-1.5, 2));
    auto grids = preparedGrids(packages);
    EXPECT_EQ(grids[6], std::vector<double>(16, -1.5));
    for (double v : grids[7])
        EXPECT_TRUE(v == 0.0 && !std::signbit(v));
    packages[7] = ConstantModel(0.0, 2, -1);  // -1 * +0.0 = -0.0
    grids = preparedGrids(packages);
    for (double v : grids[7])
        EXPECT_TRUE(v == 0.0 && std::signbit(v));
    packages[7].weights.assign(625, 1.0);
    packages[7].shape = -100.0;  // every square root of a negative number
    grids = preparedGrids(packages);
    for (double v : grids[7])
        EXPECT_TRUE(std::isnan(v));
}

TEST(PrepareGrids, PackagesTwoAndFourAndEmptyModelsGetNoGrid) {
    auto packages = Packages(6, ConstantModel(1.0, 2));
    packages[2].weights.resize(3);  // no centre grid, but never sampled
    packages[3].gridPointCount = 0;
    packages[3].weights.resize(7);
    ModulePtr m = singleEntryModule(packages);
    ASSERT_TRUE(PrepareSolverData(*m));
    const auto& pds = m->primaryEntries[0].packageData;
    for (size_t i : {0u, 1u, 2u, 3u, 4u, 5u})
        EXPECT_EQ(pds[i].gridValues.size(), i >= 2 && i <= 4 ? 0u : 16u) << i;
    // Availability speaks of the tables only; the values of ids 1 and 2
    // (indices 4 and 2) fail.
    double v = 0;
    for (uint32_t id : {1u, 2u}) {
        EXPECT_EQ(isPackageAvailable(*m, id), 1u);
        EXPECT_FALSE(GetPackageValue(*m, InputRecord{}, id, v));
    }
    EXPECT_TRUE(GetPackageValue(*m, InputRecord{}, 0, v));
}

TEST(PrepareGrids, SecondRunKeepsGridsAndOneCacheServesPointsThenCentres) {
    ModulePtr m = singleEntryModule({ConstantModel(1.0, 2)});
    ASSERT_TRUE(PrepareSolverData(*m));
    m->primaryEntries[0].packageData[0].gridValues[3] = 42.0;
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].packageData[0].gridValues[3], 42.0);

    std::vector<TableEntry> entries = {
        Entry({}, {ConstantModel(1.0, 5, 1, 625), ConstantModel(1.0, 3, 1, 1000),
                   ConstantModel(1.0, 5, 1, 1000)})};
    GridCache cache;
    ASSERT_TRUE(PrecomputePackageGrids(entries, cache));
    EXPECT_EQ(cache.keys, (std::vector<int64_t>{5, 3, kUnevenGridKey}));
    EXPECT_TRUE(PrepareSolverData(*BuildModule({}))) << "a module without entries";
}

TEST(PrepareGrids, ModelsThatCannotBePreparedFailAndKeepEarlierGrids) {
    PackageData unknownCentres = ConstantModel(1.0, 2, 1, 626);
    PackageData threeScales = ConstantModel(1.0, 2);
    threeScales.scales.resize(3);
    for (const PackageData& bad :
         {unknownCentres, threeScales, ConstantModel(1.0, kMaxGridPointCount + 1),
          ConstantModel(1.0, static_cast<uint64_t>(-5))}) {
        ModulePtr m = singleEntryModule({ConstantModel(1.0, 2), bad, ConstantModel(1.0, 2)});
        EXPECT_FALSE(PrepareSolverData(*m));
        const auto& pds = m->primaryEntries[0].packageData;
        EXPECT_EQ(pds[0].gridValues.size(), 16u);
        EXPECT_TRUE(pds[1].gridValues.empty());
        EXPECT_TRUE(pds[2].gridValues.empty()) << "stops at the first model it cannot prepare";
    }
    ModulePtr m = singleEntryModule({ConstantModel(1.0, 2)});
    m->secondaryEntries.push_back(Entry({}, {unknownCentres}));
    EXPECT_FALSE(PrepareSolverData(*m)) << "secondary models are prepared too";
}

// ---- Heat-transfer curve limiting ----

namespace {

// Temperature range 20..220; package 6 equals the temperature (+ shift) on a
// 5-point grid (nodes 20, 70, 120, 170, 220), every other package is constant.
Ranges heatRanges() {
    Ranges r;
    r.temperatureMin = 20.0;
    r.temperatureMax = 220.0;
    return r;
}

std::vector<PackageData> heatPackages(double shift = 0.0) {
    auto packages = Packages(7, ConstantModel(1.0, 2));
    packages[6] =
        GridModel(heatRanges(), [shift](double, double, double t, double) { return t + shift; });
    return packages;
}

std::vector<double> filled(size_t n, double v = 1.0) {
    return std::vector<double>(n, v);
}

// Divisors 1, numerators 1000, offsets 0: above the coefficient everywhere.
HeatTransferCurve high(size_t n = 5) {
    return Curve(filled(n), filled(n, 1000.0), filled(n, 0.0));
}

// The first entry's curves after preparing a module with the given curves.
std::vector<HeatTransferCurve> limited(std::vector<HeatTransferCurve> curves, uint64_t status = 1) {
    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    recipe.primary.push_back(Entry({}, heatPackages(), std::move(curves)));
    recipe.heatTransferStatus = status;
    ModulePtr m = BuildModule(std::move(recipe));
    EXPECT_TRUE(PrepareSolverData(*m));
    return m->primaryEntries[0].curves;
}

}  // namespace

TEST(LimitHeatTransfer, SamplesSpanTheTemperatureRange) {
    for (size_t samples : {5u, 3u, 2u, 1u}) {
        const std::vector<double> divisors = limited({high(samples)})[0].divisors;
        for (size_t k = 0; k < samples; ++k) {
            const double temperature =
                samples == 1 ? 20.0 : 20.0 + 200.0 * static_cast<double>(k) / (samples - 1.0);
            EXPECT_EQ(divisors[k], 1000.0 / temperature) << samples << " samples, k " << k;
        }
    }
}

TEST(LimitHeatTransfer, OnlySamplesAboveTheCoefficientChange) {
    // Sample values 1000, 70, 10, 520, 0 against coefficients 20, 70, 120, 170, 220.
    const auto curves =
        limited({Curve({1, 1, 1, 2, 1}, {1000, 70, 10, 1000, 0}, {0, 0, 0, 20, 0}), high()});
    const HeatTransferCurve& c = curves[0];
    EXPECT_EQ(c.divisors, (std::vector<double>{1000.0 / 20.0, 1, 1, 1000.0 / 150.0, 1}));
    EXPECT_NEAR(c.numerators[3] / c.divisors[3] + c.offsets[3], 170.0, 1e-12);
    EXPECT_EQ(curves[1].divisors, filled(5)) << "only the first curve";
}

TEST(LimitHeatTransfer, SecondaryEntriesAreLimitedByThePrimaryData) {
    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    recipe.primary.push_back(Entry({}, heatPackages(), {high()}));
    recipe.secondary.push_back(Entry({}, heatPackages(80.0), {high()}));
    recipe.heatTransferStatus = 1;
    recipe.directionDependency = 1;
    ModulePtr m = BuildModule(std::move(recipe));
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->secondaryEntries[0].curves[0].divisors[0], 1000.0 / 20.0);
    EXPECT_EQ(m->secondaryEntries[0].curves[0].divisors[4], 1000.0 / 220.0);
}

TEST(LimitHeatTransfer, NothingChangesWithoutStatusCoefficientOrValidCurve) {
    EXPECT_EQ(limited({high()}, 0)[0].divisors, filled(5)) << "heat transfer status 0";

    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    recipe.primary.push_back(Entry({}, heatPackages(), {high()}));
    recipe.primary[0].packageData[6] = ConstantModel(1.0, 0);  // package 6 unavailable
    recipe.heatTransferStatus = 1;
    ModulePtr m = BuildModule(std::move(recipe));
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].curves[0].divisors, filled(5)) << "no coefficient";

    // Divisors or offsets shorter than the samples: invalid, left unchanged.
    EXPECT_EQ(limited({Curve(filled(3), filled(5, 1000.0), filled(5, 0.0))})[0].divisors,
              filled(3));
    EXPECT_EQ(limited({Curve(filled(5), filled(5, 1000.0), filled(2, 0.0))})[0].divisors,
              filled(5));
    EXPECT_TRUE(limited({Curve({}, {}, {})})[0].divisors.empty()) << "a curve without samples";
    EXPECT_TRUE(limited({}).empty()) << "an entry without curves";
}
