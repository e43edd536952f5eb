// Faults guarded against: a version block matched loosely (case, length), a
// stream without one not taken as a Sheet record, unknown kinds reaching a
// handler or touching the module slot, and a short head read past its end.
#include <gtest/gtest.h>

#include "io/dispatch.h"
#include "stream/record_writer.h"

using namespace mx;

namespace {

std::vector<uint8_t> head(const Text& name, const std::vector<uint8_t>& after = {}) {
    RecordWriter w;
    EXPECT_TRUE(recordWriterInit(w));
    const uint8_t identifier[16] = {};
    EXPECT_TRUE(writeBytes(w, identifier, 16) && writeString(w, name));
    for (uint8_t b : after)
        EXPECT_TRUE(writeU8(w, b));
    uint64_t length;
    MallocBuffer bytes = recordWriterFinish(w, length);
    return std::vector<uint8_t>(bytes.get(), bytes.get() + length);
}

}  // namespace

TEST(PeekRecordKind, ReadsTheKindAfterAnExactVersionBlockAndTakesAnythingElseAsSheet) {
    std::vector<uint8_t> overLong(24, 0);
    overLong[16 + 1] = 0x04;  // a string count of 1024
    const struct {
        std::vector<uint8_t> stream;
        bool ok;
        uint16_t kind;
    } cases[] = {
        {head(u"VersionBlk", {3, 0}), true, 3},
        {head(u"VersionBlk", {2, 0}), true, 2},
        {head(u"VersionBlk", {7, 0, 9}), true, 7},
        {head(u"VersionBlk", {3}), false, 0},  // the kind is cut short
        {head(u"versionblk", {3, 0}), true, kSheetRecord},
        {head(u"VersionBl", {3, 0}), true, kSheetRecord},
        {head(u"VersionBlkX", {3, 0}), true, kSheetRecord},
        {head(u"", {3, 0}), true, kSheetRecord},
        {head(u"Sheet", {3, 0}), true, kSheetRecord},
        {std::vector<uint8_t>(16, 0), true, kSheetRecord},
        {overLong, true, kSheetRecord},
        {std::vector<uint8_t>(15, 0), false, 0},
    };
    for (const auto& c : cases) {
        uint16_t kind = 0xEEEE;
        EXPECT_EQ(PeekRecordKind(c.stream.data(), static_cast<int32_t>(c.stream.size()), kind),
                  c.ok)
            << (&c - cases);
        EXPECT_EQ(c.ok ? kind : uint16_t{0}, c.kind) << (&c - cases);
    }
}

TEST(DispatchRecord, UnknownKindsFailWithTheSlotUntouched) {
    const auto stream = head(u"VersionBlk", {3, 0});
    for (int16_t kind : {int16_t{0}, int16_t{4}, int16_t{7}, int16_t{-32765}}) {
        ModulePtr slot = std::make_unique<Module>();
        Module* before = slot.get();
        slot->text1 = u"kept";
        ReadFault fault;
        EXPECT_FALSE(
            DispatchRecord(kind, stream.data(), static_cast<int32_t>(stream.size()), slot, &fault));
        EXPECT_EQ(slot.get(), before);
        EXPECT_EQ(slot->text1, u"kept");
        EXPECT_NE(fault.what.find("unknown record kind"), std::string::npos);
    }
    MorvexModule* out = nullptr;
    const auto seven = head(u"VersionBlk", {7, 0});
    EXPECT_EQ(Morvex_DeserializeModule(seven.data(), static_cast<int32_t>(seven.size()), &out), 0u);
    EXPECT_EQ(out, nullptr);
}
