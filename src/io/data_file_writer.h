// Producing data files: the inverse of the loader, for every tool that packs
// record streams. Record streams are encrypted with the built-in key and IV.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mx {

// One chunk as it stands in the file: its header's type and kind, and the
// payload whose size becomes the header's length.
struct DataFileChunk {
    int16_t type = 0;
    uint16_t kind = 0;
    std::vector<uint8_t> payload;
};

struct DataFileContent {
    std::vector<uint8_t> preamble;  // any bytes but 0x03; the writer ends it with 0x03
    std::vector<DataFileChunk> chunks;
    bool endMarker = true;                // close the chunks with an end-marker header
    std::vector<uint8_t> afterEndMarker;  // bytes before the trailer the loader never reads
};

// A record chunk of `kind` holding `stream`: padded with zero bytes to a
// multiple of 16 (the records ignore bytes after their end) and encrypted.
bool MakeRecordChunk(uint16_t kind, const uint8_t* stream, size_t length, DataFileChunk& out);
DataFileChunk MakeSkipChunk(int16_t type, std::vector<uint8_t> payload);

// The chunk header: i16 type, u16 kind, i32 length, little-endian.
void appendChunkHeader(std::vector<uint8_t>& bytes, int16_t type, uint16_t kind, int32_t length);
// Appends the MD5 of all of `bytes` as the 16-byte trailer.
bool appendDigestTrailer(std::vector<uint8_t>& bytes);

// The complete file. Fails when the preamble holds a 0x03, a chunk has type 3
// (it would end the walk), a record chunk is not whole cipher blocks, or the
// file would reach 2 GiB.
bool WriteDataFile(const DataFileContent& content, std::vector<uint8_t>& out);
// The same bytes written to a UTF-8 path (replacing any file there).
bool WriteDataFileToPath(const DataFileContent& content, const char* path);

}  // namespace mx
