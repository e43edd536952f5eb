#include "support/data_file_fixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "io/crypto.h"
#include "io/data_file.h"
#include "serialize/module_record.h"

namespace mxtest {

namespace {

mx::PackageData samplePackage(double seed, uint64_t points) {
    mx::PackageData pd;
    pd.scales = {1.0 + seed, 2.0, 3.0, 4.0};
    pd.weights = {0.5 * seed, -0.25, 0.125};
    pd.shape = 0.75 + seed;
    pd.offset = -seed;
    pd.factor = 1;
    pd.gridPointCount = points;
    return pd;
}

mx::TableEntry sampleEntry(double sheet, double lube, double tool, double state, double seed) {
    mx::TableEntry e;
    e.packageData = {samplePackage(seed, 3), samplePackage(seed + 1, 0),
                     samplePackage(seed + 2, 5)};
    mx::HeatTransferCurve c;
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

void addProperty(mx::PropertyList& list, const char16_t* key, const char16_t* value) {
    list.keys.emplace_back(key);
    list.values.emplace_back(value);
    mx::refreshView(list);
}

}  // namespace

mx::Module SampleModule(int variant) {
    const double v = variant;
    mx::Module m;
    for (size_t i = 0; i < m.identifier.size(); ++i)
        m.identifier[i] = static_cast<uint8_t>(0xA0 + i + variant);
    m.name = mx::kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"sample " + std::u16string(1, static_cast<char16_t>(u'A' + variant));
    m.text2 = u"second text";
    m.solverId = u"7";
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
    m.strainRougheningValues = {0.1, 0.2};
    m.staticFrictionValues = {0.3};
    m.toolWearValues = {};
    m.directionDependency = 1;
    m.heatTransferStatus = static_cast<uint64_t>(variant);
    addProperty(m.workpieceProperties, u"Grade", u"DX54");
    addProperty(m.lubricantProperties, u"Oil", u"prelube");
    addProperty(m.lubricantProperties, u"Amount", u"1.5 g/m2");
    return m;
}

mx::Module TinyModule() {
    mx::Module m;
    m.name = mx::kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"tiny";
    m.pressureMax = 10.0;
    mx::TableEntry e;
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

Bytes ModuleStream(const mx::Module& m) {
    mx::MallocBuffer blob;
    uint64_t length = 0;
    EXPECT_TRUE(mx::SerializeModule(m, blob, length));
    if (!blob) return {};
    return Bytes(blob.get(), blob.get() + length);
}

void ExpectSameModule(const mx::Module& actual, const mx::Module& expected) {
    EXPECT_EQ(ModuleStream(actual), ModuleStream(expected));
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
    EXPECT_TRUE(mx::EncryptChunk(sealed.data(), static_cast<uint32_t>(sealed.size()),
                                 mx::kBuiltInKey, mx::kBuiltInIv));
    return sealed;
}

Bytes signFile(Bytes body) {
    mx::Digest digest = mx::StartDigest();
    uint8_t out[mx::kDigestSize];
    EXPECT_TRUE(digest && mx::UpdateDigest(*digest, body.data(), body.size()) &&
                mx::FinishDigest(*digest, out));
    body.insert(body.end(), out, out + mx::kDigestSize);
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
    std::FILE* f = mx::OpenDataFile(file.c_str(), "wb").release();
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

}  // namespace mxtest
