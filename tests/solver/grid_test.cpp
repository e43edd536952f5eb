// Faults guarded against: points not ordered first axis fastest, axis values
// computed in another order than (i * step) * 2 - 1 (which differs in the last
// bit), the uneven 8555 grid built as 8^4 or with its long axis elsewhere, a
// wrong centre-count table, and a cache that builds or stores a grid twice.
#include <gtest/gtest.h>

#include "solver/grid.h"

using namespace mx;

namespace {

std::array<double, 4> pointAt(const std::vector<double>& points, size_t p) {
    return {points[4 * p], points[4 * p + 1], points[4 * p + 2], points[4 * p + 3]};
}

using Point = std::array<double, 4>;

}  // namespace

TEST(GridPoints, FiveByFiveGridRunsFirstAxisFastest) {
    const std::vector<double> points = BuildGridPoints(5);
    ASSERT_EQ(points.size(), 625u * 4);
    EXPECT_EQ(pointAt(points, 0), (Point{-1, -1, -1, -1}));
    EXPECT_EQ(pointAt(points, 1), (Point{-0.5, -1, -1, -1}));
    EXPECT_EQ(pointAt(points, 5), (Point{-1, -0.5, -1, -1}));
    EXPECT_EQ(pointAt(points, 7), (Point{0, -0.5, -1, -1}));
    EXPECT_EQ(pointAt(points, 25), (Point{-1, -1, -0.5, -1}));
    EXPECT_EQ(pointAt(points, 125), (Point{-1, -1, -1, -0.5}));
    EXPECT_EQ(pointAt(points, 624), (Point{1, 1, 1, 1}));
}

TEST(GridPoints, AxisValuesFollowProductDoublingSubtraction) {
    // With 7 points, value 5 is (5 * (1/6)) * 2 - 1 = 0.6666666666666665,
    // one unit in the last place below -1 + 10/6.
    const std::vector<double> points = BuildGridPoints(7);
    ASSERT_EQ(points.size(), 2401u * 4);
    EXPECT_EQ(points[4 * 5], 0.6666666666666665);
    EXPECT_EQ(points[4 * 5 * 7 + 1], 0.6666666666666665);
    // The last value is exactly 1.
    EXPECT_EQ(points[4 * 6], 1.0);
}

TEST(GridPoints, UnevenGridHasEightPointsOnTheFirstAxis) {
    EXPECT_EQ(GridDimensions(kUnevenGridKey), (std::array<int32_t, 4>{8, 5, 5, 5}));
    EXPECT_EQ(GridDimensions(9), (std::array<int32_t, 4>{9, 9, 9, 9}));
    const std::vector<double> points = BuildGridPoints(kUnevenGridKey);
    ASSERT_EQ(points.size(), 1000u * 4);
    const double step = 1.0 / 7.0;
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(points[4 * i], (static_cast<double>(i) * step) * 2 - 1.0) << i;
        EXPECT_EQ(points[4 * i + 1], -1.0);
    }
    EXPECT_EQ(pointAt(points, 8), (Point{-1, -0.5, -1, -1}));
    EXPECT_EQ(pointAt(points, 40), (Point{-1, -1, -0.5, -1}));
    EXPECT_EQ(pointAt(points, 999), (Point{1, 1, 1, 1}));
}

TEST(GridPoints, SinglePointGridAndKeysThatNameNoGrid) {
    EXPECT_EQ(BuildGridPoints(1), (std::vector<double>{-1, -1, -1, -1}));
    EXPECT_TRUE(BuildGridPoints(0).empty());
    EXPECT_TRUE(BuildGridPoints(-3).empty());
    EXPECT_TRUE(BuildGridPoints(1000).empty()) << "10^12 points do not fit a 32-bit count";
}

TEST(CentreGrid, SevenCentreCountsNameTheirGrids) {
    const std::pair<int64_t, int64_t> table[] = {{625, 5},  {1000, 8555}, {1296, 6},  {2401, 7},
                                                 {4096, 8}, {6561, 9},    {10000, 10}};
    for (auto [count, expected] : table) {
        int64_t key = -1;
        ASSERT_TRUE(CentreGridKey(count, key)) << count;
        EXPECT_EQ(key, expected);
        const std::array<int32_t, 4> d = GridDimensions(key);
        EXPECT_EQ(int64_t{d[0]} * d[1] * d[2] * d[3], count) << "centres fill their grid";
    }
    for (int64_t count : {0, 1, 5, 624, 1001, 8555, 100000000}) {
        int64_t key = -1;
        EXPECT_FALSE(CentreGridKey(count, key)) << count;
        EXPECT_EQ(key, -1);
    }
}

TEST(GridCache, BuildsEachKeyOnceAndKeepsInsertionOrder) {
    GridCache cache;
    const std::vector<double>& five = FindOrBuildGrid(cache, 5);
    const std::vector<double>& uneven = FindOrBuildGrid(cache, kUnevenGridKey);
    const std::vector<double>& fiveAgain = FindOrBuildGrid(cache, 5);
    EXPECT_EQ(&five, &fiveAgain);
    EXPECT_NE(&five, &uneven);
    EXPECT_EQ(cache.keys, (std::vector<int64_t>{5, kUnevenGridKey}));
    ASSERT_EQ(cache.grids.size(), 2u);
    EXPECT_EQ(five, BuildGridPoints(5));
    EXPECT_EQ(uneven, BuildGridPoints(kUnevenGridKey));
}
