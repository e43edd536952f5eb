#include "mxtool/data_file_view.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "io/crypto.h"
#include "io/data_file_writer.h"
#include "mxtool/io.h"

namespace mx::tool {

namespace {

uint64_t littleEndian(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::array<uint8_t, kDigestSize> md5Of(const uint8_t* data, size_t n) {
    Digest digest = StartDigest();
    std::array<uint8_t, kDigestSize> out{};
    if (!digest) throw ToolError("MD5 is not available");
    // Fed in pieces that fit the interface's 32-bit count.
    for (size_t done = 0; done < n;) {
        const auto piece = static_cast<uint32_t>(std::min<size_t>(n - done, 1u << 30));
        if (!UpdateDigest(*digest, data + done, piece)) throw ToolError("MD5 failed");
        done += piece;
    }
    if (!FinishDigest(*digest, out.data())) throw ToolError("MD5 failed");
    return out;
}

std::string at(int64_t offset) {
    return "at byte offset " + std::to_string(offset);
}

}  // namespace

DataFileView viewDataFile(const std::vector<uint8_t>& bytes) {
    DataFileView view;
    if (bytes.size() >= kDigestSize) {
        const size_t body = bytes.size() - kDigestSize;
        view.digestMatches = md5Of(bytes.data(), body) == [&] {
            std::array<uint8_t, kDigestSize> trailer{};
            std::memcpy(trailer.data(), bytes.data() + body, kDigestSize);
            return trailer;
        }();
    }
    size_t pos = 0;
    while (pos < bytes.size() && bytes[pos] != 0x03)
        ++pos;
    if (pos == bytes.size()) throw ToolError("no 0x03 ends the preamble");
    view.preamble.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(pos));
    ++pos;
    for (;;) {
        ChunkView chunk;
        chunk.offset = static_cast<int64_t>(pos);
        if (bytes.size() - pos < 8) throw ToolError("chunk header cut short " + at(chunk.offset));
        chunk.type = static_cast<int16_t>(littleEndian(&bytes[pos], 2));
        chunk.kind = static_cast<uint16_t>(littleEndian(&bytes[pos + 2], 2));
        chunk.length = static_cast<int32_t>(littleEndian(&bytes[pos + 4], 4));
        pos += 8;
        view.chunks.push_back(chunk);
        if (chunk.type == 3) return view;
        const size_t length = chunk.length > 0 ? static_cast<size_t>(chunk.length) : 0;
        if (chunk.type == 2 && chunk.length < 0) {
            throw ToolError("record chunk " + at(chunk.offset) + " has a negative length");
        }
        if (bytes.size() - pos < length) {
            throw ToolError("chunk " + at(chunk.offset) + " runs past the end of the file");
        }
        if (chunk.type == 2) {
            if (length % kCipherBlockSize != 0) {
                throw ToolError("record chunk " + at(chunk.offset) + " has a length of " +
                                std::to_string(length) + ", not a multiple of 16");
            }
            std::vector<uint8_t> plain(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(pos + length));
            if (!DecryptChunk(plain.data(), static_cast<uint32_t>(plain.size()), kBuiltInKey,
                              kBuiltInIv)) {
                throw ToolError("record chunk " + at(chunk.offset) + " does not decrypt");
            }
            view.hasRecord = true;
            view.recordKind = chunk.kind;
            view.record = std::move(plain);
            ++view.recordChunkCount;
        }
        pos += length;
    }
}

std::vector<uint8_t> buildDataFile(const std::string& preamble, uint16_t kind,
                                   std::vector<uint8_t> record) {
    if (preamble.find('\x03') != std::string::npos) {
        throw ToolError("the preamble must not contain the byte 0x03");
    }
    DataFileContent content;
    content.preamble.assign(preamble.begin(), preamble.end());
    DataFileChunk chunk;
    if (!MakeRecordChunk(kind, record.data(), record.size(), chunk)) {
        throw ToolError("the record cannot be encrypted into a chunk");
    }
    content.chunks.push_back(std::move(chunk));
    std::vector<uint8_t> file;
    if (!WriteDataFile(content, file)) throw ToolError("the data file cannot be written (2 GiB)");
    return file;
}

}  // namespace mx::tool
