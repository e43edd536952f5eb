#include "records/lubricant_record.h"

#include "records/record_bytes.h"
#include "serialize/sub_records.h"

namespace mx {

static bool readRanges(RecordReader& r, LubricantRecord& l) {
    return readF64(r, l.pressureMin) && readF64(r, l.pressureMax) && readF64(r, l.strainMin) &&
           readF64(r, l.strainMax) && readF64(r, l.temperatureMin) &&
           readF64(r, l.temperatureMax) && readF64(r, l.velocityMin) && readF64(r, l.velocityMax);
}

bool ReadLubricantRecord(const uint8_t* data, int32_t length, LubricantRecord& out,
                         ReadFault* fault) {
    RecordReader r;
    recordReaderInit(r, data, length, fault);
    LubricantRecord l;
    const bool read =
        readBytes(r, 16, l.identifier.data()) && readString(r, l.name) &&
        readU16(r, l.formatVersion) && readString(r, l.text1) && readString(r, l.text2) &&
        readRanges(r, l) && ReadEntryArray(r, l.primaryEntries) &&
        ReadEntryArray(r, l.secondaryEntries) && readF64(r, l.nominalSheetRoughness) &&
        readF64(r, l.nominalLubricationAmount) && readF64(r, l.nominalToolRoughness) &&
        readF64Array(r, l.stateAxis) && readF64Array(r, l.sheetRoughnessValues) &&
        readF64Array(r, l.lubricationAmountValues) && readF64Array(r, l.toolRoughnessValues) &&
        readU64(r, l.directionDependency) && readU64(r, l.heatTransferStatus) &&
        ReadPropertyList(r, l.workpieceProperties) && ReadPropertyList(r, l.lubricantProperties) &&
        ReadPropertyList(r, l.toolingProperties);
    if (!read) return false;
    out = std::move(l);
    return true;
}

static bool pairsMatch(const PropertyList& list) {
    return list.keys.size() == list.values.size();
}

bool WriteLubricantRecord(RecordWriter& w, const LubricantRecord& l) {
    if (!pairsMatch(l.workpieceProperties) || !pairsMatch(l.lubricantProperties) ||
        !pairsMatch(l.toolingProperties)) {
        return false;
    }
    return writeBytes(w, l.identifier.data(), 16) && writeString(w, l.name) &&
           writeU16(w, l.formatVersion) && writeString(w, l.text1) && writeString(w, l.text2) &&
           writeF64(w, l.pressureMin) && writeF64(w, l.pressureMax) && writeF64(w, l.strainMin) &&
           writeF64(w, l.strainMax) && writeF64(w, l.temperatureMin) &&
           writeF64(w, l.temperatureMax) && writeF64(w, l.velocityMin) &&
           writeF64(w, l.velocityMax) && WriteEntryArray(w, l.primaryEntries) &&
           WriteEntryArray(w, l.secondaryEntries) && writeF64(w, l.nominalSheetRoughness) &&
           writeF64(w, l.nominalLubricationAmount) && writeF64(w, l.nominalToolRoughness) &&
           writeF64Array(w, l.stateAxis) && writeF64Array(w, l.sheetRoughnessValues) &&
           writeF64Array(w, l.lubricationAmountValues) && writeF64Array(w, l.toolRoughnessValues) &&
           writeU64(w, l.directionDependency) && writeU64(w, l.heatTransferStatus) &&
           WritePropertyList(w, l.workpieceProperties) &&
           WritePropertyList(w, l.lubricantProperties) && WritePropertyList(w, l.toolingProperties);
}

std::vector<uint8_t> LubricantRecordBytes(const LubricantRecord& record) {
    return recordBytes(record, WriteLubricantRecord);
}

}  // namespace mx
