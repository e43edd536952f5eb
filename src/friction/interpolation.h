// Interpolation primitives shared by package values, package averages and the
// heat-transfer coefficient. All are total and allocate nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "model/module.h"

namespace mx {

// Lower and upper index around a value on an axis; equal at a node or beyond
// either end.
struct Bracket {
    int32_t lo;
    int32_t hi;
};

// Clamps pressure, strain, both temperatures and velocity into the module's
// ranges: raised to the minimum first, then lowered to the maximum, so an
// inverted range yields its maximum. Direction and state values stay.
inline void clampToRanges(InputRecord& s, const Module& m) {
    const auto clamp = [](double& x, double min, double max) {
        if (min > x) x = min;
        if (x > max) x = max;
    };
    clamp(s.pressure, m.pressureMin, m.pressureMax);
    clamp(s.strain, m.strainMin, m.strainMax);
    clamp(s.sheetTemperature, m.temperatureMin, m.temperatureMax);
    clamp(s.toolTemperature, m.temperatureMin, m.temperatureMax);
    clamp(s.velocity, m.velocityMin, m.velocityMax);
}

// Brackets x, clamped into the axis ends, on a sorted axis: the first node
// equal to it, or the last node below and the first above. Fails when no
// index is found: a NaN value, an empty axis, or NaN nodes around the value.
inline bool findBracket(double x, const std::vector<double>& axis, Bracket& out) {
    const auto n = static_cast<int32_t>(axis.size());
    if (n < 1) return false;
    double y = x;
    if (axis[0] > x) y = axis[0];
    if (axis[static_cast<size_t>(n - 1)] < y) y = axis[static_cast<size_t>(n - 1)];
    int32_t lo = -1, hi = -1;
    for (int32_t i = 0; i < n; ++i) {
        const double node = axis[static_cast<size_t>(i)];
        if (node == y) {
            out = {i, i};
            return true;
        }
        if (node < y) {
            lo = i;
        } else if (node > y && hi < 0) {
            hi = i;
        }
    }
    if (lo < 0 || hi < 0) return false;
    out = {lo, hi};
    return true;
}

// (x - a) / (b - a), exactly 0 for an empty interval.
inline double intervalFraction(double x, double a, double b) {
    const double width = b - a;
    if (width == 0.0) return 0.0;
    return (x - a) / width;
}

// The grid cell of x on a uniform grid of n >= 1 points: the quotient
// truncated toward zero, and the next point unless lo is the last. A quotient
// that is NaN or outside the grid (only from NaN or inverted data) is clamped
// into 0..n-1, so no caller indexes outside the grid.
inline Bracket gridBracket(double x, double origin, int32_t n, double spacing) {
    const double q = (x - origin) / spacing;
    int32_t lo = 0;
    if (q >= static_cast<double>(n)) {
        lo = n - 1;
    } else if (q > 0.0) {
        lo = static_cast<int32_t>(q);
    }
    const int32_t hi = lo + 1 < n ? lo + 1 : n - 1;
    return {lo, hi};
}

// Multilinear interpolation of n = 2^k corner values, combined in place: each
// pass blends the upper half into the lower half with the next fraction, so
// corner bit k-1 (the most significant) belongs to fractions[0].
inline double reduceCorners(double* values, int32_t n, const double* fractions) {
    if (n < 2) return values[0];
    int32_t k = 0;
    int32_t h;
    do {
        h = n / 2;
        const double t = fractions[k];
        for (int32_t i = 0; i < h; ++i) {
            values[i] = t * values[i + h] + (1.0 - t) * values[i];
        }
        ++k;
        n = h;
    } while (h > 1);
    return values[0];
}

// (1 - d^2) * secondary + d^2 * primary; primary itself when both are equal.
// d * d is the correctly rounded square on every platform, which a runtime
// pow(d, 2.0) need not be.
inline double blendDirections(double primary, double secondary, double d) {
    if (primary == secondary) return primary;
    const double w = d * d;
    return (1.0 - w) * secondary + w * primary;
}

// The fraction of x between the nodes of a bracket on `axis`: 0 when the
// bracket has collapsed, so nothing is extrapolated.
inline double axisFraction(double x, const std::vector<double>& axis, Bracket b) {
    return intervalFraction(x, axis[static_cast<size_t>(b.lo)], axis[static_cast<size_t>(b.hi)]);
}

// The brackets of the four condition coordinates on the module's axes.
struct ConditionBrackets {
    Bracket sheet, lube, tool, state;
};

inline bool bracketConditions(const Module& m, const InputRecord& in, ConditionBrackets& b) {
    return findBracket(in.sheetRoughness, m.sheetRoughnessValues, b.sheet) &&
           findBracket(in.lubricationAmount, m.lubricationAmountValues, b.lube) &&
           findBracket(in.toolRoughness, m.toolRoughnessValues, b.tool) &&
           findBracket(in.stateValue, m.stateAxis, b.state);
}

// The table cells of the 16 condition corners (corner bits: sheet roughness
// 8, lubrication amount 4, tool roughness 2, state 1) and the bits whose
// bracket collapsed: a corner with such a bit is the same cell as the corner
// without it, so it repeats that corner's value bit for bit.
struct CornerCells {
    size_t cell[16];
    int repeat;
};

inline CornerCells cornerCells(const Module& m, const ConditionBrackets& b) {
    const size_t lubes = m.lubricationAmountValues.size();
    const size_t tools = m.toolRoughnessValues.size();
    const size_t states = m.stateAxis.size();
    const Bracket axes[4] = {b.sheet, b.lube, b.tool, b.state};
    CornerCells c;
    c.repeat = 0;
    for (int a = 0; a < 4; ++a) {
        if (axes[a].lo == axes[a].hi) c.repeat |= 8 >> a;
    }
    const auto at = [](Bracket x, int corner, int bit) {
        return static_cast<size_t>((corner & bit) != 0 ? x.hi : x.lo);
    };
    for (int k = 0; k < 16; ++k) {
        c.cell[k] =
            ((at(b.sheet, k, 8) * lubes + at(b.lube, k, 4)) * tools + at(b.tool, k, 2)) * states +
            at(b.state, k, 1);
    }
    return c;
}

// Fractions in corner order (sheet, lubrication, tool, state) from the
// unclamped input values.
inline void conditionFractions(const Module& m, const InputRecord& in, const ConditionBrackets& b,
                               double* fractions) {
    fractions[0] = axisFraction(in.sheetRoughness, m.sheetRoughnessValues, b.sheet);
    fractions[1] = axisFraction(in.lubricationAmount, m.lubricationAmountValues, b.lube);
    fractions[2] = axisFraction(in.toolRoughness, m.toolRoughnessValues, b.tool);
    fractions[3] = axisFraction(in.stateValue, m.stateAxis, b.state);
}

}  // namespace mx
