#include "support/samples.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "io/data_file_writer.h"

namespace mx::test {

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
    SetRanges(r, {1.0, 100.0, 0.0, 0.5, 20.0, 200.0, 10.0, 500.0});
    r.lubricationAmounts = amounts;
    for (size_t idx = 0; idx < static_cast<size_t>(groupSize) * amounts.size(); ++idx) {
        const double v = static_cast<double>(idx);
        r.sheetItems.push_back({v, v + 0.5, {v, 1.0, 2.0, 3.0}, {v * 10.0}});
    }
    return r;
}

namespace {

TableEntry lubricantEntry(double tag, double sheetRoughness) {
    const auto package = [](double t, uint64_t gridPoints) -> PackageData {
        return {{t, 2.0, 3.0, 4.0}, {t * 2.0, t * 3.0}, t + 0.25, -t, 7, gridPoints, {}};
    };
    return Entry({sheetRoughness, 2.0, 0.3, 0.0}, {package(tag, 5), package(tag + 1.0, 0)},
                 {Curve({1.0, 2.0}, {tag, tag}, {0.5, 0.75})});
}

}  // namespace

LubricantRecord sampleLubricantRecord() {
    LubricantRecord l;
    l.identifier.fill(0xA5);
    l.text1 = u"oil";
    l.text2 = u"PL61";
    SetRanges(l, {0.5, 80.0, 0.01, 0.6, 15.0, 180.0, 5.0, 400.0});
    l.primaryEntries = {lubricantEntry(10.0, 1.0), lubricantEntry(20.0, 0.5)};
    l.secondaryEntries = {lubricantEntry(30.0, 1.0), lubricantEntry(40.0, 0.5)};
    l.nominalSheetRoughness = 0.5;
    l.nominalLubricationAmount = 2.0;
    l.nominalToolRoughness = 0.3;
    SetAxes(l, {{1.0, 0.5}, {2.0}, {0.3}, {0.0}});
    l.directionDependency = 1;
    l.heatTransferStatus = 1;
    l.workpieceProperties = propertyList({{u"SheetGrade", u"DX56"}});
    l.lubricantProperties = propertyList({{u"LubricantName", u"PL61"}});
    l.toolingProperties = propertyList({{u"ToolingCoating", u"none"}});
    return l;
}

namespace {

PackageData samplePackage(double s, uint64_t points) {
    const auto factor = static_cast<uint64_t>(-1000);  // signed in the record
    return {{1.0 + s, 2.0, 3.0, 4.0}, {0.5 * s, -0.25, 0.125}, 0.75 + s, -s, factor, points, {}};
}

TableEntry sampleEntry(Coordinates at, double seed) {
    return Entry(at,
                 {samplePackage(seed, 3), samplePackage(seed + 1, 0), samplePackage(seed + 2, 5)},
                 {Curve({1.0, 2.0}, {seed, seed * 2}, {0.0, 0.5})});
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
    SetRanges(m, {1.0, 100.0 + v, 0.0, 0.5, 20.0, 200.0, 10.0, 500.0});
    // Axes deliberately unsorted: finalization sorts them.
    SetAxes(m, {{1.2, 0.8}, {2.0 + v, 1.0}, {0.3}, {0.0}});
    m.primaryEntries = {sampleEntry({0.8, 1.0, 0.3, 0.0}, 1.0 + v),
                        sampleEntry({1.2, 2.0 + v, 0.3, 0.0}, 2.0 + v)};
    m.secondaryEntries = {sampleEntry({1.2, 1.0, 0.3, 0.0}, 3.0 + v)};
    m.nominalSheetRoughness = 1.0;
    m.nominalLubricationAmount = 1.5;
    m.nominalToolRoughness = 0.3;
    m.strainRougheningValues = {0.2, 0.1};  // status lists are never sorted
    m.staticFrictionValues = {0.3};
    m.directionDependency = 1;
    m.heatTransferStatus = static_cast<uint64_t>(variant);
    m.workpieceProperties = propertyList({{u"Grade", u"DX54"}});
    m.lubricantProperties = propertyList({{u"Oil", u"prelube"}, {u"Amount", u"1.5 g/m2"}});
    return m;
}

Module TinyModule() {
    Module m;
    m.name = kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"tiny";
    m.pressureMax = 10.0;
    PackageData pd = samplePackage(0.5, 2);
    pd.scales = {1.0};
    pd.weights = {2.0};
    m.primaryEntries = {Entry({}, {pd})};
    SetAxes(m, {{0.0}, {0.0}, {0.0}, {0.0}});
    return m;
}

Bytes BlobWithoutSolverId(const Module& m) {
    Bytes blob = WriteBlob(m);
    // After the 36-byte head and the two counted texts.
    const auto from = blob.begin() + static_cast<ptrdiff_t>(52 + m.text1.size() + m.text2.size());
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

Bytes representative(const Shape& s) {
    ModulePtr m = RepresentativeModule({.centreCounts = s.centres,
                                        .gridPointCount = s.gridPoints,
                                        .sheetRoughnessCount = s.sheets,
                                        .lubricationAmountCount = s.amounts,
                                        .stateCount = 1,
                                        .directionDependent = s.directional,
                                        .packagesWithData = s.withData});
    if (s.descending) {
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
    StreamBytes h{std::move(file)};
    h.put(static_cast<uint16_t>(type), 2).put(kind, 2).put(static_cast<uint32_t>(length), 4);
    file = std::move(h.b);
}

Bytes readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace mx::test
