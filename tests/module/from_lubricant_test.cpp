// Faults guarded against in turning a Lubricant record into a module: entries
// copied instead of taken over (or lost), status words normalized to 0/1,
// property lists filtered by the wrong prefix or moved between lists, the
// record's own head carried into the module, defaults missing, axes left
// unsorted or entries re-coordinated.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "module/assembly.h"
#include "module/finalize.h"
#include "module/material_records.h"
#include "mxplugin/mxplugin.h"
#include "support/samples.h"

using namespace mx;

namespace {

ModulePtr moduleOf(const LubricantRecord& l) {
    auto bytes = LubricantRecordBytes(l);
    EXPECT_FALSE(bytes.empty());
    return test::deserialize(bytes);
}

}  // namespace

TEST(ModuleFromLubricant, CarriesTheRecordsData) {
    LubricantRecord l = test::sampleLubricantRecord();
    l.directionDependency = 7;
    l.heatTransferStatus = 5;
    auto m = moduleOf(l);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text1, u"oil");
    EXPECT_EQ(m->text2, u"PL61");
    EXPECT_EQ(m->directionDependency, 7u);  // not turned into 1
    EXPECT_EQ(m->heatTransferStatus, 5u);
    EXPECT_EQ((std::array{m->pressureMin, m->pressureMax, m->strainMin, m->strainMax}),
              (std::array{0.5, 80.0, 0.01, 0.6}));
    EXPECT_EQ((std::array{m->temperatureMin, m->temperatureMax, m->velocityMin, m->velocityMax}),
              (std::array{15.0, 180.0, 5.0, 400.0}));
    EXPECT_EQ(m->nominalSheetRoughness, 0.5);
    EXPECT_EQ(m->nominalLubricationAmount, 2.0);
    EXPECT_EQ(m->nominalToolRoughness, 0.3);

    // The entries arrive as written (in their original order).
    ASSERT_EQ(m->primaryEntries.size(), 2u);
    ASSERT_EQ(m->secondaryEntries.size(), 2u);
    const TableEntry& e = m->secondaryEntries[1];
    ASSERT_EQ(e.packageData.size(), 2u);
    EXPECT_EQ(e.packageData[0].scales, (std::vector<double>{40.0, 2.0, 3.0, 4.0}));
    EXPECT_EQ(e.packageData[1].weights, (std::vector<double>{82.0, 123.0}));
    EXPECT_EQ(e.packageData[1].gridPointCount, 0u);
    ASSERT_EQ(e.curves.size(), 1u);
    EXPECT_EQ(e.curves[0].numerators, (std::vector<double>{40.0, 40.0}));
    EXPECT_EQ(e.sheetRoughness, 0.5);
    EXPECT_EQ(m->primaryEntries[0].sheetRoughness, 1.0);
    // All four axes arrived (the descending sheet roughness axis sorted):
    // entry 0 is found at sorted position 1.
    EXPECT_EQ(cellEntry(*m, m->primaryTable, m->primaryEntries, 1, 0, 0, 0), &m->primaryEntries[0]);
    EXPECT_EQ(m->packageTable, (std::vector<uint32_t>{1, 0}));
    EXPECT_EQ(m->transversePackageTable, (std::vector<uint32_t>{1, 0}));
}

TEST(ModuleFromLubricant, EachListKeepsOnlyItsOwnPrefix) {
    LubricantRecord l = test::sampleLubricantRecord();
    l.workpieceProperties = test::propertyList({{u"SheetGrade", u"DX56"},
                                                {u"LubricantName", u"x"},
                                                {u"ToolingA", u"y"},
                                                {u"sheetX", u"z"}});
    l.lubricantProperties =
        test::propertyList({{u"SheetGrade", u"a"}, {u"LubricantName", u"PL61"}, {u"Lub", u"b"}});
    l.toolingProperties =
        test::propertyList({{u"tooling", u"c"}, {u"ToolingCoating", u"TiC"}, {u"Tooling", u""}});
    auto m = moduleOf(l);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->workpieceProperties.keys, std::vector<Text>{u"SheetGrade"});
    EXPECT_EQ(m->workpieceProperties.values, std::vector<Text>{u"DX56"});
    EXPECT_EQ(m->lubricantProperties.keys, std::vector<Text>{u"LubricantName"});
    EXPECT_EQ(m->lubricantProperties.values, std::vector<Text>{u"PL61"});
    EXPECT_EQ(m->toolingProperties.keys, (std::vector<Text>{u"ToolingCoating", u"Tooling"}));
    EXPECT_EQ(m->toolingProperties.values, (std::vector<Text>{u"TiC", u""}));
}

TEST(ModuleFromLubricant, EntriesAreTakenOverAndTheRestIsCopied) {
    LubricantRecord l = test::sampleLubricantRecord();
    const double* weights = l.primaryEntries[0].packageData[0].weights.data();
    ModulePtr slot;
    ModuleFromLubricantRecord(l, slot);
    ASSERT_TRUE(slot);
    EXPECT_TRUE(l.primaryEntries.empty());
    EXPECT_TRUE(l.secondaryEntries.empty());
    EXPECT_EQ(slot->primaryEntries[0].packageData[0].weights.data(), weights);
    EXPECT_NE(slot->sheetRoughnessValues.data(), l.sheetRoughnessValues.data());
    EXPECT_EQ(slot->sheetRoughnessValues, (std::vector<double>{1.0, 0.5}));  // not yet sorted
    l = LubricantRecord{};  // releasing the record leaves the module whole
    EXPECT_EQ(slot->text1, u"oil");
    EXPECT_EQ(slot->primaryEntries[0].packageData[0].weights, (std::vector<double>{20.0, 30.0}));
}

TEST(ModuleFromLubricant, EmptyEntriesAndEmptyAxesAreAccepted) {
    LubricantRecord l = test::sampleLubricantRecord();
    l.primaryEntries.clear();
    l.secondaryEntries.clear();
    auto m = moduleOf(l);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->packageTable.empty());
    EXPECT_TRUE(m->transversePackageTable.empty());
    uint32_t available = 1;
    Morvex_CheckPackageAvailability(m.get(), 4, &available);
    EXPECT_EQ(available, 0u);

    l = test::sampleLubricantRecord();
    l.sheetRoughnessValues.clear();
    m = moduleOf(l);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->primaryEntries.size(), 2u);
    double min = 0, max = 0;
    EXPECT_EQ(Morvex_GetSheetRoughnessRange(m.get(), &min, &max), 0u);
}
