// Stream segments that a module record and a Lubricant record lay out alike.
// Both structs name these fields alike, so one template reads or writes
// either; each record's own function strings the segments together with the
// fields only it carries.
#pragma once

#include "serialize/sub_records.h"

namespace mx {

// Identifier, name, record kind and the two texts.
template <typename Material>
bool readLeadingFields(RecordReader& r, Material& m) {
    return readBytes(r, 16, m.identifier.data()) && readString(r, m.name) &&
           readU16(r, m.formatVersion) && readString(r, m.text1) && readString(r, m.text2);
}

// The pressure, strain, temperature and velocity ranges, minimum first.
template <typename Material>
bool readRanges(RecordReader& r, Material& m) {
    return readF64(r, m.pressureMin) && readF64(r, m.pressureMax) && readF64(r, m.strainMin) &&
           readF64(r, m.strainMax) && readF64(r, m.temperatureMin) &&
           readF64(r, m.temperatureMax) && readF64(r, m.velocityMin) && readF64(r, m.velocityMax);
}

// Both entry arrays, then the three nominal surface conditions.
template <typename Material>
bool readEntriesAndNominals(RecordReader& r, Material& m) {
    return ReadEntryArray(r, m.primaryEntries) && ReadEntryArray(r, m.secondaryEntries) &&
           readF64(r, m.nominalSheetRoughness) && readF64(r, m.nominalLubricationAmount) &&
           readF64(r, m.nominalToolRoughness);
}

// The state and condition axes, the two status flags, the three property lists.
template <typename Material>
bool readAxesAndProperties(RecordReader& r, Material& m) {
    return readF64Array(r, m.stateAxis) && readF64Array(r, m.sheetRoughnessValues) &&
           readF64Array(r, m.lubricationAmountValues) && readF64Array(r, m.toolRoughnessValues) &&
           readU64(r, m.directionDependency) && readU64(r, m.heatTransferStatus) &&
           ReadPropertyList(r, m.workpieceProperties) &&
           ReadPropertyList(r, m.lubricantProperties) && ReadPropertyList(r, m.toolingProperties);
}

template <typename Material>
bool writeLeadingFields(RecordWriter& w, const Material& m) {
    return writeBytes(w, m.identifier.data(), 16) && writeString(w, m.name) &&
           writeU16(w, m.formatVersion) && writeString(w, m.text1) && writeString(w, m.text2);
}

template <typename Material>
bool writeRanges(RecordWriter& w, const Material& m) {
    return writeF64(w, m.pressureMin) && writeF64(w, m.pressureMax) && writeF64(w, m.strainMin) &&
           writeF64(w, m.strainMax) && writeF64(w, m.temperatureMin) &&
           writeF64(w, m.temperatureMax) && writeF64(w, m.velocityMin) &&
           writeF64(w, m.velocityMax);
}

template <typename Material>
bool writeEntriesAndNominals(RecordWriter& w, const Material& m) {
    return WriteEntryArray(w, m.primaryEntries) && WriteEntryArray(w, m.secondaryEntries) &&
           writeF64(w, m.nominalSheetRoughness) && writeF64(w, m.nominalLubricationAmount) &&
           writeF64(w, m.nominalToolRoughness);
}

template <typename Material>
bool writeAxesAndProperties(RecordWriter& w, const Material& m) {
    return writeF64Array(w, m.stateAxis) && writeF64Array(w, m.sheetRoughnessValues) &&
           writeF64Array(w, m.lubricationAmountValues) && writeF64Array(w, m.toolRoughnessValues) &&
           writeU64(w, m.directionDependency) && writeU64(w, m.heatTransferStatus) &&
           WritePropertyList(w, m.workpieceProperties) &&
           WritePropertyList(w, m.lubricantProperties) && WritePropertyList(w, m.toolingProperties);
}

}  // namespace mx
