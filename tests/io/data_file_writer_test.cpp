// Faults guarded against: a writer whose output the loader rejects or reads
// into a different module, headers in the wrong byte order or with the wrong
// length, record streams not padded to whole blocks or encrypted with another
// key or IV, a trailer over the wrong bytes, and files that would be misread
// (a 0x03 inside the preamble, an end marker among the chunks) written anyway.
#include <gtest/gtest.h>

#include "io/crypto.h"
#include "io/data_file.h"
#include "io/data_file_writer.h"
#include "io/dispatch.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

namespace {

int32_t i32At(const Bytes& b, size_t at) {
    return static_cast<int32_t>(static_cast<uint32_t>(b[at]) | (uint32_t{b[at + 1]} << 8) |
                                (uint32_t{b[at + 2]} << 16) | (uint32_t{b[at + 3]} << 24));
}

int16_t i16At(const Bytes& b, size_t at) {
    return static_cast<int16_t>(b[at] | (b[at + 1] << 8));
}

DataFileChunk recordChunk(uint16_t kind, const Bytes& stream) {
    DataFileChunk chunk;
    EXPECT_TRUE(MakeRecordChunk(kind, stream.data(), stream.size(), chunk));
    return chunk;
}

}  // namespace

TEST(DataFileWriter, LayoutIsPreambleChunksEndMarkerTrailer) {
    const Bytes stream(37, 0x41);  // not whole blocks: padded to 48
    DataFileContent content;
    content.preamble = {'M', 'X', 0};
    content.chunks.push_back(MakeSkipChunk(-2, {9, 8, 7}));
    content.chunks.push_back(recordChunk(kLubricantRecord, stream));
    content.afterEndMarker = {0xAA, 0xBB};
    Bytes file;
    ASSERT_TRUE(WriteDataFile(content, file));
    ASSERT_EQ(file.size(), 3 + 1 + (8 + 3) + (8 + 48) + 8 + 2 + 16u);

    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'M', 'X', 0, 3}));
    EXPECT_EQ(i16At(file, 4), -2);
    EXPECT_EQ(i32At(file, 8), 3);
    EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 15), (Bytes{9, 8, 7}));
    EXPECT_EQ(i16At(file, 15), 2);
    EXPECT_EQ(i16At(file, 17), kLubricantRecord);
    EXPECT_EQ(i32At(file, 19), 48);
    Bytes payload(file.begin() + 23, file.begin() + 71);
    ASSERT_TRUE(DecryptChunk(payload.data(), 48, kBuiltInKey, kBuiltInIv));
    Bytes padded = stream;
    padded.resize(48, 0);
    EXPECT_EQ(payload, padded);
    EXPECT_EQ(i16At(file, 71), 3);
    EXPECT_EQ(Bytes(file.begin() + 79, file.begin() + 81), (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(file, signFile(Bytes(file.begin(), file.end() - 16)));
}

TEST(DataFileWriter, EveryKindLoadsAsItsStreamDeserializes) {
    ScratchDir dir;
    const Bytes moduleStream = WriteBlob(SampleModule(1));
    DataFileContent content;
    content.preamble = {'v', '1'};
    content.chunks.push_back(MakeSkipChunk(5, Bytes(3000, 0x03)));
    content.chunks.push_back(recordChunk(kModuleRecord, moduleStream));
    const std::string path = dir.path + "/written.mxd";
    ASSERT_TRUE(WriteDataFileToPath(content, path.c_str()));
    Bytes inMemory;
    ASSERT_TRUE(WriteDataFile(content, inMemory));
    EXPECT_EQ(readWholeFile(path), inMemory);

    ModulePtr loaded, expected;
    LoadFault fault;
    ASSERT_TRUE(LoadDataFile(path.c_str(), loaded, &fault)) << fault.what;
    ASSERT_TRUE(
        ReadRecordStream(moduleStream.data(), static_cast<int32_t>(moduleStream.size()), expected));
    ASSERT_TRUE(loaded);
    ExpectSameModule(*loaded, *expected);
}

TEST(DataFileWriter, RefusesFilesTheLoaderWouldMisread) {
    Bytes file = {0x42};
    DataFileContent withMarkerInPreamble;
    withMarkerInPreamble.preamble = {'a', 0x03, 'b'};
    EXPECT_FALSE(WriteDataFile(withMarkerInPreamble, file));

    DataFileContent withEndMarkerChunk;
    withEndMarkerChunk.chunks.push_back(MakeSkipChunk(3, {}));
    EXPECT_FALSE(WriteDataFile(withEndMarkerChunk, file));

    DataFileContent withPartialBlock;
    DataFileChunk raw;
    raw.type = 2;
    raw.kind = kModuleRecord;
    raw.payload.assign(20, 0);
    withPartialBlock.chunks.push_back(raw);
    EXPECT_FALSE(WriteDataFile(withPartialBlock, file));
    EXPECT_EQ(file, Bytes{0x42});
}

TEST(DataFileWriter, WithoutEndMarkerTheLoadFails) {
    ScratchDir dir;
    DataFileContent content;
    content.chunks.push_back(recordChunk(kModuleRecord, WriteBlob(SampleModule(0))));
    content.endMarker = false;
    const std::string path = dir.path + "/open-ended.mxd";
    ASSERT_TRUE(WriteDataFileToPath(content, path.c_str()));
    ModulePtr out;
    EXPECT_FALSE(LoadDataFile(path.c_str(), out));
    content.endMarker = true;
    ASSERT_TRUE(WriteDataFileToPath(content, path.c_str()));  // replaces the file
    EXPECT_TRUE(LoadDataFile(path.c_str(), out));
}
