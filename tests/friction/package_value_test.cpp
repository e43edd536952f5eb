// Faults guarded against: interpolation that is not exact on multilinear data
// (wrong corner order, wrong or swapped fraction, wrong stride), extrapolation
// past any axis end or range, the state corners mixed up on the 8- and 16-cell
// paths, cells interpolated in another cell's grid, the wrong temperature for
// each temperature mode, a direction blend with its weights swapped or not
// squared, the id-to-index map skipped, and reads outside an array for
// malformed modules (unmatched cells, entries short of packages, NaN inputs or
// ranges, an empty axis). Package averages taken from another state entry
// than the first, influenced by the contact state or extrapolated past an
// axis end. The primitives: brackets that pick the wrong node (last instead of
// first equal node, off by one inside) or leave the axis or grid for NaN or
// inverted inputs, truncation that rounds, fractions that divide by an empty
// interval, blends in another operation order, and an inverted range clamped
// to its minimum.
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

// The linear module with the given axes, and the entries `changed` holding
// `packages` packages on grids of `points` points.
ModulePtr linearModuleWith(std::optional<Axes> axes, std::vector<size_t> changed = {},
                           size_t packages = 12, uint64_t points = 5) {
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    for (size_t e : changed) {
        const TableEntry& old = recipe.primary[e];
        recipe.primary[e] = LinearModule::entryAt(
            {old.sheetRoughness, old.lubricationAmount, old.toolRoughness, old.stateValue},
            packages, 0.0, points);
    }
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
    // Temperature mode 1, and no other, takes the mean of the clamped
    // temperatures.
    const Point q{1, 1, 1, 1, {1, 0, 2, 0}};
    InputRecord hot = q.input();
    hot.toolTemperature = 6.0;  // clamped to 4: mean 2.5
    for (uint32_t mode : {0u, 1u, 2u}) {
        hot.temperatureMode = mode;
        EXPECT_EQ(valueOf(*m, hot), q.expected() + (mode == 1 ? 4 * 1.5 : 0.0)) << mode;
    }

    // Entries with 3 and 5 grid points side by side; spacing 2 and 1.
    m = linearModuleWith(std::nullopt, {1, 6, 12}, 12, 3);
    for (const Point& p : {points[0], Point{4, 4, 4, 4, points[0].at}})
        EXPECT_EQ(valueOf(*m, p.input()), p.expected()) << "each cell in its own grid";
}

TEST(PackageValueMalformed, FailuresWriteNothingAndSpareTheirNeighbours) {
    // The sheet roughness axis holds 2, but no entry sits there.
    ModulePtr gap = linearModuleWith(Axes{{1.0, 2.0, 3.0}, {0.0, 4.0}, {2.0, 2.5}, {0.0, 1.0}});
    ASSERT_TRUE(PrepareSolverData(*gap));
    ModulePtr shortEntry = linearModuleWith(std::nullopt, {15}, 3);   // {3, 4, 2.5, 1}
    ModulePtr shortAverage = linearModuleWith(std::nullopt, {2}, 1);  // {1, 0, 2.5, 0}
    ModulePtr noState = linearModuleWith(Axes{{1.0, 3.0}, {0.0, 4.0}, {2.0, 2.5}, {}});
    ModulePtr noSheet = linearModuleWith(Axes{{}, {0.0, 4.0}, {2.0, 2.5}, {0.0, 1.0}});
    ModulePtr sixPackages = LinearModule::build();
    sixPackages->packageTable.resize(6);  // id 6 unavailable
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
        {average, linear.get(), nan(&InputRecord::sheetRoughness), kId3},
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

TEST(FindBracket, NodesOnBothSidesOrFailureWithoutAnIndex) {
    // lo -7: no bracket, and nothing written.
    const struct {
        double x;
        std::vector<double> axis;
        int32_t lo, hi;
    } cases[] = {
        {3.0, {1, 2, 4}, 1, 2},    {1.5, {1, 2, 4}, 0, 1},
        {2.0, {1, 2, 4}, 1, 1},    {4.0, {1, 2, 4}, 2, 2},
        {-10.0, {1, 2, 4}, 0, 0},  {99.0, {1, 2, 4}, 2, 2},
        {5.0, {7}, 0, 0},          {-0.0, {0, 1}, 0, 0},
        {2.0, {1, 2, 2, 3}, 1, 1},  // the first equal node
        {2.0, {1, kNaN, 3}, 0, 2},  // a NaN node between two numbers is skipped
        {kNaN, {1, 2}, -7, -7},    {1.0, {}, -7, -7},
        {1.0, {kNaN}, -7, -7},     {2.0, {1, kNaN}, -7, -7},  // NaNs sort last: no node above
    };
    for (const auto& c : cases) {
        Bracket b{-7, -7};
        EXPECT_EQ(findBracket(c.x, c.axis, b), c.lo != -7) << c.x;
        EXPECT_TRUE(b.lo == c.lo && b.hi == c.hi) << c.x;
    }
}

TEST(GridBracket, TruncatesTowardZeroAndStaysInsideTheGrid) {
    const struct {
        double x, origin;
        int32_t n;
        double spacing;
        int32_t lo, hi;
    } cases[] = {
        // 2.999 truncated, not rounded; 4 the top end. Only NaN or inconsistent
        // data reach the last five; they must stay in 0..n-1.
        {2.999, 0, 5, 1, 2, 3}, {3.0, 0, 5, 1, 3, 4},
        {4.0, 0, 5, 1, 4, 4},   {20.0 + 3 * 50.0, 20, 5, 50, 3, 4},
        {kNaN, 0, 5, 1, 0, 1},  {1.0, 0, 5, kNaN, 0, 1},
        {-3.0, 0, 5, 1, 0, 1},  {1e300, 0, 5, 1e-300, 4, 4},
        {7.0, 0, 1, 1, 0, 0},
    };
    for (const auto& c : cases) {
        const Bracket b = gridBracket(c.x, c.origin, c.n, c.spacing);
        EXPECT_TRUE(b.lo == c.lo && b.hi == c.hi) << c.x << " " << c.spacing;
    }
    EXPECT_EQ(intervalFraction(3.0, 2.0, 6.0), 0.25);
    EXPECT_EQ(intervalFraction(1.0, 2.0, 6.0), -0.25);
    EXPECT_EQ(intervalFraction(100.0, 5.0, 5.0), 0.0) << "an empty interval";
}

TEST(Blends, CornersTakeUpperTimesTAndDirectionsTheSquaredCosine) {
    double one[1] = {3.5};
    EXPECT_EQ(reduceCorners(one, 1, nullptr), 3.5);
    // t * upper + (1 - t) * lower differs in the last bit from
    // lower + t * (upper - lower) for these values; so do the direction
    // blend's orders for d = 0.1.
    const double lower = 0.1, upper = 0.3, t = 0.3;
    double two[2] = {lower, upper};
    const double expected = t * upper + (1.0 - t) * lower;
    ASSERT_NE(expected, lower + t * (upper - lower)) << "values no longer tell the orders apart";
    EXPECT_EQ(reduceCorners(two, 2, &t), expected);
    EXPECT_EQ(blendDirections(0.3, 0.9, 0.1), (1.0 - 0.1 * 0.1) * 0.9 + 0.1 * 0.1 * 0.3);
    // Equal results skip the arithmetic: a NaN weight is never used.
    EXPECT_EQ(blendDirections(3.0, 3.0, kNaN), 3.0);
    EXPECT_TRUE(std::signbit(blendDirections(-0.0, 0.0, 0.5))) << "-0.0 == 0.0: primary kept";

    Module m;  // ranges 0..0; velocity inverted: the maximum wins
    m.velocityMin = 4.0, m.velocityMax = 2.0;
    InputRecord s{};
    s.velocity = 3.0;
    clampToRanges(s, m);
    EXPECT_EQ(s.velocity, 2.0);
}
