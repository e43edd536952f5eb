// Faults guarded against: grid values summed in another order than centre by
// centre (checked bit for bit against a reference written here), points and
// centres taken from the wrong grid, the factor applied as unsigned or not at
// all, negative values of package 7 kept (or NaN and -0.0 changed), grids
// computed for packages 2 and 4, a second run overwriting grids, models that
// cannot be prepared accepted (or crashing), grid sizes up to 215 refused
// or sampled off the reference, a one-point grid interpolated in, and every
// fault of the heat-transfer curve limiting: wrong sample temperatures, strict
// comparison, curves other than the first changed, secondary entries limited
// against their own data, and short curves read past their end.
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

TEST(PrepareGrids, EveryGridSizeEqualsTheReferenceSumBitForBit) {
    // Index 1 on the 5^4 centre grid with n points from one up (counts at and
    // above 32 were a limit once), index 3 on the uneven 8x5x5x5 one: every
    // value of small grids, every 997th and the last of large ones against the
    // reference sum, the grid held at its exact size, and package values at
    // grid nodes (spacing 1) equal to the values there; a single point is no
    // grid to interpolate in. Under AddressSanitizer the unoptimized kernels
    // run some thirty times slower: 33, sampled in 19 blocks and a ragged last
    // one, stands for the large counts there.
#ifdef __SANITIZE_ADDRESS__
    for (int32_t n : {1, 2, 33}) {
#else
    for (int32_t n : {1, 2, 32, 33, 40}) {
#endif
        SCOPED_TRACE(n);
        ModuleRecipe recipe;
        const double top = n > 1 ? n - 1.0 : 1.0;
        recipe.ranges = {0, top, 0, top, 0, top, 0, top};
        recipe.primary.push_back(Entry({}, {ConstantModel(1.0, 2), varyingModel(625, n, -2),
                                            ConstantModel(1.0, 2), varyingModel(1000, 3, 3)}));
        ModulePtr m = BuildModule(std::move(recipe));
        ASSERT_TRUE(PrepareSolverData(*m));
        const struct {
            size_t index;
            int32_t n;
            std::array<int32_t, 4> centres;
            double factor;
        } checks[] = {{1, n, {5, 5, 5, 5}, -2.0}, {3, 3, {8, 5, 5, 5}, 3.0}};
        for (const auto& c : checks) {
            const PackageData& pd = m->primaryEntries[0].packageData[c.index];
            const std::vector<double> centres = RegularGrid(c.centres);
            const std::vector<double> axis = RegularGrid({c.n, 1, 1, 1});
            const size_t total = static_cast<size_t>(c.n) * c.n * c.n * c.n;
            ASSERT_EQ(pd.gridValues.size(), total);
            EXPECT_EQ(pd.gridValues.capacity(), total);
            for (size_t p = 0; p < total; p += total < 1000 ? 1 : 997) {
                for (size_t q : {p, total - 1}) {
                    double x[4];
                    for (size_t k = 0, rest = q; k < 4; ++k, rest /= c.n)
                        x[k] = axis[4 * (rest % c.n)];
                    ASSERT_EQ(pd.gridValues[q],
                              c.factor * ReferenceModelValue(pd, centres.data(), x))
                        << c.index << " " << q;
                }
            }
        }
        const std::vector<double>& grid = m->primaryEntries[0].packageData[1].gridValues;
        double v = 0.0;
        for (const std::array<int32_t, 4> i :
             {std::array<int32_t, 4>{0, 0, 0, 0}, {n - 1, n / 2, 1 % n, n - 1}}) {
            ASSERT_EQ(GetPackageValue(*m, InputAt(i[0], i[1], i[2], i[3], {}), 3, v), n > 1);
            if (n > 1) {
                EXPECT_EQ(v, grid[i[0] + n * (i[1] + n * (i[2] + n * i[3]))]);
            }
        }
    }
}

TEST(PrepareGrids, ByHandValuesPackageSevenAndPackagesWithoutGrids) {
    // Index 0: weight 2 at centre 0 = (-1, -1, -1, -1), offset 1, factor 4, on
    // a 3-point grid (-1, 0, 1): value 4 * (2 * |x - centre| + 1). Index 7 is
    // never below zero, but -0.0 (-1 * +0.0) and NaN (square roots of
    // negative numbers) stay: one entry each; other negative values stay.
    auto packages = Packages(8, ConstantModel(-1.5, 2));
    packages[0] = ConstantModel(1.0, 3, 4);
    packages[0].weights[0] = 2.0;
    packages[2].weights.resize(3);  // no centre grid, but never sampled
    packages[6].gridPointCount = 0;
    packages[6].weights.resize(7);
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({0.0}, packages));
    packages[7] = ConstantModel(0.0, 2, -1);
    recipe.primary.push_back(Entry({1.0}, packages));
    packages[7].weights.assign(625, 1.0);
    packages[7].shape = -100.0;
    recipe.primary.push_back(Entry({2.0}, packages));
    ModulePtr m = BuildModule(std::move(recipe));
    ASSERT_TRUE(PrepareSolverData(*m));
    const auto& pds = m->primaryEntries[0].packageData;
    const std::vector<double>& v = pds[0].gridValues;
    ASSERT_EQ(v.size(), 81u);
    EXPECT_EQ(v[0], 4.0);
    EXPECT_EQ(v[1], 12.0);                              // (0, -1, -1, -1): distance 1
    EXPECT_EQ(v[2], 20.0);                              // (1, -1, -1, -1): distance 2
    EXPECT_EQ(v[4], 4.0 * (2.0 * std::sqrt(2.0) + 1));  // (0, 0, -1, -1)
    EXPECT_EQ(v[80], 36.0);                             // (1, 1, 1, 1): distance 4
    for (size_t i : {1u, 3u, 5u})
        EXPECT_EQ(pds[i].gridValues, std::vector<double>(16, -1.5)) << i;
    for (size_t i : {2u, 4u, 6u})
        EXPECT_TRUE(pds[i].gridValues.empty()) << i;
    for (size_t e = 0; e < 3; ++e) {
        const std::vector<double>& seven = m->primaryEntries[e].packageData[7].gridValues;
        ASSERT_EQ(seven.size(), 16u);
        for (double x : seven)
            EXPECT_TRUE(e == 2 ? std::isnan(x) : x == 0.0 && std::signbit(x) == (e == 1)) << e;
    }
}

TEST(PrepareGrids, SecondRunKeepsGridsAndBadModelsFailKeepingEarlierGrids) {
    ModulePtr m = singleEntryModule({ConstantModel(1.0, 2)});
    ASSERT_TRUE(PrepareSolverData(*m));
    m->primaryEntries[0].packageData[0].gridValues[3] = 42.0;
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(m->primaryEntries[0].packageData[0].gridValues[3], 42.0);
    EXPECT_TRUE(PrepareSolverData(*BuildModule({}))) << "a module without entries";

    // One cache serves points, then centres, and holds each grid once.
    std::vector<TableEntry> entries = {
        Entry({}, {ConstantModel(1.0, 5, 1, 625), ConstantModel(1.0, 3, 1, 1000),
                   ConstantModel(1.0, 5, 1, 1000)})};
    GridCache cache;
    ASSERT_TRUE(PrecomputePackageGrids(entries, cache));
    EXPECT_EQ(cache.keys, (std::vector<int64_t>{5, 3, kUnevenGridKey}));

    PackageData unknownCentres = ConstantModel(1.0, 2, 1, 626);
    PackageData threeScales = ConstantModel(1.0, 2);
    threeScales.scales.resize(3);
    for (const PackageData& bad :
         {unknownCentres, threeScales, ConstantModel(1.0, kMaxGridPointCount + 1),
          ConstantModel(1.0, static_cast<uint64_t>(-5))}) {
        m = singleEntryModule({ConstantModel(1.0, 2), bad, ConstantModel(1.0, 2)});
        EXPECT_FALSE(PrepareSolverData(*m));
        const auto& pds = m->primaryEntries[0].packageData;
        EXPECT_EQ(pds[0].gridValues.size(), 16u);
        EXPECT_TRUE(pds[1].gridValues.empty());
        EXPECT_TRUE(pds[2].gridValues.empty()) << "stops at the first model it cannot prepare";
    }
    m = singleEntryModule({ConstantModel(1.0, 2)});
    m->secondaryEntries.push_back(Entry({}, {unknownCentres}));
    EXPECT_FALSE(PrepareSolverData(*m)) << "secondary models are prepared too";
}

// Temperature range 20..220; package 6 equals the temperature on a 5-point
// grid (nodes 20, 70, 120, 170, 220), every other package is constant. The
// secondary entry, whose package 6 is 80 higher, is limited by the primary
// data. Each case gives both entries' curves and the divisors their first
// curve has after preparation; every other value stays as it was.
TEST(LimitHeatTransfer, SamplesAboveTheCoefficientAreLoweredToIt) {
    // Package 6 is t + shift at the lower end of the other three ranges, and
    // larger inside them: every sample is compared at that end.
    const Ranges ranges{-4.0, 0.0, -4.0, 0.0, 20.0, 220.0, -4.0, 0.0};
    const auto packages = [&](double shift, bool six) {
        auto result = Packages(7, ConstantModel(1.0, 2));
        const auto sixLaw = [=](double p, double s, double t, double v) {
            return t + shift + (p + 4.0) + (s + 4.0) + (v + 4.0);
        };
        result[6] = six ? GridModel(ranges, sixLaw) : ConstantModel(1.0, 0);
        return result;
    };
    const auto filled = [](size_t n, double v = 1.0) { return std::vector<double>(n, v); };
    // Divisors 1, numerators 1000, offsets 0: above the coefficient everywhere.
    const auto high = [&](size_t n) { return Curve(filled(n), filled(n, 1000.0), filled(n, 0.0)); };
    const struct {
        const char* what;
        std::vector<HeatTransferCurve> curves;
        std::vector<double> divisors;
        uint64_t status = 1;
        bool packageSix = true;
    } cases[] = {
        {"5 samples", {high(5)}, {1000 / 20., 1000 / 70., 1000 / 120., 1000 / 170., 1000 / 220.}},
        {"2 samples", {high(2)}, {1000 / 20., 1000 / 220.}},
        {"1 sample", {high(1)}, {1000 / 20.}},
        // Sample values 1000, 70, 10, 520, 0 against coefficients 20 .. 220;
        // only the first curve.
        {"only samples above",
         {Curve({1, 1, 1, 2, 1}, {1000, 70, 10, 1000, 0}, {0, 0, 0, 20, 0}), high(5)},
         {1000 / 20., 1, 1, 1000 / 150., 1}},
        {"status 0", {high(5)}, filled(5), 0},
        {"no coefficient", {high(5)}, filled(5), 1, false},
        {"short divisors", {Curve(filled(3), filled(5, 1000.0), filled(5, 0.0))}, filled(3)},
        {"short offsets", {Curve(filled(5), filled(5, 1000.0), filled(2, 0.0))}, filled(5)},
        {"no samples", {Curve({}, {}, {})}, {}},
        {"no curves", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ModuleRecipe recipe;
        recipe.ranges = ranges;
        recipe.primary.push_back(Entry({}, packages(0.0, c.packageSix), c.curves));
        recipe.secondary.push_back(Entry({}, packages(80.0, c.packageSix), c.curves));
        recipe.heatTransferStatus = c.status;
        recipe.directionDependency = 1;
        ModulePtr m = BuildModule(std::move(recipe));
        ASSERT_TRUE(PrepareSolverData(*m));
        for (const TableEntry* e : {&m->primaryEntries[0], &m->secondaryEntries[0]}) {
            ASSERT_EQ(e->curves.size(), c.curves.size());
            for (size_t i = 0; i < c.curves.size(); ++i) {
                EXPECT_EQ(e->curves[i].divisors, i == 0 ? c.divisors : c.curves[i].divisors);
                EXPECT_EQ(e->curves[i].numerators, c.curves[i].numerators);
                EXPECT_EQ(e->curves[i].offsets, c.curves[i].offsets);
            }
        }
    }
}
