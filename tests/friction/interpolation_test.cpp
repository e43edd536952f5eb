// Faults guarded against: brackets that pick the wrong node (last instead of
// first equal node, off by one inside), extrapolation beyond an axis, indices
// outside an axis or grid for NaN or inverted inputs, truncation that rounds
// instead of truncating, fractions that divide by an empty interval, corner
// reduction with the axes in the wrong bit order or another operation order,
// and a direction blend with the weights swapped or not squared.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "friction/interpolation.h"

using namespace mx;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool operator==(Bracket a, Bracket b) {
    return a.lo == b.lo && a.hi == b.hi;
}

Bracket bracketOf(double x, const std::vector<double>& axis) {
    Bracket b{-7, -7};
    EXPECT_TRUE(findBracket(x, axis, b)) << x;
    return b;
}

}  // namespace

TEST(FindBracket, InsideOnNodesAndBeyondTheEnds) {
    const std::vector<double> axis = {1.0, 2.0, 4.0};
    EXPECT_TRUE((bracketOf(3.0, axis) == Bracket{1, 2}));
    EXPECT_TRUE((bracketOf(1.5, axis) == Bracket{0, 1}));
    EXPECT_TRUE((bracketOf(2.0, axis) == Bracket{1, 1}));
    EXPECT_TRUE((bracketOf(4.0, axis) == Bracket{2, 2}));
    EXPECT_TRUE((bracketOf(-10.0, axis) == Bracket{0, 0}));
    EXPECT_TRUE((bracketOf(99.0, axis) == Bracket{2, 2}));
    EXPECT_TRUE((bracketOf(5.0, {7.0}) == Bracket{0, 0}));
    EXPECT_TRUE((bracketOf(-0.0, {0.0, 1.0}) == Bracket{0, 0}));
    EXPECT_TRUE((bracketOf(2.0, {1.0, 2.0, 2.0, 3.0}) == Bracket{1, 1})) << "first equal node";
}

TEST(FindBracket, FailsWithoutAnIndexInsteadOfReadingOutside) {
    Bracket b{-7, -7};
    EXPECT_FALSE(findBracket(kNaN, {1.0, 2.0}, b));
    EXPECT_FALSE(findBracket(1.0, {}, b));
    EXPECT_FALSE(findBracket(1.0, {kNaN}, b));
    EXPECT_FALSE(findBracket(2.0, {1.0, kNaN}, b)) << "NaNs sort last: no node above";
    EXPECT_TRUE((b == Bracket{-7, -7}));
    // A NaN node between two numbers is skipped.
    EXPECT_TRUE((bracketOf(2.0, {1.0, kNaN, 3.0}) == Bracket{0, 2}));
}

TEST(GridBracket, TruncatesTowardZeroAndStaysInsideTheGrid) {
    EXPECT_TRUE((gridBracket(2.5, 0.0, 5, 1.0) == Bracket{2, 3}));
    EXPECT_TRUE((gridBracket(2.999, 0.0, 5, 1.0) == Bracket{2, 3})) << "truncated, not rounded";
    EXPECT_TRUE((gridBracket(3.0, 0.0, 5, 1.0) == Bracket{3, 4}));
    EXPECT_TRUE((gridBracket(0.0, 0.0, 5, 1.0) == Bracket{0, 1}));
    EXPECT_TRUE((gridBracket(4.0, 0.0, 5, 1.0) == Bracket{4, 4})) << "top end";
    EXPECT_TRUE((gridBracket(20.0 + 3 * 50.0, 20.0, 5, 50.0) == Bracket{3, 4}));
    // Only NaN or inconsistent data reach these; they must stay in 0..n-1.
    EXPECT_TRUE((gridBracket(kNaN, 0.0, 5, 1.0) == Bracket{0, 1}));
    EXPECT_TRUE((gridBracket(1.0, 0.0, 5, kNaN) == Bracket{0, 1}));
    EXPECT_TRUE((gridBracket(-3.0, 0.0, 5, 1.0) == Bracket{0, 1}));
    EXPECT_TRUE((gridBracket(1e300, 0.0, 5, 1e-300) == Bracket{4, 4}));
    EXPECT_TRUE((gridBracket(7.0, 0.0, 1, 1.0) == Bracket{0, 0}));
}

TEST(IntervalFraction, ExactlyZeroForAnEmptyInterval) {
    EXPECT_EQ(intervalFraction(3.0, 2.0, 6.0), 0.25);
    EXPECT_EQ(intervalFraction(1.0, 2.0, 6.0), -0.25);
    EXPECT_EQ(intervalFraction(100.0, 5.0, 5.0), 0.0);
    EXPECT_EQ(intervalFraction(kNaN, 5.0, 5.0), 0.0);
}

TEST(ReduceCorners, FirstAxisIsTheMostSignificantCornerBit) {
    double one[1] = {3.5};
    EXPECT_EQ(reduceCorners(one, 1, nullptr), 3.5);
    double two[2] = {4.0, 8.0};
    const double quarter = 0.25;
    EXPECT_EQ(reduceCorners(two, 2, &quarter), 5.0);

    // f(x, y) = 1 + 2x + 4y at corners (x bit 2, y bit 1), at (0.25, 0.5).
    double four[4] = {1.0, 5.0, 3.0, 7.0};
    const double f2[2] = {0.25, 0.5};
    EXPECT_EQ(reduceCorners(four, 4, f2), 3.5);

    // f(a, b, c, d) = a + 2b + 4c + 8d, corner 8a + 4b + 2c + d.
    double sixteen[16];
    for (int c = 0; c < 16; ++c)
        sixteen[c] = ((c >> 3) & 1) + 2.0 * ((c >> 2) & 1) + 4.0 * ((c >> 1) & 1) + 8.0 * (c & 1);
    const double f4[4] = {0.5, 0.25, 0.75, 0.125};
    EXPECT_EQ(reduceCorners(sixteen, 16, f4), 0.5 + 0.5 + 3.0 + 1.0);
}

TEST(ReduceCorners, BlendsAsUpperTimesTPlusLowerTimesOneMinusT) {
    // t * upper + (1 - t) * lower differs in the last bit from
    // lower + t * (upper - lower) for these values.
    const double lower = 0.1, upper = 0.3, t = 0.3;
    double v[2] = {lower, upper};
    const double expected = t * upper + (1.0 - t) * lower;
    ASSERT_NE(expected, lower + t * (upper - lower)) << "values no longer tell the orders apart";
    EXPECT_EQ(reduceCorners(v, 2, &t), expected);
}

TEST(BlendDirections, WeightIsTheSquaredCosine) {
    EXPECT_EQ(blendDirections(2.0, 6.0, 0.0), 6.0);
    EXPECT_EQ(blendDirections(2.0, 6.0, 1.0), 2.0);
    EXPECT_EQ(blendDirections(2.0, 6.0, -1.0), 2.0);
    EXPECT_EQ(blendDirections(2.0, 6.0, 0.5), 0.75 * 6.0 + 0.25 * 2.0);
    const double d = 0.1, w = d * d;
    EXPECT_EQ(blendDirections(0.3, 0.9, d), (1.0 - w) * 0.9 + w * 0.3);
    // Equal results skip the arithmetic: a NaN weight is never used.
    EXPECT_EQ(blendDirections(3.0, 3.0, kNaN), 3.0);
    EXPECT_TRUE(std::signbit(blendDirections(-0.0, 0.0, 0.5))) << "-0.0 == 0.0: primary kept";
}

TEST(ClampToRanges, RaisesToTheMinimumThenLowersToTheMaximum) {
    Module m;
    m.pressureMin = 1.0, m.pressureMax = 5.0;
    m.strainMin = 0.0, m.strainMax = 0.5;
    m.temperatureMin = 20.0, m.temperatureMax = 220.0;
    m.velocityMin = 4.0, m.velocityMax = 2.0;  // inverted: the maximum wins
    InputRecord s{};
    s.pressure = -3.0;
    s.strain = 0.25;
    s.sheetTemperature = 500.0;
    s.toolTemperature = kNaN;
    s.velocity = 3.0;
    s.directionCosine = 9.0;
    s.stateValue = -9.0;
    clampToRanges(s, m);
    EXPECT_EQ(s.pressure, 1.0);
    EXPECT_EQ(s.strain, 0.25);
    EXPECT_EQ(s.sheetTemperature, 220.0);
    EXPECT_TRUE(std::isnan(s.toolTemperature));
    EXPECT_EQ(s.velocity, 2.0);
    EXPECT_EQ(s.directionCosine, 9.0);
    EXPECT_EQ(s.stateValue, -9.0);
}
