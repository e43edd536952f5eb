// Faults guarded against: a Sheet record writer whose field order differs
// from the stream layout, a reader that skips the unused items (auxiliary
// values, the counts after the ranges) or gets the item group size wrong, an
// item array allocated from counts the stream cannot back, a parse that
// needs the stream used up, out-of-range numbers let through, and a failed
// parse that still hands out a half-filled record.
#include <gtest/gtest.h>

#include <limits>

#include "records/sheet_record.h"
#include "support/samples.h"

using namespace mx;

namespace {

// What a parse gives, written again; equal to the parsed stream only when the
// reader took every field from its place (the writer is checked separately
// against the layout).
std::vector<uint8_t> rewritten(const std::vector<uint8_t>& bytes) {
    SheetRecord read;
    EXPECT_TRUE(ReadSheetRecord(bytes.data(), static_cast<int32_t>(bytes.size()), read));
    return SheetRecordBytes(read);
}

SheetRecord fullRecord() {
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

TEST(SheetRecord, ReadsBackEveryFieldItWasWrittenWith) {
    auto bytes = SheetRecordBytes(fullRecord());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(rewritten(bytes), bytes);
    // Bytes after the property list are not looked at.
    auto withTail = bytes;
    withTail.insert(withTail.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x00});
    EXPECT_EQ(rewritten(withTail), bytes);
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

TEST(SheetRecord, WriterRefusesAnItemCountTheStreamCannotCarry) {
    SheetRecord r = test::sheetRecordWithItems(6, {1.0, 2.0});
    r.flags = {0, 0, 0, 1};  // now 12 per amount are needed, 12 are there
    EXPECT_TRUE(SheetRecordBytes(r).empty());
    r.sheetItems.pop_back();
    r.flags = {};
    EXPECT_TRUE(SheetRecordBytes(r).empty());
    r = test::sheetRecordWithItems(6, {1.0});
    r.properties = test::propertyList({{u"SheetA", u"1"}});
    r.properties.keys.push_back(u"key without value");
    EXPECT_TRUE(SheetRecordBytes(r).empty());
}

TEST(SheetRecord, EveryTruncationFailsAndLeavesTheOutputAlone) {
    const auto bytes = SheetRecordBytes(fullRecord());
    ASSERT_FALSE(bytes.empty());
    for (size_t length = 0; length < bytes.size(); ++length) {
        SheetRecord out;
        out.text1 = u"untouched";
        ReadFault fault;
        ASSERT_FALSE(ReadSheetRecord(bytes.data(), static_cast<int32_t>(length), out, &fault))
            << length;
        EXPECT_EQ(out.text1, u"untouched") << length;
        EXPECT_GE(fault.offset, 0) << length;
        EXPECT_LE(fault.offset, static_cast<int64_t>(length)) << length;
        // The export fails too and leaves the caller's handle alone.
        EXPECT_FALSE(test::deserialize({bytes.begin(), bytes.begin() + length})) << length;
    }
}

TEST(SheetRecord, ItemCountsBeyondTheStreamFailBeforeAllocating) {
    // 1000 amounts, direction dependent: 12000 items of at least 32 bytes
    // would be needed, and the stream ends right after the amounts.
    SheetRecord r;
    r.flags = {0, 0, 0, 1};
    r.lubricationAmounts.assign(1000, 1.0);
    r.sheetItems.resize(12000);
    auto bytes = SheetRecordBytes(r);
    // Header: 16 + two empty strings + 4 flags + no auxiliary values + four
    // ranges + the counted amounts.
    const size_t amountsEnd = 16 + 8 + 8 + (8 + 4 * 8) + 8 + 4 * 24 + (8 + 1000 * 8);
    ASSERT_GT(bytes.size(), amountsEnd);
    ReadFault fault;
    SheetRecord out;
    EXPECT_FALSE(ReadSheetRecord(bytes.data(), static_cast<int32_t>(amountsEnd), out, &fault));
    EXPECT_EQ(fault.offset, static_cast<int64_t>(amountsEnd));
    EXPECT_NE(fault.what.find("cannot fit"), std::string::npos) << fault.what;

    // 383999 bytes of items are one too few for the 12000 minimal items.
    const size_t oneShort = amountsEnd + 12000 * 32 - 1;
    ASSERT_EQ(bytes.size(), oneShort + 1 + 8);  // + the empty property list
    fault = ReadFault{};
    EXPECT_FALSE(ReadSheetRecord(bytes.data(), static_cast<int32_t>(oneShort), out, &fault));
    EXPECT_EQ(fault.offset, static_cast<int64_t>(amountsEnd));
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
