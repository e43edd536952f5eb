// Record kinds and the dispatch that turns a record stream into a finalized
// module: kind 1 Sheet record, kind 2 Lubricant record, kind 3 module record.
#pragma once

#include "model/module.h"
#include "stream/record_reader.h"

namespace mx {

enum RecordKind : int16_t { kSheetRecord = 1, kLubricantRecord = 2, kModuleRecord = 3 };

// The kind named by the version block at the head of a stream; a stream
// without a version block is a Sheet record. Fails when fewer than 16 bytes
// exist, or the block names no kind.
bool PeekRecordKind(const uint8_t* data, int32_t length, uint16_t& kind);
// Runs the handler of `kind` over the stream, then finalizes the slot's module.
// A kind other than 1, 2, 3 fails with the slot untouched.
bool DispatchRecord(int16_t kind, const uint8_t* data, int32_t length, ModulePtr& slot,
                    ReadFault* fault = nullptr);
// PeekRecordKind, then DispatchRecord: the body of Morvex_DeserializeModule.
bool ReadRecordStream(const uint8_t* data, int32_t length, ModulePtr& slot,
                      ReadFault* fault = nullptr);

}  // namespace mx
