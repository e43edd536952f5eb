// Faults guarded against: a digest over the wrong range (trailer included,
// blocks read past the limit, the last block not shortened), bytes after the
// end marker left unprotected or read, a preamble or chunk walk that reads the
// wrong bytes, record chunk lengths (negative, not whole blocks, beyond the
// file) not refused, skipped chunks of odd lengths mishandled, faults that
// name the wrong chunk or offset, the wrong module kept when a file holds
// several, the caller's handle written on failure, paths mangled on the way
// to the open. Digest state shared between loads is the concurrency test's
// business, allocations sized by chunk lengths the hostile size test's.
#include <gtest/gtest.h>

#include <filesystem>

#include "io/data_file.h"
#include "io/dispatch.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

namespace {

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes header(int16_t type, uint16_t kind, int32_t length) {
    Bytes b;
    putHeader(b, type, kind, length);
    return b;
}

// A record chunk holding `stream`, encrypted.
Bytes record(uint16_t kind, const Bytes& stream) {
    const Bytes sealed = sealRecord(stream);
    return header(2, kind, static_cast<int32_t>(sealed.size())) + sealed;
}

const Bytes kEnd = header(3, 0, 0);

// Preamble `pre` + 0x03, then `chunks` as given, and no trailer yet.
Bytes bodyWith(const Bytes& pre, const Bytes& chunks) {
    return pre + Bytes{0x03} + chunks;
}

struct Outcome {
    bool loaded = false;
    ModulePtr module;
    LoadFault fault;
    bool untouched = false;  // on failure: the sentinel is still in place
};

Outcome load(const std::string& path) {
    Outcome o;
    ModulePtr sentinel = std::make_unique<Module>();
    Module* const before = sentinel.get();
    o.loaded = LoadDataFile(path.c_str(), sentinel, &o.fault);
    if (o.loaded)
        o.module = std::move(sentinel);
    else
        o.untouched = sentinel.get() == before;
    return o;
}

class DataFileLoad : public ::testing::Test {
  protected:
    Outcome loadBytes(const Bytes& file, const std::string& name = "file.mxd") {
        return load(dir.write(name, file));
    }
    ScratchDir dir;
};

}  // namespace

TEST_F(DataFileLoad, TheLastRecordChunkGivesTheModuleItsStreamDeserializesTo) {
    // A Sheet record has no version block, so only the chunk header names its
    // kind; a Lubricant record's own block agrees with its chunk header.
    const Bytes sheet = SheetRecordBytes(test::sheetRecordWithItems(12, {0.5, 2.0, 1.0}));
    const Bytes lubricant = LubricantRecordBytes(test::sampleLubricantRecord());
    const Bytes a = WriteBlob(SampleModule(0)), b = WriteBlob(SampleModule(1));
    // Skipped chunks: 3000 bytes read as 1024 + 1024 + 952 (a 0x03 among
    // them), a zero and a negative length (nothing to skip), exactly 1024.
    Bytes skipped = header(5, 0, 3000) + Bytes(3000, 0x03) + header(0, 2, 0) + header(-7, 1, -40) +
                    header(1, 0, 1024) + Bytes(1024, 0x02);
    const struct {
        Bytes chunks;
        bool loads;
        const Bytes* expected;  // null: no module
    } cases[] = {
        {record(kModuleRecord, a), true, &a},
        {record(kSheetRecord, sheet), true, &sheet},
        {record(kLubricantRecord, lubricant), true, &lubricant},
        {record(kModuleRecord, a) + record(kSheetRecord, sheet) + record(kModuleRecord, b), true,
         &b},
        {record(kModuleRecord, b) + record(kLubricantRecord, lubricant), true, &lubricant},
        {skipped + record(kModuleRecord, b), true, &b},
        {{}, true, nullptr},
        {record(kModuleRecord, sheet), false, nullptr},  // the chunk's kind decides
        {record(kModuleRecord, a) + record(7, b), false, nullptr},
        // A second 0x03 after the preamble's is the first byte of a chunk header.
        {Bytes{0x03} + record(kModuleRecord, a), false, nullptr},
    };
    for (const auto& c : cases) {
        Outcome o = loadBytes(signFile(bodyWith({'M', 'X', 0x00, 0xFF}, c.chunks + kEnd)));
        ASSERT_EQ(o.loaded, c.loads) << (&c - cases) << ": " << o.fault.what;
        ASSERT_EQ(bool(o.module), c.expected != nullptr);
        EXPECT_EQ(o.untouched, !c.loads);
        if (!c.expected) continue;
        // The stream read and finalized as Morvex_DeserializeModule does.
        ModulePtr expected;
        ASSERT_TRUE(ReadRecordStream(c.expected->data(), static_cast<int32_t>(c.expected->size()),
                                     expected));
        ExpectSameModule(*o.module, *expected);
    }
}

TEST_F(DataFileLoad, DigestCoversExactlyEverythingBeforeTheTrailer) {
    // Bodies around the 2048-byte block size: a preamble of every byte value
    // but 0x03, then 0x03 and the end marker.
    for (size_t bodySize : {2047u, 2048u, 2049u, 4096u, 4097u}) {
        Bytes pre(bodySize - 9);
        for (size_t i = 0; i < pre.size(); ++i)
            pre[i] = static_cast<uint8_t>(i % 256 == 3 ? 4 : i % 256);
        const Bytes file = signFile(bodyWith(pre, kEnd));
        ASSERT_EQ(file.size(), bodySize + 16);
        Outcome o = loadBytes(file);
        EXPECT_TRUE(o.loaded) << bodySize << ": " << o.fault.what;
    }
    for (size_t size = 0; size < 16; ++size) {
        Outcome o = loadBytes(Bytes(size, 0x03));
        EXPECT_FALSE(o.loaded);
        EXPECT_TRUE(o.untouched);
        EXPECT_EQ(o.fault.what, "file shorter than its 16-byte MD5 trailer");
    }
    // The digest of nothing passes; the empty body then has no preamble end.
    Outcome o = loadBytes(signFile({}));
    EXPECT_FALSE(o.loaded);
    EXPECT_EQ(o.fault.what, "no 0x03 ends the preamble");
    // 2 GiB or more are refused before hashing (a sparse file: no disk space
    // is used). Where long has 32 bits (Windows), ftell itself cannot give
    // such a size.
    const std::string huge = dir.write("huge.mxd", {});
    std::error_code error;
    std::filesystem::resize_file(huge, (uint64_t{1} << 31) + 16, error);
    if (error) GTEST_SKIP() << "no sparse file: " << error.message();
    o = load(huge);
    EXPECT_FALSE(o.loaded);
    EXPECT_EQ(o.fault.what,
              sizeof(long) > 4 ? "file of 2 GiB or more" : "cannot find the size of the file");
}

TEST_F(DataFileLoad, EveryFlippedByteAndEveryCutFailsCleanly) {
    // After the end marker: three signed bytes, too short for a chunk header,
    // so a walk that went on reading would fail the load.
    const Bytes body =
        bodyWith({'h', 'd', 'r'}, header(9, 0, 5) + Bytes{1, 2, 3, 4, 5} +
                                      record(kModuleRecord, WriteBlob(TinyModule())) + kEnd +
                                      Bytes{0xEE, 0xEE, 0xEE});
    const Bytes good = signFile(body);
    ASSERT_TRUE(loadBytes(good).loaded);
    for (size_t i = 0; i < good.size(); ++i) {
        Bytes bad = good;
        bad[i] ^= 0x01;
        Outcome o = loadBytes(bad);
        ASSERT_FALSE(o.loaded) << "byte " << i;
        EXPECT_TRUE(o.untouched);
        EXPECT_EQ(o.fault.what, "MD5 trailer mismatch") << "byte " << i;
        EXPECT_EQ(o.fault.offset, static_cast<int64_t>(good.size() - 16));
    }
    // Cut bodies with a fresh, matching trailer reach the chunk walk, which
    // then runs into the trailer or the end of the file (a cut before the end
    // marker is a file without one). Only a cut that keeps the end marker's
    // type loads: its kind and length are never looked at.
    const size_t endMarkerType = body.size() - 3 - 8 + 2;
    for (size_t size = 0; size < body.size(); ++size) {
        Outcome o = loadBytes(signFile(Bytes(body.begin(), body.begin() + size)));
        if (size >= endMarkerType) {
            EXPECT_TRUE(o.loaded) << "body cut to " << size << ": " << o.fault.what;
            continue;
        }
        ASSERT_FALSE(o.loaded) << "body cut to " << size;
        EXPECT_TRUE(o.untouched);
        EXPECT_NE(o.fault.what, "MD5 trailer mismatch");
    }
}

TEST_F(DataFileLoad, FaultsNameTheChunkAndPointIntoTheFile) {
    const Bytes sealed = sealRecord(WriteBlob(SampleModule(0)));
    ASSERT_GT(sealed.size(), 160u);
    const auto cutRecord = [&](int32_t length) {
        return header(2, kModuleRecord, length) + Bytes(sealed.begin(), sealed.begin() + 120);
    };
    // A module record whose text1 count (after identifier 16, version block
    // name 8 + 10 and kind 2) is larger than any string may be.
    Bytes stream = WriteBlob(SampleModule(0));
    stream[36] = 0xE9;
    stream[37] = 0x03;  // 1001
    // After the preamble "ab" and 0x03, the first chunk is at byte offset 3.
    const std::string first = "the record chunk at byte offset 3 ";
    const struct {
        Bytes chunks;
        int64_t offset;
        std::string what;
    } cases[] = {
        {cutRecord(100), 3, first + "has a length that is not a multiple of 16"},
        {cutRecord(-16), 3, first + "has a negative length"},
        {cutRecord(INT32_MIN), 3, first + "has a negative length"},
        {cutRecord(INT32_MAX - 15), 3, first + "is longer than the rest of the file"},
        {cutRecord(160), 3, first + "is longer than the rest of the file"},
        // An empty record chunk is no negative one: its empty stream is what fails.
        {header(2, kModuleRecord, 0), 3 + 8,
         first + "(kind 3), record offset 0: stream ends: 16 bytes needed, 0 left"},
        {header(5, 0, 100) + Bytes(40, 0), 3,
         "the chunk at byte offset 3 of type 5 is cut short by the end of the file"},
        // Behind an 18-byte skipped chunk.
        {header(7, 0, 10) + Bytes(10, 0) + record(kModuleRecord, stream), 21 + 8 + 36,
         "the record chunk at byte offset 21 (kind 3), record offset 36: string count 1001 "
         "above 1000"},
    };
    for (const auto& c : cases) {
        Outcome o = loadBytes(signFile(bodyWith({'a', 'b'}, c.chunks + kEnd)));
        EXPECT_FALSE(o.loaded) << c.what;
        EXPECT_TRUE(o.untouched) << c.what;
        EXPECT_EQ(o.fault.offset, c.offset) << c.what;
        EXPECT_EQ(o.fault.what, c.what);
    }
}

TEST_F(DataFileLoad, PathBytesReachTheFileSystemUnchanged) {
    for (const std::string& path :
         {std::string(), dir.path + "/missing.mxd", dir.path, dir.path + "/"}) {
        Outcome o = load(path);
        EXPECT_FALSE(o.loaded) << path;
        EXPECT_TRUE(o.untouched);
    }
    ModulePtr out;
    EXPECT_FALSE(LoadDataFile(nullptr, out));
    // UTF-8 with characters outside ASCII, and bytes that are not UTF-8 at all.
    const Bytes file =
        signFile(bodyWith({}, record(kModuleRecord, WriteBlob(SampleModule(2))) + kEnd));
    for (const std::string name : {"Reibwert-\xC3\xB6l-\xE2\x82\xAC.mxd", "raw-\xFF\xFE\x80.mxd"}) {
        Outcome o = loadBytes(file, name);
        ASSERT_TRUE(o.loaded) << name << ": " << o.fault.what;
        EXPECT_EQ(o.module->text1, u"sample C");
    }
}
