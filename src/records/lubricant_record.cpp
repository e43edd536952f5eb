#include "records/lubricant_record.h"

#include "records/record_bytes.h"
#include "serialize/material_fields.h"

namespace mx {

bool ReadLubricantRecord(const uint8_t* data, int32_t length, LubricantRecord& out,
                         ReadFault* fault) {
    RecordReader r;
    recordReaderInit(r, data, length, fault);
    LubricantRecord l;
    const bool read = readLeadingFields(r, l) && readRanges(r, l) && readEntriesAndNominals(r, l) &&
                      readAxesAndProperties(r, l);
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
    return writeLeadingFields(w, l) && writeRanges(w, l) && writeEntriesAndNominals(w, l) &&
           writeAxesAndProperties(w, l);
}

std::vector<uint8_t> LubricantRecordBytes(const LubricantRecord& record) {
    return recordBytes(record, WriteLubricantRecord);
}

}  // namespace mx
