// Faults guarded against: Sheet and Lubricant records that parse as streams
// but not as data-file chunks (which arrive zero-padded to whole cipher
// blocks and name their kind in the chunk header), and a load that keeps the
// wrong chunk's module.
#include <gtest/gtest.h>

#include "io/data_file_writer.h"
#include "io/dispatch.h"
#include "mxplugin/mxplugin.h"
#include "support/samples.h"

using namespace mx;

namespace {

DataFileChunk chunkOf(uint16_t kind, const std::vector<uint8_t>& stream) {
    DataFileChunk chunk;
    EXPECT_TRUE(MakeRecordChunk(kind, stream.data(), stream.size(), chunk));
    EXPECT_NE(chunk.payload.size(), stream.size()) << "the sample should need padding";
    return chunk;
}

ModulePtr load(const test::ScratchDir& dir, std::vector<DataFileChunk> chunks) {
    DataFileContent content;
    content.chunks = std::move(chunks);
    std::vector<uint8_t> file;
    EXPECT_TRUE(WriteDataFile(content, file));
    const std::string path = dir.write("records.mxd", file);
    MorvexModule* module = nullptr;
    if (Morvex_LoadFile(path.c_str(), &module) == 0) return nullptr;
    return ModulePtr(module);
}

}  // namespace

TEST(RecordChunks, LoadKeepsTheModuleOfTheLastChunk) {
    SheetRecord sheet = test::sheetRecordWithItems(12, {1.0, 2.0});
    sheet.text1 = u"VersionBlk";  // the chunk header, not the stream, names the kind
    const auto sheetStream = SheetRecordBytes(sheet);
    const auto lubricantStream = LubricantRecordBytes(test::sampleLubricantRecord());
    test::ScratchDir dir;

    auto m =
        load(dir, {chunkOf(kLubricantRecord, lubricantStream), chunkOf(kSheetRecord, sheetStream)});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text1, u"VersionBlk");
    EXPECT_EQ(m->directionDependency, 1u);
    EXPECT_EQ(m->secondaryEntries.at(1).packageData.size(), 6u);

    m = load(dir, {chunkOf(kSheetRecord, sheetStream), chunkOf(kLubricantRecord, lubricantStream)});
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text1, u"oil");
    EXPECT_EQ(m->sheetRoughnessValues, (std::vector<double>{0.5, 1.0}));
}
