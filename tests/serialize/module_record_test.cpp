// Faults guarded against: a module record that does not read back into the
// same persisted fields, a second serialization that differs by a byte, grid
// values leaking into blobs, the optional solver id read at the wrong place,
// and malformed blobs (truncated anywhere, counts forced huge) that crash,
// leak, allocate wildly or write the caller's handle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "io/dispatch.h"
#include "serialize/module_record.h"
#include "serialize/sub_records.h"

using namespace mx;

namespace {

PackageData model(size_t weights, uint64_t gridPointCount, double seed) {
    PackageData pd;
    pd.scales = {1.0 + seed, 2.0, 3.0, 4.0, 5.0};
    for (size_t i = 0; i < weights; ++i)
        pd.weights.push_back(seed * 0.01 * double(i));
    pd.shape = 0.25;
    pd.offset = -seed;
    pd.factor = static_cast<uint64_t>(-1000);
    pd.gridPointCount = gridPointCount;
    return pd;
}

// A module that exercises every persisted field, with axes stored unsorted.
Module everyField() {
    Module m;
    for (int i = 0; i < 16; ++i)
        m.identifier[i] = static_cast<uint8_t>(i * 7 + 1);
    m.name = kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"sheet DX56";
    m.text2 = u"";
    m.solverId = u"7b";
    m.pressureMin = 0.5, m.pressureMax = 100.0;
    m.strainMin = -0.1, m.strainMax = 0.6;
    m.temperatureMin = 20.0, m.temperatureMax = 200.0;
    m.velocityMin = 1.0, m.velocityMax = 500.0;
    for (double lub : {2.0, 1.0}) {
        TableEntry e;
        e.packageData = {model(3, 5, lub), model(0, 0, 0.0), model(2, 10, -lub)};
        e.curves = {{{1.0, 2.0}, {3.0, 4.0}, {5.0, 6.0}}, {{}, {7.0}, {}}};
        e.stateValue = 0.0;
        e.sheetRoughness = 1.2;
        e.lubricationAmount = lub;
        e.toolRoughness = 0.3;
        m.primaryEntries.push_back(e);
        e.packageData.pop_back();
        m.secondaryEntries.push_back(e);
    }
    m.nominalSheetRoughness = 1.2;
    m.nominalLubricationAmount = 1.5;
    m.nominalToolRoughness = 0.3;
    m.strainRougheningValues = {3.0, 1.0, 2.0};
    m.staticFrictionValues = {0.0};
    m.toolWearValues = {};
    m.stateAxis = {0.0};
    m.sheetRoughnessValues = {1.2};
    m.lubricationAmountValues = {2.0, 1.0};
    m.toolRoughnessValues = {0.3};
    m.directionDependency = 7;
    m.heatTransferStatus = 1;
    m.workpieceProperties.keys = {u"SheetGrade", u"SheetThickness"};
    m.workpieceProperties.values = {u"DX56", u"0.8"};
    m.toolingProperties.keys = {u"ToolingCoat"};
    m.toolingProperties.values = {u"none"};
    return m;
}

std::vector<uint8_t> blobOf(const Module& m) {
    MallocBuffer buffer;
    uint64_t length = 0;
    EXPECT_TRUE(SerializeModule(m, buffer, length));
    return std::vector<uint8_t>(buffer.get(), buffer.get() + length);
}

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expectSameEntries(const std::vector<TableEntry>& a, const std::vector<TableEntry>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].packageData.size(), b[i].packageData.size());
        for (size_t p = 0; p < a[i].packageData.size(); ++p) {
            const PackageData &x = a[i].packageData[p], &y = b[i].packageData[p];
            EXPECT_EQ(x.scales, y.scales);
            EXPECT_EQ(x.weights, y.weights);
            EXPECT_TRUE(sameBits(x.shape, y.shape) && sameBits(x.offset, y.offset));
            EXPECT_EQ(x.factor, y.factor);
            EXPECT_EQ(x.gridPointCount, y.gridPointCount);
        }
        ASSERT_EQ(a[i].curves.size(), b[i].curves.size());
        for (size_t c = 0; c < a[i].curves.size(); ++c) {
            EXPECT_EQ(a[i].curves[c].divisors, b[i].curves[c].divisors);
            EXPECT_EQ(a[i].curves[c].numerators, b[i].curves[c].numerators);
            EXPECT_EQ(a[i].curves[c].offsets, b[i].curves[c].offsets);
        }
        EXPECT_EQ(a[i].stateValue, b[i].stateValue);
        EXPECT_EQ(a[i].sheetRoughness, b[i].sheetRoughness);
        EXPECT_EQ(a[i].lubricationAmount, b[i].lubricationAmount);
        EXPECT_EQ(a[i].toolRoughness, b[i].toolRoughness);
    }
}

void putU64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t getU64(const std::vector<uint8_t>& b, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | b[at + i];
    return v;
}

}  // namespace

TEST(ModuleRecord, PersistedFieldsSurviveAndTheSecondBlobIsIdentical) {
    const Module original = everyField();
    const auto blob = blobOf(original);
    ModulePtr read;
    ASSERT_TRUE(ReadRecordStream(blob.data(), static_cast<int32_t>(blob.size()), read));
    const Module& m = *read;
    EXPECT_EQ(m.identifier, original.identifier);
    EXPECT_EQ(m.name, original.name);
    EXPECT_EQ(m.formatVersion, 3);
    EXPECT_EQ(m.text1, original.text1);
    EXPECT_EQ(m.text2, original.text2);
    EXPECT_EQ(m.solverId, u"7b");
    EXPECT_EQ(m.velocityMax, 500.0);
    expectSameEntries(m.primaryEntries, original.primaryEntries);
    expectSameEntries(m.secondaryEntries, original.secondaryEntries);
    EXPECT_EQ(m.strainRougheningValues, original.strainRougheningValues) << "never sorted";
    EXPECT_EQ(m.lubricationAmountValues, (std::vector<double>{1.0, 2.0})) << "sorted";
    EXPECT_EQ(m.directionDependency, 7u);
    EXPECT_EQ(m.workpieceProperties.keys, original.workpieceProperties.keys);
    EXPECT_EQ(m.toolingProperties.values, original.toolingProperties.values);
    EXPECT_TRUE(m.lubricantProperties.keys.empty());

    // The stored axis order changes (now sorted), after that the bytes are stable.
    const auto second = blobOf(m);
    ModulePtr again;
    ASSERT_TRUE(ReadRecordStream(second.data(), static_cast<int32_t>(second.size()), again));
    EXPECT_EQ(blobOf(*again), second);
}

TEST(ModuleRecord, BlobHeadIsTheVersionBlockOfKindThree) {
    Module m = everyField();
    m.identifier = {};
    const auto blob = blobOf(m);
    ASSERT_GE(blob.size(), 36u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(blob[i], 0);
    EXPECT_EQ(getU64(blob, 16), 10u);
    EXPECT_EQ(std::memcmp(blob.data() + 24, "VersionBlk", 10), 0);
    EXPECT_EQ(blob[34], 3);
    EXPECT_EQ(blob[35], 0);
}

TEST(ModuleRecord, GridValuesAreNeverStoredAndStoredOnesAreSkipped) {
    Module m = everyField();
    m.primaryEntries[0].packageData[0].gridValues.assign(625, 1.0);
    const auto blob = blobOf(m);
    EXPECT_EQ(blob, blobOf(everyField()));

    // A package record whose grid value count is 3 followed by 24 bytes reads
    // as if the count were 0.
    RecordWriter w;
    ASSERT_TRUE(recordWriterInit(w));
    PackageData pd = model(2, 5, 1.0);
    ASSERT_TRUE(writeF64Array(w, pd.scales) && writeF64Array(w, pd.weights) &&
                writeF64(w, pd.shape) && writeF64(w, pd.offset) && writeU64(w, pd.factor) &&
                writeU64(w, pd.gridPointCount) && writeU64(w, 3) && writeF64(w, 1.0) &&
                writeF64(w, 2.0) && writeF64(w, 3.0) && writeU64(w, 0xABCD));
    uint64_t length;
    MallocBuffer bytes = recordWriterFinish(w, length);
    RecordReader r;
    recordReaderInit(r, bytes.get(), static_cast<int32_t>(length));
    PackageData out;
    uint64_t after;
    ASSERT_TRUE(ReadPackageData(r, out));
    ASSERT_TRUE(readU64(r, after));
    EXPECT_EQ(after, 0xABCDu);
    EXPECT_TRUE(out.gridValues.empty());
}

TEST(ModuleRecord, MissingSolverIdFallsBackToTheDefault) {
    Module m = everyField();
    auto blob = blobOf(m);
    // Cut the solver id string ("7b": 8 + 2 bytes) out of the blob.
    const size_t solverAt = 36 + 8 + m.text1.size() + 8 + m.text2.size();
    ASSERT_EQ(getU64(blob, solverAt), 2u);
    blob.erase(blob.begin() + static_cast<long>(solverAt),
               blob.begin() + static_cast<long>(solverAt + 10));
    ModulePtr read;
    ASSERT_TRUE(ReadRecordStream(blob.data(), static_cast<int32_t>(blob.size()), read));
    EXPECT_EQ(read->solverId, u"2");
    EXPECT_EQ(read->pressureMin, 0.5);
    EXPECT_EQ(read->pressureMax, 100.0);

    // A first pressure bound of +0.0 reads as an empty solver id instead, and
    // everything after it shifts by eight bytes: this blob no longer reads as
    // the module that was written.
    m.pressureMin = 0.0;
    blob = blobOf(m);
    blob.erase(blob.begin() + static_cast<long>(solverAt),
               blob.begin() + static_cast<long>(solverAt + 10));
    ModulePtr shifted;
    ReadModuleRecord(blob.data(), static_cast<int32_t>(blob.size()), shifted);
    ASSERT_NE(shifted, nullptr) << "the half-read module is handed over at once";
    EXPECT_EQ(shifted->solverId, u"");
    EXPECT_EQ(shifted->pressureMin, 100.0) << "the ranges start eight bytes late";
}

TEST(ModuleRecord, WideUnitsLoseTheirHighByteAndInfinitiesDoNotReadBack) {
    Module m = everyField();
    m.text1 = u"\u0141\u00E9";
    auto blob = blobOf(m);
    ModulePtr read;
    ASSERT_TRUE(ReadRecordStream(blob.data(), static_cast<int32_t>(blob.size()), read));
    EXPECT_EQ(read->text1, u"\u0041\u00E9");

    m.nominalToolRoughness = INFINITY;
    blob = blobOf(m);
    EXPECT_FALSE(ReadRecordStream(blob.data(), static_cast<int32_t>(blob.size()), read));

    m = everyField();
    m.text2 = Text(1001, u'x');
    blob = blobOf(m);
    EXPECT_FALSE(ReadRecordStream(blob.data(), static_cast<int32_t>(blob.size()), read));
}

TEST(ModuleRecord, EmptyListsAreBareZeroCountsAndTrailingBytesAreIgnored) {
    Module m;
    m.name = kVersionBlockName;
    m.formatVersion = 3;
    auto blob = blobOf(m);
    // Head 36, two texts and solver id 24, ranges 64, two entry counts 16,
    // nominal values 24, seven arrays 56, two status words 16, three lists 24.
    EXPECT_EQ(blob.size(), 36u + 24 + 64 + 16 + 24 + 56 + 16 + 24);
    blob.insert(blob.end(), {1, 2, 3, 4, 5});
    ModulePtr read;
    ASSERT_TRUE(ReadRecordStream(blob.data(), static_cast<int32_t>(blob.size()), read));
    EXPECT_TRUE(read->primaryEntries.empty());
    EXPECT_TRUE(read->stateAxis.empty());
}

TEST(ModuleRecord, EveryTruncationFailsWithoutTouchingTheSlotsOwner) {
    const auto blob = blobOf(everyField());
    for (size_t cut = 0; cut < blob.size(); ++cut) {
        MorvexModule* sentinel = reinterpret_cast<MorvexModule*>(0x1234);
        MorvexModule* out = sentinel;
        // The record ends with the third property list: every shorter prefix fails.
        EXPECT_EQ(Morvex_DeserializeModule(blob.data(), static_cast<int32_t>(cut), &out), 0u)
            << cut;
        EXPECT_EQ(out, sentinel);
    }
}

TEST(ModuleRecord, EveryCountForcedHugeFailsCleanly) {
    const Module m = everyField();
    const auto blob = blobOf(m);
    // Walk every 8-byte-aligned-or-not position holding a small count and
    // replace it by huge values; whatever the position means, the read must
    // fail or succeed without crashing, leaking or allocating beyond reason.
    size_t tried = 0;
    for (size_t at = 16; at + 8 <= blob.size(); ++at) {
        const uint64_t v = getU64(blob, at);
        if (v == 0 || v > 20000) continue;
        for (uint64_t huge : {uint64_t{1} << 60, ~uint64_t{0} - 7, uint64_t{1} << 31,
                              uint64_t{0x7FFFFFFFFFFFFFFF}}) {
            auto bad = blob;
            putU64(bad, at, huge);
            MorvexModule* out = nullptr;
            if (Morvex_DeserializeModule(bad.data(), static_cast<int32_t>(bad.size()), &out)) {
                Morvex_FreeModule(out);
            }
            ++tried;
        }
    }
    EXPECT_GT(tried, 40u);

    // Where the count is known to be the primary entry count, it must fail.
    const size_t entryCountAt = 36 + 8 + m.text1.size() + 8 + m.text2.size() + 10 + 64;
    ASSERT_EQ(getU64(blob, entryCountAt), 2u);
    auto bad = blob;
    putU64(bad, entryCountAt, uint64_t{1} << 60);
    MorvexModule* out = nullptr;
    EXPECT_EQ(Morvex_DeserializeModule(bad.data(), static_cast<int32_t>(bad.size()), &out), 0u);
    EXPECT_EQ(out, nullptr);
}
