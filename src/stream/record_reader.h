// Bounds-checked reader of the record stream encoding: untagged little-endian
// items (u8, u16, u64, f64, strings of one byte a character, counted arrays).
//
// Every check on untrusted bytes goes through failRead, which returns false
// and, when the caller asked for it, records where and why the first read
// failed; the exports only ever see the false.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/module.h"

namespace mx {

// Why a read failed, for tools that explain rejected data.
struct ReadFault {
    int64_t offset = -1;  // byte offset in the stream; -1 while nothing failed
    std::string what;
};

struct RecordReader {
    const uint8_t* base = nullptr;
    const uint8_t* cursor = nullptr;
    const uint8_t* end = nullptr;
    ReadFault* fault = nullptr;  // optional; receives the first failure only
};

constexpr uint64_t kMaxStringLength = 1000;

void recordReaderInit(RecordReader& r, const uint8_t* base, int32_t length,
                      ReadFault* fault = nullptr);

// Records `what` at the cursor (first failure only) and returns false.
bool failRead(RecordReader& r, const std::string& what);

inline int64_t bytesRemaining(const RecordReader& r) {
    return r.end - r.cursor;
}
inline int64_t offsetOf(const RecordReader& r) {
    return r.cursor - r.base;
}

// True when `count` elements of at least `minBytesEach` can still follow;
// records a fault naming `item` otherwise. Guards every allocation sized by a
// count read from the stream.
bool countFits(RecordReader& r, uint64_t count, uint64_t minBytesEach, const char* item);

bool readRaw(RecordReader& r, size_t n, void* dest);
bool peekRaw(RecordReader& r, size_t n, void* dest);
bool readU8(RecordReader& r, uint8_t& out);
bool readU16(RecordReader& r, uint16_t& out);
bool readU64(RecordReader& r, uint64_t& out);
// Rejects +-infinity and +-DBL_MAX; NaN passes. A rejected value stays consumed.
bool readF64(RecordReader& r, double& out);
bool readBytes(RecordReader& r, int32_t n, uint8_t* dest);
bool readString(RecordReader& r, Text& out);
// Consumes nothing when the count is missing or above 1000.
bool tryReadString(RecordReader& r, Text& out);
// A count that is zero or negative as signed gives an empty array.
bool readF64Array(RecordReader& r, std::vector<double>& out);
bool readU64Array(RecordReader& r, std::vector<uint64_t>& out);

}  // namespace mx
