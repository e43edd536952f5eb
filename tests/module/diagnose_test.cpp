// Faults guarded against: a data fault the solver would hit (unmatched cells,
// entries off the axes, unpreparable models, short heat-transfer curves,
// one-direction packages, non-finite numbers, empty ranges) that the
// diagnosis misses or misnames, and false alarms on a well-formed module.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "module/diagnose.h"
#include "module/finalize.h"
#include "support/module_builder.h"

using namespace mx;

namespace {

TableEntry entryAt(double sheet, double lube) {
    std::vector<PackageData> packages = test::Packages(12, test::ConstantModel(0.1));
    packages[1].gridPointCount = 10;
    return test::Entry({sheet, lube, 0.4, 0.0}, std::move(packages),
                       {test::Curve(std::vector<double>(5, 1e-5), std::vector<double>(5, 0.05),
                                    std::vector<double>(5, 0.5))});
}

// Two sheet roughness and two lubrication values, every cell filled in both
// directions, twelve packages, heat transfer modelled: nothing to report.
Module wellFormed() {
    Module m;
    m.pressureMin = 0, m.pressureMax = 100;
    m.strainMin = 0, m.strainMax = 0.5;
    m.temperatureMin = 20, m.temperatureMax = 200;
    m.velocityMin = 0, m.velocityMax = 500;
    m.sheetRoughnessValues = {1.6, 0.8};  // finalization sorts
    m.lubricationAmountValues = {0.5, 2.0};
    m.toolRoughnessValues = {0.4};
    m.stateAxis = {0.0};
    for (double s : {0.8, 1.6})
        for (double l : {0.5, 2.0}) {
            m.primaryEntries.push_back(entryAt(s, l));
            m.secondaryEntries.push_back(entryAt(s, l));
        }
    m.directionDependency = 1;
    m.heatTransferStatus = 1;
    return m;
}

std::vector<DataFault> diagnosed(Module& m) {
    EXPECT_TRUE(FinalizeModule(m));
    return DiagnoseModule(m);
}

size_t countKind(const std::vector<DataFault>& faults, DataFaultKind kind) {
    size_t n = 0;
    for (const DataFault& f : faults)
        n += f.kind == kind ? 1 : 0;
    return n;
}

std::string allMessages(const std::vector<DataFault>& faults) {
    std::string text;
    for (const DataFault& f : faults)
        text += std::string(DataFaultKindName(f.kind)) + ": " + f.message + "\n";
    return text;
}

bool mentions(const std::vector<DataFault>& faults, const std::string& part) {
    return allMessages(faults).find(part) != std::string::npos;
}

}  // namespace

TEST(DiagnoseModule, MissingMisplacedAndDuplicateEntries) {
    Module m = wellFormed();
    m.primaryEntries.erase(m.primaryEntries.begin() + 1);  // (0.8, 2.0)
    auto faults = diagnosed(m);
    ASSERT_EQ(countKind(faults, DataFaultKind::UnmatchedCell), 1u) << allMessages(faults);
    EXPECT_TRUE(mentions(faults, "1 cell of the primary table"));
    EXPECT_TRUE(mentions(faults, "sheet roughness 0.8, lubrication amount 2"));

    m = wellFormed();
    m.secondaryEntries[3].lubricationAmount = 1.0;  // off the axis
    faults = diagnosed(m);
    EXPECT_EQ(countKind(faults, DataFaultKind::EntryOffAxes), 1u) << allMessages(faults);
    EXPECT_EQ(countKind(faults, DataFaultKind::UnmatchedCell), 1u);
    EXPECT_TRUE(
        mentions(faults, "secondary entry 3 is in no table cell: lubrication amount 1 not on"));

    // Without direction dependency the secondary data is never consulted.
    m.directionDependency = 0;
    EXPECT_TRUE(diagnosed(m).empty());

    m = wellFormed();
    m.primaryEntries.push_back(entryAt(0.8, 0.5));
    faults = diagnosed(m);
    ASSERT_EQ(faults.size(), 1u) << allMessages(faults);
    EXPECT_EQ(faults[0].kind, DataFaultKind::DuplicateEntry);
    EXPECT_TRUE(mentions(faults, "primary entry 4 has the coordinates of primary entry 0"));
}

TEST(DiagnoseModule, ModelsPreparationCannotUseAreNamedButUngriddedPackagesAreNot) {
    Module m = wellFormed();
    m.primaryEntries[2].packageData[0].weights.resize(600);  // package id 4
    m.primaryEntries[2].packageData[2].weights.resize(600);  // index 2: never gridded
    m.primaryEntries[2].packageData[4].weights.clear();      // index 4: never gridded
    m.primaryEntries[1].packageData[7].scales.resize(3);
    m.primaryEntries[0].packageData[8].gridPointCount = 216;
    m.primaryEntries[0].packageData[5].gridPointCount = 215;  // large, but prepares
    const auto faults = diagnosed(m);
    EXPECT_EQ(countKind(faults, DataFaultKind::UnpreparableModel), 3u) << allMessages(faults);
    EXPECT_TRUE(mentions(faults, "primary entry 2, package 4 (index 0) has 600 centres"));
    EXPECT_TRUE(mentions(faults, "primary entry 1, package 7 (index 7) has 3 scale factors"));
    EXPECT_TRUE(mentions(faults, "grid of 216 points"));
}

TEST(DiagnoseModule, HeatTransferCurvesMustCoverThePackageGrid) {
    Module m = wellFormed();
    m.primaryEntries[0].curves[0].numerators.resize(4);
    m.primaryEntries[0].curves[0].divisors.resize(4);
    m.primaryEntries[0].curves[0].offsets.resize(4);
    m.primaryEntries[1].curves[0].offsets.resize(3);  // shorter than its numerators
    m.primaryEntries[3].curves.clear();
    auto faults = diagnosed(m);
    EXPECT_EQ(countKind(faults, DataFaultKind::CurveShorterThanGrid), 3u) << allMessages(faults);
    EXPECT_EQ(countKind(faults, DataFaultKind::MissingCurve), 1u);

    // Curves are not read when the module models no heat transfer.
    m.heatTransferStatus = 0;
    EXPECT_TRUE(diagnosed(m).empty());

    m = wellFormed();
    for (TableEntry& e : m.primaryEntries)
        e.packageData[6].gridPointCount = 0;
    faults = diagnosed(m);
    EXPECT_EQ(countKind(faults, DataFaultKind::HeatTransferPackageMissing), 1u);
    EXPECT_EQ(countKind(faults, DataFaultKind::OneDirectionPackage), 1u) << allMessages(faults);
}

TEST(DiagnoseModule, PackagesPresentInOneDirectionOnlyOrMissingFromLaterEntries) {
    Module m = wellFormed();
    for (TableEntry& e : m.secondaryEntries)
        e.packageData[9].gridPointCount = 0;
    auto faults = diagnosed(m);
    ASSERT_EQ(faults.size(), 1u) << allMessages(faults);
    EXPECT_EQ(faults[0].kind, DataFaultKind::OneDirectionPackage);
    EXPECT_TRUE(mentions(faults, "package 9 (index 9) has data in the sliding direction only"));

    m = wellFormed();
    for (TableEntry& e : m.secondaryEntries)
        e.packageData.resize(6);
    faults = diagnosed(m);
    EXPECT_EQ(countKind(faults, DataFaultKind::OneDirectionPackage), 6u) << allMessages(faults);

    // Later entries must keep the first entry's packages.
    m = wellFormed();
    m.primaryEntries[3].packageData.resize(8);
    m.primaryEntries[2].packageData[5].gridPointCount = 0;
    faults = diagnosed(m);
    EXPECT_EQ(countKind(faults, DataFaultKind::PackageLayout), 2u) << allMessages(faults);
}

TEST(DiagnoseModule, NonFiniteNumbersAndEmptyRanges) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Module m = wellFormed();
    m.primaryEntries[1].packageData[1].weights[17] = nan;
    m.secondaryEntries[0].curves[0].offsets[2] = nan;
    m.temperatureMax = m.temperatureMin;
    m.primaryEntries[2].packageData[3].shape = -1.0;
    const auto faults = diagnosed(m);
    EXPECT_EQ(countKind(faults, DataFaultKind::NonFiniteValue), 2u) << allMessages(faults);
    EXPECT_EQ(countKind(faults, DataFaultKind::EmptyRange), 1u);
    EXPECT_EQ(countKind(faults, DataFaultKind::NegativeShape), 1u);
    EXPECT_TRUE(mentions(faults, "1 of 625 weights"));
}

TEST(DiagnoseModule, WellFormedEmptyAndEmptyAxisModules) {
    Module m = wellFormed();
    EXPECT_TRUE(diagnosed(m).empty()) << allMessages(diagnosed(m));
    m.primaryEntries.clear();
    m.directionDependency = 0;
    auto faults = diagnosed(m);
    ASSERT_EQ(faults.size(), 1u) << allMessages(faults);
    EXPECT_EQ(faults[0].kind, DataFaultKind::NoEntries);

    m = wellFormed();
    m.toolRoughnessValues.clear();
    faults = diagnosed(m);
    EXPECT_EQ(countKind(faults, DataFaultKind::EmptyAxis), 1u) << allMessages(faults);
    EXPECT_EQ(countKind(faults, DataFaultKind::EntryOffAxes), 8u);
}
