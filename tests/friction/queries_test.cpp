// Faults guarded against: each derived query's post-processing done in
// another order or with non-strict comparisons, the low-pressure scaling on
// the signed instead of the absolute pressure, scaling when pressureMin is 0
// or reached, accumulators changed on failure, negative rates accumulated,
// and the production volume formed in another order (which floors
// differently), capped wrongly, or failing on an unusable limit.
// Availability: a wrong id-to-index map (ids 0..5 are permuted, ids above 11
// read index 1), indices past the package table read, the transverse table
// ignored or consulted without direction dependency, and a production rule
// that pairs the wrong packages. Heat transfer: the wrong path chosen for a
// divisor value and pressure, the divisor bounded the wrong way, the
// low-pressure blend with swapped ends or package 6 evaluated at the input
// pressure, temperatureMode read on the formula path, the availability test
// run on it, curves other than the first read, and reads past the end of
// short curves or missing packages. (Interpolation across the entries and
// the direction blend are the package values' and are compared bit for bit
// with the views' own code in evaluation_views_test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string>

#include "friction/evaluate.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr uint32_t kHeatTransfer = 6;

// Pressure range 2..6, temperature 0..4 (strain 0..8, so that its grid
// spacing differs); package 6 on a 5-point grid equals 100 + T + 10 P. With x = 0 the first curve
// gives g = n / d + o = 5, 5, 8, 6, 8 at temperatures 0..4; with x = 8 it gives 1.5, 2, 3.5,
// 4, 5.5.
const Ranges kHeatRanges{2.0, 6.0, 0.0, 8.0};

TableEntry heatEntry(Coordinates at, bool withGrid = true) {
    auto packages = Packages(7, ConstantModel(1.0));
    if (withGrid) {
        packages[6] = GridModel(
            kHeatRanges, [](double p, double, double t, double) { return 100.0 + t + 10.0 * p; });
    }
    const HeatTransferCurve first = Curve({1, 2, 2, 4, 4}, {4, 8, 12, 16, 20}, {1, 1, 2, 2, 3});
    const HeatTransferCurve unused =
        Curve({1, 1, 1, 1, 1}, {999, 999, 999, 999, 999}, {0, 0, 0, 0, 0});
    return Entry(at, std::move(packages), {first, unused});
}

// A module of `entries` (default: one heat entry) with heat transfer on.
ModulePtr heatModule(std::vector<TableEntry> entries = {heatEntry({})},
                     std::optional<Axes> axes = std::nullopt) {
    ModuleRecipe recipe;
    recipe.ranges = kHeatRanges;
    recipe.primary = std::move(entries);
    recipe.axes = std::move(axes);
    recipe.heatTransferStatus = 1;
    return BuildModule(std::move(recipe));
}

InputRecord at(double pressure, double temperature, double sheetRoughness = 0.0) {
    return InputAt(pressure, 0.0, temperature, 0.0, {sheetRoughness, 0, 0, 0});
}

// The coefficient, or kFailed on a failure, which must leave the
// out-parameter as it was.
constexpr double kFailed = -99999.0;
double coefficient(const Module& m, const InputRecord& in, double divisorValue) {
    double v = -12345.0;
    const bool ok = GetHeatTransferCoefficient(m, in, divisorValue, v);
    EXPECT_TRUE(ok || v == -12345.0) << "failed, but wrote " << v;
    return ok ? v : kFailed;
}

// Pressure range 2..6 (pressureMin 2). Package index i is the constant
// values[i] (grid filled directly, so negative values stay); indices not
// given are 0.
ModulePtr constantModule(std::map<size_t, double> values, double pressureMin = 2.0) {
    const Ranges r{pressureMin, pressureMin + 4.0};
    auto packages = Packages(12, GridModel(r, [](double, double, double, double) { return 0.0; }));
    for (const auto& [index, v] : values)
        std::fill(packages[index].gridValues.begin(), packages[index].gridValues.end(), v);
    ModuleRecipe recipe;
    recipe.ranges = r;
    recipe.primary.push_back(Entry({}, std::move(packages)));
    return BuildModule(std::move(recipe));
}

// Sheet roughness and lubrication amount 2.
InputRecord atPressure(double pressure) {
    return InputAt(pressure, 0.0, 0.0, 0.0, {2.0, 2.0, 0.0, 0.0});
}

// Package indices of the derived quantities (ids 0, 4, 5 are stored at 5, 0,
// 3).
constexpr size_t kSurfaceRoughness = 5, kContactArea = 0, kLubrication = 3, kSpotLube = 7,
                 kGalling = 8, kWear = 9, kFirstProduction = 10, kSecondProduction = 11;

bool cappedAmount(const Module& m, const InputRecord& in, double bound, double& out) {
    double amount;
    return GetLubricationAmount(m, in, bound, out, amount);
}
bool lubricationAmount(const Module& m, const InputRecord& in, double bound, double& out) {
    double capped;
    return GetLubricationAmount(m, in, bound, capped, out);
}

// Package tables from strings, one flag per index ('1': available).
Module withTables(std::string primary, std::string transverse = "", uint64_t dependency = 0) {
    Module m;
    for (char c : primary)
        m.packageTable.push_back(c == '1');
    for (char c : transverse)
        m.transversePackageTable.push_back(c == '1');
    m.directionDependency = dependency;
    return m;
}

// The ids 0..11 the C function reports available, and the production rule.
std::vector<uint32_t> availableIds(const Module& m) {
    std::vector<uint32_t> ids;
    for (uint32_t id = 0; id < 13; ++id) {
        uint32_t available = 7;
        EXPECT_EQ(id < 12 ? Morvex_CheckPackageAvailability(&m, id, &available)
                          : Morvex_CheckProductionPackageAvailability(&m, &available),
                  1u);
        EXPECT_LE(available, 1u);
        if (available == 1) ids.push_back(id < 12 ? id : 99);
    }
    return ids;
}

}  // namespace

TEST(DerivedQueries, PostProcessingOfEachQuery) {
    using Query = bool (*)(const Module&, const InputRecord&, double, double&);
    // The package at `index` is the constant `value`; `out` starts at 10 (the
    // running sum of the indicators).
    const struct {
        Query query;
        size_t index;
        double value, pressureMin, pressure, argument, expected;
        const char* what;
    } cases[] = {
        {GetSurfaceRoughness, kSurfaceRoughness, 10, 2, 3, 100, 10, "above pressureMin"},
        {GetSurfaceRoughness, kSurfaceRoughness, 10, 2, 2, 100, 10, "at pressureMin: no scaling"},
        {GetSurfaceRoughness, kSurfaceRoughness, 10, 2, 3, 8, 8, "capped"},
        {GetSurfaceRoughness, kSurfaceRoughness, 10, 2, 1, 100, 6, "toward the sheet roughness"},
        {GetSurfaceRoughness, kSurfaceRoughness, 10, 2, 0, 1, 1, "scaled, then capped"},
        {GetSurfaceRoughness, kSurfaceRoughness, 10, 0, 0, 100, 10, "pressureMin 0: no scaling"},
        {GetRealContactArea, kContactArea, 8, 2, 3, 5, 8, "above the previous"},
        {GetRealContactArea, kContactArea, 8, 2, 1, 0, 4, "scaled toward zero"},
        {GetRealContactArea, kContactArea, 8, 2, 1, 5, 5, "the previous when larger"},
        {GetRealContactArea, kContactArea, -3, 2, 3, -1, 0, "never negative"},
        {GetHistoryParameter, kContactArea, -3, 2, 3, -5, -3, "not clamped at zero"},
        {GetHistoryParameter, kContactArea, -3, 2, 3, 1, 1, "running maximum"},
        {GetHistoryParameter, kContactArea, 8, 2, 1, 0, 8, "no low-pressure scaling"},
        {cappedAmount, kLubrication, 3, 2, 3, 10, 2, "capped by the input amount"},
        {cappedAmount, kLubrication, 3, 2, 3, 1.5, 1.5, "capped by the bound"},
        {cappedAmount, kLubrication, 1.5, 2, 3, 10, 1.5, "the value below the cap"},
        {cappedAmount, kLubrication, 1, 2, 1, 10, 1.5, "scaled toward the input, then capped"},
        {lubricationAmount, kLubrication, 3, 2, 3, 10, 3, "not capped by the input amount"},
        {lubricationAmount, kLubrication, 3, 2, 3, 1.5, 1.5, "capped by the bound"},
        {lubricationAmount, kLubrication, 3, 2, 1, 10, 2.5, "scaled toward the input amount"},
        {lubricationAmount, kLubrication, 3, 2, 0, 10, 2, "the input amount at zero pressure"},
        {GetSpotLubeIndicator, kSpotLube, 5, 2, 0, 3, 3, "capped, no low-pressure scaling"},
        {GetSpotLubeIndicator, kSpotLube, 5, 2, 3, -1, 0, "capped, then non-negative"},
        {GetSpotLubeIndicator, kSpotLube, -2, 2, 3, 3, 0, "non-negative"},
        {GetGallingIndicator, kGalling, 4, 2, 3, 0.5, 12, "rate times scale added"},
        {GetGallingIndicator, kGalling, 4, 2, 1, 0.5, 11, "half at half the minimum pressure"},
        {GetWearIndicator, kWear, -4, 2, 3, 0.5, 10, "a negative rate adds nothing"},
        {GetWearIndicator, kWear, 4, 2, -1, 2, 14, "absolute pressure"},
    };
    for (const auto& c : cases) {
        ModulePtr m = constantModule({{c.index, c.value}}, c.pressureMin);
        double out = 10.0;
        ASSERT_TRUE(c.query(*m, atPressure(c.pressure), c.argument, out)) << c.what;
        EXPECT_EQ(out, c.expected) << c.what;
    }
}

TEST(DerivedQueries, FailureWritesNothingAndAnUnavailableProductionIsSkipped) {
    // Not prepared, and package 10 unavailable.
    auto packages = Packages(12, ConstantModel(1.0));
    packages[10].gridPointCount = 0;
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({}, std::move(packages)));
    ModulePtr m = BuildModule(std::move(recipe));
    const InputRecord in = atPressure(3.0);
    double v = 7.0, w = 7.0;
    EXPECT_EQ(Morvex_GetSurfaceRoughness(m.get(), in, 1.0, &v), 0u);
    EXPECT_EQ(Morvex_GetRealContactArea(m.get(), in, 1.0, &v), 0u);
    EXPECT_EQ(Morvex_GetHistoryParameter(m.get(), in, 1.0, &v), 0u);
    EXPECT_EQ(Morvex_GetLubricationAmount(m.get(), in, 1.0, &v, &w), 0u);
    EXPECT_EQ(Morvex_GetSpotLubeIndicator(m.get(), in, 1.0, &v), 0u);
    EXPECT_EQ(Morvex_GetGallingIndicator(m.get(), in, 1.0, 0.0, &v), 0u);
    EXPECT_EQ(Morvex_GetWearIndicator(m.get(), in, 1.0, 0.0, &v), 0u);
    const double limit = 1.0;
    EXPECT_EQ(Morvex_GetProductionVolume(m.get(), in, &limit, &limit, &v), 0u);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(w, 7.0);
    ASSERT_TRUE(GetProductionVolume(*m, in, &limit, nullptr, v)) << "package 10 skipped";
    EXPECT_EQ(v, 10000000.0);
}

TEST(ProductionVolume, FlooredSmallerCandidateWithTheProductFirst) {
    // Packages 10 and 11 hold the candidates' rates; a NaN limit is none. The
    // volume is (v * 1e6) / L floored, each candidate capped at 1e7; 1.1e6 /
    // 1.1 is just below 1e6, while v * (1e6 / L) is not.
    const double none = kNaN;
    const struct {
        double first, second, firstLimit, secondLimit, expected;
    } cases[] = {
        {2.5, 0, 1, none, 2500000},    {3.7, 0, 1e6, none, 3},     {100, 0, 1, none, 1e7},
        {100, 200, 1, 1, 1e7},         {0, 2.5, none, 1, 2500000}, {2.5, 1.5, 1, 1, 1500000},
        {2.5, 0, 0, -1, 1e7},          {2.5, 0, none, none, 1e7},  {1.1, 0, 1.1, none, 999999},
        {0.57, 0, 0.1, none, 5700000},
    };
    for (const auto& c : cases) {
        ModulePtr m = constantModule({{kFirstProduction, c.first}, {kSecondProduction, c.second}});
        const auto limit = [](const double& l) { return std::isnan(l) ? nullptr : &l; };
        double v = -1.0;
        ASSERT_TRUE(
            GetProductionVolume(*m, atPressure(3.0), limit(c.firstLimit), limit(c.secondLimit), v));
        EXPECT_EQ(v, c.expected) << c.first << " " << c.second << " " << c.firstLimit;
    }
}

TEST(Availability, IdsMapToTheirIndicesThroughBothTablesAndTheProductionRule) {
    const uint32_t idOfIndex[12] = {4, 3, 2, 5, 1, 0, 6, 7, 8, 9, 10, 11};
    for (size_t index = 0; index < 12; ++index) {
        std::string table(12, '0');
        table[index] = '1';
        EXPECT_EQ(availableIds(withTables(table)), std::vector{idOfIndex[index]}) << index;
    }
    for (uint32_t id : {12u, 100u, 0xFFFFFFFFu}) {
        EXPECT_EQ(isPackageAvailable(withTables("010000000000"), id), 1u) << id;
        EXPECT_EQ(isPackageAvailable(withTables("101111111111"), id), 0u) << id;
    }
    // 99 stands for the production rule: 8 with 10 or 9 with 11.
    const struct {
        Module m;
        std::vector<uint32_t> ids;
    } cases[] = {
        {withTables("111111"), {0, 1, 2, 3, 4, 5}},
        {withTables(""), {}},
        {withTables("000000111000", "000000101000", 1), {6, 8}},
        {withTables("000000111000", "00000011", 1), {6, 7}},     // 8 past the end
        {withTables("000000111000", "00000011", 0), {6, 7, 8}},  // transverse ignored
        {withTables("000000001010"), {8, 10, 99}},
        {withTables("000000000101"), {9, 11, 99}},
        {withTables("000000001001"), {8, 11}},
        {withTables("000000000110"), {9, 10}},
        {withTables("000000001111", "000000000101", 1), {9, 11, 99}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(availableIds(c.m), c.ids) << &c - cases;
}

TEST(HeatTransfer, PathChosenByDivisorAndPressure) {
    ModulePtr m = heatModule();
    // Package 6 at pressureMin and T = 1.5, and the formula at T = 1.5, x <= 0.5.
    const double packageAtMin = 100.0 + 1.5 + 20.0, formula = 0.5 * 8 + 0.5 * 5;
    const struct {
        double pressure, sheetT, toolT;
        uint32_t mode;
        double divisor, expected;
        const char* what;
    } cases[] = {
        {3, 1.5, 1.5, 0, 0.0, 100.0 + 1.5 + 30.0, "package path"},
        {2, 1.5, 1.5, 0, -4.0, packageAtMin, "package path at pressureMin"},
        {3, 1.5, 3.5, 1, 0.0, 100.0 + 2.5 + 30.0, "temperature mode read on the package path"},
        {-1, 1.5, 1.5, 0, 0.0, formula, "x = 0: formula, no blend below zero pressure"},
        {3, 1.5, 1.5, 0, 0.5, formula, "x below every divisor"},
        {3, 1.5, 4.0, 1, 0.5, formula, "temperature mode not read on the formula path"},
        {3, 1.5, 1.5, 0, 8.0, 0.5 * 3.5 + 0.5 * 2, "divisors below x raised to it"},
        {3, 3.0, 3.0, 0, 8.0, 4.0, "on a temperature node"},
        {3, 9.0, 9.0, 0, 8.0, 5.5, "temperature clamped"},
        {0.5, 1.5, 1.5, 0, 0.0, 0.25 * packageAtMin + 0.75 * formula, "low-pressure band"},
        {0.5, 1.5, 1.5, 0, 0.5, 0.25 * packageAtMin + 0.75 * formula, "band with a divisor"},
    };
    for (const auto& c : cases) {
        InputRecord in = at(c.pressure, c.sheetT);
        in.toolTemperature = c.toolT;
        in.temperatureMode = c.mode;
        EXPECT_EQ(coefficient(*m, in, c.divisor), c.expected) << c.what;
    }
    EXPECT_NEAR(coefficient(*m, at(3.0, 1.5), 1e12), 0.5 * 2 + 0.5 * 1, 1e-9)
        << "large divisors leave the offsets";
    ModulePtr shifted = heatModule();
    shifted->temperatureMin = 10.0, shifted->temperatureMax = 14.0;
    EXPECT_EQ(coefficient(*shifted, at(3.0, 11.5), 8.0), 2.75) << "curves start at temperatureMin";
    m->heatTransferStatus = 0;
    EXPECT_EQ(coefficient(*m, at(3.0, 1.5), 0.0), kFailed) << "status 0, package path";
    EXPECT_EQ(coefficient(*m, at(3.0, 1.5), 8.0), kFailed) << "status 0, formula path";
}

TEST(HeatTransferMalformed, TheFormulaNeedsNoGridButMissingOrShortDataFails) {
    ModulePtr noGrid = heatModule({heatEntry({}, false)});
    EXPECT_EQ(coefficient(*noGrid, at(3.0, 1.5), 8.0), 2.75);
    EXPECT_EQ(coefficient(*noGrid, at(0.0, 1.5), 0.0), 6.5);
    // Package 6 unavailable: direction dependency without transverse data.
    ModulePtr unavailable = heatModule();
    unavailable->directionDependency = 1;
    ASSERT_EQ(isPackageAvailable(*unavailable, kHeatTransfer), 0u);
    EXPECT_EQ(coefficient(*unavailable, at(3.0, 1.5), 8.0), 2.75);

    const auto changed = [](void (*change)(TableEntry&)) {
        TableEntry e = heatEntry({});
        change(e);
        return heatModule({e});
    };
    const struct {
        ModulePtr m;
        InputRecord in;
        double divisor;
    } cases[] = {
        {std::move(noGrid), at(1.0, 1.5), 0.0},  // the band needs package 6's grid
        {heatModule({heatEntry({}, false)}), at(3.0, 1.5), 0.0},
        {std::move(unavailable), at(3.0, 1.5), 0.0},
        {changed([](TableEntry& e) { e.curves.clear(); }), at(3.0, 1.5), 8.0},
        // 4 values for a 5-point grid.
        {changed([](TableEntry& e) { e.curves[0].divisors.pop_back(); }), at(3.0, 3.9), 8.0},
        {changed([](TableEntry& e) { e.curves[0].numerators.pop_back(); }), at(3.0, 3.9), 8.0},
        {changed([](TableEntry& e) { e.curves[0].offsets.pop_back(); }), at(3.0, 3.9), 8.0},
        {changed([](TableEntry& e) { e.packageData.resize(6); }), at(3.0, 1.5), 8.0},
        {changed([](TableEntry& e) { e.packageData[6].gridPointCount = 0; }), at(3.0, 1.5), 8.0},
        // No entry at sheet roughness 2.
        {heatModule({heatEntry({1, 0, 0, 0})}, Axes{{1, 2}, {0}, {0}, {0}}), at(3.0, 1.5, 1.5),
         8.0},
        {heatModule(), at(3.0, 1.5, kNaN), 8.0},
        {heatModule({heatEntry({})}, Axes{{0.0}, {0.0}, {}, {0.0}}), at(3.0, 1.5), 8.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(coefficient(*c.m, c.in, c.divisor), kFailed) << &c - cases;
    EXPECT_TRUE(std::isnan(coefficient(*heatModule(), at(3.0, kNaN), 8.0)))
        << "stays inside the curve";
}
