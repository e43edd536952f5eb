#include "module/finalize.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_map>

namespace mx {

int CompareF64(const void* a, const void* b) {
    const double x = *static_cast<const double*>(a);
    const double y = *static_cast<const double*>(b);
    if (x > y) return 1;
    if (y > x) return -1;
    return 0;  // equal, or either is NaN
}

// Ascending with CompareF64, NaNs last in their original order, the rest by a
// stable bottom-up merge sort. A NaN compares equal to everything, so any
// place for it is a valid order; putting NaNs last makes the comparison a
// strict weak order on what is merged, and makes sorting an already sorted
// axis change nothing, so a module read back from its own blob keeps its axes
// byte for byte.
static void sortAscending(std::vector<double>& values) {
    const auto nans =
        std::stable_partition(values.begin(), values.end(), [](double v) { return v == v; });
    const size_t n = static_cast<size_t>(nans - values.begin());
    std::vector<double> scratch(values);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t a = lo, b = mid, out = lo;
            while (a < mid && b < hi) {
                scratch[out++] = CompareF64(&values[b], &values[a]) < 0 ? values[b++] : values[a++];
            }
            while (a < mid)
                scratch[out++] = values[a++];
            while (b < hi)
                scratch[out++] = values[b++];
        }
        values.swap(scratch);
    }
}

// Equal doubles (0.0 and -0.0 included) get the same key; NaN matches nothing.
static bool equalityKey(double v, uint64_t& key) {
    if (v != v) return false;
    if (v == 0.0) v = 0.0;
    std::memcpy(&key, &v, sizeof key);
    return true;
}

using AxisPositions = std::unordered_map<uint64_t, std::vector<uint32_t>>;

static AxisPositions positionsOf(const std::vector<double>& axis) {
    AxisPositions positions;
    for (size_t i = 0; i < axis.size(); ++i) {
        uint64_t key;
        if (equalityKey(axis[i], key)) positions[key].push_back(static_cast<uint32_t>(i));
    }
    return positions;
}

// A table larger than this, and than 64 cells an entry, is refused: the axes
// of a hostile stream could otherwise ask for terabytes of cells.
constexpr uint64_t kTableCellsAlwaysAllowed = 1u << 16;
constexpr uint64_t kTableCellsPerEntry = 64;

static bool tableCellCount(const Module& m, size_t entryCount, uint64_t& cells) {
    const uint64_t counts[4] = {m.sheetRoughnessValues.size(), m.lubricationAmountValues.size(),
                                m.toolRoughnessValues.size(), m.stateAxis.size()};
    cells = 1;
    for (uint64_t c : counts) {
        if (__builtin_mul_overflow(cells, c, &cells)) return false;
    }
    return cells <= kTableCellsAlwaysAllowed || cells / kTableCellsPerEntry <= entryCount;
}

// Every cell gets the last entry in index order whose four coordinates equal
// the cell's axis values exactly. Entries with equal coordinates collapse to
// the last of them first, so each cell is written at most once.
bool BuildEntryTable(const std::vector<TableEntry>& entries, const Module& m, EntryTable& out) {
    out.cells.clear();
    if (entries.empty()) return true;
    uint64_t cellCount;
    if (!tableCellCount(m, entries.size(), cellCount)) return false;
    std::map<std::array<uint64_t, 4>, size_t> lastEntryAt;
    for (size_t e = 0; e < entries.size(); ++e) {
        const TableEntry& entry = entries[e];
        std::array<uint64_t, 4> key;
        if (equalityKey(entry.sheetRoughness, key[0]) &&
            equalityKey(entry.lubricationAmount, key[1]) &&
            equalityKey(entry.toolRoughness, key[2]) && equalityKey(entry.stateValue, key[3])) {
            lastEntryAt[key] = e;
        }
    }
    const AxisPositions axes[4] = {positionsOf(m.sheetRoughnessValues),
                                   positionsOf(m.lubricationAmountValues),
                                   positionsOf(m.toolRoughnessValues), positionsOf(m.stateAxis)};
    std::vector<int32_t> cells(static_cast<size_t>(cellCount), kNoEntry);
    for (const auto& [key, entryIndex] : lastEntryAt) {
        const std::vector<uint32_t>* at[4];
        bool onAxes = true;
        for (int a = 0; a < 4 && onAxes; ++a) {
            const auto found = axes[a].find(key[a]);
            onAxes = found != axes[a].end();
            if (onAxes) at[a] = &found->second;
        }
        if (!onAxes) continue;
        for (uint32_t i : *at[0])
            for (uint32_t j : *at[1])
                for (uint32_t k : *at[2])
                    for (uint32_t l : *at[3])
                        cells[cellIndex(m, i, j, k, l)] = static_cast<int32_t>(entryIndex);
    }
    out.cells = std::move(cells);
    return true;
}

void BuildPackageTable(const std::vector<TableEntry>& entries, std::vector<uint32_t>& out) {
    out.clear();
    if (entries.empty()) return;
    for (const PackageData& pd : entries.front().packageData) {
        out.push_back(static_cast<int64_t>(pd.gridPointCount) > 0 ? 1u : 0u);
    }
}

static void spaceGrids(std::vector<TableEntry>& entries, const Module& m) {
    for (TableEntry& e : entries) {
        for (PackageData& pd : e.packageData) {
            // The count is signed (0 divides by -1); subtracting in double keeps
            // a count with the top bit set from overflowing.
            const double d = static_cast<double>(static_cast<int64_t>(pd.gridPointCount)) - 1.0;
            pd.gridSpacing[0] = (m.pressureMax - m.pressureMin) / d;
            pd.gridSpacing[1] = (m.strainMax - m.strainMin) / d;
            pd.gridSpacing[2] = (m.temperatureMax - m.temperatureMin) / d;
            pd.gridSpacing[3] = (m.velocityMax - m.velocityMin) / d;
        }
    }
}

void ComputeGridSpacing(Module& m) {
    spaceGrids(m.primaryEntries, m);
    spaceGrids(m.secondaryEntries, m);
}

bool FinalizeModule(Module& m) {
    m.views = {};  // they index the tables rebuilt here
    sortAscending(m.sheetRoughnessValues);
    sortAscending(m.lubricationAmountValues);
    sortAscending(m.toolRoughnessValues);
    sortAscending(m.stateAxis);
    if (!BuildEntryTable(m.primaryEntries, m, m.primaryTable) ||
        !BuildEntryTable(m.secondaryEntries, m, m.secondaryTable)) {
        return false;
    }
    BuildPackageTable(m.primaryEntries, m.packageTable);
    BuildPackageTable(m.secondaryEntries, m.transversePackageTable);
    ComputeGridSpacing(m);
    return true;
}

}  // namespace mx
