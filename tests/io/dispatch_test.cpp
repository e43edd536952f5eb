// Faults guarded against: a version block matched loosely (case, length), a
// stream without one not taken as a Sheet record, unknown kinds reaching a
// handler or touching the module slot (or a fault that is not there), a short
// head read past its end, and a name compared beyond its first zero unit.
#include <gtest/gtest.h>

#include "io/dispatch.h"
#include "support/samples.h"

using namespace mx;
using test::Bytes;

namespace {

// A record head: the 16-byte identifier, `name` as the version block name,
// then `after`.
Bytes head(const std::string& name, const Bytes& after = {}) {
    Bytes b = test::StreamBytes{Bytes(16, 0)}.u64(name.size()).b;
    b.insert(b.end(), name.begin(), name.end());
    b.insert(b.end(), after.begin(), after.end());
    return b;
}

}  // namespace

TEST(PeekRecordKind, ReadsTheKindAfterAnExactVersionBlockAndTakesAnythingElseAsSheet) {
    const struct {
        Bytes stream;
        bool ok;
        uint16_t kind;
    } cases[] = {
        {head("VersionBlk", {3, 0}), true, 3},
        {head("VersionBlk", {7, 0, 9}), true, 7},
        {head("VersionBlk", {3}), false, 0},             // the kind is cut short
        {head({"VersionBlk\0X", 12}, {3, 0}), true, 3},  // a zero ends the name
        {head("versionblk", {3, 0}), true, kSheetRecord},
        {head("VersionBl", {3, 0}), true, kSheetRecord},
        {head("VersionBlkX", {3, 0}), true, kSheetRecord},
        {head("", {3, 0}), true, kSheetRecord},
        {Bytes(16, 0), true, kSheetRecord},
        {test::StreamBytes{Bytes(16, 0)}.u64(1024).b, true, kSheetRecord},  // no string
        {Bytes(15, 0), false, 0},
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
    const Bytes stream = head("VersionBlk", {3, 0});
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
    // Through the export, which asks for no fault.
    MorvexModule* out = nullptr;
    const Bytes seven = head("VersionBlk", {7, 0});
    EXPECT_EQ(Morvex_DeserializeModule(seven.data(), static_cast<int32_t>(seven.size()), &out), 0u);
    EXPECT_EQ(out, nullptr);
}
