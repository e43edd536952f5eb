#include "data_file_sealing.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fuzz_support.h"
#include "io/data_file.h"
#include "io/data_file_writer.h"

namespace mxfuzz {

namespace {

int32_t littleI32(const uint8_t* b) {
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                                (static_cast<uint32_t>(b[2]) << 16) |
                                (static_cast<uint32_t>(b[3]) << 24));
}

void append(std::vector<uint8_t>& out, const uint8_t* from, size_t n) {
    out.insert(out.end(), from, from + n);
}

}  // namespace

bool sealDataFile(const uint8_t* plain, size_t size, std::vector<uint8_t>& sealed) {
    sealed.clear();
    const uint8_t* end = plain + size;
    const uint8_t* at = std::find(plain, end, mx::kPreambleEnd);
    if (at != end) ++at;
    append(sealed, plain, static_cast<size_t>(at - plain));
    while (at != end) {
        if (static_cast<size_t>(end - at) < mx::kChunkHeaderSize) {
            append(sealed, at, static_cast<size_t>(end - at));  // a cut header
            break;
        }
        const int16_t type = static_cast<int16_t>(at[0] | (at[1] << 8));
        const uint16_t kind = static_cast<uint16_t>(at[2] | (at[3] << 8));
        const int32_t length = littleI32(at + 4);
        const size_t available = std::min<size_t>(static_cast<size_t>(end - at) - 8,
                                                  length > 0 ? static_cast<size_t>(length) : 0);
        if (type == mx::kRecordChunk && length >= 0) {
            mx::DataFileChunk chunk;
            if (!mx::MakeRecordChunk(kind, at + 8, available, chunk)) return false;
            mx::appendChunkHeader(sealed, type, kind, static_cast<int32_t>(chunk.payload.size()));
            append(sealed, chunk.payload.data(), chunk.payload.size());
            at += 8 + available;
        } else if (type == mx::kEndMarker) {
            append(sealed, at, static_cast<size_t>(end - at));
            break;
        } else {
            append(sealed, at, 8 + available);
            at += 8 + available;
        }
    }
    return mx::appendDigestTrailer(sealed);
}

namespace {

const char* fileHolding(const std::vector<uint8_t>& bytes) {
    static const int fd = memfd_create("mxfuzz-data-file", MFD_CLOEXEC);
    static char path[64];
    if (fd < 0) fail("no in-memory file");
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    if (ftruncate(fd, 0) != 0) fail("cannot truncate the in-memory file");
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) fail("cannot write the in-memory file");
        done += static_cast<size_t>(n);
    }
    return path;
}

}  // namespace

void loadAndExercise(const std::vector<uint8_t>& file, const uint8_t* data, size_t size) {
    MorvexModule* module = untouchedHandle();
    if (!Morvex_LoadFile(fileHolding(file), &module)) {
        if (module != untouchedHandle()) fail("failed load wrote the handle");
        return;
    }
    if (module == untouchedHandle()) fail("successful load left the handle");
    if (module == nullptr) return;  // a file without record chunks
    exerciseModule(module, data, size);
    Morvex_FreeModule(module);
}

}  // namespace mxfuzz
