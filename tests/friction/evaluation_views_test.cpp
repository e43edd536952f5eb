// Faults guarded against: an evaluation through the views preparation builds
// that differs in any bit from the general cell-by-cell evaluation: a
// collapsed bracket or a transverse grid taken as a shortcut where NaN or
// infinite grid values make it change a result, cells or grid corners read
// in another order, a view kept for a package whose cells or directions differ in grid size,
// for a data set with an unmatched cell, or for curves shorter than package
// 6's grid, where the general path fails.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/module_builder.h"
#include "support/query_sweep.h"

using namespace mx;
using namespace mx::test;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Pressure 1..5 so that the heat-transfer low-pressure band exists.
const Ranges kRanges{1.0, 5.0, 0.0, 4.0, 0.0, 4.0, 0.0, 4.0};

enum class Fault { none, unmatchedCell, mixedGridSizes, noDirection, shortCurve };

// 3 x 2 x 2 x 2 cells; package p has (2 + p % 3)^4 grid values, a few of them
// NaN or infinite. The transverse data repeats the primary grids except for
// package 0 and the first cell of package 7, so both the shortcut and the
// second evaluation are taken; package 11's transverse grids are a size larger.
ModulePtr generatedModule(Fault fault) {
    ModuleRecipe recipe;
    recipe.ranges = kRanges;
    recipe.heatTransferStatus = 1;
    recipe.directionDependency = fault == Fault::noDirection ? 0 : 1;
    int cell = 0;
    for (double sheet : {0.5, 1.0, 1.5})
        for (double lube : {1.0, 2.0})
            for (double tool : {0.2, 0.3})
                for (double state : {0.0, 1.0}) {
                    const Coordinates at{sheet, lube, tool, state};
                    std::vector<PackageData> primary, secondary;
                    for (size_t p = 0; p < 12; ++p) {
                        uint64_t n = 2 + p % 3;
                        if (fault == Fault::mixedGridSizes && p == 5 && cell == 3) n = 5;
                        const double c = 16 * sheet + 32 * lube + 64 * tool + 128 * state + p;
                        const auto law = [=](double pr, double s, double t, double v) {
                            return c + pr * (1 + 0.1 * p) - s * t + std::sin(v + c);
                        };
                        PackageData pd = GridModel(kRanges, law, n);
                        pd.offset = c;
                        if (cell % 5 == 1) pd.gridValues[1] = kNaN;
                        if (cell % 7 == 2) pd.gridValues.back() = p % 2 ? kInf : -kInf;
                        primary.push_back(pd);
                        if (p == 0 || (p == 7 && cell == 0)) {
                            for (double& v : pd.gridValues)
                                v = v * 0.5 + 1.0;
                            pd.offset += 0.25;
                        }
                        if (p == 11) {
                            pd = GridModel(kRanges, law, n + 1);
                            pd.offset = c;
                        }
                        secondary.push_back(std::move(pd));
                    }
                    // Package 6 has 2 temperature points.
                    HeatTransferCurve curve =
                        Curve({1.5 + cell, 2.5}, {900.0 - cell, 700.0}, {7.0, 8.0 + cell});
                    if (fault == Fault::shortCurve && cell == 3) curve.divisors.pop_back();
                    recipe.primary.push_back(Entry(at, std::move(primary), {curve}));
                    if (recipe.directionDependency != 0)
                        recipe.secondary.push_back(Entry(at, std::move(secondary), {curve}));
                    ++cell;
                }
    if (fault == Fault::unmatchedCell)
        recipe.axes = Axes{{0.5, 1.0, 1.5, 2.0}, {1.0, 2.0}, {0.2, 0.3}, {0.0, 1.0}};
    return BuildModule(std::move(recipe));
}

// Contact states across and beyond the ranges and axes, NaN and infinite ones,
// and states on axis nodes and at the low-pressure band, with and without the
// direction blend.
std::vector<MorvexInputRecord> statesFor(const MorvexModule* m) {
    std::vector<MorvexInputRecord> states = spreadStates(m, 124);
    // Below the ranges, inside the top grid cell (where an infinite corner
    // stays infinite), and with a NaN velocity.
    const double nodal[3][4] = {{0.6, -1.0, 2.2, 0.7}, {4.7, 3.6, 3.3, 3.9}, {2.5, 1.3, 2.2, kNaN}};
    for (double sheet : {0.5, 1.0, 1.2, 7.0})
        for (double lube : {1.0, 1.5})
            for (double state : {0.0, 0.5, kNaN})
                for (const auto& x : nodal) {
                    MorvexInputRecord in;
                    Morvex_SetNodalInput(&in, x[0], x[1], x[2], 3.1, x[3], 0.3, state);
                    Morvex_SetSystemInput(&in, 1, sheet, lube, 0.3, 0);
                    states.push_back(in);
                }
    return states;
}

TEST(EvaluationViews, EveryQueryMatchesTheGeneralEvaluationBitForBit) {
    const struct {
        Fault fault;
        bool viewOfPackage5;  // whether package index 5 (id 0) gets a view
    } cases[] = {{Fault::none, true},
                 {Fault::unmatchedCell, false},
                 {Fault::mixedGridSizes, false},
                 {Fault::noDirection, true},
                 {Fault::shortCurve, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        ModulePtr prepared = generatedModule(c.fault);
        MorvexModule* handle = prepared.get();
        ASSERT_EQ(Morvex_PrepareSolverData(&handle), 1u);
        // A copy has no views: the general path answers for it.
        const Module general = *prepared;
        ASSERT_TRUE(general.views.sets[0].packages[5].grids.empty());
        EXPECT_EQ(!prepared->views.sets[0].packages[5].grids.empty(), c.viewOfPackage5);
        if (c.fault == Fault::none) {
            EXPECT_TRUE(prepared->views.transverseGridEqual[5]);
            EXPECT_FALSE(prepared->views.transverseGridEqual[0]);
            EXPECT_FALSE(prepared->views.sets[1].curves.empty());
        }
        QueryArguments formula, package;  // heat transfer by formula, then by package 6
        package.bound = -1.0;
        size_t failures = 0;
        for (const MorvexInputRecord& in : statesFor(prepared.get())) {
            for (const QueryArguments& args : {formula, package}) {
                const std::vector<Answer> fast = answerEverything(prepared.get(), in, args);
                const std::vector<Answer> slow = answerEverything(&general, in, args);
                ASSERT_EQ(fast.size(), slow.size());
                for (size_t k = 0; k < fast.size(); ++k) {
                    EXPECT_EQ(fast[k], slow[k]) << fast[k].query << " #" << k;
                    failures += fast[k].result == 0;
                }
            }
        }
        EXPECT_GT(failures, 0u);  // the NaN states and ids 1, 2 fail on both paths
    }
}

}  // namespace
