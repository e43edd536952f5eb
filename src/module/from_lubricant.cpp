// A Lubricant record becomes a module: it already has the module's shape, so
// the conversion takes over the entries, copies the rest, keeps of each
// property list only the keys of its own prefix and fills the fields the
// record lacks with the fixed defaults.
#include "module/assembly.h"

namespace mx {

void ModuleFromLubricantRecord(LubricantRecord& record, ModulePtr& slot) {
    auto m = std::make_unique<Module>();
    m->identifier.fill(0);
    m->name = kVersionBlockName;
    m->formatVersion = 3;
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
    m->nominalSheetRoughness = record.nominalSheetRoughness;
    m->nominalLubricationAmount = record.nominalLubricationAmount;
    m->nominalToolRoughness = record.nominalToolRoughness;
    m->stateAxis = record.stateAxis;
    m->sheetRoughnessValues = record.sheetRoughnessValues;
    m->lubricationAmountValues = record.lubricationAmountValues;
    m->toolRoughnessValues = record.toolRoughnessValues;
    // Kept as read: a nonzero value other than 1 stays what it is.
    m->directionDependency = record.directionDependency;
    m->heatTransferStatus = record.heatTransferStatus;
    m->workpieceProperties = FilterProperties(record.workpieceProperties, u"Sheet");
    m->lubricantProperties = FilterProperties(record.lubricantProperties, u"Lubricant");
    m->toolingProperties = FilterProperties(record.toolingProperties, u"Tooling");
    m->solverId = kDefaultSolverId;
    m->strainRougheningValues = {0.0};
    m->staticFrictionValues = {0.0};
    m->toolWearValues = {0.0};
    // Moved last, once nothing can throw: a failed copy leaves the record whole.
    m->primaryEntries = std::move(record.primaryEntries);
    m->secondaryEntries = std::move(record.secondaryEntries);
    slot = std::move(m);
}

}  // namespace mx
