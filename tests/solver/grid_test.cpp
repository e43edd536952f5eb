// Faults guarded against: points not ordered first axis fastest, axis values
// computed in another order than (i * step) * 2 - 1 (which differs in the last
// bit), the uneven 8555 grid built as 8^4 or with its long axis elsewhere, a
// wrong centre-count table, and a cache that builds or stores a grid twice.
#include <gtest/gtest.h>

#include "solver/grid.h"
#include "support/module_builder.h"

using namespace mx;

TEST(GridPoints, EachKeyGivesItsRegularGridFirstAxisFastest) {
    // RegularGrid spells the axis values out as (i * (1 / (n - 1))) * 2 - 1.
    const std::pair<int64_t, std::array<int32_t, 4>> grids[] = {
        {1, {1, 1, 1, 1}}, {2, {2, 2, 2, 2}},      {5, {5, 5, 5, 5}},
        {7, {7, 7, 7, 7}}, {10, {10, 10, 10, 10}}, {kUnevenGridKey, {8, 5, 5, 5}}};
    for (const auto& [key, dims] : grids) {
        EXPECT_EQ(GridDimensions(key), dims) << key;
        EXPECT_EQ(BuildGridPoints(key), test::RegularGrid(dims)) << key;
    }
    // With 7 points, value 5 is one unit in the last place below -1 + 10/6.
    EXPECT_EQ(BuildGridPoints(7)[4 * 5], 0.6666666666666665);
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
