#include "support/samples.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "io/crypto.h"
#include "io/data_file.h"
#include "mxplugin/mxplugin.h"
#include "serialize/module_record.h"

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

std::pair<double, double> rangeOf(uint32_t (*get)(const Module*, double*, double*),
                                  const Module& m) {
    double min = -1.0, max = -1.0;
    EXPECT_EQ(get(&m, &min, &max), 1u);
    return {min, max};
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

ModulePtr deserialize(const std::vector<uint8_t>& bytes) {
    MorvexModule* sentinel = reinterpret_cast<MorvexModule*>(&sentinel);
    MorvexModule* module = sentinel;
    if (Morvex_DeserializeModule(bytes.data(), static_cast<int32_t>(bytes.size()), &module) == 0) {
        EXPECT_EQ(module, sentinel) << "a failed read wrote the out-parameter";
        return nullptr;
    }
    return ModulePtr(module);
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

void ExpectSameModule(const Module& actual, const Module& expected) {
    EXPECT_EQ(WriteBlob(actual), WriteBlob(expected));
    EXPECT_EQ(actual.primaryTable.cells, expected.primaryTable.cells);
    EXPECT_EQ(actual.secondaryTable.cells, expected.secondaryTable.cells);
    EXPECT_EQ(actual.packageTable, expected.packageTable);
    EXPECT_EQ(actual.transversePackageTable, expected.transversePackageTable);
    ASSERT_EQ(actual.primaryEntries.size(), expected.primaryEntries.size());
    for (size_t e = 0; e < actual.primaryEntries.size(); ++e) {
        const auto& a = actual.primaryEntries[e].packageData;
        const auto& b = expected.primaryEntries[e].packageData;
        ASSERT_EQ(a.size(), b.size());
        for (size_t p = 0; p < a.size(); ++p) {
            // Bitwise, so that NaN spacings (one-point grids) compare equal.
            EXPECT_EQ(0, std::memcmp(a[p].gridSpacing.data(), b[p].gridSpacing.data(),
                                     sizeof(double) * 4));
        }
    }
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

Bytes sealRecord(const Bytes& plain) {
    Bytes sealed = plain;
    sealed.resize((plain.size() + 15) / 16 * 16, 0);
    EXPECT_TRUE(
        EncryptChunk(sealed.data(), static_cast<uint32_t>(sealed.size()), kBuiltInKey, kBuiltInIv));
    return sealed;
}

Bytes signFile(Bytes body) {
    Digest digest = StartDigest();
    uint8_t out[kDigestSize];
    EXPECT_TRUE(digest && UpdateDigest(*digest, body.data(), body.size()) &&
                FinishDigest(*digest, out));
    body.insert(body.end(), out, out + kDigestSize);
    return body;
}

ScratchDir::ScratchDir() {
    // A name no other test process uses: the clock, then a counter on collision.
    const std::filesystem::path base = std::filesystem::path(::testing::TempDir());
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 1000 && path.empty(); ++attempt) {
        const std::filesystem::path candidate =
            base / ("mxdata-" + std::to_string(stamp) + "-" + std::to_string(attempt));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) path = candidate.string();
    }
    if (path.empty()) ADD_FAILURE() << "cannot create a scratch directory under " << base;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string ScratchDir::write(const std::string& name, const Bytes& bytes) const {
    const std::string file = path + "/" + name;
    // Opened the way the loader opens it, so that both name the same file.
    std::FILE* f = OpenDataFile(file.c_str(), "wb").release();
    EXPECT_NE(f, nullptr) << file;
    if (f == nullptr) return file;
    if (!bytes.empty()) {
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
    return file;
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
