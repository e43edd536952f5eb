// Growable writer of the record stream encoding; the inverse of RecordReader.
//
// The buffer comes from malloc because it is handed to the host as a blob and
// released by Morvex_FreeBlob. It grows in fixed steps of 1,000,000 bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "model/module.h"
#include "stream/heap.h"

namespace mx {

struct FreeDeleter {
    void operator()(void* p) const { heapRelease(p); }
};
using MallocBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

constexpr uint64_t kWriterStep = 1000000;

struct RecordWriter {
    MallocBuffer buffer;
    uint64_t capacity = 0;
    uint64_t size = 0;  // bytes written
};

// Allocates the first step; when that fails every later write fails.
bool recordWriterInit(RecordWriter& w);
bool writeRaw(RecordWriter& w, const void* bytes, size_t n);
bool writeU8(RecordWriter& w, uint8_t v);
bool writeU16(RecordWriter& w, uint16_t v);
bool writeU64(RecordWriter& w, uint64_t v);
bool writeF64(RecordWriter& w, double v);  // no range check
bool writeBytes(RecordWriter& w, const uint8_t* bytes, int32_t n);
// The low byte of each code unit before the first zero unit, after a u64 count
// of those units.
bool writeString(RecordWriter& w, const Text& s);
bool writeF64Array(RecordWriter& w, const std::vector<double>& values);
bool writeU64Array(RecordWriter& w, const std::vector<uint64_t>& values);
// Shrinks the buffer to the bytes written and hands it over.
MallocBuffer recordWriterFinish(RecordWriter& w, uint64_t& length);

}  // namespace mx
