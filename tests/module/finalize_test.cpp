// Faults guarded against: axes left unsorted (or the value lists sorted by
// mistake), table cells filled by the first instead of the last matching
// entry, matching by tolerance instead of exact equality, package tables built
// from the wrong entry, grid spacing divided by N instead of N - 1, and
// hostile axis counts that make the table allocation explode.
#include <gtest/gtest.h>

#include <cmath>

#include "module/finalize.h"

using namespace mx;

namespace {

TableEntry entryAt(double sheet, double lub, double tool, double state, size_t packages = 0) {
    TableEntry e;
    e.sheetRoughness = sheet;
    e.lubricationAmount = lub;
    e.toolRoughness = tool;
    e.stateValue = state;
    e.packageData.resize(packages);
    return e;
}

Module withAxes(std::vector<double> sheet, std::vector<double> lub, std::vector<double> tool,
                std::vector<double> state) {
    Module m;
    m.sheetRoughnessValues = std::move(sheet);
    m.lubricationAmountValues = std::move(lub);
    m.toolRoughnessValues = std::move(tool);
    m.stateAxis = std::move(state);
    return m;
}

const TableEntry* primaryCell(const Module& m, size_t i, size_t j, size_t k, size_t l) {
    return cellEntry(m, m.primaryTable, m.primaryEntries, i, j, k, l);
}

}  // namespace

TEST(Finalize, SortsTheFourAxesButNotTheValueLists) {
    Module m = withAxes({3, 1, 2}, {0.5, -1}, {2, 2, 1}, {9, 8});
    m.strainRougheningValues = {3, 1, 2};
    m.toolWearValues = {5, 4};
    ASSERT_TRUE(FinalizeModule(m));
    EXPECT_EQ(m.sheetRoughnessValues, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(m.lubricationAmountValues, (std::vector<double>{-1, 0.5}));
    EXPECT_EQ(m.toolRoughnessValues, (std::vector<double>{1, 2, 2}));
    EXPECT_EQ(m.stateAxis, (std::vector<double>{8, 9}));
    EXPECT_EQ(m.strainRougheningValues, (std::vector<double>{3, 1, 2}));
    EXPECT_EQ(m.toolWearValues, (std::vector<double>{5, 4}));
}

TEST(Finalize, SortingAxesWithNaNStaysInBoundsAndKeepsEveryValue) {
    std::vector<double> axis;
    for (int i = 0; i < 37; ++i)
        axis.push_back(i % 5 == 0 ? NAN : double((i * 17) % 11));
    Module m = withAxes(axis, {1}, {1}, {0});
    ASSERT_TRUE(FinalizeModule(m));
    EXPECT_EQ(m.sheetRoughnessValues.size(), axis.size());
    size_t nans = 0;
    for (double v : m.sheetRoughnessValues)
        nans += std::isnan(v) ? 1 : 0;
    EXPECT_EQ(nans, 8u);
}

TEST(Finalize, CellsHoldTheLastExactlyMatchingEntry) {
    // Lubrication amounts 2.0, 1.0 in entry order: the axis becomes 1.0, 2.0.
    Module m = withAxes({0.5}, {2.0, 1.0}, {0.3}, {0.0});
    m.primaryEntries = {entryAt(0.5, 2.0, 0.3, 0.0, 1), entryAt(0.5, 1.0, 0.3, 0.0, 2),
                        entryAt(0.5, 1.0, 0.3, -0.0, 3),          // same cell: -0.0 equals 0.0
                        entryAt(0.5, 2.0 + 1e-15, 0.3, 0.0, 4)};  // off the axis
    ASSERT_TRUE(FinalizeModule(m));
    ASSERT_NE(primaryCell(m, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(primaryCell(m, 0, 0, 0, 0)->packageData.size(), 3u) << "the later of two matches";
    EXPECT_EQ(primaryCell(m, 0, 1, 0, 0)->packageData.size(), 1u) << "amount 2.0, entry 0";
}

TEST(Finalize, RepeatedAxisValuesShareOneEntryAndUnmatchedCellsAreEmpty) {
    Module m = withAxes({0.1, 0.1}, {1.0, 3.0}, {0.3}, {0.0});
    m.primaryEntries = {entryAt(0.1, 1.0, 0.3, 0.0, 5), entryAt(NAN, 3.0, 0.3, 0.0, 6)};
    ASSERT_TRUE(FinalizeModule(m));
    EXPECT_EQ(primaryCell(m, 0, 0, 0, 0), primaryCell(m, 1, 0, 0, 0));
    ASSERT_NE(primaryCell(m, 1, 0, 0, 0), nullptr);
    EXPECT_EQ(primaryCell(m, 1, 0, 0, 0)->packageData.size(), 5u);
    EXPECT_EQ(primaryCell(m, 0, 1, 0, 0), nullptr) << "a NaN coordinate never matches";
    EXPECT_EQ(cellEntry(m, m.secondaryTable, m.secondaryEntries, 0, 0, 0, 0), nullptr);
}

TEST(Finalize, EmptyAxisPlacesNoEntry) {
    Module m = withAxes({}, {1.0}, {0.3}, {0.0});
    m.primaryEntries = {entryAt(0.1, 1.0, 0.3, 0.0, 6)};
    ASSERT_TRUE(FinalizeModule(m));
    EXPECT_TRUE(m.primaryTable.cells.empty());
    EXPECT_EQ(m.packageTable.size(), 6u);
}

TEST(Finalize, PackageTablesComeFromTheFirstEntryOfEachDirection) {
    Module m = withAxes({1}, {1}, {1}, {0});
    TableEntry first = entryAt(1, 1, 1, 0);
    for (uint64_t n : {5u, 0u, 5u, 5u, 10u, 5u}) {
        PackageData pd;
        pd.gridPointCount = n;
        first.packageData.push_back(pd);
    }
    TableEntry second = first;
    second.packageData[1].gridPointCount = 5;
    m.primaryEntries = {first, second};
    TableEntry transverse = entryAt(1, 1, 1, 0);
    transverse.packageData.resize(2);
    transverse.packageData[0].gridPointCount = static_cast<uint64_t>(-5);  // negative as signed
    m.secondaryEntries = {transverse};
    ASSERT_TRUE(FinalizeModule(m));
    EXPECT_EQ(m.packageTable, (std::vector<uint32_t>{1, 0, 1, 1, 1, 1}));
    EXPECT_EQ(m.transversePackageTable, (std::vector<uint32_t>{0, 0}));

    Module none = withAxes({1}, {1}, {1}, {0});
    ASSERT_TRUE(FinalizeModule(none));
    EXPECT_TRUE(none.packageTable.empty());
    EXPECT_TRUE(none.transversePackageTable.empty());
}

TEST(Finalize, GridSpacingDividesEachRangeIntoNMinusOneSteps) {
    Module m = withAxes({1}, {1}, {1}, {0});
    m.pressureMin = 0, m.pressureMax = 100;
    m.strainMin = 0.1, m.strainMax = 0.5;
    m.temperatureMin = 20, m.temperatureMax = 220;
    m.velocityMin = 5, m.velocityMax = 5;
    TableEntry e = entryAt(1, 1, 1, 0, 2);
    e.packageData[0].gridPointCount = 5;
    e.packageData[1].gridPointCount = 10;
    m.primaryEntries = {e};
    m.secondaryEntries = {e};
    ASSERT_TRUE(FinalizeModule(m));
    for (const auto* entries : {&m.primaryEntries, &m.secondaryEntries}) {
        const auto& five = (*entries)[0].packageData[0].gridSpacing;
        EXPECT_EQ(five[0], 25.0);
        EXPECT_EQ(five[1], (0.5 - 0.1) / 4.0);
        EXPECT_EQ(five[2], 50.0);
        EXPECT_EQ(five[3], 0.0);
        EXPECT_EQ((*entries)[0].packageData[1].gridSpacing[0], 100.0 / 9.0);
    }
    // The cells see the spacing through the entries they refer to.
    EXPECT_EQ(primaryCell(m, 0, 0, 0, 0)->packageData[1].gridSpacing[2], 200.0 / 9.0);
}

TEST(Finalize, RefusesATableFarLargerThanItsEntriesCouldFill) {
    std::vector<double> axis(300);
    for (size_t i = 0; i < axis.size(); ++i)
        axis[i] = double(i);
    // 300^4 = 8.1e9 cells for one entry: refused instead of allocated.
    Module m = withAxes(axis, axis, axis, axis);
    m.primaryEntries = {entryAt(0, 0, 0, 0)};
    EXPECT_FALSE(FinalizeModule(m));
    // Without entries there is no table to build, whatever the axes.
    Module empty = withAxes(axis, axis, axis, axis);
    EXPECT_TRUE(FinalizeModule(empty));
    // A modest table with few entries is still built.
    Module modest = withAxes(std::vector<double>(axis.begin(), axis.begin() + 16), {1, 2, 3, 4},
                             {1, 2, 3, 4}, {0, 1, 2, 3});
    modest.primaryEntries = {entryAt(5, 2, 3, 1)};
    ASSERT_TRUE(FinalizeModule(modest));
    EXPECT_NE(primaryCell(modest, 5, 1, 2, 1), nullptr);
}
