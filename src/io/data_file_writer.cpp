#include "io/data_file_writer.h"

#include <algorithm>

#include "io/crypto.h"
#include "io/data_file.h"

namespace mx {

bool MakeRecordChunk(uint16_t kind, const uint8_t* stream, size_t length, DataFileChunk& out) {
    // A chunk length is i32; the largest multiple of 16 it holds bounds the stream.
    constexpr size_t kLargestPayload = static_cast<size_t>(INT32_MAX) / 16 * 16;
    if (length > kLargestPayload) return false;
    const size_t padded = (length + kCipherBlockSize - 1) / kCipherBlockSize * kCipherBlockSize;
    DataFileChunk chunk;
    chunk.type = kRecordChunk;
    chunk.kind = kind;
    chunk.payload.assign(padded, 0);
    if (length > 0) std::copy(stream, stream + length, chunk.payload.begin());
    if (padded > 0 && !EncryptChunk(chunk.payload.data(), static_cast<uint32_t>(padded),
                                    kBuiltInKey, kBuiltInIv)) {
        return false;
    }
    out = std::move(chunk);
    return true;
}

DataFileChunk MakeSkipChunk(int16_t type, std::vector<uint8_t> payload) {
    DataFileChunk chunk;
    chunk.type = type;
    chunk.payload = std::move(payload);
    return chunk;
}

void appendChunkHeader(std::vector<uint8_t>& bytes, int16_t type, uint16_t kind, int32_t length) {
    const auto t = static_cast<uint16_t>(type);
    const auto n = static_cast<uint32_t>(length);
    const uint8_t header[kChunkHeaderSize] = {
        static_cast<uint8_t>(t),         static_cast<uint8_t>(t >> 8), static_cast<uint8_t>(kind),
        static_cast<uint8_t>(kind >> 8), static_cast<uint8_t>(n),      static_cast<uint8_t>(n >> 8),
        static_cast<uint8_t>(n >> 16),   static_cast<uint8_t>(n >> 24)};
    bytes.insert(bytes.end(), header, header + kChunkHeaderSize);
}

bool appendDigestTrailer(std::vector<uint8_t>& bytes) {
    if (bytes.size() > static_cast<size_t>(UINT32_MAX)) return false;
    Digest digest = StartDigest();
    uint8_t trailer[kTrailerSize];
    if (!digest || !UpdateDigest(*digest, bytes.data(), static_cast<uint32_t>(bytes.size())) ||
        !FinishDigest(*digest, trailer)) {
        return false;
    }
    bytes.insert(bytes.end(), trailer, trailer + kTrailerSize);
    return true;
}

bool WriteDataFile(const DataFileContent& content, std::vector<uint8_t>& out) {
    if (std::find(content.preamble.begin(), content.preamble.end(), kPreambleEnd) !=
        content.preamble.end()) {
        return false;
    }
    size_t total = content.preamble.size() + 1 + kChunkHeaderSize + content.afterEndMarker.size() +
                   kTrailerSize;
    for (const DataFileChunk& chunk : content.chunks) {
        if (chunk.type == kEndMarker || chunk.payload.size() > static_cast<size_t>(INT32_MAX) ||
            (chunk.type == kRecordChunk && chunk.payload.size() % kCipherBlockSize != 0)) {
            return false;
        }
        total += kChunkHeaderSize + chunk.payload.size();
    }
    if (total > static_cast<size_t>(INT32_MAX)) return false;

    std::vector<uint8_t> bytes;
    bytes.reserve(total);
    bytes.insert(bytes.end(), content.preamble.begin(), content.preamble.end());
    bytes.push_back(kPreambleEnd);
    for (const DataFileChunk& chunk : content.chunks) {
        appendChunkHeader(bytes, chunk.type, chunk.kind,
                          static_cast<int32_t>(chunk.payload.size()));
        bytes.insert(bytes.end(), chunk.payload.begin(), chunk.payload.end());
    }
    if (content.endMarker) appendChunkHeader(bytes, kEndMarker, 0, 0);
    bytes.insert(bytes.end(), content.afterEndMarker.begin(), content.afterEndMarker.end());
    if (!appendDigestTrailer(bytes)) return false;
    out = std::move(bytes);
    return true;
}

bool WriteDataFileToPath(const DataFileContent& content, const char* path) {
    std::vector<uint8_t> bytes;
    if (!WriteDataFile(content, bytes)) return false;
    FilePtr file = OpenDataFile(path, "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}

}  // namespace mx
