// Faults guarded against: grid values summed in another order than centre by
// centre (checked bit for bit against a reference written here), points and
// centres taken from the wrong grid, the factor applied as unsigned or not at
// all, negative values of package 7 kept (or NaN and -0.0 changed), grids
// computed for packages 2 and 4, a second run overwriting grids, models that
// cannot be prepared accepted (or crashing), and every fault of the
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

}  // namespace

TEST(PrepareGrids, ValuesEqualTheReferenceSumBitForBit) {
    // Index 0 on the 5^4 centre grid, index 1 on the uneven 8x5x5x5 one.
    ModulePtr m = singleEntryModule({varyingModel(625, 4, 3), varyingModel(1000, 3, -2)});
    ASSERT_TRUE(PrepareSolverData(*m));
    const struct {
        size_t index;
        int32_t n;
        std::array<int32_t, 4> centres;
        double factor;
    } cases[] = {{0, 4, {5, 5, 5, 5}, 3.0}, {1, 3, {8, 5, 5, 5}, -2.0}};
    for (const auto& c : cases) {
        const PackageData& pd = m->primaryEntries[0].packageData[c.index];
        const std::vector<double> centres = RegularGrid(c.centres),
                                  points = RegularGrid({c.n, c.n, c.n, c.n});
        ASSERT_EQ(pd.gridValues.size() * 4, points.size());
        for (size_t p = 0; p < pd.gridValues.size(); ++p)
            ASSERT_EQ(pd.gridValues[p],
                      c.factor * ReferenceModelValue(pd, centres.data(), &points[4 * p]))
                << c.index << " " << p;
    }
}

TEST(PrepareGrids, OneCentreModelIsADistanceByHand) {
    // Weight 2 at centre 0 = (-1, -1, -1, -1), offset 1, on a 3-point grid
    // (-1, 0, 1): value 2 * |x - centre| + 1.
    PackageData pd = ConstantModel(1.0, 3);
    pd.weights[0] = 2.0;
    ModulePtr m = singleEntryModule({pd});
    ASSERT_TRUE(PrepareSolverData(*m));
    const std::vector<double>& v = m->primaryEntries[0].packageData[0].gridValues;
    ASSERT_EQ(v.size(), 81u);
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[1], 3.0);                         // (0, -1, -1, -1): distance 1
    EXPECT_EQ(v[2], 5.0);                         // (1, -1, -1, -1): distance 2
    EXPECT_EQ(v[4], 2.0 * std::sqrt(2.0) + 1.0);  // (0, 0, -1, -1)
    EXPECT_EQ(v[80], 9.0);                        // (1, 1, 1, 1): distance 4
}

TEST(PrepareGrids, ConstantModelsAndSignedFactors) {
    // Index 2 gets no grid; factors 4, -1 and 0 at indices 0, 1 and 3.
    ModulePtr m = singleEntryModule({ConstantModel(0.75, 3, 4), ConstantModel(2.5, 2, -1),
                                     ConstantModel(1.0, 2), ConstantModel(2.5, 2, 0)});
    ASSERT_TRUE(PrepareSolverData(*m));
    const auto& pds = m->primaryEntries[0].packageData;
    EXPECT_EQ(pds[0].gridValues, std::vector<double>(81, 3.0));
    EXPECT_EQ(pds[1].gridValues, std::vector<double>(16, -2.5));
    EXPECT_EQ(pds[3].gridValues, std::vector<double>(16, 0.0));
}

TEST(PrepareGrids, PackageSevenNeverBelowZeroButNaNAndNegativeZeroStay) {
    PackageData nan = ConstantModel(0.0, 2);
    nan.weights.assign(625, 1.0);
    nan.shape = -100.0;  // every square root of a negative number
    auto packages = Packages(8, ConstantModel(-1.5, 2));
    ModulePtr m = singleEntryModule(packages);
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].packageData[6].gridValues, std::vector<double>(16, -1.5));
    for (double v : m->primaryEntries[0].packageData[7].gridValues) {
        EXPECT_EQ(v, 0.0);
        EXPECT_FALSE(std::signbit(v));
    }

    packages[7] = ConstantModel(0.0, 2, -1);  // -1 * +0.0 = -0.0
    m = singleEntryModule(packages);
    ASSERT_TRUE(PrepareSolverData(*m));
    for (double v : m->primaryEntries[0].packageData[7].gridValues)
        EXPECT_TRUE(v == 0.0 && std::signbit(v));

    packages[7] = nan;
    m = singleEntryModule(packages);
    ASSERT_TRUE(PrepareSolverData(*m));
    for (double v : m->primaryEntries[0].packageData[7].gridValues)
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
    for (size_t i : {2u, 3u, 4u})
        EXPECT_TRUE(pds[i].gridValues.empty()) << i;
    for (size_t i : {0u, 1u, 5u})
        EXPECT_EQ(pds[i].gridValues.size(), 16u) << i;
    // Availability speaks of the tables only; the values of ids 1 and 2
    // (indices 4 and 2) fail.
    InputRecord in{};
    double v = 0;
    for (uint32_t id : {1u, 2u}) {
        EXPECT_EQ(isPackageAvailable(*m, id), 1u);
        EXPECT_FALSE(GetPackageValue(*m, in, id, v));
    }
    EXPECT_TRUE(GetPackageValue(*m, in, 0, v));
}

TEST(PrepareGrids, SecondRunKeepsTheFirstRunsGrids) {
    ModulePtr m = singleEntryModule({ConstantModel(1.0, 2)});
    ASSERT_TRUE(PrepareSolverData(*m));
    m->primaryEntries[0].packageData[0].gridValues[3] = 42.0;
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].packageData[0].gridValues[3], 42.0);
}

TEST(PrepareGrids, PointsAndCentresComeFromOneCacheInThatOrder) {
    std::vector<TableEntry> entries = {
        Entry({}, {ConstantModel(1.0, 5, 1, 625), ConstantModel(1.0, 3, 1, 1000),
                   ConstantModel(1.0, 5, 1, 1000)})};
    GridCache cache;
    ASSERT_TRUE(PrecomputePackageGrids(entries, cache));
    EXPECT_EQ(cache.keys, (std::vector<int64_t>{5, 3, kUnevenGridKey}));
}

TEST(PrepareGrids, ModuleWithoutEntriesPrepares) {
    ModulePtr m = BuildModule({});
    EXPECT_TRUE(PrepareSolverData(*m));
}

TEST(PrepareGrids, ModelsThatCannotBePreparedFailAndKeepEarlierGrids) {
    PackageData unknownCentres = ConstantModel(1.0, 2, 1, 626);
    PackageData threeScales = ConstantModel(1.0, 2);
    threeScales.scales.resize(3);
    PackageData onePoint = ConstantModel(1.0, 1);
    PackageData tooManyPoints = ConstantModel(1.0, kMaxGridPointCount + 1);
    PackageData negativePoints = ConstantModel(1.0, static_cast<uint64_t>(-5));
    for (const PackageData& bad :
         {unknownCentres, threeScales, onePoint, tooManyPoints, negativePoints}) {
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

// Temperature range 20..220; package 6 equals the temperature on a 5-point
// grid (nodes 20, 70, 120, 170, 220), every other package is constant.
Ranges heatRanges() {
    Ranges r;
    r.temperatureMin = 20.0;
    r.temperatureMax = 220.0;
    return r;
}

std::vector<PackageData> heatPackages(double offsetOfSix = 0.0) {
    auto packages = Packages(7, ConstantModel(1.0, 2));
    packages[6] = GridModel(
        heatRanges(), [offsetOfSix](double, double, double t, double) { return t + offsetOfSix; });
    return packages;
}

ModulePtr heatModule(std::vector<HeatTransferCurve> curves, uint64_t status = 1) {
    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    recipe.primary.push_back(Entry({}, heatPackages(), std::move(curves)));
    recipe.heatTransferStatus = status;
    return BuildModule(std::move(recipe));
}

std::vector<double> ones(size_t n) {
    return std::vector<double>(n, 1.0);
}

}  // namespace

TEST(LimitHeatTransfer, SamplesSpanTheTemperatureRange) {
    for (size_t samples : {5u, 3u, 2u, 1u}) {
        ModulePtr m = heatModule({Curve(ones(samples), std::vector<double>(samples, 1000.0),
                                        std::vector<double>(samples, 0.0))});
        ASSERT_TRUE(PrepareSolverData(*m));
        const std::vector<double>& divisors = m->primaryEntries[0].curves[0].divisors;
        for (size_t k = 0; k < samples; ++k) {
            const double temperature =
                samples == 1 ? 20.0 : 20.0 + 200.0 * static_cast<double>(k) / (samples - 1.0);
            EXPECT_EQ(divisors[k], 1000.0 / temperature) << samples << " samples, k " << k;
        }
    }
}

TEST(LimitHeatTransfer, OnlySamplesAboveTheCoefficientChange) {
    // Sample values 1000, 70, 10, 520, 0 against coefficients 20, 70, 120, 170, 220.
    ModulePtr m = heatModule({Curve({1, 1, 1, 2, 1}, {1000, 70, 10, 1000, 0}, {0, 0, 0, 20, 0}),
                              Curve(ones(5), std::vector<double>(5, 1000.0), ones(5))});
    ASSERT_TRUE(PrepareSolverData(*m));
    const HeatTransferCurve& c = m->primaryEntries[0].curves[0];
    EXPECT_EQ(c.divisors, (std::vector<double>{1000.0 / 20.0, 1, 1, 1000.0 / 150.0, 1}));
    EXPECT_NEAR(c.numerators[3] / c.divisors[3] + c.offsets[3], 170.0, 1e-12);
    EXPECT_EQ(m->primaryEntries[0].curves[1].divisors, ones(5)) << "only the first curve";
}

TEST(LimitHeatTransfer, SecondaryEntriesAreLimitedByThePrimaryData) {
    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    const HeatTransferCurve curve =
        Curve(ones(5), std::vector<double>(5, 1000.0), std::vector<double>(5, 0.0));
    recipe.primary.push_back(Entry({}, heatPackages(), {curve}));
    recipe.secondary.push_back(Entry({}, heatPackages(80.0), {curve}));
    recipe.heatTransferStatus = 1;
    recipe.directionDependency = 1;
    ModulePtr m = BuildModule(std::move(recipe));
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->secondaryEntries[0].curves[0].divisors[0], 1000.0 / 20.0);
    EXPECT_EQ(m->secondaryEntries[0].curves[0].divisors[4], 1000.0 / 220.0);
}

TEST(LimitHeatTransfer, NothingChangesWithoutStatusCoefficientOrValidCurve) {
    const HeatTransferCurve high =
        Curve(ones(5), std::vector<double>(5, 1000.0), std::vector<double>(5, 0.0));

    ModulePtr m = heatModule({high}, 0);
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].curves[0].divisors, ones(5)) << "heat transfer status 0";

    m = heatModule({high});
    m->primaryEntries[0].packageData[6].gridValues.clear();
    m->primaryEntries[0].packageData[6].gridPointCount = 0;  // package 6 unavailable
    m->packageTable[6] = 0;
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].curves[0].divisors, ones(5)) << "no coefficient";

    // Divisors or offsets shorter than the samples: invalid, left unchanged.
    m = heatModule({Curve(ones(3), std::vector<double>(5, 1000.0), std::vector<double>(5, 0.0)),
                    Curve(ones(5), std::vector<double>(5, 1000.0), std::vector<double>(2, 0.0))});
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].curves[0].divisors, ones(3));

    m = heatModule({Curve(ones(5), std::vector<double>(5, 1000.0), std::vector<double>(2, 0.0))});
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].curves[0].divisors, ones(5));

    m = heatModule({Curve({}, {}, {})});
    EXPECT_TRUE(PrepareSolverData(*m)) << "a curve without samples";
    m = heatModule({});
    EXPECT_TRUE(PrepareSolverData(*m)) << "an entry without curves";
}
