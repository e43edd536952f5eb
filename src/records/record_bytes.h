// The finished stream of a record written by one of the record writers, as a
// plain byte vector for SDKs and tools.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "stream/record_writer.h"

namespace mx {

// Empty when `write` rejects the record; std::bad_alloc when the writer's
// buffer cannot be allocated or grown.
template <typename Record, typename Write>
std::vector<uint8_t> recordBytes(const Record& record, Write write) {
    RecordWriter w;
    if (!recordWriterInit(w)) throw std::bad_alloc();
    if (!write(w, record)) {
        if (!w.buffer) throw std::bad_alloc();
        return {};
    }
    return std::vector<uint8_t>(w.buffer.get(), w.buffer.get() + w.size);
}

}  // namespace mx
