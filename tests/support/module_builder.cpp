#include "support/module_builder.h"

#include <algorithm>
#include <cmath>

#include "io/dispatch.h"
#include "module/finalize.h"
#include "serialize/module_record.h"

namespace mx::test {

PackageData ConstantModel(double offset, uint64_t gridPointCount, int64_t factor,
                          size_t centreCount) {
    PackageData pd;
    pd.scales = {1.0, 1.0, 1.0, 1.0};
    pd.weights.assign(centreCount, 0.0);
    pd.shape = 0.0;
    pd.offset = offset;
    pd.factor = static_cast<uint64_t>(factor);
    pd.gridPointCount = gridPointCount;
    return pd;
}

void FillGrid(PackageData& model, const Ranges& r, const StateFunction& f) {
    const auto n = static_cast<size_t>(model.gridPointCount);
    const double steps = static_cast<double>(n) - 1.0;
    const auto at = [steps](double min, double max, size_t i) {
        return min + static_cast<double>(i) * ((max - min) / steps);
    };
    model.gridValues.clear();
    model.gridValues.reserve(n * n * n * n);
    for (size_t v = 0; v < n; ++v)
        for (size_t t = 0; t < n; ++t)
            for (size_t s = 0; s < n; ++s)
                for (size_t p = 0; p < n; ++p)
                    model.gridValues.push_back(f(at(r.pressureMin, r.pressureMax, p),
                                                 at(r.strainMin, r.strainMax, s),
                                                 at(r.temperatureMin, r.temperatureMax, t),
                                                 at(r.velocityMin, r.velocityMax, v)));
}

PackageData GridModel(const Ranges& ranges, const StateFunction& f, uint64_t gridPointCount) {
    PackageData pd = ConstantModel(0.0, gridPointCount);
    FillGrid(pd, ranges, f);
    return pd;
}

std::vector<PackageData> Packages(size_t count, const PackageData& model) {
    return std::vector<PackageData>(count, model);
}

TableEntry Entry(Coordinates at, std::vector<PackageData> packages,
                 std::vector<HeatTransferCurve> curves) {
    TableEntry e;
    e.packageData = std::move(packages);
    e.curves = std::move(curves);
    e.sheetRoughness = at.sheetRoughness;
    e.lubricationAmount = at.lubricationAmount;
    e.toolRoughness = at.toolRoughness;
    e.stateValue = at.stateValue;
    return e;
}

HeatTransferCurve Curve(std::vector<double> divisors, std::vector<double> numerators,
                        std::vector<double> offsets) {
    HeatTransferCurve c;
    c.divisors = std::move(divisors);
    c.numerators = std::move(numerators);
    c.offsets = std::move(offsets);
    return c;
}

namespace {

void addDistinct(std::vector<double>& axis, double v) {
    if (std::find(axis.begin(), axis.end(), v) == axis.end()) axis.push_back(v);
}

Axes axesOfEntries(const ModuleRecipe& recipe) {
    Axes axes;
    for (const auto* entries : {&recipe.primary, &recipe.secondary}) {
        for (const TableEntry& e : *entries) {
            addDistinct(axes.sheetRoughness, e.sheetRoughness);
            addDistinct(axes.lubricationAmount, e.lubricationAmount);
            addDistinct(axes.toolRoughness, e.toolRoughness);
            addDistinct(axes.state, e.stateValue);
        }
    }
    return axes;
}

}  // namespace

ModulePtr BuildModule(ModuleRecipe recipe) {
    auto m = std::make_unique<Module>();
    m->name = kVersionBlockName;
    m->formatVersion = kModuleRecord;
    m->solverId = kDefaultSolverId;
    const Ranges& r = recipe.ranges;
    m->pressureMin = r.pressureMin;
    m->pressureMax = r.pressureMax;
    m->strainMin = r.strainMin;
    m->strainMax = r.strainMax;
    m->temperatureMin = r.temperatureMin;
    m->temperatureMax = r.temperatureMax;
    m->velocityMin = r.velocityMin;
    m->velocityMax = r.velocityMax;
    Axes axes = recipe.axes ? *recipe.axes : axesOfEntries(recipe);
    m->sheetRoughnessValues = std::move(axes.sheetRoughness);
    m->lubricationAmountValues = std::move(axes.lubricationAmount);
    m->toolRoughnessValues = std::move(axes.toolRoughness);
    m->stateAxis = std::move(axes.state);
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
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi).
    double uniform(double lo, double hi) {
        return lo + (hi - lo) * (static_cast<double>(next() >> 11) * 0x1.0p-53);
    }
};

constexpr size_t kPackagesPerEntry = 12;

PackageData randomModel(Random& random, size_t centreCount, uint64_t gridPointCount,
                        double offset) {
    PackageData pd;
    pd.scales = {random.uniform(0.5, 1.5), random.uniform(0.5, 1.5), random.uniform(0.5, 1.5),
                 random.uniform(0.5, 1.5)};
    pd.weights.resize(centreCount);
    for (double& w : pd.weights)
        w = random.uniform(-1.0, 1.0) / static_cast<double>(centreCount);
    pd.shape = random.uniform(0.1, 1.0);
    pd.offset = offset;
    pd.factor = 1;
    pd.gridPointCount = gridPointCount;
    return pd;
}

TableEntry randomEntry(Random& random, const RepresentativeOptions& o, Coordinates at,
                       size_t& modelCount) {
    std::vector<PackageData> packages;
    for (size_t index = 0; index < kPackagesPerEntry; ++index) {
        const size_t centres = o.centreCounts[modelCount++ % o.centreCounts.size()];
        // Package 7 is kept non-negative by preparation: give it values around 0.
        const double offset = index == 7 ? random.uniform(-0.5, 0.5)
                                         : 1.0 + at.sheetRoughness + at.lubricationAmount +
                                               0.1 * static_cast<double>(index);
        packages.push_back(randomModel(random, centres, o.gridPointCount, offset));
        if ((o.packagesWithData >> index & 1) == 0) packages.back() = PackageData{};
    }
    const auto samples = static_cast<size_t>(o.gridPointCount);
    HeatTransferCurve curve;
    for (size_t j = 0; j < samples; ++j) {
        curve.divisors.push_back(random.uniform(1.0, 2.0));
        curve.numerators.push_back(random.uniform(500.0, 1500.0));
        curve.offsets.push_back(random.uniform(5.0, 15.0));
    }
    return Entry(at, std::move(packages), {curve});
}

std::vector<TableEntry> randomEntries(Random& random, const RepresentativeOptions& o) {
    std::vector<TableEntry> entries;
    size_t modelCount = 0;
    for (int i = 0; i < o.sheetRoughnessCount; ++i)
        for (int j = 0; j < o.lubricationAmountCount; ++j)
            for (int k = 0; k < o.toolRoughnessCount; ++k)
                for (int l = 0; l < o.stateCount; ++l)
                    entries.push_back(randomEntry(
                        random, o, {0.5 + 0.5 * i, 1.0 + j, 0.2 + 0.1 * k, 1.0 * l}, modelCount));
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
