// A module whose package values are one multilinear function of the contact
// state and the surface conditions, with dyadic axes and ranges, so that every
// interpolation of it is exact and the expected value is the function itself.
#pragma once

#include "support/module_builder.h"

namespace mx::test {

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
inline InputRecord InputAt(double p, double s, double t, double v, Coordinates at) {
    InputRecord in{};
    in.pressure = p;
    in.strain = s;
    in.sheetTemperature = t;
    in.toolTemperature = t;
    in.velocity = v;
    in.stateValue = at.stateValue;
    in.sheetRoughness = at.sheetRoughness;
    in.lubricationAmount = at.lubricationAmount;
    in.toolRoughness = at.toolRoughness;
    return in;
}

}  // namespace mx::test
