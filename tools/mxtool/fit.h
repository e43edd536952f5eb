// fit: the weights of a multiquadric package model from the values it must
// take at its centres. The centres are the points of the regular normalized
// grid the solver builds for the model's centre count (5x5x5x5 for 625,
// 8x5x5x5 for 1000, n^4 for 1296, 2401, 4096, 6561, 10000), so a lab's table
// of a quantity over pressure, strain, temperature and velocity on such a grid
// becomes a package the plug-in evaluates.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/module.h"

namespace mx::tool {

// A measured or modelled table: one row a point, physical units.
struct FitTable {
    // Per variable (pressure, strain, temperature, velocity): the column, or
    // empty when the table has none (the quantity does not depend on it).
    std::array<std::vector<double>, 4> columns;
    std::vector<double> values;
};

// CSV (comma, semicolon, tab or blank separated) with a header naming the
// columns pressure, strain, temperature, velocity and value in any order;
// '#' starts a comment. Throws ToolError.
FitTable parseFitTable(const std::string& text);

struct FitOptions {
    std::array<double, 4> scales{1.0, 1.0, 1.0, 1.0};
    double shape = 0.25;          // added under every square root; must be > 0
    uint64_t gridPointCount = 5;  // the solver's evaluation grid for this package
    int64_t factor = 1;
    std::optional<uint64_t> centreCount;  // default: from the table's grid
};

struct FitResult {
    PackageData package;
    std::array<uint32_t, 4> centreGrid{};                        // points per axis
    std::array<std::optional<std::array<double, 2>>, 4> ranges;  // per axis, when it varies
    double reciprocalCondition = 0.0;                            // estimate, 1-norm
    double largestDeviation = 0.0;                               // |model - value| over the centres
    double largestValue = 0.0;                                   // max |value|
};

// The centre grid of a centre count (points per axis), or nothing when the
// solver cannot prepare a model of that many centres.
std::optional<std::array<uint32_t, 4>> centreGridOf(uint64_t centreCount);
// The normalized centre points, four coordinates each, first axis fastest.
std::vector<double> centrePoints(const std::array<uint32_t, 4>& grid);
// The model value at a normalized point, summed in the solver's order.
double evaluateModel(const PackageData& model, const std::vector<double>& centres,
                     const double x[4]);

// Solves for the weights: the offset is the mean of the values (it is also
// what the package average reports), the weights interpolate the rest exactly
// at the centres. `values` are in centre order.
FitResult fitValuesAtCentres(const std::vector<double>& values, const std::array<uint32_t, 4>& grid,
                             const FitOptions& options);
// Arranges a table's rows on the centre grid, then fits.
FitResult fitTable(const FitTable& table, const FitOptions& options);

}  // namespace mx::tool
