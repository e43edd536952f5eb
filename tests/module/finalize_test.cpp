// Faults guarded against: axes left unsorted (or the value lists sorted by
// mistake), an axis sort that reads out of bounds, loses values or is not
// idempotent when the axis holds NaNs (a module read back from its own blob
// would then serialize to different bytes; found by fuzz_blob), table cells
// filled by the first instead of the last matching entry, matching by
// tolerance instead of exact equality, package tables built from the wrong
// entry, grid spacing divided by N instead of N - 1, and hostile axis counts
// that make the table allocation explode or its cell count wrap.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>

#include "module/finalize.h"
#include "support/samples.h"

using namespace mx;

namespace {

TableEntry entryAt(double sheet, double lub, double tool, double state, size_t packages = 0) {
    return test::Entry({sheet, lub, tool, state}, std::vector<PackageData>(packages));
}

Module withAxes(std::vector<double> sheet, std::vector<double> lub, std::vector<double> tool,
                std::vector<double> state) {
    Module m;
    m.sheetRoughnessValues = std::move(sheet), m.lubricationAmountValues = std::move(lub);
    m.toolRoughnessValues = std::move(tool), m.stateAxis = std::move(state);
    return m;
}

std::vector<double> upTo(size_t n) {
    std::vector<double> axis(n);
    std::iota(axis.begin(), axis.end(), 0.0);
    return axis;
}

const TableEntry* primaryCell(const Module& m, size_t i, size_t j, size_t k, size_t l) {
    return cellEntry(m, m.primaryTable, m.primaryEntries, i, j, k, l);
}

}  // namespace

TEST(Finalize, SortsTheFourAxesWithNaNsLastInOrderButNotTheValueLists) {
    const double nan = std::nan(""), otherNan = -std::nan("7");
    std::vector<double> long37;  // past the sizes where sorts switch algorithm
    for (int i = 0; i < 37; ++i)
        long37.push_back(i % 5 == 0 ? (i % 2 ? nan : otherNan) : double((i * 17) % 11));
    // The first axis is the smallest on which a merge sort that leaves NaNs
    // where the comparisons put them sorts to {0, 0, 1, NaN, 0}, and only a
    // second pass to {0, 0, 0, 1, NaN}.
    const std::vector<std::vector<double>> axes = {
        {0.0, 1.0, nan, 0.0, 0.0},
        {2.0, nan, 1.0, 2.0, -1.0},
        {3.0, 1.0, nan, 2.0, otherNan, 0.5, -0.0, 0.0},
        {otherNan, nan, 5.0, 4.0, 3.0, 2.0, 1.0, nan, 0.0},
        long37};
    const auto bits = [](const std::vector<double>& v) {
        std::vector<uint64_t> b(v.size());
        std::memcpy(b.data(), v.data(), v.size() * sizeof(double));
        return b;
    };
    for (const auto& axis : axes) {
        SCOPED_TRACE(axis.size());
        // Reference: numbers by a stable sort (-0.0 and 0.0 keep their order),
        // then the NaNs as they came.
        std::vector<double> expected;
        std::copy_if(axis.begin(), axis.end(), std::back_inserter(expected),
                     [](double v) { return !std::isnan(v); });
        std::stable_sort(expected.begin(), expected.end());
        std::copy_if(axis.begin(), axis.end(), std::back_inserter(expected),
                     [](double v) { return std::isnan(v); });
        Module m = withAxes(axis, axis, axis, axis);
        m.strainRougheningValues = m.toolWearValues = axis;
        ASSERT_TRUE(FinalizeModule(m));
        for (const auto* sorted : {&m.sheetRoughnessValues, &m.lubricationAmountValues,
                                   &m.toolRoughnessValues, &m.stateAxis})
            EXPECT_EQ(bits(*sorted), bits(expected));
        EXPECT_EQ(bits(m.strainRougheningValues), bits(axis));
        EXPECT_EQ(bits(m.toolWearValues), bits(axis));
        ASSERT_TRUE(FinalizeModule(m));  // sorting a sorted axis changes nothing
        EXPECT_EQ(bits(m.stateAxis), bits(expected));
    }
}

TEST(Finalize, CellsHoldTheLastExactlyMatchingEntryOrNone) {
    // Lubrication amounts 2.0, 1.0 in entry order: the axis becomes 1.0, 2.0.
    Module m = withAxes({0.5}, {2.0, 1.0}, {0.3}, {0.0});
    m.primaryEntries = {entryAt(0.5, 2.0, 0.3, 0.0, 1), entryAt(0.5, 1.0, 0.3, 0.0, 2),
                        entryAt(0.5, 1.0, 0.3, -0.0, 3),          // same cell: -0.0 equals 0.0
                        entryAt(0.5, 2.0 + 1e-15, 0.3, 0.0, 4)};  // off the axis
    ASSERT_TRUE(FinalizeModule(m));
    ASSERT_NE(primaryCell(m, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(primaryCell(m, 0, 0, 0, 0)->packageData.size(), 3u) << "the later of two matches";
    EXPECT_EQ(primaryCell(m, 0, 1, 0, 0)->packageData.size(), 1u) << "amount 2.0, entry 0";

    // Repeated axis values share one entry; unmatched cells hold none.
    m = withAxes({0.1, 0.1}, {1.0, 3.0}, {0.3}, {0.0});
    m.primaryEntries = {entryAt(0.1, 1.0, 0.3, 0.0, 5), entryAt(NAN, 3.0, 0.3, 0.0, 6)};
    ASSERT_TRUE(FinalizeModule(m));
    EXPECT_EQ(primaryCell(m, 0, 0, 0, 0), primaryCell(m, 1, 0, 0, 0));
    ASSERT_NE(primaryCell(m, 1, 0, 0, 0), nullptr);
    EXPECT_EQ(primaryCell(m, 1, 0, 0, 0)->packageData.size(), 5u);
    EXPECT_EQ(primaryCell(m, 0, 1, 0, 0), nullptr) << "a NaN coordinate never matches";
    EXPECT_EQ(cellEntry(m, m.secondaryTable, m.secondaryEntries, 0, 0, 0, 0), nullptr);

    // An empty axis places no entry, but the package table is still built.
    m = withAxes({}, {1.0}, {0.3}, {0.0});
    m.primaryEntries = {entryAt(0.1, 1.0, 0.3, 0.0, 6)};
    ASSERT_TRUE(FinalizeModule(m));
    EXPECT_TRUE(m.primaryTable.cells.empty());
    EXPECT_EQ(m.packageTable.size(), 6u);
}

TEST(Finalize, PackageTablesFromEachDirectionsFirstEntryAndGridSpacingInNMinusOneSteps) {
    Module m = withAxes({1}, {1}, {1}, {0});
    m.pressureMin = 0, m.pressureMax = 100;
    m.strainMin = 0.1, m.strainMax = 0.5;
    m.temperatureMin = 20, m.temperatureMax = 220;
    m.velocityMin = 5, m.velocityMax = 5;
    TableEntry first = entryAt(1, 1, 1, 0, 6);
    const uint64_t counts[] = {5, 0, 10, 5, static_cast<uint64_t>(-5), 5};  // -5 as signed
    for (size_t p = 0; p < 6; ++p)
        first.packageData[p].gridPointCount = counts[p];
    TableEntry second = first;
    second.packageData[1].gridPointCount = 5;
    TableEntry transverse = entryAt(1, 1, 1, 0, 2);
    transverse.packageData[0].gridPointCount = static_cast<uint64_t>(-5);
    transverse.packageData[1].gridPointCount = 5;
    m.primaryEntries = {first, second};
    m.secondaryEntries = {transverse};
    ASSERT_TRUE(FinalizeModule(m));
    EXPECT_EQ(m.packageTable, (std::vector<uint32_t>{1, 0, 1, 1, 0, 1}));
    EXPECT_EQ(m.transversePackageTable, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(m.primaryEntries[0].packageData[0].gridSpacing,
              (std::array<double, 4>{25.0, (0.5 - 0.1) / 4.0, 50.0, 0.0}));
    EXPECT_EQ(m.secondaryEntries[0].packageData[1].gridSpacing[2], 50.0);
    // The cells see the spacing through the entries they refer to.
    EXPECT_EQ(primaryCell(m, 0, 0, 0, 0)->packageData[2].gridSpacing[0], 100.0 / 9.0);

    Module none = withAxes({1}, {1}, {1}, {0});
    ASSERT_TRUE(FinalizeModule(none));
    EXPECT_TRUE(none.packageTable.empty());
    EXPECT_TRUE(none.transversePackageTable.empty());
}

TEST(Finalize, RefusesATableFarLargerThanItsEntriesCouldFill) {
    // 300^4 = 8.1e9 cells for one entry: refused instead of allocated;
    // 65536^4 cells wrap a 64-bit count to 0: refused as well.
    for (size_t n : {300, 65536}) {
        Module m = withAxes(upTo(n), upTo(n), upTo(n), upTo(n));
        m.primaryEntries = {entryAt(0, 0, 0, 0)};
        EXPECT_FALSE(FinalizeModule(m)) << n;
        // Read from a blob, the same module fails to load, even without a
        // place to report why.
        m.name = kVersionBlockName, m.formatVersion = kModuleRecord;
        EXPECT_EQ(test::deserialize(test::WriteBlob(m)), nullptr) << n;
        // Without entries there is no table to build, whatever the axes.
        m.primaryEntries.clear();
        EXPECT_TRUE(FinalizeModule(m)) << n;
    }
    // A table of up to 2^16 cells is built however few its entries.
    Module modest = withAxes(upTo(16), upTo(16), upTo(16), upTo(16));
    modest.primaryEntries = {entryAt(5, 2, 3, 1)};
    ASSERT_TRUE(FinalizeModule(modest));
    EXPECT_NE(primaryCell(modest, 5, 2, 3, 1), nullptr);
}
