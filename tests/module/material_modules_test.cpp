// Faults guarded against in turning a Sheet or Lubricant record into a module:
// items put at the wrong package index, the wrong grid point count or factor,
// secondary entries missing for group size 6 or filled from the wrong items,
// direction dependency set for group size 6, roughness read from the wrong
// property or rounded the wrong way, the nominal amount taken from a sorted
// list, a Lubricant record's data, entries or status words lost or changed,
// properties filtered without regard to case or prefix or moved between
// lists, defaults missing, and a slot touched by a failed parse. Everything
// is read back through Morvex_DeserializeModule, as a host would.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "io/dispatch.h"
#include "module/assembly.h"
#include "module/finalize.h"
#include "module/material_records.h"
#include "mxplugin/mxplugin.h"
#include "support/samples.h"

using namespace mx;

namespace {

// Position k within a six carries the package whose id is (k + 1) mod 6, at
// the index of that id in the host's numbering.
size_t expectedIndexOfPosition(size_t k) {
    constexpr std::array<size_t, 6> kIndexOfId = {5, 4, 2, 1, 0, 3};
    return kIndexOfId[(k + 1) % 6];
}

// Thirteen properties, the sheet roughness at position 3, the tool's at 12.
PropertyList roughnessProperties(const Text& sheet, const Text& tool) {
    PropertyList list;
    list.keys.assign(13, u"Filler");
    list.values.assign(13, u"9.99");
    list.values[3] = sheet;
    list.values[12] = tool;
    refreshView(list);
    return list;
}

ModulePtr moduleOf(const SheetRecord& r) {
    return test::deserialize(SheetRecordBytes(r));
}
ModulePtr moduleOf(const LubricantRecord& l) {
    return test::deserialize(LubricantRecordBytes(l));
}

using Pairs = std::vector<std::pair<Text, Text>>;
Pairs pairsOf(const PropertyList& list) {
    Pairs out;
    for (size_t i = 0; i < list.keys.size(); ++i)
        out.emplace_back(list.keys[i], list.values[i]);
    return out;
}

}  // namespace

TEST(ModuleFromSheet, ItemsFillPackageSlotsAndAmountsGiveTheAxisAndTheNominalAmount) {
    struct Case {
        std::vector<double> amounts;
        double nominal;  // the lower middle in record order
    };
    const Case cases[] = {
        {{0.5, 2.0, 1.0, 3.0}, 2.0},  // index 1, not the sorted 1.0
        {{7.0}, 7.0},
        {{4.0, 1.0}, 4.0},
        {{3.0, 9.0, 1.0}, 9.0},
        {{5.0, 4.0, 3.0, 2.0, 1.0}, 3.0},
        {{6.0, 5.0, 4.0, 3.0, 2.0, 1.0}, 4.0},
        {{}, 0.0},  // no entries, no amount range
    };
    // Twelve items per amount fill both directions; six (the fourth of many
    // flags zero) leave the secondary entries without packages.
    for (int groupSize : {12, 6})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << groupSize << " items, " << c.amounts.size());
            SheetRecord r = test::sheetRecordWithItems(groupSize, c.amounts);
            if (groupSize == 6) r.flags = {1, 1, 1, 0, 1};
            r.properties = roughnessProperties(u"0.5", u"0.25");
            auto m = moduleOf(r);
            ASSERT_TRUE(m);
            EXPECT_EQ(m->directionDependency, groupSize == 12 ? 1u : 0u);
            EXPECT_EQ(m->nominalLubricationAmount, c.nominal);
            std::vector<double> sorted = c.amounts;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(m->lubricationAmountValues, sorted);
            double min = -1, max = -1;
            EXPECT_EQ(Morvex_GetLubricationAmountRange(m.get(), &min, &max),
                      c.amounts.empty() ? 0u : 1u);
            ASSERT_EQ(m->primaryEntries.size(), c.amounts.size());
            ASSERT_EQ(m->secondaryEntries.size(), c.amounts.size());
            for (size_t i = 0; i < c.amounts.size(); ++i) {
                for (const size_t direction : {0, 1}) {
                    const TableEntry& e = (direction ? m->secondaryEntries : m->primaryEntries)[i];
                    EXPECT_EQ((std::array{e.sheetRoughness, e.lubricationAmount, e.toolRoughness,
                                          e.stateValue}),
                              (std::array{0.5, c.amounts[i], 0.25, 0.0}));
                    if (direction == 1 && groupSize == 6) {
                        EXPECT_TRUE(e.packageData.empty());
                        continue;
                    }
                    ASSERT_EQ(e.packageData.size(), 6u);
                    for (size_t k = 0; k < 6; ++k) {
                        // Item idx has offset idx, shape idx + 0.5, scales
                        // {idx, 1, 2, 3} and weights {idx * 10}.
                        const PackageData& pd = e.packageData[expectedIndexOfPosition(k)];
                        const double v = static_cast<double>(groupSize * i + 6 * direction + k);
                        SCOPED_TRACE(testing::Message() << "amount " << i << " position " << k);
                        EXPECT_EQ(pd.offset, v);
                        EXPECT_EQ(pd.shape, v + 0.5);
                        EXPECT_EQ(pd.scales, (std::vector<double>{v, 1.0, 2.0, 3.0}));
                        EXPECT_EQ(pd.weights, std::vector<double>{v * 10.0});
                        EXPECT_EQ(pd.gridPointCount, k == 2 ? 10u : 5u);
                        EXPECT_EQ(pd.factor, k == 5 ? 1000u : 1u);
                    }
                }
            }
        }
}

TEST(ModuleFromSheet, RoughnessComesFromPropertiesThreeAndTwelveRoundedHalfUp) {
    struct Case {
        const char16_t* value;
        double rounded;
    };
    // Expected values worked out by hand: v * 100, then halves toward +inf.
    const Case cases[] = {
        {u"0.125", 0.13}, {u"-0.125", -0.12}, {u"0.124", 0.12},      {u"-0.126", -0.13},
        {u"abc", 0.0},    {u" 1.5e-1", 0.15}, {u"\t2.675 um", 2.68},  // 267.5 exactly
        {u"1.005", 1.0},   // 100.49999999999999: below the half
        {u"0.285", 0.28},  // 28.499999999999996
        {u"3", 3.0},      {u"", 0.0},         {u"+7.3e1", 73.0},
    };
    // Each value as the sheet roughness and the next as the tool's among
    // thirteen properties; then twelve (no tool roughness) and three (no
    // sheet roughness either).
    const size_t n = std::size(cases);
    for (size_t i = 0; i < n + 2; ++i) {
        const Case &sheet = cases[i % n], &tool = cases[(i + 1) % n];
        const size_t count = i < n ? 13 : i == n ? 12 : 3;
        SCOPED_TRACE(testing::Message() << i << ": " << count << " properties");
        SheetRecord r = test::sheetRecordWithItems(6, {1.0, 2.0});
        r.properties = roughnessProperties(sheet.value, tool.value);
        r.properties.keys.resize(count);
        r.properties.values.resize(count);
        auto m = moduleOf(r);
        ASSERT_TRUE(m);
        const double sr = count > 3 ? sheet.rounded : 0.0, tr = count > 12 ? tool.rounded : 0.0;
        EXPECT_EQ(m->nominalSheetRoughness, sr);
        EXPECT_EQ(m->nominalToolRoughness, tr);
        EXPECT_EQ(m->sheetRoughnessValues, std::vector<double>{sr});
        EXPECT_EQ(m->toolRoughnessValues, std::vector<double>{tr});
        EXPECT_EQ(m->secondaryEntries[1].toolRoughness, tr);
    }
}

TEST(MaterialModules, EachPropertyListKeepsOnlyItsOwnCaseSensitivePrefix) {
    // A Sheet record splits its one list; a Lubricant record filters each of
    // its three, so a list taken from the wrong one shows.
    const PropertyList mixed = test::propertyList({
        {u"SheetThickness", u"0.8"},
        {u"sheetLowerCase", u"dropped"},
        {u"Lubricant", u"PL61"},
        {u"Other", u"dropped"},
        {u"Sheet", u"exact prefix"},
        {u"ToolingCoating", u"TiC"},
        {u"Shee", u"too short"},
        {u"tooling", u"dropped"},
        {u"LubricantAmount", u"1.0"},
        {u"Tooling", u""},
    });
    const Pairs workpiece = {{u"SheetThickness", u"0.8"}, {u"Sheet", u"exact prefix"}};
    SheetRecord r = test::sheetRecordWithItems(6, {1.0});
    r.properties = mixed;
    const ModulePtr sheet = moduleOf(r);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(pairsOf(sheet->workpieceProperties), workpiece);
    EXPECT_EQ(pairsOf(sheet->lubricantProperties),
              (Pairs{{u"Lubricant", u"PL61"}, {u"LubricantAmount", u"1.0"}}));
    EXPECT_EQ(pairsOf(sheet->toolingProperties),
              (Pairs{{u"ToolingCoating", u"TiC"}, {u"Tooling", u""}}));

    LubricantRecord l = test::sampleLubricantRecord();
    l.workpieceProperties = mixed;
    l.lubricantProperties = test::propertyList({{u"SheetGrade", u"a"}, {u"LubricantName", u"x"}});
    l.toolingProperties = test::propertyList({{u"Lub", u"b"}, {u"ToolingB", u"y"}});
    const ModulePtr lubricant = moduleOf(l);
    ASSERT_TRUE(lubricant);
    EXPECT_EQ(pairsOf(lubricant->workpieceProperties), workpiece);
    EXPECT_EQ(pairsOf(lubricant->lubricantProperties), (Pairs{{u"LubricantName", u"x"}}));
    EXPECT_EQ(pairsOf(lubricant->toolingProperties), (Pairs{{u"ToolingB", u"y"}}));
}

TEST(MaterialChunks, FailedParseLeavesTheSlotAloneAndTheChunkKindDecides) {
    // A Sheet record whose first text happens to read "VersionBlk" is still a
    // Sheet record in a chunk that says so.
    SheetRecord r = test::sheetRecordWithItems(6, {1.0});
    r.text1 = u"VersionBlk";
    const auto sheet = SheetRecordBytes(r);
    const auto lubricant = LubricantRecordBytes(test::sampleLubricantRecord());
    const struct {
        bool (*handle)(const uint8_t*, int32_t, ModulePtr&, ReadFault*);
        const std::vector<uint8_t>* bytes;
        const char16_t* text1;
    } cases[] = {{HandleSheetChunk, &sheet, u"VersionBlk"},
                 {HandleLubricantChunk, &lubricant, u"oil"}};
    for (const auto& c : cases) {
        ModulePtr slot = std::make_unique<Module>();
        slot->text1 = u"previous";
        Module* before = slot.get();
        const auto size = static_cast<int32_t>(c.bytes->size());
        EXPECT_FALSE(c.handle(c.bytes->data(), size - 1, slot, nullptr));
        EXPECT_EQ(slot.get(), before);
        EXPECT_EQ(slot->text1, u"previous");
        EXPECT_TRUE(c.handle(c.bytes->data(), size, slot, nullptr));
        ASSERT_TRUE(slot);
        EXPECT_EQ(slot->text1, c.text1);
    }
    ModulePtr slot;
    ASSERT_TRUE(
        DispatchRecord(kSheetRecord, sheet.data(), static_cast<int32_t>(sheet.size()), slot));
    EXPECT_EQ(slot->primaryEntries.size(), 1u);
}

TEST(MaterialModules, BothRecordsTakeTheFixedDefaultsAndCarryTheirOwnFields) {
    SheetRecord r = test::sheetRecordWithItems(6, {1.0});
    r.identifier.fill(0xEE);
    LubricantRecord l = test::sampleLubricantRecord();  // identifier 0xA5...
    l.directionDependency = 7;                          // kept, not turned into 1
    l.heatTransferStatus = 5;
    const struct {
        std::vector<uint8_t> bytes;
        const char16_t *text1, *text2;
        uint32_t directionDependency, heatTransferStatus;
        std::array<double, 8> ranges;
    } cases[] = {
        {SheetRecordBytes(r), u"sheet", u"DX56", 0, 0, {1, 100, 0, 0.5, 20, 200, 10, 500}},
        {LubricantRecordBytes(l), u"oil", u"PL61", 7, 5, {0.5, 80, 0.01, 0.6, 15, 180, 5, 400}},
    };
    for (const auto& c : cases) {
        const ModulePtr m = test::deserialize(c.bytes);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->identifier, (std::array<uint8_t, 16>{}));
        EXPECT_EQ(m->name, u"VersionBlk");
        EXPECT_EQ(m->formatVersion, 3);
        EXPECT_EQ(m->solverId, u"2");
        EXPECT_EQ(m->strainRougheningValues, std::vector<double>{0.0});
        EXPECT_EQ(m->staticFrictionValues, std::vector<double>{0.0});
        EXPECT_EQ(m->toolWearValues, std::vector<double>{0.0});
        EXPECT_EQ(m->text1, c.text1);
        EXPECT_EQ(m->text2, c.text2);
        EXPECT_EQ(m->directionDependency, c.directionDependency);
        EXPECT_EQ(m->heatTransferStatus, c.heatTransferStatus);
        EXPECT_EQ(m->stateAxis, std::vector<double>{0.0});
        EXPECT_EQ(
            (std::array{m->pressureMin, m->pressureMax, m->strainMin, m->strainMax,
                        m->temperatureMin, m->temperatureMax, m->velocityMin, m->velocityMax}),
            c.ranges);
    }
    // Finalization ran: pressure 1..100 over 5 grid points is a step of 99/4.
    EXPECT_EQ(moduleOf(r)->primaryEntries[0].packageData[0].gridSpacing[0], 99.0 / 4.0);

    const ModulePtr m = moduleOf(l);
    EXPECT_EQ((std::array{m->nominalSheetRoughness, m->nominalLubricationAmount,
                          m->nominalToolRoughness}),
              (std::array{0.5, 2.0, 0.3}));
    // The entries arrive as written, in their order: their module records agree.
    Module written, read;
    written.primaryEntries = l.primaryEntries, written.secondaryEntries = l.secondaryEntries;
    read.primaryEntries = m->primaryEntries, read.secondaryEntries = m->secondaryEntries;
    EXPECT_EQ(test::WriteBlob(read), test::WriteBlob(written));
    // All four axes arrived (the descending sheet roughness axis sorted):
    // entry 0 is found at sorted position 1.
    EXPECT_EQ(cellEntry(*m, m->primaryTable, m->primaryEntries, 1, 0, 0, 0), &m->primaryEntries[0]);
    EXPECT_EQ(m->packageTable, (std::vector<uint32_t>{1, 0}));
    EXPECT_EQ(m->transversePackageTable, (std::vector<uint32_t>{1, 0}));
}
