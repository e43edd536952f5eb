// The module record: a whole module as a record stream (record kind 3), the
// content of a blob.
#pragma once

#include "model/module.h"
#include "stream/record_reader.h"
#include "stream/record_writer.h"

namespace mx {

// Reads a module record into a new module stored in `slot` at once, so that a
// half-read module is released with the slot. Not finalized here.
bool ReadModuleRecord(const uint8_t* data, int32_t length, ModulePtr& slot,
                      ReadFault* fault = nullptr);
bool WriteModuleRecord(RecordWriter& w, const Module& m);
// The whole blob: init, write, finish.
bool SerializeModule(const Module& m, MallocBuffer& blob, uint64_t& length);

}  // namespace mx
