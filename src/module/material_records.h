// Chunk handlers of the two material record kinds: each parses its record and
// stores a new (not yet finalized) module in the slot.
#pragma once

#include "model/module.h"
#include "stream/record_reader.h"

namespace mx {

bool HandleSheetChunk(const uint8_t* data, int32_t length, ModulePtr& slot,
                      ReadFault* fault = nullptr);
bool HandleLubricantChunk(const uint8_t* data, int32_t length, ModulePtr& slot,
                          ReadFault* fault = nullptr);

}  // namespace mx
