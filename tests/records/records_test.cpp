// Faults guarded against: a Sheet or Lubricant record reader or writer whose
// field order differs from the stream layout, a reader that skips the unused
// items (auxiliary values, the counts after the ranges), gets the item group
// size wrong, rejects an unexpected tag or kind, or needs the stream used up;
// out-of-range numbers let through; writers that accept what a reader would
// misread; and, for every record kind, a cut stream that is accepted or
// writes the caller's handle; item groups allocated before the stream is
// known to hold them (other counts beyond the stream are the hardening tests'
// business).
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
// reader took every field from its place and the writer put it back there.
Bytes rewritten(const Bytes& bytes, bool sheet) {
    SheetRecord s;
    LubricantRecord l;
    const auto n = static_cast<int32_t>(bytes.size());
    EXPECT_TRUE(sheet ? ReadSheetRecord(bytes.data(), n, s)
                      : ReadLubricantRecord(bytes.data(), n, l));
    return sheet ? SheetRecordBytes(s) : LubricantRecordBytes(l);
}

}  // namespace

TEST(MaterialRecords, StreamsSpelledOutReadAndWriteBackUnchangedIgnoringTrailingBytes) {
    // Sheet: five flags whose fourth makes groups of 12, unused auxiliary
    // values and counts, item 0 with empty arrays, an empty property.
    test::StreamBytes sheet;
    sheet.b.assign(16, 0x11);
    sheet.str("ab").str("").u64(5).u64(9).u64(8).u64(7).u64(6).u64(5).u64(2).f64(0.25).f64(-3.5);
    sheet.f64(1.0).f64(100.0).u64(11).f64(0.0).f64(0.5).u64(12);
    sheet.f64(20.0).f64(200.0).u64(13).f64(10.0).f64(500.0).u64(14);
    sheet.u64(1).f64(2.5);                  // lubrication amounts
    sheet.f64(0.0).f64(0.5).u64(0).u64(0);  // item 0: offset, shape, two empty arrays
    for (int k = 1; k < 12; ++k) {  // offset k, shape k + 0.5, scales {k, 1, 2, 3}, weights {10k}
        sheet.f64(k).f64(k + 0.5).u64(4).f64(k).f64(1.0).f64(2.0).f64(3.0);
        sheet.u64(1).f64(10.0 * k);
    }
    sheet.u64(2).str("SheetGrade").str("DX56").str("").str("");  // properties
    // Lubricant: an unexpected tag and kind are read and kept, not rejected.
    test::StreamBytes lubricant;
    lubricant.b.assign(16, 0x22);
    lubricant.str("versionblk").u16(9).str("t1").str("t2");
    for (double v : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0})
        lubricant.f64(v);
    lubricant.u64(0);                                                    // primary entries
    lubricant.u64(1).u64(0).u64(0).f64(0.1).f64(0.2).f64(0.3).f64(0.4);  // secondary
    lubricant.f64(9.0).f64(10.0).f64(11.0);
    lubricant.u64(1).f64(0.1).u64(1).f64(0.2).u64(0).u64(2).f64(0.4).f64(0.5);
    lubricant.u64(7).u64(3);
    lubricant.u64(0).u64(1).str("LubricantA").str("x").u64(0);
    const std::pair<Bytes, bool> cases[] = {
        {sheet.b, true},
        {lubricant.b, false},
        {LubricantRecordBytes(test::sampleLubricantRecord()), false}};
    for (const auto& [bytes, isSheet] : cases) {
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(rewritten(bytes, isSheet), bytes);
        Bytes withTail = bytes;
        withTail.insert(withTail.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x00});
        EXPECT_EQ(rewritten(withTail, isSheet), bytes);
    }
}

TEST(SheetRecord, GroupSizeFollowsTheFourthFlagAndWritersRefuseWhatReadersWouldMisread) {
    using Flags = std::initializer_list<std::vector<uint64_t>>;
    SheetRecord r;
    // Fewer than four flags, a zero fourth flag, a later nonzero flag: six.
    for (const auto& flags : Flags{{}, {1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 0, 9}}) {
        r.flags = flags;
        EXPECT_EQ(itemGroupSize(r), 6) << flags.size();
    }
    for (const auto& flags : Flags{{0, 0, 0, 1}, {0, 0, 0, 2, 0}, {0, 0, 0, ~0ull}}) {
        r.flags = flags;
        EXPECT_EQ(itemGroupSize(r), 12) << flags.size();
    }
    r = test::sheetRecordWithItems(6, {1.0, 2.0});
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

TEST(SheetRecord, OutOfRangeNumbersFailTheParseEvenInUnusedFields) {
    // Which values are out of range is the reader's business; here every
    // number of the record must go through its check.
    for (bool inAuxiliary : {false, true}) {
        SheetRecord r = test::sheetRecordWithItems(6, {1.0, 2.0});
        (inAuxiliary ? r.auxiliaryValues.emplace_back() : r.sheetItems[11].shape) =
            std::numeric_limits<double>::infinity();
        const auto bytes = SheetRecordBytes(r);
        SheetRecord out;
        EXPECT_FALSE(ReadSheetRecord(bytes.data(), static_cast<int32_t>(bytes.size()), out))
            << inAuxiliary;
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
