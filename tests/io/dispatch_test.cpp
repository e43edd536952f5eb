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

uint16_t peek(const std::vector<uint8_t>& stream, bool& ok) {
    uint16_t kind = 0xEEEE;
    ok = PeekRecordKind(stream.data(), static_cast<int32_t>(stream.size()), kind);
    return kind;
}

}  // namespace

TEST(PeekRecordKind, ReadsTheKindAfterAnExactVersionBlock) {
    bool ok;
    EXPECT_EQ(peek(head(u"VersionBlk", {3, 0}), ok), 3);
    EXPECT_TRUE(ok);
    EXPECT_EQ(peek(head(u"VersionBlk", {2, 0}), ok), 2);
    EXPECT_EQ(peek(head(u"VersionBlk", {7, 0, 9}), ok), 7);
    EXPECT_TRUE(ok);
    peek(head(u"VersionBlk", {3}), ok);
    EXPECT_FALSE(ok) << "the kind is cut short";
}

TEST(PeekRecordKind, AnythingElseIsASheetRecord) {
    bool ok;
    for (const Text& name : {Text(u"versionblk"), Text(u"VersionBl"), Text(u"VersionBlkX"),
                             Text(u""), Text(u"Sheet")}) {
        EXPECT_EQ(peek(head(name, {3, 0}), ok), kSheetRecord);
        EXPECT_TRUE(ok);
    }
    std::vector<uint8_t> justHead(16, 0);
    EXPECT_EQ(peek(justHead, ok), kSheetRecord);
    EXPECT_TRUE(ok);
    std::vector<uint8_t> overLong(24, 0);
    overLong[16 + 1] = 0x04;  // a string count of 1024
    EXPECT_EQ(peek(overLong, ok), kSheetRecord);
    EXPECT_TRUE(ok);
    std::vector<uint8_t> tooShort(15, 0);
    peek(tooShort, ok);
    EXPECT_FALSE(ok);
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
