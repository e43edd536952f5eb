// Placeholder until the material records land: both kinds fail cleanly.
#include "records/material_records.h"

namespace mx {

bool HandleSheetChunk(const uint8_t*, int32_t, ModulePtr&, ReadFault*) {
    return false;
}
bool HandleLubricantChunk(const uint8_t*, int32_t, ModulePtr&, ReadFault*) {
    return false;
}

}  // namespace mx
