// Faults guarded against: a writer whose output the loader rejects or reads
// into a different module, headers in the wrong byte order or with the wrong
// length, record streams not padded to whole blocks or encrypted with another
// key or IV, a trailer over the wrong bytes, and files that would be misread
// (a 0x03 inside the preamble, an end marker among the chunks) written anyway.
#include <gtest/gtest.h>

#include "io/data_file.h"
#include "io/data_file_writer.h"
#include "io/dispatch.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

namespace {

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
    // The same file spelled out with the test's own header writer.
    Bytes expected = {'M', 'X', 0, 3};
    putHeader(expected, -2, 0, 3);
    expected.insert(expected.end(), {9, 8, 7});
    putHeader(expected, 2, kLubricantRecord, 48);
    const Bytes sealed = sealRecord(stream);
    ASSERT_EQ(sealed.size(), 48u);
    expected.insert(expected.end(), sealed.begin(), sealed.end());
    putHeader(expected, 3, 0, 0);
    expected.insert(expected.end(), {0xAA, 0xBB});
    EXPECT_EQ(file, signFile(expected));
}

TEST(DataFileWriter, WrittenFilesLoadAsTheirStreamDeserializesAndNeedTheEndMarker) {
    ScratchDir dir;
    const Bytes moduleStream = WriteBlob(SampleModule(1));
    DataFileContent content;
    content.preamble = {'v', '1'};
    content.chunks.push_back(MakeSkipChunk(5, Bytes(3000, 0x03)));
    content.chunks.push_back(recordChunk(kModuleRecord, moduleStream));
    const std::string path = dir.path + "/written.mxd";
    content.endMarker = false;
    ASSERT_TRUE(WriteDataFileToPath(content, path.c_str()));
    ModulePtr loaded, expected;
    EXPECT_FALSE(LoadDataFile(path.c_str(), loaded));
    content.endMarker = true;
    ASSERT_TRUE(WriteDataFileToPath(content, path.c_str()));  // replaces the file
    Bytes inMemory;
    ASSERT_TRUE(WriteDataFile(content, inMemory));
    EXPECT_EQ(readWholeFile(path), inMemory);

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
