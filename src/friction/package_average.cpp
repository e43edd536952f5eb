#include "friction/evaluate.h"
#include "friction/interpolation.h"
#include "module/finalize.h"

namespace mx {

// Reads the entry at state index 0 of each cell, so it needs no grid and no
// state coordinate; an empty state axis leaves no such entry and fails.
bool evaluatePackageAverage(const Module& m, const InputRecord& in, DataSet data, uint32_t index,
                            double& out) {
    Bracket sheet, lube, tool;
    if (!findBracket(in.sheetRoughness, m.sheetRoughnessValues, sheet) ||
        !findBracket(in.lubricationAmount, m.lubricationAmountValues, lube) ||
        !findBracket(in.toolRoughness, m.toolRoughnessValues, tool)) {
        return false;
    }
    double corners[8];
    int k = 0;
    for (int32_t i : {sheet.lo, sheet.hi}) {
        for (int32_t j : {lube.lo, lube.hi}) {
            for (int32_t t : {tool.lo, tool.hi}) {
                const TableEntry* entry =
                    cellEntry(m, *data.table, *data.entries, static_cast<size_t>(i),
                              static_cast<size_t>(j), static_cast<size_t>(t), 0);
                if (entry == nullptr || index >= entry->packageData.size()) return false;
                corners[k++] = entry->packageData[index].offset;
            }
        }
    }
    const double fractions[3] = {
        axisFraction(in.sheetRoughness, m.sheetRoughnessValues, sheet),
        axisFraction(in.lubricationAmount, m.lubricationAmountValues, lube),
        axisFraction(in.toolRoughness, m.toolRoughnessValues, tool)};
    out = reduceCorners(corners, 8, fractions);
    return true;
}

namespace {

// The constant terms of the 8 cells around the surface conditions, from a
// data set's view, interpolated as the general path does.
double averageFromView(const std::vector<double>& offsets, const Module& m, Bracket sheet,
                       Bracket lube, Bracket tool, const double* fractions) {
    const size_t lubes = m.lubricationAmountValues.size(), tools = m.toolRoughnessValues.size();
    double corners[8];
    int k = 0;
    for (int32_t i : {sheet.lo, sheet.hi}) {
        for (int32_t j : {lube.lo, lube.hi}) {
            for (int32_t t : {tool.lo, tool.hi}) {
                corners[k++] =
                    offsets[(static_cast<size_t>(i) * lubes + static_cast<size_t>(j)) * tools +
                            static_cast<size_t>(t)];
            }
        }
    }
    return reduceCorners(corners, 8, fractions);
}

}  // namespace

bool GetPackageAverage(const Module& m, const InputRecord& in, uint32_t packageId, double& out) {
    if (isPackageAvailable(m, packageId) == 0) return false;
    const uint32_t index = packageIndexFromId(packageId);
    const EvaluationViews& views = m.views;
    const std::vector<double>& primary = views.sets[0].averages[index];
    const std::vector<double>& secondary = views.sets[1].averages[index];
    const bool transverse = in.useDirectionDependency != 0 && m.directionDependency != 0;
    if (!primary.empty() &&
        (!transverse || views.transverseAverageEqual[index] || !secondary.empty())) {
        Bracket sheet, lube, tool;
        if (!findBracket(in.sheetRoughness, m.sheetRoughnessValues, sheet) ||
            !findBracket(in.lubricationAmount, m.lubricationAmountValues, lube) ||
            !findBracket(in.toolRoughness, m.toolRoughnessValues, tool)) {
            return false;
        }
        const double fractions[3] = {
            axisFraction(in.sheetRoughness, m.sheetRoughnessValues, sheet),
            axisFraction(in.lubricationAmount, m.lubricationAmountValues, lube),
            axisFraction(in.toolRoughness, m.toolRoughnessValues, tool)};
        const double value = averageFromView(primary, m, sheet, lube, tool, fractions);
        double other = value;
        if (transverse && !views.transverseAverageEqual[index]) {
            other = averageFromView(secondary, m, sheet, lube, tool, fractions);
        }
        out = blendDirections(value, other, in.directionCosine);
        return true;
    }
    return blendDataSets(
        m, in,
        [&](DataSet data, double& value) {
            return evaluatePackageAverage(m, in, data, index, value);
        },
        out);
}

}  // namespace mx
