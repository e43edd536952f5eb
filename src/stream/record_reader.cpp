#include "stream/record_reader.h"

#include <cfloat>
#include <cstring>

namespace mx {

void recordReaderInit(RecordReader& r, const uint8_t* base, int32_t length, ReadFault* fault) {
    r.base = base;
    r.cursor = base;
    r.end = base + (length > 0 ? length : 0);
    r.fault = fault;
}

bool failRead(RecordReader& r, const std::string& what) {
    if (r.fault != nullptr && r.fault->offset < 0) {
        r.fault->offset = offsetOf(r);
        r.fault->what = what;
    }
    return false;
}

bool countFits(RecordReader& r, uint64_t count, uint64_t minBytesEach, const char* item) {
    const uint64_t left = static_cast<uint64_t>(bytesRemaining(r));
    if (minBytesEach != 0 && count > left / minBytesEach) {
        return failRead(r, std::string(item) + " count " + std::to_string(count) +
                               " cannot fit in the " + std::to_string(left) + " bytes left");
    }
    return true;
}

static bool haveBytes(RecordReader& r, uint64_t n) {
    if (static_cast<uint64_t>(bytesRemaining(r)) < n) {
        return failRead(r, "stream ends: " + std::to_string(n) + " bytes needed, " +
                               std::to_string(bytesRemaining(r)) + " left");
    }
    return true;
}

bool readRaw(RecordReader& r, size_t n, void* dest) {
    if (!haveBytes(r, n)) return false;
    if (n != 0) std::memcpy(dest, r.cursor, n);
    r.cursor += n;
    return true;
}

bool peekRaw(RecordReader& r, size_t n, void* dest) {
    if (static_cast<uint64_t>(bytesRemaining(r)) < n) return false;
    if (n != 0) std::memcpy(dest, r.cursor, n);
    return true;
}

// Little-endian decoding independent of the host's byte order.
template <typename T>
static bool readLittle(RecordReader& r, T& out) {
    uint8_t b[sizeof(T)];
    if (!readRaw(r, sizeof(T), b)) return false;
    T v = 0;
    for (size_t i = sizeof(T); i-- > 0;)
        v = static_cast<T>((v << 8) | b[i]);
    out = v;
    return true;
}

bool readU8(RecordReader& r, uint8_t& out) {
    return readRaw(r, 1, &out);
}
bool readU16(RecordReader& r, uint16_t& out) {
    return readLittle(r, out);
}
bool readU64(RecordReader& r, uint64_t& out) {
    return readLittle(r, out);
}

bool readF64(RecordReader& r, double& out) {
    uint64_t bits;
    if (!readU64(r, bits)) return false;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (v >= DBL_MAX || v <= -DBL_MAX) {
        r.cursor -= 8;  // report the value's own offset; it stays consumed below
        failRead(r, "number out of range (infinite or the largest finite double)");
        r.cursor += 8;
        return false;
    }
    out = v;
    return true;
}

bool readBytes(RecordReader& r, int32_t n, uint8_t* dest) {
    if (n <= 0) return true;
    return readRaw(r, static_cast<size_t>(n), dest);
}

static bool readStringBody(RecordReader& r, uint64_t length, Text& out) {
    if (!haveBytes(r, length)) return false;
    Text s(static_cast<size_t>(length), u'\0');
    for (uint64_t i = 0; i < length; ++i)
        s[i] = static_cast<char16_t>(r.cursor[i]);
    r.cursor += length;
    out = std::move(s);
    return true;
}

static bool stringTooLong(RecordReader& r, uint64_t length) {
    return failRead(r, "string count " + std::to_string(length) + " above 1000");
}

bool readString(RecordReader& r, Text& out) {
    uint64_t length;
    if (!readU64(r, length)) return false;
    if (length > kMaxStringLength) {
        r.cursor -= 8;
        stringTooLong(r, length);
        r.cursor += 8;
        return false;
    }
    return readStringBody(r, length, out);
}

bool tryReadString(RecordReader& r, Text& out) {
    uint8_t b[8];
    if (!peekRaw(r, 8, b)) return false;
    uint64_t length = 0;
    for (int i = 7; i >= 0; --i)
        length = (length << 8) | b[i];
    if (length > kMaxStringLength) return false;
    r.cursor += 8;
    return readStringBody(r, length, out);
}

template <typename T, typename ReadOne>
static bool readArray(RecordReader& r, std::vector<T>& out, ReadOne readOne) {
    out.clear();
    uint64_t count;
    if (!readU64(r, count)) return false;
    if (static_cast<int64_t>(count) < 1) return true;
    if (!countFits(r, count, 8, "array")) return false;
    std::vector<T> values(static_cast<size_t>(count));
    for (auto& v : values) {
        if (!readOne(r, v)) return false;
    }
    out = std::move(values);
    return true;
}

bool readF64Array(RecordReader& r, std::vector<double>& out) {
    return readArray(r, out, [](RecordReader& rr, double& v) { return readF64(rr, v); });
}

bool readU64Array(RecordReader& r, std::vector<uint64_t>& out) {
    return readArray(r, out, [](RecordReader& rr, uint64_t& v) { return readU64(rr, v); });
}

}  // namespace mx
