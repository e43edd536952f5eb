// Faults guarded against at the C boundary: out-parameters written on failure,
// setters storing fields in the wrong order, range getters reading outside an
// empty axis, status words computed from the wrong count, borrowed pointers
// that do not point into the module, and serialization writing through null.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/module.h"
#include "support/samples.h"

using namespace mx;

TEST(Exports, SettersStoreTheirOwnPartInArgumentOrder) {
    MorvexInputRecord a, expected;
    std::memset(&a, 0xAB, sizeof a);
    std::memset(&expected, 0xAB, sizeof expected);
    EXPECT_EQ(Morvex_SetSystemInput(&a, 1, 2.5, 1.0, 0.4, 0), 1u);
    expected.sheetRoughness = 2.5, expected.lubricationAmount = 1.0, expected.toolRoughness = 0.4;
    expected.useDirectionDependency = 1, expected.temperatureMode = 0;
    EXPECT_EQ(std::memcmp(&a, &expected, sizeof a), 0) << "the nodal part is left alone";
    EXPECT_EQ(Morvex_SetNodalInput(&a, 1, 2, 3, 4, 5, NAN, -7), 1u);
    expected = {1, 2, 3, 4, 5, NAN, -7, 2.5, 1.0, 0.4, 1, 0};
    EXPECT_EQ(std::memcmp(&a, &expected, sizeof a), 0) << "the system part is left alone";
}

TEST(Exports, GettersReportTheModuleAndSerializeChecksItsOutParameters) {
    // Strain 0..0.5, velocity 10..500, sheet roughness {1.2, 0.8}, nominal
    // lubrication amount 1.5, two strain roughening values, one static
    // friction value; and here no tool roughness axis.
    Module sample = test::SampleModule(0);
    sample.toolRoughnessValues.clear();
    sample.directionDependency = (uint64_t{1} << 32) | 5;
    sample.heatTransferStatus = 3;
    ModulePtr owned = test::deserialize(test::WriteBlob(sample));  // as a host would
    ASSERT_TRUE(owned);
    MorvexModule* m = owned.get();
    using Range = std::pair<double, double>;
    EXPECT_EQ(test::rangeOf(Morvex_GetStrainRange, *m), Range(0.0, 0.5));
    EXPECT_EQ(test::rangeOf(Morvex_GetVelocityRange, *m), Range(10.0, 500.0));
    EXPECT_EQ(test::rangeOf(Morvex_GetSheetRoughnessRange, *m), Range(0.8, 1.2)) << "sorted";
    double v = 0;
    EXPECT_EQ(Morvex_GetNominalLubricationAmount(m, &v), 1u);
    EXPECT_EQ(v, 1.5);
    // Status words: 1 for lists of two or more (one value is no list), the
    // low 32 bits of the direction flag, the heat-transfer flag as stored.
    const std::pair<uint32_t (*)(const MorvexModule*, uint32_t*), uint32_t> statuses[] = {
        {Morvex_GetStrainRougheningStatus, 1},
        {Morvex_GetStaticFrictionStatus, 0},
        {Morvex_GetToolWearStatus, 0},
        {Morvex_GetDirectionDependencyStatus, 5},
        {Morvex_GetHeatTransferCoefficientStatus, 3},
        {Morvex_GetIsToolTempEqual, 42}};
    for (const auto& [get, expected] : statuses) {
        uint32_t out = 42;  // GetIsToolTempEqual leaves it alone
        EXPECT_EQ(get(m, &out), 1u);
        EXPECT_EQ(out, expected);
    }
    const MorvexProperty* props = nullptr;
    uint32_t count = 9;
    EXPECT_EQ(Morvex_GetToolingProperties(m, &props, &count), 1u);
    EXPECT_EQ(count, 0u);
    // Lists read from a blob hand out views of their own strings.
    EXPECT_EQ(Morvex_GetLubricantProperties(m, &props, &count), 1u);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(test::text(props[1].value), sample.lubricantProperties.values[1]);
    // The tool roughness axis is empty: no range, nothing stored.
    double lo = -1, hi = -2;
    EXPECT_EQ(Morvex_GetToolRoughnessRange(m, &lo, &hi), 0u);
    EXPECT_TRUE(lo == -1.0 && hi == -2.0);

    // Serialization checks its out-parameters before writing through them.
    uint8_t* blob = reinterpret_cast<uint8_t*>(0x10);
    uint64_t length = 77;
    EXPECT_EQ(Morvex_SerializeModule(m, nullptr, &length), 0u);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(Morvex_SerializeModule(m, &blob, nullptr), 0u);
    EXPECT_EQ(blob, reinterpret_cast<uint8_t*>(0x10));
    ASSERT_EQ(Morvex_SerializeModule(m, &blob, &length), 1u);
    EXPECT_EQ(length, test::WriteBlob(*m).size());
    uint8_t* const kept = blob;
    Morvex_FreeBlob(&blob);
    EXPECT_EQ(blob, kept) << "the caller's pointer is not cleared";
    Morvex_FreeModule(nullptr);
}

TEST(PropertyList, ACopyViewsItsOwnStrings) {
    PropertyList original = test::propertyList(
        {{u"SheetGrade", u"DX56"}, {u"SheetThickness of the blank in millimetres", u"0.8"}});
    PropertyList copy = original, assigned;
    assigned = original;
    original.keys[0][0] = original.keys[1][0] = u'X';
    for (const PropertyList* list : {&copy, &assigned}) {
        ASSERT_EQ(list->view.size(), 2u);
        EXPECT_EQ(list->view[0].key[0], u'S');
        EXPECT_EQ(list->view[1].key[0], u'S');
        EXPECT_EQ(list->view[1].value[0], u'0');
    }
}
