#include "module/material_records.h"

#include "module/assembly.h"
#include "records/lubricant_record.h"
#include "records/sheet_record.h"

namespace mx {

bool HandleSheetChunk(const uint8_t* data, int32_t length, ModulePtr& slot, ReadFault* fault) {
    SheetRecord record;
    if (!ReadSheetRecord(data, length, record, fault)) return false;
    ModuleFromSheetRecord(record, slot);
    return true;
}

bool HandleLubricantChunk(const uint8_t* data, int32_t length, ModulePtr& slot, ReadFault* fault) {
    LubricantRecord record;
    if (!ReadLubricantRecord(data, length, record, fault)) return false;
    ModuleFromLubricantRecord(record, slot);
    return true;
}

}  // namespace mx
