// Faults guarded against: a Lubricant record writer or reader whose field
// order differs from the stream layout (version block, ranges, entries,
// nominal values, axes, status words, three property lists), a reader that
// rejects an unexpected tag or kind, a parse that needs the stream used up,
// entry counts that allocate beyond the stream, and a failed parse that hands
// out a half-filled record.
#include <gtest/gtest.h>

#include "records/lubricant_record.h"
#include "support/samples.h"

using namespace mx;

namespace {

// What a parse gives, written again (see the Sheet record tests).
std::vector<uint8_t> rewritten(const std::vector<uint8_t>& bytes) {
    LubricantRecord read;
    EXPECT_TRUE(ReadLubricantRecord(bytes.data(), static_cast<int32_t>(bytes.size()), read));
    return LubricantRecordBytes(read);
}

}  // namespace

TEST(LubricantRecord, WriterFollowsTheStreamLayout) {
    LubricantRecord l;
    l.identifier.fill(0x22);
    l.text1 = u"t1";
    l.text2 = u"t2";
    l.pressureMin = 1.0, l.pressureMax = 2.0, l.strainMin = 3.0, l.strainMax = 4.0;
    l.temperatureMin = 5.0, l.temperatureMax = 6.0, l.velocityMin = 7.0, l.velocityMax = 8.0;
    TableEntry e;  // no packages, no curves: 48 bytes
    e.stateValue = 0.1, e.sheetRoughness = 0.2, e.lubricationAmount = 0.3, e.toolRoughness = 0.4;
    l.secondaryEntries = {e};
    l.nominalSheetRoughness = 9.0, l.nominalLubricationAmount = 10.0, l.nominalToolRoughness = 11.0;
    l.stateAxis = {0.1};
    l.sheetRoughnessValues = {0.2};
    l.toolRoughnessValues = {0.4, 0.5};
    l.directionDependency = 7;
    l.heatTransferStatus = 3;
    l.lubricantProperties = test::propertyList({{u"LubricantA", u"x"}});

    test::StreamBytes expected;
    expected.b.assign(16, 0x22);
    expected.str("VersionBlk").u16(2).str("t1").str("t2");
    for (double v : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0})
        expected.f64(v);
    expected.u64(0);                                                    // primary entries
    expected.u64(1).u64(0).u64(0).f64(0.1).f64(0.2).f64(0.3).f64(0.4);  // secondary
    expected.f64(9.0).f64(10.0).f64(11.0);
    expected.u64(1).f64(0.1).u64(1).f64(0.2).u64(0).u64(2).f64(0.4).f64(0.5);
    expected.u64(7).u64(3);
    expected.u64(0).u64(1).str("LubricantA").str("x").u64(0);
    EXPECT_EQ(LubricantRecordBytes(l), expected.b);
}

TEST(LubricantRecord, ReadsBackEveryFieldItWasWrittenWith) {
    const auto bytes = LubricantRecordBytes(test::sampleLubricantRecord());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(rewritten(bytes), bytes);
    auto withTail = bytes;
    withTail.insert(withTail.end(), {1, 2, 3});  // trailing bytes are ignored
    EXPECT_EQ(rewritten(withTail), bytes);
    // An unexpected tag and kind are read and kept, not rejected.
    LubricantRecord odd;
    odd.name = u"versionblk";
    odd.formatVersion = 9;
    EXPECT_EQ(rewritten(LubricantRecordBytes(odd)), LubricantRecordBytes(odd));
}

TEST(LubricantRecord, EveryTruncationFailsAndLeavesTheOutputAlone) {
    const auto bytes = LubricantRecordBytes(test::sampleLubricantRecord());
    for (size_t length = 0; length < bytes.size(); ++length) {
        LubricantRecord out;
        out.text1 = u"untouched";
        ASSERT_FALSE(ReadLubricantRecord(bytes.data(), static_cast<int32_t>(length), out))
            << length;
        EXPECT_EQ(out.text1, u"untouched") << length;
        EXPECT_TRUE(out.primaryEntries.empty()) << length;
        EXPECT_FALSE(test::deserialize({bytes.begin(), bytes.begin() + length})) << length;
    }
}

TEST(LubricantRecord, EntryCountsBeyondTheStreamFail) {
    test::StreamBytes b;
    b.b.assign(16, 0);
    b.str("VersionBlk").u16(2).str("").str("");
    for (int i = 0; i < 8; ++i)
        b.f64(0.0);
    b.u64(uint64_t{1} << 40);  // a trillion entries of at least 48 bytes each
    b.b.resize(b.b.size() + 4800, 0);
    LubricantRecord out;
    ReadFault fault;
    EXPECT_FALSE(ReadLubricantRecord(b.b.data(), static_cast<int32_t>(b.b.size()), out, &fault));
    EXPECT_NE(fault.what.find("cannot fit"), std::string::npos) << fault.what;
}

TEST(LubricantRecord, WriterRefusesUnpairedProperties) {
    LubricantRecord l;
    l.toolingProperties.keys = {u"ToolingA", u"ToolingB"};
    l.toolingProperties.values = {u"a"};
    EXPECT_TRUE(LubricantRecordBytes(l).empty());
}
