// Faults guarded against: output that differs from the layout the loader
// tests read (headers in the wrong byte order or with the wrong length, the
// end marker written when asked not to, a file on disk that differs from the
// one in memory or keeps older bytes), record streams not padded to whole
// blocks or encrypted with another key or IV, a trailer over the wrong bytes,
// and files that would be misread (a 0x03 inside the preamble, an end marker
// among the chunks, a record chunk of part of a block) written anyway.
#include <gtest/gtest.h>

#include "io/data_file.h"
#include "io/data_file_writer.h"
#include "support/samples.h"

using namespace mx;
using namespace mx::test;

TEST(DataFileWriter, LayoutIsPreambleChunksEndMarkerTrailer) {
    const Bytes stream(37, 0x41);  // not whole blocks: padded to 48
    DataFileContent content;
    content.preamble = {'M', 'X', 0};
    content.chunks.push_back(MakeSkipChunk(-2, {9, 8, 7}));
    content.chunks.emplace_back();
    ASSERT_TRUE(
        MakeRecordChunk(kLubricantRecord, stream.data(), stream.size(), content.chunks.back()));
    content.afterEndMarker = {0xAA, 0xBB};
    // The same file spelled out with the test's own header writer, with and
    // without the end marker.
    Bytes chunks = {'M', 'X', 0, 3};
    putHeader(chunks, -2, 0, 3);
    chunks.insert(chunks.end(), {9, 8, 7});
    putHeader(chunks, 2, kLubricantRecord, 48);
    const Bytes sealed = sealRecord(stream);
    ASSERT_EQ(sealed.size(), 48u);
    chunks.insert(chunks.end(), sealed.begin(), sealed.end());
    Bytes ended = chunks;
    putHeader(ended, 3, 0, 0);
    for (Bytes* body : {&ended, &chunks})
        body->insert(body->end(), {0xAA, 0xBB});
    Bytes file;
    content.endMarker = false;
    ASSERT_TRUE(WriteDataFile(content, file));
    EXPECT_EQ(file, signFile(chunks));
    content.endMarker = true;
    ASSERT_TRUE(WriteDataFile(content, file));
    EXPECT_EQ(file, signFile(ended));
    // Written to a path, the same bytes replace what the file held.
    ScratchDir dir;
    const std::string path = dir.write("written.mxd", Bytes(5000, 0x01));
    ASSERT_TRUE(WriteDataFileToPath(content, path.c_str()));
    EXPECT_EQ(readWholeFile(path), file);
}

TEST(DataFileWriter, RefusesFilesTheLoaderWouldMisreadAndLeavesTheOutputAlone) {
    DataFileContent markerInPreamble, endMarkerChunk, partialBlock;
    markerInPreamble.preamble = {'a', 0x03, 'b'};
    endMarkerChunk.chunks.push_back(MakeSkipChunk(3, {}));
    partialBlock.chunks.push_back(MakeSkipChunk(2, Bytes(20, 0)));  // a record chunk
    for (const DataFileContent* content : {&markerInPreamble, &endMarkerChunk, &partialBlock}) {
        Bytes file = {0x42};
        EXPECT_FALSE(WriteDataFile(*content, file));
        EXPECT_EQ(file, Bytes{0x42});
    }
}
