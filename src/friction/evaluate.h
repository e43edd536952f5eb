// Friction evaluation: package availability, package values and averages, the
// derived per-node quantities and the heat-transfer coefficient. Nothing here
// allocates or writes the module; every function is safe on many threads.
//
// Malformed but readable modules fail instead of reading outside an array: a
// table cell no entry matched, an entry without the requested package, a NaN
// surface-condition or state coordinate, an empty condition axis. A NaN
// pressure, strain, temperature or velocity yields a NaN value.
#pragma once

#include "friction/interpolation.h"
#include "model/module.h"

namespace mx {

// ---- Exported queries (the bodies of the Morvex_ functions) ----

// Inline: every evaluation starts with them.
inline uint32_t packageIndexFromId(uint32_t packageId) {
    // Ids 0..5 are a permutation of the indices 0..5, ids 6..11 map to
    // themselves, every other id reads index 1 (as id 3 does).
    static constexpr uint32_t kIndexOfId[12] = {5, 4, 2, 1, 0, 3, 6, 7, 8, 9, 10, 11};
    return packageId < 12 ? kIndexOfId[packageId] : 1;
}

// The flag itself, not a recomputed boolean: with direction dependency the
// transverse flag must equal the primary one.
inline uint32_t isPackageAvailable(const Module& m, uint32_t packageId) {
    const uint32_t i = packageIndexFromId(packageId);
    if (i >= m.packageTable.size()) return 0;
    const uint32_t v = m.packageTable[i];
    if (m.directionDependency == 0) return v;
    if (i >= m.transversePackageTable.size()) return 0;
    return m.transversePackageTable[i] == v ? v : 0;
}

uint32_t productionRuleHolds(const Module& m);

bool GetPackageValue(const Module& m, const InputRecord& in, uint32_t packageId, double& out);
bool GetPackageAverage(const Module& m, const InputRecord& in, uint32_t packageId, double& out);
bool GetSurfaceRoughness(const Module& m, const InputRecord& in, double upperBound, double& out);
bool GetRealContactArea(const Module& m, const InputRecord& in, double previous, double& out);
bool GetHistoryParameter(const Module& m, const InputRecord& in, double previous, double& out);
bool GetLubricationAmount(const Module& m, const InputRecord& in, double upperBound,
                          double& cappedAmount, double& amount);
bool GetSpotLubeIndicator(const Module& m, const InputRecord& in, double upperBound, double& out);
// Add the increment to `accumulator`; on failure it keeps its value.
bool GetGallingIndicator(const Module& m, const InputRecord& in, double scale, double& accumulator);
bool GetWearIndicator(const Module& m, const InputRecord& in, double scale, double& accumulator);
bool GetProductionVolume(const Module& m, const InputRecord& in, const double* firstLimit,
                         const double* secondLimit, double& out);
bool GetHeatTransferCoefficient(const Module& m, const InputRecord& in, double divisorValue,
                                double& out);

// ---- Evaluation over one data set ----

// One data set of the module: a condition table and the entries it indexes.
struct DataSet {
    const EntryTable* table;
    const std::vector<TableEntry>* entries;
    const DataSetView* view;  // what preparation settled for it
};

inline DataSet primaryData(const Module& m) {
    return {&m.primaryTable, &m.primaryEntries, &m.views.sets[0]};
}
inline DataSet secondaryData(const Module& m) {
    return {&m.secondaryTable, &m.secondaryEntries, &m.views.sets[1]};
}

// Evaluates `overDataSet(data, value)` on the primary data set and, when the
// input asks for direction dependency and the module has it, on the secondary
// one, then blends the two by the direction cosine. Without a secondary value
// the primary stands for both, which the blend returns unchanged.
template <typename OverDataSet>
bool blendDataSets(const Module& m, const InputRecord& in, OverDataSet&& overDataSet, double& out) {
    double primary;
    if (!overDataSet(primaryData(m), primary)) return false;
    double secondary = primary;
    if (in.useDirectionDependency != 0 && m.directionDependency != 0 &&
        !overDataSet(secondaryData(m), secondary)) {
        return false;
    }
    out = blendDirections(primary, secondary, in.directionCosine);
    return true;
}

// Package `index` over one data set: grids of the 8 or 16 surrounding entries,
// interpolated across the surface conditions and the state coordinate.
bool evaluatePackage(const Module& m, const InputRecord& in, DataSet data, uint32_t index,
                     double& out);

// The constant model term of package `index` interpolated over the three
// surface conditions, from the entries at state index 0.
bool evaluatePackageAverage(const Module& m, const InputRecord& in, DataSet data, uint32_t index,
                            double& out);

// The heat-transfer formula over one data set, blended with package 6 at the
// minimum pressure while 0 < pressure < pressureMin.
bool evaluateHeatTransfer(const Module& m, const InputRecord& in, DataSet data, double divisorValue,
                          double& out);

// Builds the evaluation views of both data sets from the prepared grids (see
// EvaluationViews); a package or data set that does not qualify gets none and
// is evaluated by the general path. Call after every change to the grids.
void BuildEvaluationViews(Module& m);

// Scales `value` linearly toward `base` while |pressure| < pressureMin.
void scaleBelowMinimumPressure(const Module& m, const InputRecord& in, double base, double& value);

}  // namespace mx
