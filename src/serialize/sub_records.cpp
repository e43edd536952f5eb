#include "serialize/sub_records.h"

namespace mx {

bool ReadPackageData(RecordReader& r, PackageData& out) {
    PackageData pd;
    uint64_t gridValueCount;
    if (!readF64Array(r, pd.scales) || !readF64Array(r, pd.weights) || !readF64(r, pd.shape) ||
        !readF64(r, pd.offset) || !readU64(r, pd.factor) || !readU64(r, pd.gridPointCount) ||
        !readU64(r, gridValueCount)) {
        return false;
    }
    // Stored grid values are never used: a module is always prepared afresh.
    if (gridValueCount > static_cast<uint64_t>(bytesRemaining(r)) / 8) {
        return failRead(r, "grid value count " + std::to_string(gridValueCount) +
                               " runs past the end of the stream");
    }
    r.cursor += gridValueCount * 8;
    out = std::move(pd);
    return true;
}

bool ReadHeatTransferCurve(RecordReader& r, HeatTransferCurve& out) {
    HeatTransferCurve c;
    if (!readF64Array(r, c.divisors) || !readF64Array(r, c.numerators) ||
        !readF64Array(r, c.offsets)) {
        return false;
    }
    out = std::move(c);
    return true;
}

// A u64 count (zero or negative as signed: none), then that many records.
template <typename T, typename ReadOne>
static bool readCounted(RecordReader& r, std::vector<T>& out, uint64_t minBytesEach,
                        const char* item, ReadOne readOne) {
    uint64_t count;
    if (!readU64(r, count)) return false;
    std::vector<T> records;
    if (static_cast<int64_t>(count) > 0) {
        if (!countFits(r, count, minBytesEach, item)) return false;
        records.resize(static_cast<size_t>(count));
        for (auto& record : records) {
            if (!readOne(r, record)) return false;
        }
    }
    out = std::move(records);
    return true;
}

bool ReadTableEntry(RecordReader& r, TableEntry& out) {
    TableEntry e;
    if (!readCounted(r, e.packageData, kMinPackageDataBytes, "package data", ReadPackageData) ||
        !readCounted(r, e.curves, kMinCurveBytes, "heat-transfer curve", ReadHeatTransferCurve) ||
        !readF64(r, e.stateValue) || !readF64(r, e.sheetRoughness) ||
        !readF64(r, e.lubricationAmount) || !readF64(r, e.toolRoughness)) {
        return false;
    }
    out = std::move(e);
    return true;
}

bool ReadEntryArray(RecordReader& r, std::vector<TableEntry>& out) {
    return readCounted(r, out, kMinTableEntryBytes, "table entry", ReadTableEntry);
}

bool ReadPropertyList(RecordReader& r, PropertyList& out) {
    uint64_t count;
    if (!readU64(r, count)) return false;
    PropertyList list;
    if (static_cast<int64_t>(count) > 0) {
        if (!countFits(r, count, kMinPropertyBytes, "property")) return false;
        list.keys.resize(static_cast<size_t>(count));
        list.values.resize(static_cast<size_t>(count));
        for (size_t i = 0; i < list.keys.size(); ++i) {
            if (!readString(r, list.keys[i]) || !readString(r, list.values[i])) return false;
        }
    }
    out = std::move(list);
    refreshView(out);
    return true;
}

bool WritePackageData(RecordWriter& w, const PackageData& pd) {
    return writeF64Array(w, pd.scales) && writeF64Array(w, pd.weights) && writeF64(w, pd.shape) &&
           writeF64(w, pd.offset) && writeU64(w, pd.factor) && writeU64(w, pd.gridPointCount) &&
           writeU64(w, 0);  // grids are never stored
}

bool WriteHeatTransferCurve(RecordWriter& w, const HeatTransferCurve& c) {
    return writeF64Array(w, c.divisors) && writeF64Array(w, c.numerators) &&
           writeF64Array(w, c.offsets);
}

bool WriteTableEntry(RecordWriter& w, const TableEntry& e) {
    if (!writeU64(w, e.packageData.size())) return false;
    for (const auto& pd : e.packageData) {
        if (!WritePackageData(w, pd)) return false;
    }
    if (!writeU64(w, e.curves.size())) return false;
    for (const auto& c : e.curves) {
        if (!WriteHeatTransferCurve(w, c)) return false;
    }
    return writeF64(w, e.stateValue) && writeF64(w, e.sheetRoughness) &&
           writeF64(w, e.lubricationAmount) && writeF64(w, e.toolRoughness);
}

bool WriteEntryArray(RecordWriter& w, const std::vector<TableEntry>& entries) {
    if (!writeU64(w, entries.size())) return false;
    for (const auto& e : entries) {
        if (!WriteTableEntry(w, e)) return false;
    }
    return true;
}

bool WritePropertyList(RecordWriter& w, const PropertyList& list) {
    // A list built in code with unpaired keys has no encoding; refuse it.
    if (list.values.size() != list.keys.size()) return false;
    if (!writeU64(w, list.keys.size())) return false;
    for (size_t i = 0; i < list.keys.size(); ++i) {
        if (!writeString(w, list.keys[i]) || !writeString(w, list.values[i])) return false;
    }
    return true;
}

}  // namespace mx
