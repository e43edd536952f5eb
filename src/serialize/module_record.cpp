#include "serialize/module_record.h"

#include "serialize/material_fields.h"

namespace mx {

bool ReadModuleRecord(const uint8_t* data, int32_t length, ModulePtr& slot, ReadFault* fault) {
    slot = std::make_unique<Module>();
    Module& m = *slot;
    RecordReader r;
    recordReaderInit(r, data, length, fault);
    if (!readLeadingFields(r, m)) return false;
    // The solver id is optional: when the next eight bytes cannot be a string
    // count, the ranges follow directly.
    if (!tryReadString(r, m.solverId)) m.solverId = kDefaultSolverId;
    return readRanges(r, m) && readEntriesAndNominals(r, m) &&
           readF64Array(r, m.strainRougheningValues) && readF64Array(r, m.staticFrictionValues) &&
           readF64Array(r, m.toolWearValues) && readAxesAndProperties(r, m);
}

bool WriteModuleRecord(RecordWriter& w, const Module& m) {
    return writeLeadingFields(w, m) && writeString(w, m.solverId) && writeRanges(w, m) &&
           writeEntriesAndNominals(w, m) && writeF64Array(w, m.strainRougheningValues) &&
           writeF64Array(w, m.staticFrictionValues) && writeF64Array(w, m.toolWearValues) &&
           writeAxesAndProperties(w, m);
}

bool SerializeModule(const Module& m, MallocBuffer& blob, uint64_t& length) {
    RecordWriter w;
    if (!recordWriterInit(w) || !WriteModuleRecord(w, m)) return false;
    uint64_t size = 0;
    MallocBuffer finished = recordWriterFinish(w, size);
    if (!finished) return false;
    blob = std::move(finished);
    length = size;
    return true;
}

}  // namespace mx
