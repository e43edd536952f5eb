// Module assembly: turning a parsed Sheet or Lubricant record into a complete,
// not yet finalized module. Each conversion builds a new module and stores it
// in the slot only when it is complete; it has no failing step of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "model/module.h"
#include "records/lubricant_record.h"
#include "records/sheet_record.h"

namespace mx {

// The package index of the model at position k (0 to 5) within its six: the
// package whose id is (k + 1) mod 6.
int32_t packageSlotOfPosition(int32_t k);

// The number a wide-string-to-double conversion finds at the head of `text`
// in the "C" locale, whatever locale the process runs in: leading white space
// skipped, then the longest decimal or hexadecimal floating-point prefix, or
// infinity or NaN; 0.0 when there is none.
double parseLeadingDouble(std::u16string_view text);

// The value of the property at `position` in record order, parsed and rounded
// to two decimals with halves going up; 0.0 when there is no such property.
double RoundedPropertyValue(const SheetRecord& record, int64_t position);

// The lower middle element of the values in the order given (not sorted);
// 0.0 for none.
double MiddleValue(const std::vector<double>& values);

// Copies of the pairs whose key starts with `prefix` (case-sensitive), in list
// order.
PropertyList FilterProperties(const PropertyList& list, std::u16string_view prefix);

// A new module holding what every record kind gives alike: the two texts and
// the four ranges copied from `record`, and the fixed defaults of the fields
// no record carries (zero identifier, version-block name and format, default
// solver id, single-zero model lists).
template <typename Record>
std::unique_ptr<Module> NewModuleFromRecord(const Record& record) {
    auto m = std::make_unique<Module>();
    m->identifier.fill(0);
    m->name = kVersionBlockName;
    m->formatVersion = 3;
    m->solverId = kDefaultSolverId;
    m->strainRougheningValues = {0.0};
    m->staticFrictionValues = {0.0};
    m->toolWearValues = {0.0};
    m->text1 = record.text1;
    m->text2 = record.text2;
    m->pressureMin = record.pressureMin;
    m->pressureMax = record.pressureMax;
    m->strainMin = record.strainMin;
    m->strainMax = record.strainMax;
    m->temperatureMin = record.temperatureMin;
    m->temperatureMax = record.temperatureMax;
    m->velocityMin = record.velocityMin;
    m->velocityMax = record.velocityMax;
    return m;
}

// Keeps of each property list only the keys of its own prefix.
inline void SetFilteredProperties(Module& m, const PropertyList& workpiece,
                                  const PropertyList& lubricant, const PropertyList& tooling) {
    m.workpieceProperties = FilterProperties(workpiece, u"Sheet");
    m.lubricantProperties = FilterProperties(lubricant, u"Lubricant");
    m.toolingProperties = FilterProperties(tooling, u"Tooling");
}

void ModuleFromSheetRecord(const SheetRecord& record, ModulePtr& slot);

// Takes over the record's entry arrays; everything else is copied.
void ModuleFromLubricantRecord(LubricantRecord& record, ModulePtr& slot);

}  // namespace mx
