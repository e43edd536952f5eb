// Builders of small, hand-checkable modules for tests and benchmarks.
//
// A module is described by plain values (ranges, entries with their package
// models and heat-transfer curves, optional explicit axes) and finalized like
// a module read from a blob. Models are either real multiquadric models that
// preparation samples, or grids filled directly from a function of the
// physical state, which bypasses preparation for interpolation tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "model/module.h"

namespace mx::test {

// The four state ranges of a module. The defaults give grids of 5 points a
// spacing of exactly 1 on every axis.
struct Ranges {
    double pressureMin = 0.0, pressureMax = 4.0;
    double strainMin = 0.0, strainMax = 4.0;
    double temperatureMin = 0.0, temperatureMax = 4.0;
    double velocityMin = 0.0, velocityMax = 4.0;
};

// Copies the ranges into a module or record.
template <typename T>
void SetRanges(T& t, const Ranges& r) {
    t.pressureMin = r.pressureMin, t.pressureMax = r.pressureMax;
    t.strainMin = r.strainMin, t.strainMax = r.strainMax;
    t.temperatureMin = r.temperatureMin, t.temperatureMax = r.temperatureMax;
    t.velocityMin = r.velocityMin, t.velocityMax = r.velocityMax;
}

// Where an entry sits in the condition table.
struct Coordinates {
    double sheetRoughness = 0.0;
    double lubricationAmount = 0.0;
    double toolRoughness = 0.0;
    double stateValue = 0.0;
};

// The condition axes, for modules whose axes differ from their entries'
// coordinates (cells without entries, empty axes).
struct Axes {
    std::vector<double> sheetRoughness, lubricationAmount, toolRoughness, state;
};

// Sets the four condition axes of a module or record.
template <typename T>
void SetAxes(T& t, Axes a) {
    t.sheetRoughnessValues = std::move(a.sheetRoughness);
    t.lubricationAmountValues = std::move(a.lubricationAmount);
    t.toolRoughnessValues = std::move(a.toolRoughness);
    t.stateAxis = std::move(a.state);
}

// A multiquadric model with every weight 0: it equals `offset` everywhere, so
// preparation fills its grid with factor * offset. Unit scales, shape 0.
PackageData ConstantModel(double offset, uint64_t gridPointCount = 5, int64_t factor = 1,
                          size_t centreCount = 625);

// Package value as a function of the physical pressure, strain, temperature
// and velocity.
using StateFunction = std::function<double(double, double, double, double)>;

// A model already holding a grid of `gridPointCount` points per axis filled
// with f at the physical grid points min + i * spacing of `ranges`, first axis
// fastest, as if it had been prepared; its weights and scales are those of
// ConstantModel(0).
PackageData GridModel(const Ranges& ranges, const StateFunction& f, uint64_t gridPointCount = 5);

// `count` copies of `model`, one per package index.
std::vector<PackageData> Packages(size_t count, const PackageData& model);

TableEntry Entry(Coordinates at, std::vector<PackageData> packages,
                 std::vector<HeatTransferCurve> curves = {});

HeatTransferCurve Curve(std::vector<double> divisors, std::vector<double> numerators,
                        std::vector<double> offsets);

struct ModuleRecipe {
    Ranges ranges;
    std::vector<TableEntry> primary;
    std::vector<TableEntry> secondary;
    uint64_t directionDependency = 0;
    uint64_t heatTransferStatus = 0;
    // When absent, each axis holds the distinct coordinates of all entries.
    std::optional<Axes> axes;
};

// The module of `recipe`, finalized (not prepared), with the identity a module
// read from a blob has (version block name, record kind 3, solver id).
ModulePtr BuildModule(ModuleRecipe recipe);

// The module record of `m`, written by the module record writer.
std::vector<uint8_t> WriteBlob(const Module& m);

// A blob read back and finalized, not prepared; null when it does not read.
ModulePtr ReadBlob(const std::vector<uint8_t>& blob);

// All points of a regular grid of c[0] x c[1] x c[2] x c[3] points on
// [-1, 1]^4, four coordinates each, first axis fastest; coordinate i of an
// axis of c points is (i * (1 / (c - 1))) * 2 - 1, as the solver lays it out.
std::vector<double> RegularGrid(std::array<int32_t, 4> c);

// The multiquadric model at x, written term by term in the order the grids
// must reproduce: q from 0.0 up, axis by axis, then the shape; the sum from
// 0.0 up, centre by centre; the offset last.
double ReferenceModelValue(const PackageData& m, const double* centres, const double* x);

// A module shaped like lab data: 12 packages per entry on a full table of
// sheet roughness x lubrication amount x tool roughness x state values, model
// centre counts cycled from `centreCounts`, pseudo-random but reproducible
// weights, heat-transfer curves, and transverse data with direction
// dependency. Finalized, not prepared.
struct RepresentativeOptions {
    std::vector<size_t> centreCounts = {625, 1000, 1296, 2401, 4096, 6561, 10000};
    uint64_t gridPointCount = 5;
    int sheetRoughnessCount = 2;
    int lubricationAmountCount = 2;
    int toolRoughnessCount = 1;
    int stateCount = 2;
    bool directionDependent = true;
    uint64_t seed = 1;
    // Packages whose bit is clear are declared without data (no grid points,
    // no weights); the random sequence is the same whatever the mask.
    uint32_t packagesWithData = 0xFFF;
};
ModulePtr RepresentativeModule(const RepresentativeOptions& options = {});

// A module whose package values are one multilinear function of the contact
// state and the surface conditions, with dyadic axes and ranges, so that every
// interpolation of it is exact and the expected value is the function itself.

// Axes: sheet roughness {1, 3}, lubrication amount {0, 4}, tool roughness
// {2, 2.5}, state {0, 1}; all four ranges 0..4 with 5 grid points (spacing 1).
struct LinearModule {
    // Package `index` at the physical state and surface conditions:
    // P + 2S + 4T + 8V + 16 sheet + 32 lube + 64 tool + 128 state + 1024 index
    // (+ `shift` for the transverse data).
    static double value(double p, double s, double t, double v, Coordinates at, size_t index,
                        double shift = 0.0) {
        return p + 2 * s + 4 * t + 8 * v + 16 * at.sheetRoughness + 32 * at.lubricationAmount +
               64 * at.toolRoughness + 128 * at.stateValue + 1024.0 * static_cast<double>(index) +
               shift;
    }
    // The constant model term of package `index` at an entry (what package
    // averages interpolate): the state-independent part of value().
    static double offset(Coordinates at, size_t index, double shift = 0.0) {
        return 16 * at.sheetRoughness + 32 * at.lubricationAmount + 64 * at.toolRoughness +
               128 * at.stateValue + static_cast<double>(index) + shift;
    }

    static std::vector<TableEntry> entries(size_t packageCount = 12, double shift = 0.0) {
        std::vector<TableEntry> result;
        for (double sheet : {1.0, 3.0})
            for (double lube : {0.0, 4.0})
                for (double tool : {2.0, 2.5})
                    for (double state : {0.0, 1.0})
                        result.push_back(entryAt({sheet, lube, tool, state}, packageCount, shift));
        return result;
    }

    static TableEntry entryAt(Coordinates at, size_t packageCount, double shift,
                              uint64_t gridPointCount = 5) {
        std::vector<PackageData> packages;
        for (size_t index = 0; index < packageCount; ++index) {
            PackageData pd = GridModel(
                Ranges{},
                [=](double p, double s, double t, double v) {
                    return value(p, s, t, v, at, index, shift);
                },
                gridPointCount);
            pd.offset = offset(at, index, shift);
            packages.push_back(std::move(pd));
        }
        return Entry(at, std::move(packages));
    }

    // Primary data, and with `directional` transverse data shifted by 2048.
    static ModulePtr build(bool directional = false) {
        ModuleRecipe recipe;
        recipe.primary = entries();
        if (directional) {
            recipe.secondary = entries(12, 2048.0);
            recipe.directionDependency = 1;
        }
        return BuildModule(std::move(recipe));
    }
};

// An input record at the given state and surface conditions.
inline InputRecord InputAt(double p, double s, double t, double v, Coordinates c) {
    return {.pressure = p,
            .strain = s,
            .sheetTemperature = t,
            .toolTemperature = t,
            .velocity = v,
            .directionCosine = 0.0,
            .stateValue = c.stateValue,
            .sheetRoughness = c.sheetRoughness,
            .lubricationAmount = c.lubricationAmount,
            .toolRoughness = c.toolRoughness,
            .useDirectionDependency = 0,
            .temperatureMode = 0};
}

}  // namespace mx::test
