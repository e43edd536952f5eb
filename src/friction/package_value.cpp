#include "friction/evaluate.h"
#include "friction/interpolation.h"
#include "module/finalize.h"

namespace mx {

namespace {

// The clamped contact state on the four grid axes: pressure, strain, the
// evaluation temperature and velocity, with the range minima as origins.
struct GridState {
    double values[4];
    double origins[4];
};

GridState gridStateOf(const InputRecord& clamped, const Module& m) {
    const double temperature = clamped.temperatureMode == 1
                                   ? (clamped.sheetTemperature + clamped.toolTemperature) * 0.5
                                   : clamped.sheetTemperature;
    return {{clamped.pressure, clamped.strain, temperature, clamped.velocity},
            {m.pressureMin, m.strainMin, m.temperatureMin, m.velocityMin}};
}

// Where the state lies in a grid of n points with the given spacings: the
// flat offsets of the 16 surrounding grid values, and the four fractions.
// Cells of one module normally share n and the spacings, so one evaluation
// computes this once and reuses it (a pure function of those inputs).
struct GridPosition {
    int32_t n = 0;  // 0: nothing located yet
    std::array<double, 4> spacing{};
    int32_t corners[16];  // corner bits: pressure 8, strain 4, temperature 2, velocity 1
    double fractions[4];
};

void locate(const GridState& s, int32_t n, const std::array<double, 4>& spacing,
            GridPosition& pos) {
    if (pos.n == n && pos.spacing == spacing) return;
    const int32_t strides[4] = {1, n, n * n, n * n * n};
    int32_t offsets[4][2];  // [axis][lower, upper]
    for (size_t a = 0; a < 4; ++a) {
        const Bracket b = gridBracket(s.values[a], s.origins[a], n, spacing[a]);
        pos.fractions[a] =
            intervalFraction(s.values[a] - s.origins[a], b.lo * spacing[a], b.hi * spacing[a]);
        offsets[a][0] = b.lo * strides[a];
        offsets[a][1] = b.hi * strides[a];
    }
    for (int c = 0; c < 16; ++c) {
        pos.corners[c] = offsets[0][(c >> 3) & 1] + offsets[1][(c >> 2) & 1] +
                         offsets[2][(c >> 1) & 1] + offsets[3][c & 1];
    }
    pos.n = n;
    pos.spacing = spacing;
}

// gridValues is either empty or holds gridPointCount^4 values with a grid
// point count of 1 to 215: preparation is its only writer and checks both, so
// the indices below stay inside the grid without a per-call check. A single
// point is no grid to interpolate in.
bool interpolateGrid(const TableEntry& entry, uint32_t index, const GridState& s, GridPosition& pos,
                     double& out) {
    if (index >= entry.packageData.size()) return false;
    const PackageData& pd = entry.packageData[index];
    if (pd.gridValues.empty() || pd.gridPointCount < 2) return false;
    locate(s, static_cast<int32_t>(pd.gridPointCount), pd.gridSpacing, pos);
    const double* grid = pd.gridValues.data();
    double corners[16];
    for (int c = 0; c < 16; ++c)
        corners[c] = grid[pos.corners[c]];
    out = reduceCorners(corners, 16, pos.fractions);
    return true;
}

// What evaluating a package at one input needs on every data set: the grid
// state, the condition brackets and their fractions, computed once, and the
// grid position located so far, which the secondary data set reuses when its
// grids match the primary's.
struct PackageQuery {
    GridState state;
    ConditionBrackets b;
    double fractions[4];
    GridPosition pos;
};

bool startQuery(const Module& m, const InputRecord& in, PackageQuery& q) {
    if (!bracketConditions(m, in, q.b)) return false;
    InputRecord clamped = in;
    clampToRanges(clamped, m);
    q.state = gridStateOf(clamped, m);
    conditionFractions(m, in, q.b, q.fractions);
    return true;
}

bool evaluateQuery(const Module& m, PackageQuery& q, DataSet data, uint32_t index, double& out) {
    const auto cell = [&](int32_t i, int32_t j, int32_t k, int32_t l, double& value) {
        const TableEntry* entry =
            cellEntry(m, *data.table, *data.entries, static_cast<size_t>(i), static_cast<size_t>(j),
                      static_cast<size_t>(k), static_cast<size_t>(l));
        return entry != nullptr && interpolateGrid(*entry, index, q.state, q.pos, value);
    };
    const ConditionBrackets& b = q.b;
    const int32_t sheet[2] = {b.sheet.lo, b.sheet.hi};
    const int32_t lube[2] = {b.lube.lo, b.lube.hi};
    const int32_t tool[2] = {b.tool.lo, b.tool.hi};
    double corners[16];
    int k = 0;
    for (int32_t i : sheet) {
        for (int32_t j : lube) {
            for (int32_t t : tool) {
                if (b.state.lo == b.state.hi) {
                    // On a state node (or beyond the axis) both state corners are
                    // the same cell: evaluate it once.
                    if (!cell(i, j, t, b.state.lo, corners[k])) return false;
                    corners[k + 1] = corners[k];
                } else if (!cell(i, j, t, b.state.lo, corners[k]) ||
                           !cell(i, j, t, b.state.hi, corners[k + 1])) {
                    return false;
                }
                k += 2;
            }
        }
    }
    out = reduceCorners(corners, 16, q.fractions);
    return true;
}

// Package value of one data set from its view: each distinct cell
// interpolated once at the located grid position, repeated corners copied,
// then the same reduction across the conditions as the general path.
double viewValue(const PackageView& view, const CornerCells& c, const GridPosition& pos,
                 const double* fractions) {
    double corners[16];
    for (int k = 0; k < 16; ++k) {
        if ((k & c.repeat) != 0) {
            corners[k] = corners[k & ~c.repeat];
            continue;
        }
        const double* grid = view.grids[c.cell[k]];
        double values[16];
        for (int q = 0; q < 16; ++q)
            values[q] = grid[pos.corners[q]];
        corners[k] = reduceCorners(values, 16, pos.fractions);
    }
    return reduceCorners(corners, 16, fractions);
}

}  // namespace

bool evaluatePackage(const Module& m, const InputRecord& in, DataSet data, uint32_t index,
                     double& out) {
    PackageQuery q;
    if (!startQuery(m, in, q)) return false;
    const PackageView& view = data.view->packages[index];
    if (view.grids.empty()) return evaluateQuery(m, q, data, index, out);
    locate(q.state, view.n, view.spacing, q.pos);
    out = viewValue(view, cornerCells(m, q.b), q.pos, q.fractions);
    return true;
}

bool GetPackageValue(const Module& m, const InputRecord& in, uint32_t packageId, double& out) {
    if (isPackageAvailable(m, packageId) == 0) return false;
    const uint32_t index = packageIndexFromId(packageId);
    // Both data sets are evaluated at the same input: bracket and locate once.
    PackageQuery q;
    if (!startQuery(m, in, q)) return false;
    const EvaluationViews& views = m.views;
    const PackageView& primary = views.sets[0].packages[index];
    const bool transverse = in.useDirectionDependency != 0 && m.directionDependency != 0;
    if (!primary.grids.empty() && (!transverse || views.transverseUsable[index])) {
        locate(q.state, primary.n, primary.spacing, q.pos);
        const CornerCells cells = cornerCells(m, q.b);
        const double value = viewValue(primary, cells, q.pos, q.fractions);
        double secondary = value;
        if (transverse && !views.transverseGridEqual[index]) {
            secondary = viewValue(views.sets[1].packages[index], cells, q.pos, q.fractions);
        }
        out = blendDirections(value, secondary, in.directionCosine);
        return true;
    }
    return blendDataSets(
        m, in, [&](DataSet data, double& value) { return evaluateQuery(m, q, data, index, value); },
        out);
}

}  // namespace mx
