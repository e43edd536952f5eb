// Faults guarded against: an axis sort that is not idempotent when the axis
// holds NaNs (a module read back from its own blob then sorts its axes into
// another order and serializes to different bytes; found by fuzz_blob), and
// a sort that loses, duplicates or misorders the values around the NaNs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "module/finalize.h"

using namespace mx;

namespace {

std::vector<uint64_t> bitsOf(const std::vector<double>& values) {
    std::vector<uint64_t> bits(values.size());
    std::memcpy(bits.data(), values.data(), values.size() * sizeof(double));
    return bits;
}

std::vector<double> sortedSheetAxis(std::vector<double> axis) {
    Module m;
    m.sheetRoughnessValues = std::move(axis);
    m.lubricationAmountValues = {1.0};
    m.toolRoughnessValues = {1.0};
    m.stateAxis = {0.0};
    EXPECT_TRUE(FinalizeModule(m));
    return m.sheetRoughnessValues;
}

}  // namespace

TEST(AxisSort, SortingASortedAxisWithNaNsChangesNothing) {
    const double nan = std::nan(""), otherNan = -std::nan("7");
    // NaNs between ordinary values. The first axis is the smallest one on which
    // a merge sort that leaves NaNs where the comparisons put them sorts to
    // {0, 0, 1, NaN, 0} and then to {0, 0, 0, 1, NaN}.
    const std::vector<std::vector<double>> axes = {
        {0.0, 1.0, nan, 0.0, 0.0},
        {2.0, nan, 1.0},
        {3.0, 1.0, nan, 2.0, otherNan, 0.5, -0.0, 0.0},
        {nan, 3.0, 1.0},
        {otherNan, nan, 5.0, 4.0, 3.0, 2.0, 1.0, nan, 0.0}};
    for (const auto& axis : axes) {
        const std::vector<double> once = sortedSheetAxis(axis);
        const std::vector<double> twice = sortedSheetAxis(once);
        EXPECT_EQ(bitsOf(once), bitsOf(twice));
    }
}

TEST(AxisSort, OrdinaryValuesAscendAndNaNsFollowInTheirOrder) {
    const double nan = std::nan(""), otherNan = -std::nan("7");
    const std::vector<double> sorted = sortedSheetAxis({3.0, otherNan, 1.0, nan, 2.0, -1.0});
    ASSERT_EQ(sorted.size(), 6u);
    EXPECT_EQ(std::vector<double>(sorted.begin(), sorted.begin() + 4),
              (std::vector<double>{-1.0, 1.0, 2.0, 3.0}));
    const std::vector<uint64_t> tail = bitsOf({sorted[4], sorted[5]});
    EXPECT_EQ(tail, bitsOf({otherNan, nan}));
}
