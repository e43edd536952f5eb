#include "support/sample_modules.h"

#include <stdexcept>

#include "serialize/module_record.h"
#include "serialize/sub_records.h"
#include "stream/record_writer.h"

namespace mxtest {

using namespace mx;

namespace {

// Deterministic small weights, so every seed is the same on every machine.
struct Lcg {
    uint64_t state;
    double next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    }
};

PackageData model(uint64_t gridPoints, size_t centres, Lcg& lcg, double offset) {
    PackageData pd;
    pd.scales = {0.8, 1.1, 0.9, 1.3};
    for (size_t i = 0; i < centres; ++i)
        pd.weights.push_back(lcg.next() * 0.02);
    pd.shape = 0.5;
    pd.offset = offset;
    pd.factor = 1;
    pd.gridPointCount = gridPoints;
    return pd;
}

// An entry whose packages with `data[i]` set carry a 625-centre model on a
// 3-point grid; the others are declared but hold no data.
TableEntry entry(double state, double sheet, double lube, double tool,
                 const std::vector<bool>& data, Lcg& lcg) {
    TableEntry e;
    for (size_t i = 0; i < data.size(); ++i) {
        const bool noGrid = i == 2 || i == 4;  // average-only packages
        e.packageData.push_back(data[i] ? model(3, noGrid ? 0 : 625, lcg, 0.1 * (i + 1) + sheet)
                                        : model(0, 0, lcg, 0.0));
    }
    e.stateValue = state;
    e.sheetRoughness = sheet;
    e.lubricationAmount = lube;
    e.toolRoughness = tool;
    return e;
}

HeatTransferCurve curve(size_t samples) {
    HeatTransferCurve c;
    for (size_t k = 0; k < samples; ++k) {
        c.divisors.push_back(2.0 + k);
        c.numerators.push_back(50.0 * (k + 1));
        c.offsets.push_back(0.25);
    }
    return c;
}

void setProperties(PropertyList& list, std::vector<std::pair<std::u16string, std::u16string>> kv) {
    for (auto& [k, v] : kv) {
        list.keys.push_back(k);
        list.values.push_back(v);
    }
    refreshView(list);
}

Module baseModule() {
    Module m;
    m.name = kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"seed sheet";
    m.text2 = u"seed lubricant";
    m.solverId = u"2";
    m.pressureMin = 1.0, m.pressureMax = 100.0;
    m.strainMin = 0.0, m.strainMax = 0.5;
    m.temperatureMin = 20.0, m.temperatureMax = 200.0;
    m.velocityMin = 0.0, m.velocityMax = 500.0;
    m.nominalSheetRoughness = 1.0;
    m.nominalLubricationAmount = 1.0;
    m.nominalToolRoughness = 0.4;
    m.strainRougheningValues = {0.0};
    m.staticFrictionValues = {0.0};
    m.toolWearValues = {0.0};
    m.stateAxis = {0.0};
    m.sheetRoughnessValues = {1.0};
    m.lubricationAmountValues = {1.0};
    m.toolRoughnessValues = {0.4};
    setProperties(m.workpieceProperties, {{u"SheetGrade", u"DX54D"}, {u"SheetThickness", u"0.8"}});
    setProperties(m.lubricantProperties, {{u"LubricantName", u"seed oil"}});
    setProperties(m.toolingProperties, {{u"ToolingCoating", u"none"}});
    return m;
}

void writeItem(RecordWriter& w, double offset, size_t centres, Lcg& lcg) {
    writeF64(w, offset);
    writeF64(w, 0.5);
    writeF64Array(w, {0.8, 1.1, 0.9, 1.3});
    std::vector<double> weights;
    for (size_t i = 0; i < centres; ++i)
        weights.push_back(lcg.next() * 0.02);
    writeF64Array(w, weights);
}

}  // namespace

Bytes serializedModule(const Module& m) {
    MallocBuffer blob;
    uint64_t length = 0;
    if (!SerializeModule(m, blob, length))
        throw std::runtime_error("cannot serialize a sample module");
    return Bytes(blob.get(), blob.get() + length);
}

// All twelve packages at one data point, heat transfer on.
Module singlePointModule() {
    Module m = baseModule();
    Lcg lcg{1};
    std::vector<bool> data = {true, true, true, true,  true, true,
                              true, true, true, false, true, false};
    m.primaryEntries.push_back(entry(0.0, 1.0, 1.0, 0.4, data, lcg));
    m.primaryEntries[0].curves.push_back(curve(5));
    m.heatTransferStatus = 1;
    return m;
}

// A 2 x 2 table over sheet roughness and lubrication amount, stored unsorted.
Module tableModule() {
    Module m = baseModule();
    Lcg lcg{2};
    std::vector<bool> data = {true, false, false, false, false, true, true};
    m.sheetRoughnessValues = {1.5, 0.5};
    m.lubricationAmountValues = {2.0, 1.0};
    for (double sheet : {1.5, 0.5})
        for (double lube : {1.0, 2.0})
            m.primaryEntries.push_back(entry(0.0, sheet, lube, 0.4, data, lcg));
    return m;
}

// Sliding-direction and transverse data along the sheet roughness axis.
Module directionalModule() {
    Module m = baseModule();
    Lcg lcg{3};
    std::vector<bool> data = {true, false, false, false, false, true};
    m.sheetRoughnessValues = {0.5, 1.5};
    m.stateAxis = {0.0, 1.0};
    for (double sheet : {0.5, 1.5}) {
        m.primaryEntries.push_back(entry(0.0, sheet, 1.0, 0.4, data, lcg));
        m.secondaryEntries.push_back(entry(1.0, sheet, 1.0, 0.4, data, lcg));
    }
    m.directionDependency = 1;
    return m;
}

// Other centre grids: 1000 centres (8 x 5 x 5 x 5) and 1296 (6^4).
Module otherCentresModule() {
    Module m = baseModule();
    Lcg lcg{4};
    TableEntry e = entry(0.0, 1.0, 1.0, 0.4, {false}, lcg);
    e.packageData[0] = model(2, 1000, lcg, 0.3);
    e.packageData.push_back(model(0, 0, lcg, 0.0));
    e.packageData.push_back(model(0, 0, lcg, 0.0));
    e.packageData.push_back(model(2, 1296, lcg, 0.2));
    m.primaryEntries.push_back(e);
    return m;
}

// No entries, long strings and more lists.
Module moduleWithoutEntries() {
    Module m = baseModule();
    m.text1 = std::u16string(1000, u'x');
    m.strainRougheningValues = {0.1, 0.2, 0.3};
    m.sheetRoughnessValues = {0.4, 1.2, 0.8};
    return m;
}

// The module record with its solver id left out: the ranges follow the
// second text directly.
Bytes moduleRecordWithoutSolverId() {
    RecordWriter w;
    Module m = baseModule();
    recordWriterInit(w);
    writeBytes(w, m.identifier.data(), 16);
    writeString(w, m.name);
    writeU16(w, 3);
    writeString(w, m.text1);
    writeString(w, m.text2);
    for (double v : {1.0, 100.0, 0.0, 0.5, 20.0, 200.0, 0.0, 500.0})
        writeF64(w, v);
    for (int i = 0; i < 2; ++i)
        writeU64(w, 0);
    for (int i = 0; i < 3; ++i)
        writeF64(w, 1.0);
    for (int i = 0; i < 7; ++i)
        writeF64Array(w, {0.5});
    for (int i = 0; i < 2; ++i)
        writeU64(w, 0);
    for (int i = 0; i < 3; ++i)
        writeU64(w, 0);
    uint64_t length = 0;
    MallocBuffer b = recordWriterFinish(w, length);
    return Bytes(b.get(), b.get() + length);
}

// A Sheet record: `groupSize` items per lubrication amount; only the items at
// position 3 (real contact area) carry a 625-centre model.
Bytes sheetRecord(size_t groupSize, std::vector<double> amounts) {
    RecordWriter w;
    recordWriterInit(w);
    Lcg lcg{5};
    const uint8_t identifier[16] = {};
    writeBytes(w, identifier, 16);
    writeString(w, u"seed sheet");
    writeString(w, u"from a sheet record");
    writeU64Array(w, {0, 0, 0, groupSize == 12 ? 1u : 0u});
    writeF64Array(w, {0.25, 0.75});
    for (double v : {1.0, 100.0})
        writeF64(w, v);
    writeU64(w, 5);
    for (double v : {0.0, 0.5})
        writeF64(w, v);
    writeU64(w, 5);
    for (double v : {20.0, 200.0})
        writeF64(w, v);
    writeU64(w, 5);
    for (double v : {0.0, 500.0})
        writeF64(w, v);
    writeU64(w, 5);
    writeF64Array(w, amounts);
    for (size_t i = 0; i < amounts.size() * groupSize; ++i)
        writeItem(w, 0.01 * i, i % 6 == 3 ? 625 : 0, lcg);
    const std::u16string keys[13] = {u"SheetGrade",
                                     u"SheetThickness",
                                     u"LubricantName",
                                     u"SheetRa",
                                     u"Other",
                                     u"LubricantAmount",
                                     u"ToolingName",
                                     u"sheetlower",
                                     u"x",
                                     u"y",
                                     u"z",
                                     u"w",
                                     u"ToolingRa"};
    const std::u16string values[13] = {u"DX54D", u"0.8", u"seed oil", u" 1.125", u"-",
                                       u"1.5",   u"die", u"no",       u"",       u"",
                                       u"",      u"",    u"0.404"};
    writeU64(w, 13);
    for (int i = 0; i < 13; ++i) {
        writeString(w, keys[i]);
        writeString(w, values[i]);
    }
    uint64_t length = 0;
    MallocBuffer b = recordWriterFinish(w, length);
    return Bytes(b.get(), b.get() + length);
}

// A Lubricant record: the module record's shape without the solver id and
// without the three leading f64 arrays.
Bytes lubricantRecord(const Module& m) {
    RecordWriter w;
    recordWriterInit(w);
    writeBytes(w, m.identifier.data(), 16);
    writeString(w, kVersionBlockName);
    writeU16(w, 2);
    writeString(w, m.text1);
    writeString(w, m.text2);
    for (double v : {m.pressureMin, m.pressureMax, m.strainMin, m.strainMax, m.temperatureMin,
                     m.temperatureMax, m.velocityMin, m.velocityMax})
        writeF64(w, v);
    for (const auto* entries : {&m.primaryEntries, &m.secondaryEntries}) {
        writeU64(w, entries->size());
        for (const TableEntry& e : *entries)
            WriteTableEntry(w, e);
    }
    for (double v : {m.nominalSheetRoughness, m.nominalLubricationAmount, m.nominalToolRoughness})
        writeF64(w, v);
    for (const auto* axis : {&m.stateAxis, &m.sheetRoughnessValues, &m.lubricationAmountValues,
                             &m.toolRoughnessValues})
        writeF64Array(w, *axis);
    writeU64(w, m.directionDependency);
    writeU64(w, m.heatTransferStatus);
    WritePropertyList(w, m.workpieceProperties);
    WritePropertyList(w, m.lubricantProperties);
    WritePropertyList(w, m.toolingProperties);
    uint64_t length = 0;
    MallocBuffer b = recordWriterFinish(w, length);
    return Bytes(b.get(), b.get() + length);
}

}  // namespace mxtest
