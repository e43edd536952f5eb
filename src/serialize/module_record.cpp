#include "serialize/module_record.h"

#include "serialize/sub_records.h"

namespace mx {

static bool readRanges(RecordReader& r, Module& m) {
    return readF64(r, m.pressureMin) && readF64(r, m.pressureMax) && readF64(r, m.strainMin) &&
           readF64(r, m.strainMax) && readF64(r, m.temperatureMin) &&
           readF64(r, m.temperatureMax) && readF64(r, m.velocityMin) && readF64(r, m.velocityMax);
}

bool ReadModuleRecord(const uint8_t* data, int32_t length, ModulePtr& slot, ReadFault* fault) {
    slot = std::make_unique<Module>();
    Module& m = *slot;
    RecordReader r;
    recordReaderInit(r, data, length, fault);
    if (!readBytes(r, 16, m.identifier.data()) || !readString(r, m.name) ||
        !readU16(r, m.formatVersion) || !readString(r, m.text1) || !readString(r, m.text2)) {
        return false;
    }
    // The solver id is optional: when the next eight bytes cannot be a string
    // count, the ranges follow directly.
    if (!tryReadString(r, m.solverId)) m.solverId = kDefaultSolverId;
    return readRanges(r, m) && ReadEntryArray(r, m.primaryEntries) &&
           ReadEntryArray(r, m.secondaryEntries) && readF64(r, m.nominalSheetRoughness) &&
           readF64(r, m.nominalLubricationAmount) && readF64(r, m.nominalToolRoughness) &&
           readF64Array(r, m.strainRougheningValues) && readF64Array(r, m.staticFrictionValues) &&
           readF64Array(r, m.toolWearValues) && readF64Array(r, m.stateAxis) &&
           readF64Array(r, m.sheetRoughnessValues) && readF64Array(r, m.lubricationAmountValues) &&
           readF64Array(r, m.toolRoughnessValues) && readU64(r, m.directionDependency) &&
           readU64(r, m.heatTransferStatus) && ReadPropertyList(r, m.workpieceProperties) &&
           ReadPropertyList(r, m.lubricantProperties) && ReadPropertyList(r, m.toolingProperties);
}

bool WriteModuleRecord(RecordWriter& w, const Module& m) {
    return writeBytes(w, m.identifier.data(), 16) && writeString(w, m.name) &&
           writeU16(w, m.formatVersion) && writeString(w, m.text1) && writeString(w, m.text2) &&
           writeString(w, m.solverId) && writeF64(w, m.pressureMin) && writeF64(w, m.pressureMax) &&
           writeF64(w, m.strainMin) && writeF64(w, m.strainMax) && writeF64(w, m.temperatureMin) &&
           writeF64(w, m.temperatureMax) && writeF64(w, m.velocityMin) &&
           writeF64(w, m.velocityMax) && WriteEntryArray(w, m.primaryEntries) &&
           WriteEntryArray(w, m.secondaryEntries) && writeF64(w, m.nominalSheetRoughness) &&
           writeF64(w, m.nominalLubricationAmount) && writeF64(w, m.nominalToolRoughness) &&
           writeF64Array(w, m.strainRougheningValues) && writeF64Array(w, m.staticFrictionValues) &&
           writeF64Array(w, m.toolWearValues) && writeF64Array(w, m.stateAxis) &&
           writeF64Array(w, m.sheetRoughnessValues) &&
           writeF64Array(w, m.lubricationAmountValues) && writeF64Array(w, m.toolRoughnessValues) &&
           writeU64(w, m.directionDependency) && writeU64(w, m.heatTransferStatus) &&
           WritePropertyList(w, m.workpieceProperties) &&
           WritePropertyList(w, m.lubricantProperties) && WritePropertyList(w, m.toolingProperties);
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
