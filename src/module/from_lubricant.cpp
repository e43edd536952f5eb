// A Lubricant record becomes a module: it already has the module's shape, so
// the conversion takes over the entries, copies the rest, keeps of each
// property list only the keys of its own prefix and fills the fields the
// record lacks with the fixed defaults.
#include "module/assembly.h"

namespace mx {

void ModuleFromLubricantRecord(LubricantRecord& record, ModulePtr& slot) {
    auto m = NewModuleFromRecord(record);
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
    SetFilteredProperties(*m, record.workpieceProperties, record.lubricantProperties,
                          record.toolingProperties);
    // Moved last, once nothing can throw: a failed copy leaves the record whole.
    m->primaryEntries = std::move(record.primaryEntries);
    m->secondaryEntries = std::move(record.secondaryEntries);
    slot = std::move(m);
}

}  // namespace mx
