// The Lubricant record (record kind 2): a module's own data in the module's
// own shape, behind a version block that names kind 2. Compared with the
// module record it lacks the solver id and the strain-roughening,
// static-friction and tool-wear lists.
//
// The reader and the writer are exact inverses; the defaults of `name` and
// `formatVersion` make a default-filled record a stream that
// Morvex_DeserializeModule recognises as a Lubricant record.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "model/module.h"
#include "stream/record_reader.h"
#include "stream/record_writer.h"

namespace mx {

struct LubricantRecord {
    std::array<uint8_t, 16> identifier{};  // not carried into a module
    Text name = kVersionBlockName;         // version block tag, stored as read
    uint16_t formatVersion = 2;            // record kind, stored as read
    Text text1;
    Text text2;
    double pressureMin = 0.0, pressureMax = 0.0;
    double strainMin = 0.0, strainMax = 0.0;
    double temperatureMin = 0.0, temperatureMax = 0.0;
    double velocityMin = 0.0, velocityMax = 0.0;
    std::vector<TableEntry> primaryEntries;    // sliding direction
    std::vector<TableEntry> secondaryEntries;  // transverse
    double nominalSheetRoughness = 0.0;
    double nominalLubricationAmount = 0.0;
    double nominalToolRoughness = 0.0;
    // The four table axes, in any order: finalization sorts the module's copies.
    std::vector<double> stateAxis;
    std::vector<double> sheetRoughnessValues;
    std::vector<double> lubricationAmountValues;
    std::vector<double> toolRoughnessValues;
    uint64_t directionDependency = 0;
    uint64_t heatTransferStatus = 0;
    PropertyList workpieceProperties;  // only keys starting "Sheet" reach a module
    PropertyList lubricantProperties;  // only keys starting "Lubricant"
    PropertyList toolingProperties;    // only keys starting "Tooling"
};

// Parses a Lubricant record from the start of the buffer; bytes after the
// third property list are ignored. `out` is replaced only on success.
bool ReadLubricantRecord(const uint8_t* data, int32_t length, LubricantRecord& out,
                         ReadFault* fault = nullptr);

// Writes the record in the layout ReadLubricantRecord reads. Fails when a
// property list has keys and values of different counts.
bool WriteLubricantRecord(RecordWriter& w, const LubricantRecord& record);

// The finished stream of a record: empty when WriteLubricantRecord fails.
// Throws std::bad_alloc when memory runs out.
std::vector<uint8_t> LubricantRecordBytes(const LubricantRecord& record);

}  // namespace mx
