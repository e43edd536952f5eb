// Faults guarded against: brackets that pick the wrong node (last instead of
// first equal node, off by one inside), extrapolation beyond an axis, indices
// outside an axis or grid for NaN or inverted inputs, truncation that rounds
// instead of truncating, fractions that divide by an empty interval, blends
// in another operation order or with the direction weights swapped or not
// squared, and an inverted range clamped to its minimum. (The corner bit
// order and the clamping of each field are checked through package values.)
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "friction/interpolation.h"

using namespace mx;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

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
        {2.5, 0, 5, 1, 2, 3},
        {2.999, 0, 5, 1, 2, 3},  // truncated, not rounded
        {3.0, 0, 5, 1, 3, 4},
        {0.0, 0, 5, 1, 0, 1},
        {4.0, 0, 5, 1, 4, 4},  // top end
        {20.0 + 3 * 50.0, 20, 5, 50, 3, 4},
        // Only NaN or inconsistent data reach these; they must stay in 0..n-1.
        {kNaN, 0, 5, 1, 0, 1},
        {1.0, 0, 5, kNaN, 0, 1},
        {-3.0, 0, 5, 1, 0, 1},
        {1e300, 0, 5, 1e-300, 4, 4},
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
