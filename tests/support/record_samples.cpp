#include "support/record_samples.h"

#include <gtest/gtest.h>

#include "mxplugin/mxplugin.h"

namespace mx::test {

PropertyList propertyList(std::initializer_list<std::pair<Text, Text>> pairs) {
    PropertyList list;
    for (const auto& [key, value] : pairs) {
        list.keys.push_back(key);
        list.values.push_back(value);
    }
    refreshView(list);
    return list;
}

SheetRecord sheetRecordWithItems(int groupSize, const std::vector<double>& amounts) {
    SheetRecord r;
    r.text1 = u"sheet";
    r.text2 = u"DX56";
    r.flags = {0, 0, 0, groupSize == 12 ? 1u : 0u};
    r.pressureMin = 1.0;
    r.pressureMax = 100.0;
    r.strainMax = 0.5;
    r.temperatureMin = 20.0;
    r.temperatureMax = 200.0;
    r.velocityMin = 10.0;
    r.velocityMax = 500.0;
    r.lubricationAmounts = amounts;
    const size_t count = static_cast<size_t>(groupSize) * amounts.size();
    for (size_t idx = 0; idx < count; ++idx) {
        const double v = static_cast<double>(idx);
        r.sheetItems.push_back({v, v + 0.5, {v, 1.0, 2.0, 3.0}, {v * 10.0}});
    }
    return r;
}

static PackageData package(double tag, uint64_t gridPoints) {
    PackageData pd;
    pd.scales = {tag, 2.0, 3.0, 4.0};
    pd.weights = {tag * 2.0, tag * 3.0};
    pd.shape = tag + 0.25;
    pd.offset = -tag;
    pd.factor = 7;
    pd.gridPointCount = gridPoints;
    return pd;
}

static TableEntry lubricantEntry(double tag, double sheetRoughness) {
    TableEntry e;
    e.packageData = {package(tag, 5), package(tag + 1.0, 0)};
    e.curves = {{{1.0, 2.0}, {tag, tag}, {0.5, 0.75}}};
    e.stateValue = 0.0;
    e.sheetRoughness = sheetRoughness;
    e.lubricationAmount = 2.0;
    e.toolRoughness = 0.3;
    return e;
}

LubricantRecord sampleLubricantRecord() {
    LubricantRecord l;
    l.identifier.fill(0xA5);
    l.text1 = u"oil";
    l.text2 = u"PL61";
    l.pressureMin = 0.5;
    l.pressureMax = 80.0;
    l.strainMin = 0.01;
    l.strainMax = 0.6;
    l.temperatureMin = 15.0;
    l.temperatureMax = 180.0;
    l.velocityMin = 5.0;
    l.velocityMax = 400.0;
    l.primaryEntries = {lubricantEntry(10.0, 1.0), lubricantEntry(20.0, 0.5)};
    l.secondaryEntries = {lubricantEntry(30.0, 1.0), lubricantEntry(40.0, 0.5)};
    l.nominalSheetRoughness = 0.5;
    l.nominalLubricationAmount = 2.0;
    l.nominalToolRoughness = 0.3;
    l.stateAxis = {0.0};
    l.sheetRoughnessValues = {1.0, 0.5};
    l.lubricationAmountValues = {2.0};
    l.toolRoughnessValues = {0.3};
    l.directionDependency = 1;
    l.heatTransferStatus = 1;
    l.workpieceProperties = propertyList({{u"SheetGrade", u"DX56"}});
    l.lubricantProperties = propertyList({{u"LubricantName", u"PL61"}});
    l.toolingProperties = propertyList({{u"ToolingCoating", u"none"}});
    return l;
}

ModulePtr deserialize(const std::vector<uint8_t>& bytes) {
    MorvexModule* sentinel = reinterpret_cast<MorvexModule*>(&sentinel);
    MorvexModule* module = sentinel;
    if (Morvex_DeserializeModule(bytes.data(), static_cast<int32_t>(bytes.size()), &module) == 0) {
        EXPECT_EQ(module, sentinel) << "a failed read wrote the out-parameter";
        return nullptr;
    }
    return ModulePtr(module);
}

}  // namespace mx::test
