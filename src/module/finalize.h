// Module finalization: everything evaluation needs that no record stores.
#pragma once

#include "model/module.h"

namespace mx {

// Sorts the four axes, builds both entry tables and both package tables and
// the grid spacing of every package model. Fails only when a table would be
// far larger than the entries could fill (hostile axis counts).
bool FinalizeModule(Module& m);

int CompareF64(const void* a, const void* b);
bool BuildEntryTable(const std::vector<TableEntry>& entries, const Module& m, EntryTable& out);
void BuildPackageTable(const std::vector<TableEntry>& entries, std::vector<uint32_t>& out);
void ComputeGridSpacing(Module& m);

// The entry a table cell refers to, or nullptr for a cell no entry matched.
inline const TableEntry* cellEntry(const Module& m, const EntryTable& table,
                                   const std::vector<TableEntry>& entries, size_t i, size_t j,
                                   size_t k, size_t l) {
    if (table.cells.empty()) return nullptr;
    const int32_t index = table.cells[cellIndex(m, i, j, k, l)];
    return index == kNoEntry ? nullptr : &entries[static_cast<size_t>(index)];
}

}  // namespace mx
