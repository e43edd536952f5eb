#include "solver/prepare.h"

#include <algorithm>

#include "friction/evaluate.h"
#include "solver/grid.h"
#include "solver/grid_kernels.h"

namespace mx {

namespace {

// Package indices whose models are never sampled: only their averages are read.
bool hasNoGrid(size_t packageIndex) {
    return packageIndex == 2 || packageIndex == 4;
}

constexpr size_t kNonNegativePackageIndex = 7;

// Whether a model can be sampled: a centre grid for its weights, four scales
// and a grid whose value count fits a signed 32-bit count. A single point is
// sampled too; evaluation refuses to interpolate in it.
bool canPrepare(const PackageData& model, int64_t& centreKey) {
    return CentreGridKey(static_cast<int64_t>(model.weights.size()), centreKey) &&
           model.scales.size() >= 4 && model.gridPointCount <= kMaxGridPointCount;
}

// Points sampled per call: the values go to their array a block at a time, so
// it is allocated at its exact size and never filled with zeros first.
constexpr int32_t kSampleBlock = 1 << 16;

bool prepareModel(PackageData& model, size_t packageIndex, GridCache& cache) {
    int64_t centreKey;
    if (!canPrepare(model, centreKey)) return false;
    const auto n = static_cast<int32_t>(model.gridPointCount);
    const std::vector<double>& points = FindOrBuildGrid(cache, n);
    const std::vector<double>& centres = FindOrBuildGrid(cache, centreKey);
    const int32_t total = n * n * n * n;
    std::vector<double> values;
    values.reserve(static_cast<size_t>(total));
    std::vector<double> block(static_cast<size_t>(std::min(total, kSampleBlock)));
    const auto factor = static_cast<double>(static_cast<int64_t>(model.factor));
    for (int32_t first = 0; first < total; first += kSampleBlock) {
        const int32_t count = std::min(kSampleBlock, total - first);
        SampleModelOnGrid(model, centres.data(), GridDimensions(centreKey),
                          points.data() + 4 * static_cast<size_t>(first), count, factor,
                          block.data());
        values.insert(values.end(), block.begin(), block.begin() + count);
    }
    if (packageIndex == kNonNegativePackageIndex) {
        for (double& v : values) {
            if (0.0 > v) v = 0.0;  // NaN and -0.0 stay
        }
    }
    model.gridValues = std::move(values);
    return true;
}

}  // namespace

bool PrecomputePackageGrids(std::vector<TableEntry>& entries, GridCache& cache) {
    for (TableEntry& entry : entries) {
        for (size_t index = 0; index < entry.packageData.size(); ++index) {
            PackageData& model = entry.packageData[index];
            if (model.gridPointCount == 0 || !model.gridValues.empty()) continue;
            if (hasNoGrid(index)) continue;
            if (!prepareModel(model, index, cache)) return false;
        }
    }
    return true;
}

namespace {

constexpr uint32_t kHeatTransferPackageId = 6;

// The contact state a curve sample is limited at: the entry's surface
// conditions, the lowest pressure, strain and velocity, temperature T on both
// sides, state 0, no direction blend.
InputRecord sampleInput(const Module& m, const TableEntry& entry, double temperature) {
    InputRecord in{};
    in.useDirectionDependency = 0;
    in.sheetRoughness = entry.sheetRoughness;
    in.lubricationAmount = entry.lubricationAmount;
    in.toolRoughness = entry.toolRoughness;
    in.temperatureMode = 0;
    in.pressure = m.pressureMin;
    in.strain = m.strainMin;
    in.sheetTemperature = temperature;
    in.toolTemperature = temperature;
    in.velocity = m.velocityMin;
    in.directionCosine = 0.0;
    in.stateValue = 0.0;
    return in;
}

void limitCurve(const Module& m, const TableEntry& entry, HeatTransferCurve& curve) {
    const std::vector<double>& numerators = curve.numerators;
    // Divisors or offsets shorter than the samples: invalid data, left as it is.
    if (curve.divisors.size() < numerators.size() || curve.offsets.size() < numerators.size()) {
        return;
    }
    // The sample count and its step count are single precision, as the curves
    // were laid out; an integer k compared in float never passes the count.
    const auto n = static_cast<float>(numerators.size());
    if (!(n > 0.0f)) return;
    const double step = (m.temperatureMax - m.temperatureMin) / static_cast<double>(n - 1.0f);
    for (size_t k = 0; static_cast<float>(k) < n && k < numerators.size(); ++k) {
        const double current = numerators[k] / curve.divisors[k] + curve.offsets[k];
        const double temperature =
            n == 1.0f ? m.temperatureMin : static_cast<double>(k) * step + m.temperatureMin;
        double limit;
        if (!GetPackageValue(m, sampleInput(m, entry, temperature), kHeatTransferPackageId,
                             limit)) {
            continue;  // no coefficient to compare with: the sample stays as given
        }
        if (current > limit) curve.divisors[k] = numerators[k] / (limit - curve.offsets[k]);
    }
}

void limitEntries(const Module& m, std::vector<TableEntry>& entries) {
    for (TableEntry& entry : entries) {
        if (!entry.curves.empty()) limitCurve(m, entry, entry.curves.front());
    }
}

}  // namespace

void LimitHeatTransferCurves(Module& m) {
    if (m.heatTransferStatus == 0) return;
    limitEntries(m, m.primaryEntries);
    limitEntries(m, m.secondaryEntries);
}

bool PrepareSolverData(Module& m) {
    m.views = {};  // until every grid is in place, evaluation takes the general path
    {
        GridCache cache;
        if (!PrecomputePackageGrids(m.primaryEntries, cache) ||
            !PrecomputePackageGrids(m.secondaryEntries, cache)) {
            return false;
        }
    }
    // The views point at the grids and curves; limiting changes curve values
    // in place only, and evaluates faster with the views.
    BuildEvaluationViews(m);
    LimitHeatTransferCurves(m);
    return true;
}

}  // namespace mx
