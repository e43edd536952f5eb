#include "io/dispatch.h"

#include "module/finalize.h"
#include "module/material_records.h"
#include "serialize/module_record.h"

namespace mx {

bool PeekRecordKind(const uint8_t* data, int32_t length, uint16_t& kind) {
    RecordReader r;
    recordReaderInit(r, data, length);
    uint8_t identifier[16];
    if (!readBytes(r, 16, identifier)) return false;
    Text name;
    if (!readString(r, name) || untilZero(name) != kVersionBlockName) {
        kind = kSheetRecord;  // no version block: a Sheet record
        return true;
    }
    uint16_t named;
    if (!readU16(r, named)) return false;
    kind = named;
    return true;
}

bool DispatchRecord(int16_t kind, const uint8_t* data, int32_t length, ModulePtr& slot,
                    ReadFault* fault) {
    bool handled = false;
    switch (kind) {
        case kSheetRecord:
            handled = HandleSheetChunk(data, length, slot, fault);
            break;
        case kLubricantRecord:
            handled = HandleLubricantChunk(data, length, slot, fault);
            break;
        case kModuleRecord:
            handled = ReadModuleRecord(data, length, slot, fault);
            break;
        default:
            if (fault != nullptr && fault->offset < 0) {
                fault->offset = 0;
                fault->what = "unknown record kind " + std::to_string(kind);
            }
            return false;
    }
    if (!handled) return false;
    if (!FinalizeModule(*slot)) {
        if (fault != nullptr && fault->offset < 0) {
            fault->offset = 0;
            fault->what = "condition table far larger than its entries could fill";
        }
        return false;
    }
    return true;
}

bool ReadRecordStream(const uint8_t* data, int32_t length, ModulePtr& slot, ReadFault* fault) {
    uint16_t kind;
    if (!PeekRecordKind(data, length, kind)) {
        if (fault != nullptr && fault->offset < 0) {
            fault->offset = 0;
            fault->what =
                "record head unreadable (shorter than 16 bytes, or no kind after the "
                "version block)";
        }
        return false;
    }
    return DispatchRecord(static_cast<int16_t>(kind), data, length, slot, fault);
}

}  // namespace mx
