// Faults guarded against: averages taken from another state entry than the
// first, influenced by the contact state, extrapolated past an axis end,
// blended without both direction flags, requiring prepared grids, or reading
// outside an array for unmatched cells and short entries.
#include <gtest/gtest.h>

#include <limits>

#include "friction/evaluate.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

constexpr uint32_t kId3 = 3;  // stored at index 1
constexpr size_t kIndexOfId3 = 1;

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
