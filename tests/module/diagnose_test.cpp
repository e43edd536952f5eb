// Faults guarded against: a data fault the solver would hit (unmatched cells,
// entries off the axes, unpreparable models, short heat-transfer curves,
// one-direction packages, non-finite numbers, empty ranges) that the
// diagnosis misses or misnames, and false alarms on a well-formed module.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>

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
    test::ModuleRecipe recipe;
    recipe.ranges = {0, 100, 0, 0.5, 20, 200, 0, 500};
    for (double s : {0.8, 1.6})
        for (double l : {0.5, 2.0}) {
            recipe.primary.push_back(entryAt(s, l));
            recipe.secondary.push_back(entryAt(s, l));
        }
    recipe.directionDependency = 1;
    recipe.heatTransferStatus = 1;
    return std::move(*test::BuildModule(std::move(recipe)));
}

using Kind = DataFaultKind;

struct Case {
    std::function<void(Module&)> change;
    std::map<Kind, size_t> expected;  // every fault reported, by kind
    std::vector<const char*> mentioned;
};

void zeroPackage(std::vector<TableEntry>& entries, size_t p) {
    for (TableEntry& e : entries)
        e.packageData[p].gridPointCount = 0;
}

}  // namespace

TEST(DiagnoseModule, ReportsEveryFaultByKindAndPlaceAndNothingElse) {
    const auto offAxis = [](Module& m) { m.secondaryEntries[3].lubricationAmount = 1.0; };
    const auto shortCurves = [](Module& m) {
        auto& c = m.primaryEntries[0].curves[0];
        c.numerators.resize(4), c.divisors.resize(4), c.offsets.resize(4);
        m.primaryEntries[1].curves[0].offsets.resize(3);  // shorter than its numerators
        m.primaryEntries[3].curves.clear();
    };
    const Case cases[] = {
        {[](Module&) {}, {}, {}},
        {[](Module& m) { m.primaryEntries.erase(m.primaryEntries.begin() + 1); },
         {{Kind::UnmatchedCell, 1}},
         {"1 cell of the primary table", "sheet roughness 0.8, lubrication amount 2"}},
        {[](Module& m) { m.sheetRoughnessValues.push_back(2.4); },
         {{Kind::UnmatchedCell, 2}},
         {"sheet roughness 2.4, lubrication amount 0.5"}},
        {offAxis,
         {{Kind::EntryOffAxes, 1}, {Kind::UnmatchedCell, 1}},
         {"secondary entry 3 is in no table cell: lubrication amount 1 not on"}},
        // Without direction dependency the secondary data is never consulted.
        {[&](Module& m) { offAxis(m), m.directionDependency = 0; }, {}, {}},
        {[](Module& m) { m.primaryEntries.push_back(entryAt(0.8, 0.5)); },
         {{Kind::DuplicateEntry, 1}},
         {"primary entry 4 has the coordinates of primary entry 0"}},
        // Models preparation cannot use are named; ungridded packages are not.
        {[](Module& m) {
             m.primaryEntries[2].packageData[0].weights.resize(600);  // package id 4
             m.primaryEntries[2].packageData[2].weights.resize(600);  // index 2: never gridded
             m.primaryEntries[2].packageData[4].weights.clear();      // index 4: never gridded
             m.primaryEntries[1].packageData[7].scales.resize(3);
             m.primaryEntries[0].packageData[8].gridPointCount = 216;
             m.primaryEntries[0].packageData[5].gridPointCount = 215;  // large, but prepares
         },
         {{Kind::UnpreparableModel, 3}},
         {"primary entry 2, package 4 (index 0) has 600 centres",
          "primary entry 1, package 7 (index 7) has 3 scale factors", "grid of 216 points"}},
        {shortCurves, {{Kind::CurveShorterThanGrid, 3}, {Kind::MissingCurve, 1}}, {}},
        // Curves are not read when the module models no heat transfer.
        {[&](Module& m) { shortCurves(m), m.heatTransferStatus = 0; }, {}, {}},
        {[](Module& m) { zeroPackage(m.primaryEntries, 6); },
         {{Kind::HeatTransferPackageMissing, 1}, {Kind::OneDirectionPackage, 1}},
         {}},
        {[](Module& m) { zeroPackage(m.secondaryEntries, 9); },
         {{Kind::OneDirectionPackage, 1}},
         {"package 9 (index 9) has data in the sliding direction only"}},
        {[](Module& m) {
             for (TableEntry& e : m.secondaryEntries)
                 e.packageData.resize(6);
         },
         {{Kind::OneDirectionPackage, 6}},
         {}},
        // Later entries must keep the first entry's packages.
        {[](Module& m) {
             m.primaryEntries[3].packageData.resize(8);
             m.primaryEntries[2].packageData[5].gridPointCount = 0;
         },
         {{Kind::PackageLayout, 2}},
         {"package 0 (index 5)"}},
        {[](Module& m) {
             m.primaryEntries[1].packageData[1].weights[17] = NAN;
             m.primaryEntries[1].packageData[1].scales[2] = -INFINITY;
             m.secondaryEntries[0].curves[0].offsets[2] = NAN;
             m.temperatureMax = m.temperatureMin;
             m.primaryEntries[2].packageData[3].shape = -1.0;
             m.secondaryEntries[2].packageData[3].shape = -2.0;
         },
         {{Kind::NonFiniteValue, 2}, {Kind::EmptyRange, 1}, {Kind::NegativeShape, 2}},
         {"1 of 625 weights", "secondary entry 2, package 5 (index 3) has shape -2"}},
        {[](Module& m) { m.primaryEntries.clear(), m.directionDependency = 0; },
         {{Kind::NoEntries, 1}},
         {}},
        {[](Module& m) { m.toolRoughnessValues.clear(); },
         {{Kind::EmptyAxis, 1}, {Kind::EntryOffAxes, 8}},
         {}},
    };
    for (const Case& c : cases) {
        Module m = wellFormed();
        c.change(m);
        ASSERT_TRUE(FinalizeModule(m));
        std::map<Kind, size_t> found;
        std::string text;
        for (const DataFault& f : DiagnoseModule(m)) {
            ++found[f.kind];
            text += std::string(DataFaultKindName(f.kind)) + ": " + f.message + "\n";
        }
        SCOPED_TRACE(testing::Message() << "case " << &c - cases << "\n" << text);
        EXPECT_EQ(found, c.expected);
        for (const char* part : c.mentioned)
            EXPECT_NE(text.find(part), std::string::npos) << part;
    }
}
