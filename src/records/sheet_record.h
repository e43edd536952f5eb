// The Sheet record (record kind 1): package models of one sheet material for
// each of a list of lubrication amounts, the ranges of the four contact-state
// variables and a list of descriptive properties.
//
// The record carries no version block and no item count: the number of
// package-model items follows from the flags and the lubrication amounts. The
// reader and the writer are exact inverses, so a data-file SDK fills a
// SheetRecord and writes it with WriteSheetRecord or SheetRecordBytes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "model/module.h"
#include "stream/record_reader.h"
#include "stream/record_writer.h"

namespace mx {

// One package model before conversion into a PackageData.
struct SheetItem {
    double offset = 0.0;
    double shape = 0.0;
    std::vector<double> scales;
    std::vector<double> weights;
};

// Smallest stream size of a SheetItem: two f64 and two empty arrays.
constexpr uint64_t kMinSheetItemBytes = 32;

// Index into `flags` of the flag that makes a record direction dependent.
constexpr size_t kDirectionFlag = 3;

struct SheetRecord {
    std::array<uint8_t, 16> identifier{};  // opaque head; not carried into a module
    Text text1;
    Text text2;
    std::vector<uint64_t> flags;  // flags[3] nonzero: direction dependent
    std::vector<double> auxiliaryValues;
    double pressureMin = 0.0, pressureMax = 0.0;
    uint64_t pressureCount = 0;
    double strainMin = 0.0, strainMax = 0.0;
    uint64_t strainCount = 0;
    double temperatureMin = 0.0, temperatureMax = 0.0;
    uint64_t temperatureCount = 0;
    double velocityMin = 0.0, velocityMax = 0.0;
    uint64_t velocityCount = 0;
    std::vector<double> lubricationAmounts;  // record order, not necessarily sorted
    // itemGroupSize x lubricationAmounts.size() items; group i belongs to
    // lubricationAmounts[i]. In a group of 12 the first six are the
    // sliding-direction models and the last six the transverse ones.
    std::vector<SheetItem> sheetItems;
    PropertyList properties;  // positions 3 and 12 carry sheet and tool roughness
};

// 12 when there are more than three flags and flags[3] is nonzero, else 6.
int32_t itemGroupSize(const SheetRecord& record);

// Parses a Sheet record from the start of the buffer; bytes after the property
// list are ignored. `out` is replaced only on success.
bool ReadSheetRecord(const uint8_t* data, int32_t length, SheetRecord& out,
                     ReadFault* fault = nullptr);

// Writes the record in the layout ReadSheetRecord reads. Fails, having written
// a part, when the item count is not itemGroupSize x lubricationAmounts.size()
// or a property list has keys and values of different counts: such a record
// has no stream form that reads back.
bool WriteSheetRecord(RecordWriter& w, const SheetRecord& record);

// The finished stream of a record: empty when WriteSheetRecord fails (a valid
// stream is never empty). Throws std::bad_alloc when memory runs out.
std::vector<uint8_t> SheetRecordBytes(const SheetRecord& record);

}  // namespace mx
