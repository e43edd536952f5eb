// Data faults of a finalized module: data that reads without error but makes
// a solver fail or quietly give wrong answers. The exports never report these
// (they answer 0, or clamp); tools use the diagnosis to say why.
#pragma once

#include <string>
#include <vector>

#include "model/module.h"

namespace mx {

enum class DataFaultKind {
    NonFiniteValue,              // NaN (or infinity) among the numbers
    EmptyRange,                  // a contact-variable range whose maximum is not above its minimum
    EmptyAxis,                   // a condition axis without values: nothing can be bracketed
    NoEntries,                   // no primary entries: no package is available
    EntryOffAxes,                // an entry whose coordinates are not all on the axes: in no cell
    DuplicateEntry,              // two entries on the same cell: the later one hides the earlier
    UnmatchedCell,               // a table cell no entry matches: evaluations reaching it fail
    PackageLayout,               // an entry whose packages differ from the first entry's
    UnpreparableModel,           // centre count, scale count or grid size preparation cannot use
    NegativeShape,               // a shape below 0: square roots of negative numbers
    OneDirectionPackage,         // direction dependent, but a package exists in one direction only
    MissingCurve,                // heat transfer modelled, but an entry has no curve
    CurveShorterThanGrid,        // a curve with fewer samples than package 6's temperature grid
    HeatTransferPackageMissing,  // heat transfer modelled, but package 6 is not available
};

struct DataFault {
    DataFaultKind kind;
    std::string message;  // complete sentence naming where and why
};

// Short stable name of a kind, e.g. "unmatched-cell".
const char* DataFaultKindName(DataFaultKind kind);

// Every data fault of `m`, which must be finalized (sorted axes, tables and
// package flags built). Faults of one kind in one place are reported once,
// with a count and the first examples.
std::vector<DataFault> DiagnoseModule(const Module& m);

}  // namespace mx
