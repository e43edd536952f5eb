// Faults guarded against: a module record that does not read back into the
// same persisted fields (the second blob differs by a byte), a head other than
// the version block of kind 3, grid values leaking into blobs or stored ones
// not skipped, the optional solver id read at the wrong place, numbers read
// without their range checks. Cut streams and hostile counts are
// swept for every record kind elsewhere.
#include <gtest/gtest.h>

#include <cmath>

#include "serialize/module_record.h"
#include "serialize/sub_records.h"
#include "support/samples.h"

using namespace mx;
using test::SampleModule;
using test::WriteBlob;

TEST(ModuleRecord, PersistedFieldsSurviveAndTheSecondBlobIsIdentical) {
    // Axes unsorted, status lists unsorted, signed factors, empty arrays.
    const Module original = SampleModule(0);
    ModulePtr m = test::deserialize(WriteBlob(original));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->lubricationAmountValues, (std::vector<double>{1.0, 2.0})) << "sorted";
    EXPECT_EQ(m->strainRougheningValues, original.strainRougheningValues) << "never sorted";
    // With the axes sorted as the reader sorts them, the blobs agree byte for
    // byte: every persisted field came back from its place.
    Module sorted = SampleModule(0);
    sorted.lubricationAmountValues = {1.0, 2.0};
    sorted.sheetRoughnessValues = {0.8, 1.2};
    EXPECT_EQ(WriteBlob(*m), WriteBlob(sorted));
    // Numbers go through their range check (string lengths: the hardening
    // tests).
    sorted.nominalToolRoughness = INFINITY;
    EXPECT_FALSE(test::deserialize(WriteBlob(sorted)));
    // Entries without packages or curves are 48 bytes each, packages without
    // data 56; the count checks before allocating must let a stream of many
    // of them through.
    sorted.nominalToolRoughness = 0.0;
    sorted.primaryEntries.assign(4000, TableEntry{});
    sorted.primaryEntries.back().packageData.assign(4000, PackageData{});
    EXPECT_TRUE(test::deserialize(WriteBlob(sorted)));
}

TEST(ModuleRecord, GridValuesAreNeverStoredAndStoredOnesAreSkipped) {
    Module m = SampleModule(0);
    m.primaryEntries[0].packageData[0].gridValues.assign(625, 1.0);
    EXPECT_EQ(WriteBlob(m), WriteBlob(SampleModule(0)));

    // A package record whose grid value count is 3 followed by the 24 bytes
    // that end the stream reads as if the count were 0.
    test::StreamBytes b;
    b.u64(1).f64(1.0).u64(1).f64(2.0).f64(0.25).f64(-1.0).u64(1).u64(5);
    b.u64(3).f64(1.0).f64(2.0).f64(3.0);
    RecordReader r;
    recordReaderInit(r, b.b.data(), static_cast<int32_t>(b.b.size()));
    PackageData out;
    ASSERT_TRUE(ReadPackageData(r, out));
    EXPECT_EQ(r.cursor, r.end);
    EXPECT_TRUE(out.gridValues.empty());
    EXPECT_EQ(out.gridPointCount, 5u);
}

TEST(ModuleRecord, MissingSolverIdFallsBackToTheDefault) {
    Module m = SampleModule(0);
    m.pressureMin = 0.5;
    ModulePtr read = test::deserialize(test::BlobWithoutSolverId(m));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->solverId, u"2");
    EXPECT_EQ(read->pressureMin, 0.5);
    EXPECT_EQ(read->pressureMax, m.pressureMax);

    // A first pressure bound of +0.0 reads as an empty solver id instead, and
    // everything after it shifts by eight bytes.
    m.pressureMin = 0.0;
    const auto blob = test::BlobWithoutSolverId(m);
    ModulePtr shifted;
    ReadModuleRecord(blob.data(), static_cast<int32_t>(blob.size()), shifted);
    ASSERT_NE(shifted, nullptr) << "the half-read module is handed over at once";
    EXPECT_EQ(shifted->solverId, u"");
    EXPECT_EQ(shifted->pressureMin, m.pressureMax) << "the ranges start eight bytes late";
}

TEST(ModuleRecord, HeadIsTheVersionBlockOfKindThreeAndEmptyListsAreBareCounts) {
    Module m;
    m.name = kVersionBlockName;
    m.formatVersion = 3;
    auto blob = WriteBlob(m);
    test::StreamBytes head;
    head.b.assign(16, 0);
    head.str("VersionBlk").u16(3);
    ASSERT_GE(blob.size(), 36u);
    EXPECT_TRUE(std::equal(head.b.begin(), head.b.end(), blob.begin()));
    // Head 36, two texts and solver id 24, ranges 64, two entry counts 16,
    // nominal values 24, seven arrays 56, two status words 16, three lists 24.
    EXPECT_EQ(blob.size(), 36u + 24 + 64 + 16 + 24 + 56 + 16 + 24);
    blob.insert(blob.end(), {1, 2, 3, 4, 5});  // trailing bytes are ignored
    ModulePtr read = test::deserialize(blob);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->primaryEntries.empty());
}
