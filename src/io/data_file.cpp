// Loading a data file: open, first pass (MD5 trailer over everything before
// it), second pass (preamble, chunk walk, decrypt and dispatch each record
// chunk), close. Every failure leaves the caller's module untouched; modules
// built on the way are released with the slot.
#include "io/data_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "io/crypto.h"
#include "io/dispatch.h"

#ifdef _WIN32
#include "io/windows_api.h"
#endif

namespace mx {

namespace {

constexpr size_t kDigestBlock = 2048;  // the first pass hashes in blocks of this size
constexpr size_t kSkipPiece = 1024;    // skipped chunks are read in pieces of at most this

struct ChunkHeader {
    int16_t type = 0;
    uint16_t kind = 0;
    int32_t length = 0;
};

// The open file, its size from the first pass and the position the second
// pass has reached, for bounds and fault offsets.
struct DataFileReader {
    std::FILE* file = nullptr;
    int64_t size = 0;
    int64_t position = 0;
    LoadFault* fault = nullptr;
};

// Records the first failure only and returns false.
bool fail(LoadFault* fault, int64_t offset, std::string what) {
    if (fault != nullptr && fault->offset < 0) {
        fault->offset = offset;
        fault->what = std::move(what);
    }
    return false;
}

std::string chunkAt(const char* which, int64_t offset) {
    return std::string(which) + " at byte offset " + std::to_string(offset);
}

bool readExact(DataFileReader& in, void* dest, size_t n) {
    const size_t got = std::fread(dest, 1, n, in.file);
    in.position += static_cast<int64_t>(got);
    return got == n;
}

bool rewind(DataFileReader& in) {
    in.position = 0;
    return std::fseek(in.file, 0, SEEK_SET) == 0 || fail(in.fault, 0, "cannot rewind the file");
}

#ifdef _WIN32
// Strict conversion: invalid UTF-8 fails instead of becoming U+FFFD.
bool toUtf16(const char* text, std::wstring& out) {
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (units <= 0) return false;
    out.assign(static_cast<size_t>(units), L'\0');  // includes the terminator
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out.data(), units) == units;
}
#endif

// First pass: the MD5 of the first size - 16 bytes must equal the last 16.
bool VerifyFileDigest(DataFileReader& in) {
    Digest digest = StartDigest();
    if (!digest) return fail(in.fault, 0, "no MD5 computation available");
    if (std::fseek(in.file, 0, SEEK_END) != 0) {
        return fail(in.fault, 0, "cannot seek to the end of the file");
    }
    const long end = std::ftell(in.file);
    if (end < 0) return fail(in.fault, 0, "cannot find the size of the file");
    if (end < static_cast<long>(kTrailerSize)) {
        return fail(in.fault, 0, "file shorter than its 16-byte MD5 trailer");
    }
    // Positions and lengths in a data file are signed 32-bit (where long has
    // 32 bits, ftell has failed already).
    if ((static_cast<uint64_t>(end) >> 31) != 0) {
        return fail(in.fault, 0, "file of 2 GiB or more");
    }
    const int64_t limit = static_cast<int64_t>(end) - static_cast<int64_t>(kTrailerSize);
    if (!rewind(in)) return false;

    std::array<uint8_t, kDigestBlock> block;
    while (in.position < limit) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(kDigestBlock, limit - in.position));
        if (!readExact(in, block.data(), n)) {
            return fail(in.fault, in.position, "file cut short while hashing");
        }
        if (!UpdateDigest(*digest, block.data(), static_cast<uint32_t>(n))) {
            return fail(in.fault, in.position, "MD5 computation failed");
        }
    }
    std::array<uint8_t, kTrailerSize> trailer, computed;
    if (!readExact(in, trailer.data(), kTrailerSize)) {
        return fail(in.fault, limit, "MD5 trailer cut short");
    }
    if (!FinishDigest(*digest, computed.data())) {
        return fail(in.fault, limit, "MD5 computation failed");
    }
    if (trailer != computed) return fail(in.fault, limit, "MD5 trailer mismatch");
    in.size = end;
    return true;
}

// Everything up to and including the first 0x03.
bool skipPreamble(DataFileReader& in) {
    for (;;) {
        const int c = std::fgetc(in.file);
        if (c == EOF) return fail(in.fault, in.position, "no 0x03 ends the preamble");
        ++in.position;
        if (c == kPreambleEnd) return true;
    }
}

uint16_t littleU16(const uint8_t b[2]) {
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t littleU32(const uint8_t b[4]) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

bool readChunkHeader(DataFileReader& in, ChunkHeader& header) {
    const int64_t at = in.position;
    uint8_t type[2], kind[2], length[4];
    if (!readExact(in, type, 2) || !readExact(in, kind, 2) || !readExact(in, length, 4)) {
        return fail(in.fault, at,
                    chunkAt("the chunk header", at) + " is cut short by the end of the file");
    }
    header.type = static_cast<int16_t>(littleU16(type));
    header.kind = littleU16(kind);
    header.length = static_cast<int32_t>(littleU32(length));
    return true;
}

// Reads, decrypts and dispatches one record chunk; the slot receives its module.
bool readRecordChunk(DataFileReader& in, const ChunkHeader& header, int64_t at, ModulePtr& slot) {
    const std::string chunk = chunkAt("the record chunk", at);
    if (header.length < 0) return fail(in.fault, at, chunk + " has a negative length");
    // The length comes from the file: it must fit in what is left of it before
    // anything is allocated.
    if (header.length > in.size - in.position) {
        return fail(in.fault, at, chunk + " is longer than the rest of the file");
    }
    if (header.length % kCipherBlockSize != 0) {
        return fail(in.fault, at, chunk + " has a length that is not a multiple of 16");
    }
    const int64_t payloadAt = in.position;
    std::vector<uint8_t> payload;
    try {
        payload.resize(static_cast<size_t>(header.length));
    } catch (const std::bad_alloc&) {
        return fail(in.fault, at, chunk + ": its buffer cannot be allocated");
    }
    if (!readExact(in, payload.data(), payload.size())) {
        return fail(in.fault, at, chunk + " is cut short by the end of the file");
    }
    if (!payload.empty() && !DecryptChunk(payload.data(), static_cast<uint32_t>(payload.size()),
                                          kBuiltInKey, kBuiltInIv)) {
        return fail(in.fault, at, chunk + " does not decrypt");
    }
    ReadFault record;
    if (!DispatchRecord(static_cast<int16_t>(header.kind), payload.data(), header.length, slot,
                        in.fault != nullptr ? &record : nullptr)) {
        const std::string kind = " (kind " + std::to_string(header.kind) + ")";
        if (record.offset >= 0) {
            return fail(in.fault, payloadAt + record.offset,
                        chunk + kind + ", record offset " + std::to_string(record.offset) + ": " +
                            record.what);
        }
        return fail(in.fault, payloadAt, chunk + kind + " is rejected by the record dispatch");
    }
    return true;
}

bool skipChunk(DataFileReader& in, const ChunkHeader& header, int64_t at) {
    std::array<uint8_t, kSkipPiece> piece;
    for (int32_t left = header.length; left > 0;) {
        const size_t n = std::min(kSkipPiece, static_cast<size_t>(left));
        if (!readExact(in, piece.data(), n)) {
            return fail(in.fault, at,
                        chunkAt("the chunk", at) + " of type " + std::to_string(header.type) +
                            " is cut short by the end of the file");
        }
        left -= static_cast<int32_t>(n);
    }
    return true;
}

// Second pass: preamble, then chunks up to the end marker.
bool ReadChunks(DataFileReader& in, ModulePtr& slot) {
    if (!rewind(in) || !skipPreamble(in)) return false;
    for (;;) {
        const int64_t at = in.position;
        ChunkHeader header;
        if (!readChunkHeader(in, header)) return false;
        if (header.type == kEndMarker) return true;
        const bool walked = header.type == kRecordChunk ? readRecordChunk(in, header, at, slot)
                                                        : skipChunk(in, header, at);
        if (!walked) return false;
    }
}

}  // namespace

FilePtr OpenDataFile(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr || *path == '\0' || *mode == '\0') return nullptr;
#ifdef _WIN32
    std::wstring widePath, wideMode;
    if (toUtf16(path, widePath) && toUtf16(mode, wideMode)) {
        return FilePtr(_wfopen(widePath.c_str(), wideMode.c_str()));
    }
#endif
    return FilePtr(std::fopen(path, mode));
}

bool LoadDataFile(const char* path, ModulePtr& out, LoadFault* fault) {
    FilePtr file = OpenDataFile(path, "rb");
    if (!file) return fail(fault, 0, "cannot open the file");
    DataFileReader in;
    in.file = file.get();
    in.fault = fault;
    ModulePtr slot;  // releases every module of a failed load
    if (!VerifyFileDigest(in) || !ReadChunks(in, slot)) return false;
    file.reset();
    out = std::move(slot);
    return true;
}

}  // namespace mx
