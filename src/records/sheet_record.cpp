#include "records/sheet_record.h"

#include "records/record_bytes.h"
#include "serialize/sub_records.h"

namespace mx {

int32_t itemGroupSize(const SheetRecord& record) {
    const bool directional =
        record.flags.size() > kDirectionFlag && record.flags[kDirectionFlag] != 0;
    return directional ? 12 : 6;
}

static bool readRange(RecordReader& r, double& min, double& max, uint64_t& count) {
    return readF64(r, min) && readF64(r, max) && readU64(r, count);
}

static bool readSheetItem(RecordReader& r, SheetItem& item) {
    return readF64(r, item.offset) && readF64(r, item.shape) && readF64Array(r, item.scales) &&
           readF64Array(r, item.weights);
}

// The item array is sized from the flags and the amount count, both read from
// the stream: it is allocated only when every item could still follow.
static bool readSheetItems(RecordReader& r, SheetRecord& record) {
    const uint64_t groups = record.lubricationAmounts.size();
    const uint64_t groupSize = static_cast<uint64_t>(itemGroupSize(record));
    if (!countFits(r, groups, groupSize * kMinSheetItemBytes, "sheet item group")) return false;
    record.sheetItems.resize(static_cast<size_t>(groups * groupSize));
    for (auto& item : record.sheetItems) {
        if (!readSheetItem(r, item)) return false;
    }
    return true;
}

bool ReadSheetRecord(const uint8_t* data, int32_t length, SheetRecord& out, ReadFault* fault) {
    RecordReader r;
    recordReaderInit(r, data, length, fault);
    SheetRecord record;
    // The auxiliary values and the counts after the ranges are used by no one,
    // but they occupy bytes and are read like everything else.
    const bool read =
        readBytes(r, 16, record.identifier.data()) && readString(r, record.text1) &&
        readString(r, record.text2) && readU64Array(r, record.flags) &&
        readF64Array(r, record.auxiliaryValues) &&
        readRange(r, record.pressureMin, record.pressureMax, record.pressureCount) &&
        readRange(r, record.strainMin, record.strainMax, record.strainCount) &&
        readRange(r, record.temperatureMin, record.temperatureMax, record.temperatureCount) &&
        readRange(r, record.velocityMin, record.velocityMax, record.velocityCount) &&
        readF64Array(r, record.lubricationAmounts) && readSheetItems(r, record) &&
        ReadPropertyList(r, record.properties);
    if (!read) return false;
    out = std::move(record);
    return true;
}

static bool writeRange(RecordWriter& w, double min, double max, uint64_t count) {
    return writeF64(w, min) && writeF64(w, max) && writeU64(w, count);
}

static bool writeSheetItem(RecordWriter& w, const SheetItem& item) {
    return writeF64(w, item.offset) && writeF64(w, item.shape) && writeF64Array(w, item.scales) &&
           writeF64Array(w, item.weights);
}

bool WriteSheetRecord(RecordWriter& w, const SheetRecord& record) {
    const size_t itemCount =
        static_cast<size_t>(itemGroupSize(record)) * record.lubricationAmounts.size();
    if (record.sheetItems.size() != itemCount) return false;
    bool written =
        writeBytes(w, record.identifier.data(), 16) && writeString(w, record.text1) &&
        writeString(w, record.text2) && writeU64Array(w, record.flags) &&
        writeF64Array(w, record.auxiliaryValues) &&
        writeRange(w, record.pressureMin, record.pressureMax, record.pressureCount) &&
        writeRange(w, record.strainMin, record.strainMax, record.strainCount) &&
        writeRange(w, record.temperatureMin, record.temperatureMax, record.temperatureCount) &&
        writeRange(w, record.velocityMin, record.velocityMax, record.velocityCount) &&
        writeF64Array(w, record.lubricationAmounts);
    for (size_t i = 0; written && i < itemCount; ++i)
        written = writeSheetItem(w, record.sheetItems[i]);
    return written && WritePropertyList(w, record.properties);
}

std::vector<uint8_t> SheetRecordBytes(const SheetRecord& record) {
    return recordBytes(record, WriteSheetRecord);
}

}  // namespace mx
