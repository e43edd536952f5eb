// Small valid modules and records for tests that need realistic input: every
// package model a 625-centre multiquadric on a 3-point grid, deterministic
// weights, modest sizes (each serialized module below 64 KB).
#pragma once

#include <cstdint>
#include <vector>

#include "api/module.h"

namespace mxtest {

using Bytes = std::vector<uint8_t>;

// Twelve packages at one data point (ids 9 and 11 without data), one
// five-sample heat-transfer curve, heat transfer on.
mx::Module singlePointModule();
// A 2 x 2 table over sheet roughness and lubrication amount, axes unsorted.
mx::Module tableModule();
// Primary and transverse data along the sheet roughness axis, two states.
mx::Module directionalModule();
// Models with 1000 (8 x 5 x 5 x 5) and 1296 (6^4) centres.
mx::Module otherCentresModule();
// No entries; a 1000-character text and longer lists.
mx::Module moduleWithoutEntries();

Bytes serializedModule(const mx::Module& m);
// A module record whose ranges follow the second text (no solver id).
Bytes moduleRecordWithoutSolverId();
// A Sheet record: `groupSize` (6 or 12) items per lubrication amount, the
// items at position 3 with a 625-centre model, thirteen properties. The other
// items have no centres, so its module reads but does not prepare.
Bytes sheetRecord(size_t groupSize, std::vector<double> amounts);
// The Lubricant record carrying the data of `m`.
Bytes lubricantRecord(const mx::Module& m);

}  // namespace mxtest
