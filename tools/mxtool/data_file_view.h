// A data file taken apart for the tools: its preamble, its chunk headers, and
// the decrypted record of its last record chunk (the one a load keeps). The
// plug-in's loader decides whether a file is accepted and why not; this view
// only shows what is there, and writes files in the same layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mx::tool {

struct ChunkView {
    int64_t offset = 0;  // of the 8-byte header in the file
    int16_t type = 0;    // 2 record, 3 end marker, other: skipped
    uint16_t kind = 0;   // record kind of a record chunk
    int32_t length = 0;  // payload bytes
};

struct DataFileView {
    std::string preamble;           // the bytes before the first 0x03
    std::vector<ChunkView> chunks;  // in file order, the end marker last
    bool digestMatches = false;     // the MD5 trailer equals the digest of the rest
    bool hasRecord = false;
    uint16_t recordKind = 0;      // of the last record chunk
    std::vector<uint8_t> record;  // its decrypted payload (padding included)
    size_t recordChunkCount = 0;
};

// Walks the file as the loader does. Throws ToolError naming the first
// structural problem (no 0x03, a cut-short chunk, a length that is not a
// multiple of 16, a chunk that does not decrypt); a digest mismatch is only
// recorded, so a file can still be shown.
DataFileView viewDataFile(const std::vector<uint8_t>& bytes);

constexpr const char* kDefaultPreamble = "mxplugin friction data\n";

// A data file holding one record chunk of `kind` with `record` (zero-padded to
// a multiple of 16 bytes and encrypted), an end marker and the MD5 trailer.
// No randomness and no time stamp enter it: equal inputs give equal files.
std::vector<uint8_t> buildDataFile(const std::string& preamble, uint16_t kind,
                                   std::vector<uint8_t> record);

}  // namespace mx::tool
