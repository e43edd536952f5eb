#include "stream/record_writer.h"

#include <cstring>

namespace mx {

bool recordWriterInit(RecordWriter& w) {
    w.buffer.reset(static_cast<uint8_t*>(heapAllocate(kWriterStep)));
    w.capacity = w.buffer ? kWriterStep : 0;
    w.size = 0;
    return w.buffer != nullptr;
}

static bool grow(RecordWriter& w, uint64_t needed) {
    uint64_t capacity = w.capacity;
    while (capacity < needed)
        capacity += kWriterStep;
    void* moved = heapResize(w.buffer.get(), capacity);
    if (moved == nullptr) {
        w.buffer.reset();
        w.capacity = 0;
        w.size = 0;
        return false;
    }
    (void)w.buffer.release();
    w.buffer.reset(static_cast<uint8_t*>(moved));
    w.capacity = capacity;
    return true;
}

bool writeRaw(RecordWriter& w, const void* bytes, size_t n) {
    if (!w.buffer) return false;
    if (w.size + n > w.capacity && !grow(w, w.size + n)) return false;
    if (n != 0) std::memcpy(w.buffer.get() + w.size, bytes, n);
    w.size += n;
    return true;
}

template <typename T>
static bool writeLittle(RecordWriter& w, T v) {
    uint8_t b[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        b[i] = static_cast<uint8_t>(v >> (8 * i));
    return writeRaw(w, b, sizeof b);
}

bool writeU8(RecordWriter& w, uint8_t v) {
    return writeRaw(w, &v, 1);
}
bool writeU16(RecordWriter& w, uint16_t v) {
    return writeLittle(w, v);
}
bool writeU64(RecordWriter& w, uint64_t v) {
    return writeLittle(w, v);
}

bool writeF64(RecordWriter& w, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return writeU64(w, bits);
}

bool writeBytes(RecordWriter& w, const uint8_t* bytes, int32_t n) {
    if (n <= 0) return true;
    return writeRaw(w, bytes, static_cast<size_t>(n));
}

bool writeString(RecordWriter& w, const Text& s) {
    const std::u16string_view units = untilZero(s);
    // Only the low 32 bits of the length are written, then four zero bytes.
    const uint32_t length = static_cast<uint32_t>(units.size());
    if (!writeLittle(w, length) || !writeLittle(w, uint32_t{0})) return false;
    for (char16_t unit : units) {
        if (!writeU8(w, static_cast<uint8_t>(unit & 0xFF))) return false;
    }
    return true;
}

bool writeF64Array(RecordWriter& w, const std::vector<double>& values) {
    if (!writeU64(w, values.size())) return false;
    for (double v : values) {
        if (!writeF64(w, v)) return false;
    }
    return true;
}

bool writeU64Array(RecordWriter& w, const std::vector<uint64_t>& values) {
    if (!writeU64(w, values.size())) return false;
    for (uint64_t v : values) {
        if (!writeU64(w, v)) return false;
    }
    return true;
}

MallocBuffer recordWriterFinish(RecordWriter& w, uint64_t& length) {
    length = w.size;
    if (!w.buffer) return nullptr;
    // Keep the larger block when the shrink fails: it still holds every byte.
    if (void* shrunk = heapResize(w.buffer.get(), w.size != 0 ? w.size : 1)) {
        (void)w.buffer.release();
        w.buffer.reset(static_cast<uint8_t*>(shrunk));
        w.capacity = w.size;
    }
    return std::move(w.buffer);
}

}  // namespace mx
