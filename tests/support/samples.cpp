#include "support/samples.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "io/data_file_writer.h"

namespace mx::test {

StreamBytes& StreamBytes::u16(uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
}

StreamBytes& StreamBytes::u64(uint64_t v) {
    for (int i = 0; i < 8; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
}

StreamBytes& StreamBytes::f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return u64(bits);
}

StreamBytes& StreamBytes::str(const char* s) {
    u64(std::strlen(s));
    for (const char* p = s; *p; ++p)
        b.push_back(static_cast<uint8_t>(*p));
    return *this;
}

std::u16string text(const uint16_t* s) {
    std::u16string out;
    while (s != nullptr && *s != 0)
        out.push_back(static_cast<char16_t>(*s++));
    return out;
}

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

namespace {

PackageData samplePackage(double seed, uint64_t points) {
    PackageData pd;
    pd.scales = {1.0 + seed, 2.0, 3.0, 4.0};
    pd.weights = {0.5 * seed, -0.25, 0.125};
    pd.shape = 0.75 + seed;
    pd.offset = -seed;
    pd.factor = static_cast<uint64_t>(-1000);  // signed in the record
    pd.gridPointCount = points;
    return pd;
}

TableEntry sampleEntry(double sheet, double lube, double tool, double state, double seed) {
    TableEntry e;
    e.packageData = {samplePackage(seed, 3), samplePackage(seed + 1, 0),
                     samplePackage(seed + 2, 5)};
    HeatTransferCurve c;
    c.divisors = {1.0, 2.0};
    c.numerators = {seed, seed * 2};
    c.offsets = {0.0, 0.5};
    e.curves = {c};
    e.sheetRoughness = sheet;
    e.lubricationAmount = lube;
    e.toolRoughness = tool;
    e.stateValue = state;
    return e;
}

void addProperty(PropertyList& list, const char16_t* key, const char16_t* value) {
    list.keys.emplace_back(key);
    list.values.emplace_back(value);
    refreshView(list);
}

}  // namespace

Module SampleModule(int variant) {
    const double v = variant;
    Module m;
    for (size_t i = 0; i < m.identifier.size(); ++i)
        m.identifier[i] = static_cast<uint8_t>(0xA0 + i + variant);
    m.name = kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"sample " + std::u16string(1, static_cast<char16_t>(u'A' + variant));
    m.text2 = u"second text";
    m.solverId = u"7b";
    m.pressureMin = 1.0;
    m.pressureMax = 100.0 + v;
    m.strainMin = 0.0;
    m.strainMax = 0.5;
    m.temperatureMin = 20.0;
    m.temperatureMax = 200.0;
    m.velocityMin = 10.0;
    m.velocityMax = 500.0;
    // Axes deliberately unsorted: finalization sorts them.
    m.sheetRoughnessValues = {1.2, 0.8};
    m.lubricationAmountValues = {2.0 + v, 1.0};
    m.toolRoughnessValues = {0.3};
    m.stateAxis = {0.0};
    m.primaryEntries = {sampleEntry(0.8, 1.0, 0.3, 0.0, 1.0 + v),
                        sampleEntry(1.2, 2.0 + v, 0.3, 0.0, 2.0 + v)};
    m.secondaryEntries = {sampleEntry(1.2, 1.0, 0.3, 0.0, 3.0 + v)};
    m.nominalSheetRoughness = 1.0;
    m.nominalLubricationAmount = 1.5;
    m.nominalToolRoughness = 0.3;
    m.strainRougheningValues = {0.2, 0.1};  // status lists are never sorted
    m.staticFrictionValues = {0.3};
    m.toolWearValues = {};
    m.directionDependency = 1;
    m.heatTransferStatus = static_cast<uint64_t>(variant);
    addProperty(m.workpieceProperties, u"Grade", u"DX54");
    addProperty(m.lubricantProperties, u"Oil", u"prelube");
    addProperty(m.lubricantProperties, u"Amount", u"1.5 g/m2");
    return m;
}

Module TinyModule() {
    Module m;
    m.name = kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"tiny";
    m.pressureMax = 10.0;
    TableEntry e;
    e.packageData = {samplePackage(0.5, 2)};
    e.packageData[0].scales = {1.0};
    e.packageData[0].weights = {2.0};
    m.primaryEntries = {e};
    m.sheetRoughnessValues = {0.0};
    m.lubricationAmountValues = {0.0};
    m.toolRoughnessValues = {0.0};
    m.stateAxis = {0.0};
    return m;
}

Bytes BlobWithoutSolverId(const Module& m) {
    Bytes blob = WriteBlob(m);
    // After the 36-byte head and the two counted texts.
    const size_t at = 36 + 8 + m.text1.size() + 8 + m.text2.size();
    const auto from = blob.begin() + static_cast<ptrdiff_t>(at);
    blob.erase(from, from + 8 + static_cast<ptrdiff_t>(m.solverId.size()));
    return blob;
}

namespace {

// A representative module, small: packages outside `withData` are empty.
struct Shape {
    uint32_t withData;
    int sheets = 1, amounts = 1;
    bool directional = false;
    std::vector<size_t> centres = {625};
    uint64_t gridPoints = 3;
    bool descending = false;  // axes stored from the largest value down
};

Bytes representative(const Shape& shape) {
    RepresentativeOptions o;
    o.centreCounts = shape.centres;
    o.gridPointCount = shape.gridPoints;
    o.sheetRoughnessCount = shape.sheets;
    o.lubricationAmountCount = shape.amounts;
    o.stateCount = 1;
    o.directionDependent = shape.directional;
    o.packagesWithData = shape.withData;
    ModulePtr m = RepresentativeModule(o);
    if (shape.descending) {
        std::reverse(m->sheetRoughnessValues.begin(), m->sheetRoughnessValues.end());
        std::reverse(m->lubricationAmountValues.begin(), m->lubricationAmountValues.end());
    }
    return WriteBlob(*m);
}

// Thirteen properties; positions 3 and 12 carry the sheet and tool roughness.
SheetRecord sheetWithProperties(int groupSize, const std::vector<double>& amounts) {
    SheetRecord r = sheetRecordWithItems(groupSize, amounts);
    for (char16_t i = 0; i < 13; ++i) {
        r.properties.keys.push_back(u"Key" + std::u16string(1, u'a' + i));
        r.properties.values.push_back(i == 3 ? u" 1.125" : i == 12 ? u"0.404" : u"-");
    }
    refreshView(r.properties);
    return r;
}

}  // namespace

std::vector<SampleStream> SampleStreams() {
    Module empty = SampleModule(1);
    empty.primaryEntries.clear();
    empty.secondaryEntries.clear();
    empty.text1 = Text(1000, u'x');
    return {
        {"single-point", kModuleRecord, representative({.withData = 0x5FF}), true},
        {"table", kModuleRecord,
         representative({.withData = 0x61, .sheets = 2, .amounts = 2, .descending = true}), true},
        {"directional", kModuleRecord,
         representative({.withData = 0x61, .sheets = 2, .directional = true}), true},
        {"other-centres", kModuleRecord,
         representative({.withData = 0x49, .centres = {1000, 1296}, .gridPoints = 2}), true},
        {"sample", kModuleRecord, WriteBlob(SampleModule(0)), false},
        {"without-entries", kModuleRecord, WriteBlob(empty), true},
        {"without-solver-id", kModuleRecord, BlobWithoutSolverId(empty), true},
        {"sheet-6", kSheetRecord, SheetRecordBytes(sheetWithProperties(6, {1.0, 2.0})), false},
        {"sheet-12", kSheetRecord, SheetRecordBytes(sheetWithProperties(12, {0.5, 2.0, 1.0})),
         false},
        {"lubricant", kLubricantRecord, LubricantRecordBytes(sampleLubricantRecord()), false}};
}

Bytes SampleStreamBytes(const std::string& name) {
    for (SampleStream& s : SampleStreams())
        if (s.name == name) return std::move(s.bytes);
    return {};
}

Bytes DataFileOf(const std::vector<std::pair<RecordKind, Bytes>>& records) {
    DataFileContent content;
    content.preamble = {'m', 'x'};
    content.chunks.push_back(MakeSkipChunk(5, Bytes(100, 0x03)));
    for (const auto& [kind, stream] : records) {
        content.chunks.emplace_back();
        if (!MakeRecordChunk(static_cast<uint16_t>(kind), stream.data(), stream.size(),
                             content.chunks.back()))
            return {};
    }
    Bytes bytes;
    return WriteDataFile(content, bytes) ? bytes : Bytes{};
}

void putHeader(Bytes& file, int16_t type, uint16_t kind, int32_t length) {
    const uint32_t t = static_cast<uint16_t>(type), n = static_cast<uint32_t>(length);
    for (uint32_t value : {t, static_cast<uint32_t>(kind)}) {
        file.push_back(static_cast<uint8_t>(value & 0xFF));
        file.push_back(static_cast<uint8_t>(value >> 8));
    }
    for (int shift = 0; shift < 32; shift += 8)
        file.push_back(static_cast<uint8_t>(n >> shift));
}

Bytes readWholeFile(const std::string& path) {
    Bytes bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    for (int c; (c = std::fgetc(f)) != EOF;)
        bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return bytes;
}

}  // namespace mx::test
