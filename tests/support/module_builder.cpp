#include "support/module_builder.h"

#include <algorithm>
#include <cmath>

#include "io/dispatch.h"
#include "module/finalize.h"
#include "serialize/module_record.h"

namespace mx::test {

PackageData ConstantModel(double offset, uint64_t gridPointCount, int64_t factor,
                          size_t centreCount) {
    const auto f = static_cast<uint64_t>(factor);
    std::vector<double> weights(centreCount, 0.0);
    return {{1.0, 1.0, 1.0, 1.0}, std::move(weights), 0.0, offset, f, gridPointCount, {}};
}

PackageData GridModel(const Ranges& r, const StateFunction& f, uint64_t gridPointCount) {
    PackageData pd = ConstantModel(0.0, gridPointCount);
    const auto n = static_cast<size_t>(gridPointCount);
    const auto at = [n](double min, double max, size_t i) {
        return min + static_cast<double>(i) * ((max - min) / (static_cast<double>(n) - 1.0));
    };
    for (size_t v = 0; v < n; ++v)
        for (size_t t = 0; t < n; ++t)
            for (size_t s = 0; s < n; ++s)
                for (size_t p = 0; p < n; ++p)
                    pd.gridValues.push_back(f(at(r.pressureMin, r.pressureMax, p),
                                              at(r.strainMin, r.strainMax, s),
                                              at(r.temperatureMin, r.temperatureMax, t),
                                              at(r.velocityMin, r.velocityMax, v)));
    return pd;
}

std::vector<PackageData> Packages(size_t count, const PackageData& model) {
    return std::vector<PackageData>(count, model);
}

TableEntry Entry(Coordinates at, std::vector<PackageData> packages,
                 std::vector<HeatTransferCurve> curves) {
    return {std::move(packages), std::move(curves),    at.stateValue,
            at.sheetRoughness,   at.lubricationAmount, at.toolRoughness};
}

HeatTransferCurve Curve(std::vector<double> divisors, std::vector<double> numerators,
                        std::vector<double> offsets) {
    return {std::move(divisors), std::move(numerators), std::move(offsets)};
}

ModulePtr BuildModule(ModuleRecipe recipe) {
    auto m = std::make_unique<Module>();
    m->name = kVersionBlockName;
    m->formatVersion = kModuleRecord;
    m->solverId = kDefaultSolverId;
    SetRanges(*m, recipe.ranges);
    if (!recipe.axes) {
        // Each axis holds the distinct coordinates of all entries, in order of appearance.
        recipe.axes.emplace();
        const auto add = [](std::vector<double>& axis, double v) {
            if (std::find(axis.begin(), axis.end(), v) == axis.end()) axis.push_back(v);
        };
        for (const auto* entries : {&recipe.primary, &recipe.secondary}) {
            for (const TableEntry& e : *entries) {
                add(recipe.axes->sheetRoughness, e.sheetRoughness);
                add(recipe.axes->lubricationAmount, e.lubricationAmount);
                add(recipe.axes->toolRoughness, e.toolRoughness);
                add(recipe.axes->state, e.stateValue);
            }
        }
    }
    SetAxes(*m, std::move(*recipe.axes));
    m->primaryEntries = std::move(recipe.primary);
    m->secondaryEntries = std::move(recipe.secondary);
    m->directionDependency = recipe.directionDependency;
    m->heatTransferStatus = recipe.heatTransferStatus;
    if (!FinalizeModule(*m)) return nullptr;
    return m;
}

std::vector<uint8_t> WriteBlob(const Module& m) {
    MallocBuffer blob;
    uint64_t length = 0;
    if (!SerializeModule(m, blob, length)) return {};
    return std::vector<uint8_t>(blob.get(), blob.get() + length);
}

ModulePtr ReadBlob(const std::vector<uint8_t>& blob) {
    ModulePtr m;
    if (!ReadRecordStream(blob.data(), static_cast<int32_t>(blob.size()), m)) return nullptr;
    return m;
}

std::vector<double> RegularGrid(std::array<int32_t, 4> c) {
    const auto axis = [](int32_t i, int32_t n) {
        return n == 1 ? -1.0 : (i * (1.0 / (n - 1.0))) * 2 - 1.0;
    };
    std::vector<double> out;
    for (int32_t i3 = 0; i3 < c[3]; ++i3)
        for (int32_t i2 = 0; i2 < c[2]; ++i2)
            for (int32_t i1 = 0; i1 < c[1]; ++i1)
                for (int32_t i0 = 0; i0 < c[0]; ++i0)
                    out.insert(out.end(),
                               {axis(i0, c[0]), axis(i1, c[1]), axis(i2, c[2]), axis(i3, c[3])});
    return out;
}

double ReferenceModelValue(const PackageData& m, const double* centres, const double* x) {
    double sum = 0.0;
    for (size_t i = 0; i < m.weights.size(); ++i) {
        double q = 0.0;
        for (int k = 0; k < 4; ++k) {
            const double d = (centres[4 * i + k] - x[k]) * m.scales[k];
            q = q + d * d;
        }
        q = q + m.shape;
        sum = sum + std::sqrt(q) * m.weights[i];
    }
    return sum + m.offset;
}

namespace {

// splitmix64: the same sequence on every platform and standard library.
struct Random {
    uint64_t state;
    // Uniform in [lo, hi).
    double uniform(double lo, double hi) {
        uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return lo + (hi - lo) * (static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53);
    }
};

// Twelve packages a cell, then one heat-transfer curve of gridPointCount
// samples. The values are drawn in this order whatever the data mask.
std::vector<TableEntry> randomEntries(Random& random, const RepresentativeOptions& o) {
    std::vector<TableEntry> entries;
    size_t modelCount = 0;
    for (int i = 0; i < o.sheetRoughnessCount; ++i)
        for (int j = 0; j < o.lubricationAmountCount; ++j)
            for (int k = 0; k < o.toolRoughnessCount; ++k)
                for (int l = 0; l < o.stateCount; ++l) {
                    const Coordinates at{0.5 + 0.5 * i, 1.0 + j, 0.2 + 0.1 * k, 1.0 * l};
                    std::vector<PackageData> packages;
                    for (size_t index = 0; index < 12; ++index) {
                        const size_t centres = o.centreCounts[modelCount++ % o.centreCounts.size()];
                        // Package 7 is kept non-negative by preparation: values around 0.
                        PackageData pd = ConstantModel(
                            index == 7 ? random.uniform(-0.5, 0.5)
                                       : 1.0 + at.sheetRoughness + at.lubricationAmount +
                                             0.1 * static_cast<double>(index),
                            o.gridPointCount, 1, centres);
                        for (double& scale : pd.scales)
                            scale = random.uniform(0.5, 1.5);
                        for (double& w : pd.weights)
                            w = random.uniform(-1.0, 1.0) / static_cast<double>(centres);
                        pd.shape = random.uniform(0.1, 1.0);
                        packages.push_back((o.packagesWithData >> index & 1) ? pd : PackageData{});
                    }
                    HeatTransferCurve curve;
                    for (uint64_t n = 0; n < o.gridPointCount; ++n) {
                        curve.divisors.push_back(random.uniform(1.0, 2.0));
                        curve.numerators.push_back(random.uniform(500.0, 1500.0));
                        curve.offsets.push_back(random.uniform(5.0, 15.0));
                    }
                    entries.push_back(Entry(at, std::move(packages), {curve}));
                }
    return entries;
}

}  // namespace

ModulePtr RepresentativeModule(const RepresentativeOptions& options) {
    Random random{options.seed};
    ModuleRecipe recipe;
    recipe.ranges = {1.0, 100.0, 0.0, 0.5, 20.0, 220.0, 10.0, 500.0};
    recipe.primary = randomEntries(random, options);
    if (options.directionDependent) {
        recipe.secondary = randomEntries(random, options);
        recipe.directionDependency = 1;
    }
    recipe.heatTransferStatus = 1;
    return BuildModule(std::move(recipe));
}

}  // namespace mx::test
