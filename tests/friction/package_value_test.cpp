// Faults guarded against: interpolation that is not exact on multilinear data
// (wrong corner order, wrong or swapped fraction, wrong stride), extrapolation
// past any axis end or range, the state corners mixed up on the 8- and 16-cell
// paths, cells interpolated in another cell's grid, the wrong temperature for
// each temperature mode, a direction blend applied when either flag is off or
// with its weights swapped, the id-to-index map skipped, evaluation of
// unprepared grids, and reads outside an array for malformed modules
// (unmatched cells, entries short of packages, NaN inputs or ranges, an empty
// axis). Package averages: taken from another state entry than the first,
// influenced by the contact state, extrapolated past an axis end, blended
// without both direction flags, or requiring prepared grids.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "friction/evaluate.h"
#include "solver/prepare.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr uint32_t kId3 = 3;  // stored at index 1
constexpr size_t kIndexOfId3 = 1;

// A contact state and the surface conditions.
struct Point {
    double p, s, t, v;
    Coordinates at;
    InputRecord input() const { return InputAt(p, s, t, v, at); }
    double expected(size_t index = kIndexOfId3, double shift = 0.0) const {
        return LinearModule::value(p, s, t, v, at, index, shift);
    }
};

double valueOf(const Module& m, const InputRecord& in, uint32_t id = kId3) {
    double v = -12345.0;
    EXPECT_TRUE(GetPackageValue(m, in, id, v));
    return v;
}

bool fails(const Module& m, const InputRecord& in, uint32_t id = kId3) {
    double v = -12345.0;
    const bool ok = GetPackageValue(m, in, id, v);
    EXPECT_EQ(v, -12345.0) << "nothing written on failure";
    return !ok;
}

// The point moved into the linear module's ranges (0..4) and axes.
Point clampedToLinearModule(Point q) {
    for (double* x : {&q.p, &q.s, &q.t, &q.v})
        *x = std::clamp(*x, 0.0, 4.0);
    q.at = {std::clamp(q.at.sheetRoughness, 1.0, 3.0), std::clamp(q.at.lubricationAmount, 0.0, 4.0),
            std::clamp(q.at.toolRoughness, 2.0, 2.5), std::clamp(q.at.stateValue, 0.0, 1.0)};
    return q;
}

ModulePtr linearModuleWith(std::optional<Axes> axes, size_t lastEntryPackages = 12) {
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    recipe.primary.back() = LinearModule::entryAt({3, 4, 2.5, 1}, lastEntryPackages, 0.0);
    recipe.axes = std::move(axes);
    return BuildModule(std::move(recipe));
}

double averageOf(const Module& m, const InputRecord& in, uint32_t id = kId3) {
    double v = -12345.0;
    EXPECT_TRUE(GetPackageAverage(m, in, id, v));
    return v;
}

// Offsets interpolate over the three surface conditions at state 0.
double expectedAverage(Coordinates at, size_t index = kIndexOfId3, double shift = 0.0) {
    at.stateValue = 0.0;
    return LinearModule::offset(at, index, shift);
}

}  // namespace

TEST(PackageValue, ExactOnMultilinearDataAndClampedAtEveryAxisEnd) {
    ModulePtr m = LinearModule::build();
    // Inside, fractions other than 0.5 on every axis tell swapped fractions
    // apart, and a state on a node takes the 8-cell path; then each axis below
    // and above its end, one at a time.
    const Coordinates in{2.0, 1.0, 2.25, 0.5};
    // clang-format off
    const Point points[] = {
        {1.5, 2.25, 0.5, 3.75, {1.5, 1.0, 2.25, 0.5}}, {0, 0, 0, 0, {1, 0, 2, 0}},
        {4, 4, 4, 4, {3, 4, 2.5, 1}}, {3, 1, 2, 0.5, {3, 2, 2, 0.25}},
        {0.25, 3.5, 1.75, 0.5, {2.5, 3, 2.375, 0.75}}, {1, 2, 3, 1, {1.5, 3, 2.5, 0.125}},
        {1, 2, 3, 1, {1.5, 3, 2.5, 1.0}},
        {-3, 2, 3, 1, in}, {9, 2, 3, 1, in}, {1, -1, 3, 1, in}, {1, 7, 3, 1, in},
        {1, 2, -5, 1, in}, {1, 2, 50, 1, in}, {1, 2, 3, -2, in}, {1, 2, 3, 8, in},
        {1, 2, 3, 1, {0.2, 1, 2.25, 0.5}}, {1, 2, 3, 1, {9, 1, 2.25, 0.5}},
        {1, 2, 3, 1, {2, -1, 2.25, 0.5}}, {1, 2, 3, 1, {2, 6, 2.25, 0.5}},
        {1, 2, 3, 1, {2, 1, 1, 0.5}}, {1, 2, 3, 1, {2, 1, 3, 0.5}},
        {1, 2, 3, 1, {2, 1, 2.25, -4}}, {1, 2, 3, 1, {2, 1, 2.25, 4}}};
    // clang-format on
    for (size_t i = 0; i < std::size(points); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(valueOf(*m, points[i].input()), clampedToLinearModule(points[i]).expected());
    }
    // The id-to-index map: id 0 reads index 5, id 11 index 11, ids past 11 index 1.
    const Point q{1, 1, 1, 1, {1, 0, 2, 0}};
    EXPECT_EQ(valueOf(*m, q.input(), 0), q.expected(5));
    EXPECT_EQ(valueOf(*m, q.input(), 11), q.expected(11));
    EXPECT_EQ(valueOf(*m, q.input(), 0xFFFFFFFF), q.expected(kIndexOfId3));
}

TEST(PackageValue, EachCellInterpolatesInItsOwnGrid) {
    // Entries with 3 and 5 grid points side by side; spacing 2 and 1.
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    for (size_t e : {1u, 6u, 12u}) {
        const TableEntry& old = recipe.primary[e];
        recipe.primary[e] = LinearModule::entryAt(
            {old.sheetRoughness, old.lubricationAmount, old.toolRoughness, old.stateValue}, 12, 0.0,
            3);
    }
    ModulePtr m = BuildModule(std::move(recipe));
    for (const Point& q : {Point{1.5, 2.25, 0.5, 3.75, {1.5, 1.0, 2.25, 0.5}},
                           Point{4, 4, 4, 4, {1.5, 1.0, 2.25, 0.5}}})
        EXPECT_EQ(valueOf(*m, q.input()), q.expected());
}

TEST(PackageValue, TemperatureModeOneUsesTheMeanOfTheClampedTemperatures) {
    ModulePtr m = LinearModule::build();
    const Point q{1, 1, 1, 1, {1, 0, 2, 0}};
    InputRecord in = q.input();
    in.toolTemperature = 6.0;  // clamped to 4: mean 2.5
    for (uint32_t mode : {0u, 2u, 0xFFFFFFFFu}) {
        in.temperatureMode = mode;
        EXPECT_EQ(valueOf(*m, in), q.expected()) << mode;
    }
    in.temperatureMode = 1;
    EXPECT_EQ(valueOf(*m, in), q.expected() + 4 * 1.5);
}

TEST(PackageValue, DirectionBlendNeedsBothFlags) {
    ModulePtr m = LinearModule::build(true);
    const Point q{1, 2, 3, 1, {2.0, 1.0, 2.25, 0.5}};
    const double primary = q.expected(), secondary = q.expected(kIndexOfId3, 2048.0);
    const auto at = [&](uint32_t flag, double cosine) {
        InputRecord in = q.input();
        in.useDirectionDependency = flag;
        in.directionCosine = cosine;
        return valueOf(*m, in);
    };
    EXPECT_EQ(at(1, 0.0), secondary);
    EXPECT_EQ(at(1, 1.0), primary);
    EXPECT_EQ(at(1, -1.0), primary);
    EXPECT_EQ(at(1, 0.5), 0.75 * secondary + 0.25 * primary);
    EXPECT_EQ(at(0, 0.0), primary) << "input flag off";
    m->directionDependency = 0;
    EXPECT_EQ(at(1, kNaN), primary) << "module flag off, NaN weight unused";
}

TEST(PackageValue, UnpreparedModuleFailsEveryCall) {
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({}, Packages(12, ConstantModel(2.0))));
    ModulePtr m = BuildModule(std::move(recipe));
    for (uint32_t id = 0; id < 12; ++id)
        EXPECT_TRUE(fails(*m, InputRecord{}, id)) << id;
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(valueOf(*m, InputRecord{}, 0), 2.0);
}

TEST(PackageValueMalformed, CellsWithoutEntryOrShortOfPackagesFail) {
    // The sheet roughness axis holds 2, but no entry sits there.
    ModulePtr m = linearModuleWith(Axes{{1.0, 2.0, 3.0}, {0.0, 4.0}, {2.0, 2.5}, {0.0, 1.0}});
    ASSERT_TRUE(PrepareSolverData(*m));
    const Point onEntry{1, 1, 1, 1, {1, 0, 2, 0}};
    EXPECT_EQ(valueOf(*m, onEntry.input()), onEntry.expected());
    EXPECT_TRUE(fails(*m, InputAt(1, 1, 1, 1, {1.5, 0, 2, 0})));
    EXPECT_TRUE(fails(*m, InputAt(1, 1, 1, 1, {2.5, 0, 2, 0.5})));

    // The last entry holds 3 packages only.
    m = linearModuleWith(std::nullopt, 3);
    const Point nearShortEntry{1, 1, 1, 1, {2.5, 3, 2.25, 0.5}};
    EXPECT_EQ(valueOf(*m, nearShortEntry.input(), 3), nearShortEntry.expected());
    EXPECT_TRUE(fails(*m, nearShortEntry.input(), 6)) << "index 6 missing in one of the 16";
    EXPECT_TRUE(fails(*m, InputAt(1, 1, 1, 1, {3, 4, 2.5, 1}), 11));
    EXPECT_EQ(valueOf(*m, onEntry.input(), 11), onEntry.expected(11));

    // An empty state or sheet roughness axis.
    EXPECT_TRUE(
        fails(*linearModuleWith(Axes{{1.0, 3.0}, {0.0, 4.0}, {2.0, 2.5}, {}}), onEntry.input()));
    EXPECT_TRUE(
        fails(*linearModuleWith(Axes{{}, {0.0, 4.0}, {2.0, 2.5}, {0.0, 1.0}}), onEntry.input()));
}

TEST(PackageValueMalformed, NaNConditionsFailNaNStatesAndRangesYieldNaN) {
    ModulePtr m = LinearModule::build();
    const InputRecord inside = InputAt(1, 1, 1, 1, {2, 1, 2.25, 0.5});
    for (double InputRecord::*field :
         {&InputRecord::sheetRoughness, &InputRecord::lubricationAmount,
          &InputRecord::toolRoughness, &InputRecord::stateValue}) {
        InputRecord in = inside;
        in.*field = kNaN;
        EXPECT_TRUE(fails(*m, in));
    }
    // A NaN state stays inside the grid.
    for (double InputRecord::*field : {&InputRecord::pressure, &InputRecord::strain,
                                       &InputRecord::sheetTemperature, &InputRecord::velocity}) {
        InputRecord in = inside;
        in.*field = kNaN;
        EXPECT_TRUE(std::isnan(valueOf(*m, in)));
    }
    m->pressureMin = kNaN;  // as a blob may carry it
    EXPECT_TRUE(std::isnan(valueOf(*m, inside)));
}

TEST(PackageAverage, InterpolatesOffsetsOfTheFirstStateEntry) {
    ModulePtr m = LinearModule::build();  // never prepared
    EXPECT_EQ(averageOf(*m, InputAt(0, 0, 0, 0, {1, 0, 2, 1})), expectedAverage({1, 0, 2, 0}));
    EXPECT_EQ(averageOf(*m, InputAt(0, 0, 0, 0, {2.5, 1, 2.125, 0})),
              expectedAverage({2.5, 1, 2.125, 0}));
    // The contact state and the state coordinate change nothing.
    EXPECT_EQ(averageOf(*m, InputAt(3, 1, 2, 4, {2.5, 1, 2.125, 0.75})),
              expectedAverage({2.5, 1, 2.125, 0}));
    EXPECT_EQ(averageOf(*m, InputAt(0, 0, 0, 0, {1, 0, 2, 0}), 0),
              expectedAverage({1, 0, 2, 0}, 5));
}

TEST(PackageAverage, ClampsBeyondTheAxes) {
    ModulePtr m = LinearModule::build();
    EXPECT_EQ(averageOf(*m, InputAt(0, 0, 0, 0, {-5, 9, 0, 0})), expectedAverage({1, 4, 2, 0}));
    EXPECT_EQ(averageOf(*m, InputAt(0, 0, 0, 0, {7, -1, 9, 0})), expectedAverage({3, 0, 2.5, 0}));
}

TEST(PackageAverage, DirectionBlend) {
    ModulePtr m = LinearModule::build(true);
    const Coordinates at{2, 1, 2.25, 0};
    const double primary = expectedAverage(at), secondary = expectedAverage(at, kIndexOfId3, 2048);
    InputRecord in = InputAt(0, 0, 0, 0, at);
    in.directionCosine = 0.5;
    EXPECT_EQ(averageOf(*m, in), primary) << "input flag off";
    in.useDirectionDependency = 1;
    EXPECT_EQ(averageOf(*m, in), 0.75 * secondary + 0.25 * primary);
    in.directionCosine = 0.0;
    EXPECT_EQ(averageOf(*m, in), secondary);
}

TEST(PackageAverage, FailsOnlyForUnavailableOrUnreadableData) {
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries(6);
    ModulePtr m = BuildModule(std::move(recipe));
    double v = -1.0;
    EXPECT_FALSE(GetPackageAverage(*m, InputAt(0, 0, 0, 0, {1, 0, 2, 0}), 6, v)) << "unavailable";
    EXPECT_FALSE(GetPackageAverage(
        *m, InputAt(0, 0, 0, 0, {std::numeric_limits<double>::quiet_NaN(), 0, 2, 0}), 3, v));

    recipe = {};
    recipe.primary = LinearModule::entries();
    recipe.primary[2] = LinearModule::entryAt({1, 0, 2.5, 0}, 1, 0.0);  // short of packages
    recipe.axes = Axes{{1, 2, 3}, {0, 4}, {2, 2.5}, {0, 1}};            // no entry at 2
    m = BuildModule(std::move(recipe));
    EXPECT_FALSE(GetPackageAverage(*m, InputAt(0, 0, 0, 0, {1.5, 0, 2, 0}), 3, v));
    EXPECT_FALSE(GetPackageAverage(*m, InputAt(0, 0, 0, 0, {1, 0, 2.25, 0}), 3, v));
    EXPECT_EQ(v, -1.0);
    EXPECT_EQ(averageOf(*m, InputAt(0, 0, 0, 0, {1, 0, 2, 0})), expectedAverage({1, 0, 2, 0}));

    recipe = {};
    recipe.primary = LinearModule::entries();
    recipe.axes = Axes{{1, 3}, {0, 4}, {2, 2.5}, {}};  // no state entry at all
    m = BuildModule(std::move(recipe));
    EXPECT_FALSE(GetPackageAverage(*m, InputAt(0, 0, 0, 0, {1, 0, 2, 0}), 3, v));
    EXPECT_EQ(v, -1.0);
}
