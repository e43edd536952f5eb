// Faults guarded against: a Sheet or Lubricant record writer whose field order
// differs from the stream layout, a reader that skips the unused items
// (auxiliary values, the counts after the ranges), gets the item group size
// wrong, rejects an unexpected tag or kind, or needs the stream used up; out-of-
// range numbers let through; writers that accept what a reader would misread;
// and, for every record kind, a cut stream that is accepted or writes the
// caller's handle; item groups allocated before the stream is known to hold
// them (other counts beyond the stream are the hardening tests' business).
#include <gtest/gtest.h>

#include <limits>

#include "io/dispatch.h"
#include "records/lubricant_record.h"
#include "records/sheet_record.h"
#include "support/samples.h"

using namespace mx;
using test::Bytes;

namespace {

// What a parse gives, written again: equal to the parsed stream only when the
// reader took every field from its place (the writers are checked against the
// layout separately).
Bytes rewritten(const Bytes& bytes, bool sheet) {
    SheetRecord s;
    LubricantRecord l;
    const auto n = static_cast<int32_t>(bytes.size());
    EXPECT_TRUE(sheet ? ReadSheetRecord(bytes.data(), n, s)
                      : ReadLubricantRecord(bytes.data(), n, l));
    return sheet ? SheetRecordBytes(s) : LubricantRecordBytes(l);
}

SheetRecord fullSheet() {
    SheetRecord r = test::sheetRecordWithItems(12, {0.8, 1.6});
    r.identifier = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    r.flags = {9, 8, 7, 6, 5};
    r.auxiliaryValues = {0.25, -3.5};
    r.pressureCount = 11;
    r.strainCount = 12;
    r.temperatureCount = 13;
    r.velocityCount = 14;
    r.sheetItems[5].scales.clear();
    r.sheetItems[7].weights = {1.0, 2.0, 3.0};
    r.properties = test::propertyList({{u"SheetGrade", u"DX56"}, {u"", u""}, {u"k", u"0.5"}});
    return r;
}

}  // namespace

TEST(SheetRecord, WriterFollowsTheStreamLayout) {
    SheetRecord r = test::sheetRecordWithItems(6, {2.5});
    r.identifier.fill(0x11);
    r.text1 = u"ab";
    r.text2 = u"";
    r.flags = {4, 0};
    r.auxiliaryValues = {0.5};
    r.pressureCount = 3, r.strainCount = 6, r.temperatureCount = 9, r.velocityCount = 12;
    r.sheetItems[0].scales = {};
    r.sheetItems[0].weights = {};
    r.properties = test::propertyList({{u"K", u"V"}});
    test::StreamBytes expected;
    expected.b.assign(16, 0x11);
    expected.str("ab").str("").u64(2).u64(4).u64(0).u64(1).f64(0.5);
    expected.f64(1.0).f64(100.0).u64(3).f64(0.0).f64(0.5).u64(6);
    expected.f64(20.0).f64(200.0).u64(9).f64(10.0).f64(500.0).u64(12);
    expected.u64(1).f64(2.5);                  // lubrication amounts
    expected.f64(0.0).f64(0.5).u64(0).u64(0);  // item 0: offset, shape, two empty arrays
    for (int k = 1; k < 6; ++k) {  // offset k, shape k + 0.5, scales {k, 1, 2, 3}, weights {10k}
        expected.f64(k).f64(k + 0.5).u64(4).f64(k).f64(1.0).f64(2.0).f64(3.0);
        expected.u64(1).f64(10.0 * k);
    }
    expected.u64(1).str("K").str("V");  // properties
    EXPECT_EQ(SheetRecordBytes(r), expected.b);
}

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

TEST(MaterialRecords, ReadBackEveryFieldAndIgnoreTrailingBytes) {
    // An unexpected tag and kind are read and kept, not rejected.
    LubricantRecord odd;
    odd.name = u"versionblk";
    odd.formatVersion = 9;
    const std::pair<Bytes, bool> cases[] = {
        {SheetRecordBytes(fullSheet()), true},
        {LubricantRecordBytes(test::sampleLubricantRecord()), false},
        {LubricantRecordBytes(odd), false}};
    for (const auto& [bytes, sheet] : cases) {
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(rewritten(bytes, sheet), bytes);
        Bytes withTail = bytes;
        withTail.insert(withTail.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x00});
        EXPECT_EQ(rewritten(withTail, sheet), bytes);
    }
}

TEST(SheetRecord, GroupSizeFollowsTheFourthFlag) {
    const std::pair<std::vector<uint64_t>, int32_t> cases[] = {
        {{}, 6},
        {{1, 1, 1}, 6},  // fewer than four flags
        {{0, 0, 0, 0}, 6},
        {{0, 0, 0, 0, 9}, 6},  // a later flag does not count
        {{0, 0, 0, 1}, 12},
        {{0, 0, 0, 2, 0}, 12},  // any nonzero value
        {{0, 0, 0, ~0ull}, 12},
    };
    for (const auto& [flags, size] : cases) {
        SheetRecord r;
        r.flags = flags;
        EXPECT_EQ(itemGroupSize(r), size) << flags.size();
    }
}

TEST(MaterialRecords, WritersRefuseWhatTheReadersWouldMisread) {
    SheetRecord r = test::sheetRecordWithItems(6, {1.0, 2.0});
    r.flags = {0, 0, 0, 1};  // now 12 per amount are needed, 12 are there
    EXPECT_TRUE(SheetRecordBytes(r).empty());
    r.sheetItems.pop_back();
    r.flags = {};
    EXPECT_TRUE(SheetRecordBytes(r).empty());
    LubricantRecord l;
    l.toolingProperties.keys = {u"ToolingA", u"ToolingB"};
    l.toolingProperties.values = {u"a"};
    EXPECT_TRUE(LubricantRecordBytes(l).empty());
}

TEST(SheetRecord, ItemCountsBeyondTheStreamFailBeforeAllocating) {
    // 1000 amounts, direction dependent: 12000 items of at least 32 bytes are
    // needed. One byte short of them, the parse fails where the items start.
    SheetRecord r;
    r.flags = {0, 0, 0, 1};
    r.lubricationAmounts.assign(1000, 1.0);
    r.sheetItems.resize(12000);
    const Bytes bytes = SheetRecordBytes(r);
    const size_t itemsAt = bytes.size() - 8 - 12000 * 32;  // the property count follows them
    ReadFault fault;
    SheetRecord out;
    EXPECT_FALSE(
        ReadSheetRecord(bytes.data(), static_cast<int32_t>(bytes.size() - 9), out, &fault));
    EXPECT_EQ(fault.offset, static_cast<int64_t>(itemsAt));
    EXPECT_NE(fault.what.find("cannot fit"), std::string::npos) << fault.what;
}

TEST(SheetRecord, OutOfRangeNumbersFailTheParse) {
    const double inf = std::numeric_limits<double>::infinity();
    const double max = std::numeric_limits<double>::max();
    for (double bad : {inf, -inf, max, -max}) {
        for (bool inAuxiliary : {false, true}) {
            SheetRecord r = test::sheetRecordWithItems(6, {1.0, 2.0});
            if (inAuxiliary)
                r.auxiliaryValues = {0.0, bad};  // unused, but read and checked
            else
                r.sheetItems[11].shape = bad;  // inside the last item
            const auto bytes = SheetRecordBytes(r);
            SheetRecord out;
            EXPECT_FALSE(ReadSheetRecord(bytes.data(), static_cast<int32_t>(bytes.size()), out))
                << bad << inAuxiliary;
        }
    }
}

TEST(RecordStreams, EveryTruncationFailsWithTheFaultInsideAndTheHandleUntouched) {
    for (const char* name : {"sample", "sheet-12", "lubricant"}) {
        const Bytes bytes = test::SampleStreamBytes(name);
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(cut));
            const Bytes part(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut));
            ModulePtr slot;
            ReadFault fault;
            ASSERT_FALSE(ReadRecordStream(part.data(), static_cast<int32_t>(cut), slot, &fault));
            EXPECT_GE(fault.offset, 0);
            EXPECT_LE(fault.offset, static_cast<int64_t>(cut));
            // deserialize() checks that the export leaves the handle alone.
            EXPECT_FALSE(test::deserialize(part));
        }
    }
}
