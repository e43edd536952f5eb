// A Sheet record becomes a module: per lubrication amount one primary entry of
// six package models and one secondary entry (six more models when the record
// is direction dependent, none otherwise), on a table with one sheet roughness,
// one tool roughness and one state value.
#include <cmath>

#include "module/assembly.h"

namespace mx {

namespace {

// Properties whose values give the sheet and the tool roughness.
constexpr int64_t kSheetRoughnessPosition = 3;
constexpr int64_t kToolRoughnessPosition = 12;

constexpr int32_t kPackagesPerSix = 6;

// Item position 2 holds a model sampled on a finer grid; position 5 a model
// whose values are stored a thousandfold.
constexpr int32_t kFineGridPosition = 2;
constexpr uint64_t kFineGridPoints = 10;
constexpr uint64_t kGridPoints = 5;
constexpr int32_t kScaledPosition = 5;
constexpr uint64_t kScaledFactor = 1000;

PackageData packageFromItem(const SheetItem& item, size_t itemIndex) {
    const auto position = static_cast<int32_t>(itemIndex % kPackagesPerSix);
    PackageData pd;
    pd.scales = item.scales;
    pd.weights = item.weights;
    pd.shape = item.shape;
    pd.offset = item.offset;
    pd.factor = position == kScaledPosition ? kScaledFactor : 1;
    pd.gridPointCount = position == kFineGridPosition ? kFineGridPoints : kGridPoints;
    return pd;
}

// The six models starting at item `first`, each at its package index.
std::vector<PackageData> sixPackages(const SheetRecord& record, size_t first) {
    std::vector<PackageData> packages(kPackagesPerSix);
    for (int32_t k = 0; k < kPackagesPerSix; ++k) {
        const size_t index = first + static_cast<size_t>(k);
        packages[static_cast<size_t>(packageSlotOfPosition(k))] =
            packageFromItem(record.sheetItems[index], index);
    }
    return packages;
}

TableEntry entryAt(double sheetRoughness, double lubricationAmount, double toolRoughness) {
    TableEntry e;
    e.stateValue = 0.0;
    e.sheetRoughness = sheetRoughness;
    e.lubricationAmount = lubricationAmount;
    e.toolRoughness = toolRoughness;
    return e;
}

void buildEntries(const SheetRecord& record, double sr, double tr, Module& m) {
    const size_t groupSize = static_cast<size_t>(itemGroupSize(record));
    const size_t n = record.lubricationAmounts.size();
    m.primaryEntries.reserve(n);
    m.secondaryEntries.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const double amount = record.lubricationAmounts[i];
        TableEntry primary = entryAt(sr, amount, tr);
        primary.packageData = sixPackages(record, groupSize * i);
        TableEntry secondary = entryAt(sr, amount, tr);
        if (groupSize == 12) secondary.packageData = sixPackages(record, groupSize * i + 6);
        m.primaryEntries.push_back(std::move(primary));
        m.secondaryEntries.push_back(std::move(secondary));
    }
}

}  // namespace

int32_t packageSlotOfPosition(int32_t k) {
    static constexpr int32_t kSlots[kPackagesPerSix] = {4, 2, 1, 0, 3, 5};
    return k >= 0 && k < kPackagesPerSix ? kSlots[k] : -1;
}

double RoundedPropertyValue(const SheetRecord& record, int64_t position) {
    const auto& values = record.properties.values;
    if (position < 0 || position >= static_cast<int64_t>(values.size())) return 0.0;
    const double v = parseLeadingDouble(values[static_cast<size_t>(position)]);
    const double x = v * 100.0;
    const double f = std::floor(x);
    return std::floor(x + 0.5) > f ? std::ceil(x) / 100.0 : f / 100.0;
}

double MiddleValue(const std::vector<double>& values) {
    const auto n = static_cast<int32_t>(values.size());
    if (n < 1) return 0.0;
    if (n == 1) return values[0];
    return values[static_cast<size_t>(std::floor((n - 1) * 0.5))];
}

PropertyList FilterProperties(const PropertyList& list, std::u16string_view prefix) {
    PropertyList matching;
    for (size_t i = 0; i < list.keys.size(); ++i) {
        if (std::u16string_view(list.keys[i]).starts_with(prefix)) {
            matching.keys.push_back(list.keys[i]);
            matching.values.push_back(list.values[i]);
        }
    }
    refreshView(matching);
    return matching;
}

void ModuleFromSheetRecord(const SheetRecord& record, ModulePtr& slot) {
    auto m = NewModuleFromRecord(record);
    const double sr = RoundedPropertyValue(record, kSheetRoughnessPosition);
    const double tr = RoundedPropertyValue(record, kToolRoughnessPosition);
    buildEntries(record, sr, tr, *m);
    m->nominalSheetRoughness = sr;
    m->nominalLubricationAmount = MiddleValue(record.lubricationAmounts);
    m->nominalToolRoughness = tr;
    m->stateAxis = {0.0};
    m->sheetRoughnessValues = {sr};
    m->lubricationAmountValues = record.lubricationAmounts;
    m->toolRoughnessValues = {tr};
    m->heatTransferStatus = 0;
    m->directionDependency = itemGroupSize(record) == 12 ? 1 : 0;
    SetFilteredProperties(*m, record.properties, record.properties, record.properties);
    slot = std::move(m);
}

}  // namespace mx
