// Faults guarded against: interpolation that is not exact on multilinear data
// (wrong corner order, wrong or swapped fraction, wrong stride), extrapolation
// past any axis end or range, the state corners mixed up on the 8- and 16-cell
// paths, cells interpolated in another cell's grid, the wrong temperature for
// each temperature mode, a direction blend applied when either flag is off or
// with its weights swapped, the id-to-index map skipped, and reads outside
// an array for malformed modules (unmatched cells, entries short of packages,
// NaN inputs or ranges, an empty axis). Package averages: taken from another state entry than the
// first, influenced by the contact state, extrapolated past an axis end, blended without both
// direction flags, or requiring prepared grids.
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

using Query = bool (*)(const Module&, const InputRecord&, uint32_t, double&);

double answer(Query query, const Module& m, const InputRecord& in, uint32_t id = kId3) {
    double v = -12345.0;
    EXPECT_TRUE(query(m, in, id, v));
    return v;
}

double valueOf(const Module& m, const InputRecord& in, uint32_t id = kId3) {
    return answer(GetPackageValue, m, in, id);
}

// A contact state and the surface conditions.
struct Point {
    double p, s, t, v;
    Coordinates at;
    InputRecord input() const { return InputAt(p, s, t, v, at); }
    double expected(size_t index = kIndexOfId3, double shift = 0.0) const {
        return LinearModule::value(p, s, t, v, at, index, shift);
    }
};

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
    // Averages interpolate the offsets of the first state entry: the contact
    // state and the state coordinate change nothing.
    for (size_t i = 0; i < std::size(points); ++i) {
        SCOPED_TRACE(i);
        const Point clamped = clampedToLinearModule(points[i]);
        EXPECT_EQ(valueOf(*m, points[i].input()), clamped.expected());
        EXPECT_EQ(answer(GetPackageAverage, *m, points[i].input()), expectedAverage(clamped.at));
    }
    // Temperature mode 1 takes the mean of the clamped temperatures.
    const Point q{1, 1, 1, 1, {1, 0, 2, 0}};
    InputRecord hot = q.input();
    hot.toolTemperature = 6.0;  // clamped to 4: mean 2.5
    for (uint32_t mode : {0u, 2u, 0xFFFFFFFFu}) {
        hot.temperatureMode = mode;
        EXPECT_EQ(valueOf(*m, hot), q.expected()) << mode;
    }
    hot.temperatureMode = 1;
    EXPECT_EQ(valueOf(*m, hot), q.expected() + 4 * 1.5);

    // Entries with 3 and 5 grid points side by side; spacing 2 and 1.
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    for (size_t e : {1u, 6u, 12u}) {
        const TableEntry& old = recipe.primary[e];
        const Coordinates at{old.sheetRoughness, old.lubricationAmount, old.toolRoughness,
                             old.stateValue};
        recipe.primary[e] = LinearModule::entryAt(at, 12, 0.0, 3);
    }
    m = BuildModule(std::move(recipe));
    for (const Point& p : {points[0], Point{4, 4, 4, 4, points[0].at}})
        EXPECT_EQ(valueOf(*m, p.input()), p.expected()) << "each cell in its own grid";
}

TEST(PackageValue, ValuesAndAveragesBlendDirectionsByTheSquaredCosine) {
    // Which flags switch the blend on is checked against the views' own
    // switch in evaluation_views_test.
    ModulePtr m = LinearModule::build(true);
    const Point q{1, 2, 3, 1, {2.0, 1.0, 2.25, 0.5}};
    InputRecord in = q.input();
    in.useDirectionDependency = 1;
    in.directionCosine = 0.5;
    EXPECT_EQ(valueOf(*m, in), 0.75 * q.expected(kIndexOfId3, 2048.0) + 0.25 * q.expected());
    EXPECT_EQ(answer(GetPackageAverage, *m, in),
              0.75 * expectedAverage(q.at, kIndexOfId3, 2048.0) + 0.25 * expectedAverage(q.at));
}

TEST(PackageValueMalformed, FailuresWriteNothingAndSpareTheirNeighbours) {
    // The sheet roughness axis holds 2, but no entry sits there.
    ModulePtr gap = linearModuleWith(Axes{{1.0, 2.0, 3.0}, {0.0, 4.0}, {2.0, 2.5}, {0.0, 1.0}});
    ASSERT_TRUE(PrepareSolverData(*gap));
    ModulePtr shortEntry = linearModuleWith(std::nullopt, 3);  // the last entry: 3 packages
    ModulePtr noState = linearModuleWith(Axes{{1.0, 3.0}, {0.0, 4.0}, {2.0, 2.5}, {}});
    ModulePtr noSheet = linearModuleWith(Axes{{}, {0.0, 4.0}, {2.0, 2.5}, {0.0, 1.0}});
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries(6);
    ModulePtr sixPackages = BuildModule(std::move(recipe));
    recipe = {};
    recipe.primary = LinearModule::entries();
    recipe.primary[2] = LinearModule::entryAt({1, 0, 2.5, 0}, 1, 0.0);  // short of packages
    ModulePtr shortAverage = BuildModule(std::move(recipe));
    ModulePtr linear = LinearModule::build();

    const InputRecord onEntry = InputAt(1, 1, 1, 1, {1, 0, 2, 0});
    const auto nan = [](double InputRecord::*field) {
        InputRecord in = InputAt(1, 1, 1, 1, {2, 1, 2.25, 0.5});
        in.*field = kNaN;
        return in;
    };
    const Query value = GetPackageValue, average = GetPackageAverage;
    const struct {
        Query query;
        const Module* m;
        InputRecord in;
        uint32_t id;
    } cases[] = {
        {value, gap.get(), InputAt(1, 1, 1, 1, {1.5, 0, 2, 0}), kId3},
        {value, gap.get(), InputAt(1, 1, 1, 1, {2.5, 0, 2, 0.5}), kId3},
        {average, gap.get(), InputAt(0, 0, 0, 0, {1.5, 0, 2, 0}), kId3},
        {value, shortEntry.get(), InputAt(1, 1, 1, 1, {2.5, 3, 2.25, 0.5}), 6},
        {value, shortEntry.get(), InputAt(1, 1, 1, 1, {3, 4, 2.5, 1}), 11},
        {average, shortAverage.get(), InputAt(0, 0, 0, 0, {1, 0, 2.25, 0}), kId3},
        {value, noState.get(), onEntry, kId3},
        {average, noState.get(), onEntry, kId3},
        {value, noSheet.get(), onEntry, kId3},
        {average, sixPackages.get(), onEntry, 6},
        {average, sixPackages.get(), nan(&InputRecord::sheetRoughness), kId3},
        {value, linear.get(), nan(&InputRecord::sheetRoughness), kId3},
        {value, linear.get(), nan(&InputRecord::lubricationAmount), kId3},
        {value, linear.get(), nan(&InputRecord::toolRoughness), kId3},
        {value, linear.get(), nan(&InputRecord::stateValue), kId3},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        double v = -12345.0;
        EXPECT_FALSE(cases[i].query(*cases[i].m, cases[i].in, cases[i].id, v)) << i;
        EXPECT_EQ(v, -12345.0) << i;
    }

    // Their neighbours still answer.
    const Point entry{1, 1, 1, 1, {1, 0, 2, 0}}, nearShort{1, 1, 1, 1, {2.5, 3, 2.25, 0.5}};
    EXPECT_EQ(valueOf(*gap, onEntry), entry.expected());
    EXPECT_EQ(answer(GetPackageAverage, *shortAverage, onEntry), expectedAverage(entry.at));
    EXPECT_EQ(valueOf(*shortEntry, nearShort.input()), nearShort.expected());
    EXPECT_EQ(valueOf(*shortEntry, onEntry, 11), entry.expected(11));

    // A NaN state stays inside the grid, and so do NaN ranges from a blob.
    for (double InputRecord::*field : {&InputRecord::pressure, &InputRecord::strain,
                                       &InputRecord::sheetTemperature, &InputRecord::velocity})
        EXPECT_TRUE(std::isnan(valueOf(*linear, nan(field))));
    linear->pressureMin = kNaN;
    EXPECT_TRUE(std::isnan(valueOf(*linear, InputAt(1, 1, 1, 1, {2, 1, 2.25, 0.5}))));
}
