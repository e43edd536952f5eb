// Evaluation views: what preparation can settle once so that a per-node
// evaluation reads its cells without checks. Every view is all or nothing: a
// data set with one cell that does not qualify gets no view for that package,
// and the general path evaluates it (and fails where it must).
#include <cstring>

#include "friction/evaluate.h"

namespace mx {

namespace {

constexpr size_t kPackageViews = 12;
constexpr size_t kHeatTransferIndex = 6;
// Far above any grid a module holds; keeps n^4 inside 64 bits.
constexpr uint64_t kMaxViewPoints = 65535;

bool sameBits(const void* a, const void* b, size_t bytes) {
    return std::memcmp(a, b, bytes) == 0;
}

// The entries of a data set's cells in cell order; false when a cell has none.
bool cellEntries(const EntryTable& table, const std::vector<TableEntry>& entries,
                 std::vector<const TableEntry*>& out) {
    if (table.cells.empty()) return false;
    out.reserve(table.cells.size());
    for (int32_t index : table.cells) {
        if (index == kNoEntry || static_cast<size_t>(index) >= entries.size()) return false;
        out.push_back(&entries[static_cast<size_t>(index)]);
    }
    return true;
}

// A grid view of package `index` when every cell holds a grid of n^4 values
// with one n and bitwise one spacing: what the general path would locate once.
PackageView packageView(const std::vector<const TableEntry*>& cells, size_t index) {
    PackageView view;
    const PackageData* first = nullptr;
    for (const TableEntry* entry : cells) {
        if (index >= entry->packageData.size()) return {};
        const PackageData& pd = entry->packageData[index];
        const uint64_t n = pd.gridPointCount;
        // A single point is no grid to interpolate in: the general path refuses it.
        if (n < 2 || n > kMaxViewPoints || pd.gridValues.size() != n * n * n * n) return {};
        if (first == nullptr) {
            first = &pd;
        } else if (n != first->gridPointCount ||
                   !sameBits(pd.gridSpacing.data(), first->gridSpacing.data(),
                             sizeof pd.gridSpacing)) {
            return {};
        }
    }
    view.grids.reserve(cells.size());
    for (const TableEntry* entry : cells)
        view.grids.push_back(entry->packageData[index].gridValues.data());
    view.n = static_cast<int32_t>(first->gridPointCount);
    view.spacing = first->gridSpacing;
    return view;
}

// The constant terms of package `index` at state index 0, one per
// (sheet roughness, lubrication, tool roughness) cell.
std::vector<double> averageView(const Module& m, const std::vector<const TableEntry*>& cells,
                                size_t index) {
    const size_t states = m.stateAxis.size();
    std::vector<double> offsets;
    offsets.reserve(cells.size() / states);
    for (size_t cell = 0; cell < cells.size(); cell += states) {
        if (index >= cells[cell]->packageData.size()) return {};
        offsets.push_back(cells[cell]->packageData[index].offset);
    }
    return offsets;
}

// The first curve of every cell when all are sampled on one temperature grid
// (package 6's point count and temperature spacing) and hold every sample.
void curveView(const std::vector<const TableEntry*>& cells, DataSetView& view) {
    const PackageData* first = nullptr;
    for (const TableEntry* entry : cells) {
        if (entry->curves.empty() || entry->packageData.size() <= kHeatTransferIndex) return;
        const PackageData& pd = entry->packageData[kHeatTransferIndex];
        const HeatTransferCurve& c = entry->curves.front();
        const auto n = static_cast<int32_t>(pd.gridPointCount);
        const auto samples = static_cast<uint64_t>(n);
        if (n < 1 || c.divisors.size() < samples || c.numerators.size() < samples ||
            c.offsets.size() < samples) {
            return;
        }
        if (first == nullptr) {
            first = &pd;
        } else if (n != static_cast<int32_t>(first->gridPointCount) ||
                   !sameBits(&pd.gridSpacing[2], &first->gridSpacing[2], sizeof(double))) {
            return;
        }
    }
    std::vector<const HeatTransferCurve*> curves;
    curves.reserve(cells.size());
    for (const TableEntry* entry : cells)
        curves.push_back(&entry->curves.front());
    view.curves = std::move(curves);
    view.curvePoints = static_cast<int32_t>(first->gridPointCount);
    view.curveSpacing = first->gridSpacing[2];
}

DataSetView dataSetView(const Module& m, const EntryTable& table,
                        const std::vector<TableEntry>& entries) {
    DataSetView view;
    std::vector<const TableEntry*> cells;
    if (!cellEntries(table, entries, cells)) return view;
    for (size_t index = 0; index < kPackageViews; ++index) {
        view.packages[index] = packageView(cells, index);
        view.averages[index] = averageView(m, cells, index);
    }
    curveView(cells, view);
    return view;
}

bool sameGrids(const PackageView& a, const PackageView& b) {
    const auto values = static_cast<size_t>(a.n) * static_cast<size_t>(a.n) *
                        static_cast<size_t>(a.n) * static_cast<size_t>(a.n);
    for (size_t cell = 0; cell < a.grids.size(); ++cell) {
        if (a.grids[cell] != b.grids[cell] &&
            !sameBits(a.grids[cell], b.grids[cell], values * sizeof(double))) {
            return false;
        }
    }
    return true;
}

}  // namespace

void BuildEvaluationViews(Module& m) {
    EvaluationViews views;
    views.sets[0] = dataSetView(m, m.primaryTable, m.primaryEntries);
    if (m.directionDependency != 0) {
        views.sets[1] = dataSetView(m, m.secondaryTable, m.secondaryEntries);
        for (size_t index = 0; index < kPackageViews; ++index) {
            const PackageView& a = views.sets[0].packages[index];
            const PackageView& b = views.sets[1].packages[index];
            views.transverseUsable[index] =
                !a.grids.empty() && b.grids.size() == a.grids.size() && a.n == b.n &&
                sameBits(a.spacing.data(), b.spacing.data(), sizeof a.spacing);
            views.transverseGridEqual[index] = views.transverseUsable[index] && sameGrids(a, b);
            const std::vector<double>& x = views.sets[0].averages[index];
            const std::vector<double>& y = views.sets[1].averages[index];
            views.transverseAverageEqual[index] =
                !x.empty() && x.size() == y.size() &&
                sameBits(x.data(), y.data(), x.size() * sizeof(double));
        }
    }
    m.views = std::move(views);
}

}  // namespace mx
