// Stream form of the sub-records shared by the module record and the material
// records: table entries with their package models and heat-transfer curves,
// and property lists.
#pragma once

#include "model/module.h"
#include "stream/record_reader.h"
#include "stream/record_writer.h"

namespace mx {

// Smallest stream size of one sub-record; bounds counts before allocating.
constexpr uint64_t kMinTableEntryBytes = 48;   // two zero counts, four coordinates
constexpr uint64_t kMinPackageDataBytes = 56;  // two empty arrays, five scalars
constexpr uint64_t kMinCurveBytes = 24;        // three empty arrays
constexpr uint64_t kMinPropertyBytes = 16;     // two empty strings

bool ReadPackageData(RecordReader& r, PackageData& out);
bool ReadHeatTransferCurve(RecordReader& r, HeatTransferCurve& out);
bool ReadTableEntry(RecordReader& r, TableEntry& out);
// A u64 count, then that many entries.
bool ReadEntryArray(RecordReader& r, std::vector<TableEntry>& out);
// A u64 count, then key/value string pairs. The view is refreshed on success.
bool ReadPropertyList(RecordReader& r, PropertyList& out);

bool WritePackageData(RecordWriter& w, const PackageData& pd);
bool WriteHeatTransferCurve(RecordWriter& w, const HeatTransferCurve& c);
bool WriteTableEntry(RecordWriter& w, const TableEntry& e);
bool WriteEntryArray(RecordWriter& w, const std::vector<TableEntry>& entries);
bool WritePropertyList(RecordWriter& w, const PropertyList& list);

}  // namespace mx
