// Material records for tests: builders that fill the record structs, and the
// round trip through the exported deserializer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "api/module.h"
#include "records/lubricant_record.h"
#include "records/sheet_record.h"

namespace mx::test {

// A property list from key/value pairs, view refreshed.
PropertyList propertyList(std::initializer_list<std::pair<Text, Text>> pairs);

// A Sheet record with one group of items per amount. groupSize 12 sets the
// direction flag; 6 leaves four zero flags. Item idx has offset idx, shape
// idx + 0.5, scales {idx, 1, 2, 3} and weights {idx * 10}, so every package
// tells which item it came from.
SheetRecord sheetRecordWithItems(int groupSize, const std::vector<double>& amounts);

// A Lubricant record with two primary and two secondary entries on the axes
// sheet roughness {1.0, 0.5}, amount {2.0}, tool roughness {0.3}, state {0.0}
// (axes deliberately descending), each entry with two package models and one
// heat-transfer curve.
LubricantRecord sampleLubricantRecord();

// Morvex_DeserializeModule over the bytes; null when it fails. Checks that a
// failure leaves the out-parameter untouched.
ModulePtr deserialize(const std::vector<uint8_t>& bytes);

}  // namespace mx::test
