#include "friction/evaluate.h"
#include "friction/interpolation.h"
#include "module/finalize.h"

namespace mx {

namespace {

constexpr uint32_t kHeatTransferId = 6;
constexpr uint32_t kHeatTransferIndex = 6;

// numerator / max(divisor, x) + offset at temperature point j of a curve.
double curveValue(const HeatTransferCurve& c, int32_t j, double x) {
    const auto at = static_cast<size_t>(j);
    const double divisor = c.divisors[at] > x ? c.divisors[at] : x;
    return c.numerators[at] / divisor + c.offsets[at];
}

// The formula of one entry at the clamped sheet temperature, interpolated
// between the temperature points of package 6's grid. The curve must hold a
// value for every one of those points; temperatureMode is not consulted.
bool entryValue(const Module& m, const TableEntry& entry, double sheetTemperature, double x,
                double& out) {
    if (entry.curves.empty() || entry.packageData.size() <= kHeatTransferIndex) return false;
    const PackageData& pd = entry.packageData[kHeatTransferIndex];
    const HeatTransferCurve& curve = entry.curves.front();
    const auto n = static_cast<int32_t>(pd.gridPointCount);
    const auto samples = static_cast<uint64_t>(n);
    if (n < 1 || curve.divisors.size() < samples || curve.numerators.size() < samples ||
        curve.offsets.size() < samples) {
        return false;
    }
    const double s = pd.gridSpacing[2];
    const Bracket b = gridBracket(sheetTemperature, m.temperatureMin, n, s);
    const double t = intervalFraction(sheetTemperature - m.temperatureMin, b.lo * s, b.hi * s);
    out = t * curveValue(curve, b.hi, x) + (1.0 - t) * curveValue(curve, b.lo, x);
    return true;
}

// The formula from a data set's curve view: the temperature bracket located
// once for all cells, each distinct cell once, repeated corners copied.
double formulaFromView(const Module& m, const DataSetView& view, const CornerCells& c,
                       double sheetTemperature, double x, const double* fractions) {
    const double s = view.curveSpacing;
    const Bracket b = gridBracket(sheetTemperature, m.temperatureMin, view.curvePoints, s);
    const double t = intervalFraction(sheetTemperature - m.temperatureMin, b.lo * s, b.hi * s);
    double corners[16];
    for (int k = 0; k < 16; ++k) {
        if ((k & c.repeat) != 0) {
            corners[k] = corners[k & ~c.repeat];
            continue;
        }
        const HeatTransferCurve& curve = *view.curves[c.cell[k]];
        corners[k] = t * curveValue(curve, b.hi, x) + (1.0 - t) * curveValue(curve, b.lo, x);
    }
    return reduceCorners(corners, 16, fractions);
}

// The formula of the 16 entries around the surface conditions and the state
// coordinate, interpolated across them. Always 16 corners: both state corners
// are taken even on a state node (the view copies what the general path
// computes twice).
bool formulaValue(const Module& m, const InputRecord& in, DataSet data, double x, double& out) {
    InputRecord clamped = in;
    clampToRanges(clamped, m);
    ConditionBrackets b;
    if (!bracketConditions(m, in, b)) return false;
    if (!data.view->curves.empty()) {
        double fractions[4];
        conditionFractions(m, in, b, fractions);
        out = formulaFromView(m, *data.view, cornerCells(m, b), clamped.sheetTemperature, x,
                              fractions);
        return true;
    }
    double corners[16];
    int k = 0;
    for (int32_t i : {b.sheet.lo, b.sheet.hi}) {
        for (int32_t j : {b.lube.lo, b.lube.hi}) {
            for (int32_t t : {b.tool.lo, b.tool.hi}) {
                for (int32_t l : {b.state.lo, b.state.hi}) {
                    const TableEntry* entry = cellEntry(
                        m, *data.table, *data.entries, static_cast<size_t>(i),
                        static_cast<size_t>(j), static_cast<size_t>(t), static_cast<size_t>(l));
                    if (entry == nullptr ||
                        !entryValue(m, *entry, clamped.sheetTemperature, x, corners[k++])) {
                        return false;
                    }
                }
            }
        }
    }
    double fractions[4];
    conditionFractions(m, in, b, fractions);
    out = reduceCorners(corners, 16, fractions);
    return true;
}

}  // namespace

bool evaluateHeatTransfer(const Module& m, const InputRecord& in, DataSet data, double divisorValue,
                          double& out) {
    if (!(in.pressure > 0.0 && m.pressureMin > in.pressure)) {
        return formulaValue(m, in, data, divisorValue, out);
    }
    // Low-pressure band: from the formula at zero pressure to package 6 at
    // the minimum pressure, linear in the pressure.
    double ends[2];
    if (!formulaValue(m, in, data, divisorValue, ends[0])) return false;
    InputRecord atMinimum = in;
    atMinimum.pressure = m.pressureMin;
    if (!evaluatePackage(m, atMinimum, data, kHeatTransferIndex, ends[1])) return false;
    const double t = intervalFraction(in.pressure, 0.0, m.pressureMin);
    out = reduceCorners(ends, 2, &t);
    return true;
}

namespace {

// The formula path over both data sets from their curve views: brackets,
// cells and fractions found once for both, then per data set what
// evaluateHeatTransfer computes, in the same order.
bool formulaFromViews(const Module& m, const InputRecord& in, double x, double& out) {
    ConditionBrackets b;
    if (!bracketConditions(m, in, b)) return false;
    InputRecord clamped = in;
    clampToRanges(clamped, m);
    double fractions[4];
    conditionFractions(m, in, b, fractions);
    const CornerCells cells = cornerCells(m, b);
    const bool lowPressure = in.pressure > 0.0 && m.pressureMin > in.pressure;
    return blendDataSets(
        m, in,
        [&](DataSet data, double& value) {
            double ends[2];
            ends[0] = formulaFromView(m, *data.view, cells, clamped.sheetTemperature, x, fractions);
            if (!lowPressure) {
                value = ends[0];
                return true;
            }
            InputRecord atMinimum = in;
            atMinimum.pressure = m.pressureMin;
            if (!evaluatePackage(m, atMinimum, data, kHeatTransferIndex, ends[1])) return false;
            const double t = intervalFraction(in.pressure, 0.0, m.pressureMin);
            value = reduceCorners(ends, 2, &t);
            return true;
        },
        out);
}

}  // namespace

bool GetHeatTransferCoefficient(const Module& m, const InputRecord& in, double divisorValue,
                                double& out) {
    if (m.heatTransferStatus == 0) return false;
    if (!(divisorValue > 0.0 || m.pressureMin > in.pressure)) {
        return GetPackageValue(m, in, kHeatTransferId, out);
    }
    const bool transverse = in.useDirectionDependency != 0 && m.directionDependency != 0;
    if (!m.views.sets[0].curves.empty() && (!transverse || !m.views.sets[1].curves.empty())) {
        return formulaFromViews(m, in, divisorValue, out);
    }
    return blendDataSets(
        m, in,
        [&](DataSet data, double& value) {
            return evaluateHeatTransfer(m, in, data, divisorValue, value);
        },
        out);
}

}  // namespace mx
