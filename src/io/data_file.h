// The encrypted data file: a preamble ended by 0x03, chunks with an 8-byte
// header (i16 type, u16 kind, i32 length, little-endian), and a 16-byte MD5
// trailer over every byte before it. Record chunks (type 2) are AES-128-CBC
// encrypted with the built-in key and IV; an end marker (type 3) ends the walk;
// other chunks are skipped.
//
// The digest of a load belongs to that load, so several files may be loaded
// on different threads at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "model/module.h"

namespace mx {

constexpr int16_t kRecordChunk = 2;
constexpr int16_t kEndMarker = 3;
constexpr uint8_t kPreambleEnd = 0x03;
constexpr size_t kChunkHeaderSize = 8;
constexpr size_t kTrailerSize = 16;

// Why a load failed, for tools; the exports never see it.
struct LoadFault {
    int64_t offset = -1;  // byte offset in the file; -1 while nothing failed
    std::string what;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a UTF-8 path. On Windows the path and mode are converted strictly to
// UTF-16 for the wide open; when either is not valid UTF-8 the raw bytes go to
// the narrow open. Elsewhere the bytes of the path are the path. An empty path
// opens nothing.
FilePtr OpenDataFile(const char* path, const char* mode);

// Morvex_LoadFile: on success `out` holds the finalized module of the last
// record chunk (null when the file has none). On failure `out` is untouched,
// every module built on the way is released, and `fault` (when given) says why.
bool LoadDataFile(const char* path, ModulePtr& out, LoadFault* fault = nullptr);

}  // namespace mx
