// Faults guarded against: each query's post-processing done in another order
// or with non-strict comparisons, the low-pressure scaling on the signed
// instead of the absolute pressure, scaling when pressureMin is 0 or reached,
// accumulators changed on failure, negative rates accumulated, and the
// production volume formed in another order (which floors differently),
// capped wrongly, or failing on an unusable limit. Availability: a wrong
// id-to-index map (ids 0..5 are permuted, ids above 11 read index 1), indices
// past the package table read, the transverse table ignored or consulted
// without direction dependency, and a production rule that pairs the wrong
// packages.
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
    // Not prepared, and package 10 unavailable. (Solver road tests check that
    // the other queries fail on an unprepared module.)
    auto packages = Packages(12, ConstantModel(1.0));
    packages[10].gridPointCount = 0;
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({}, std::move(packages)));
    ModulePtr m = BuildModule(std::move(recipe));
    const InputRecord in = atPressure(3.0);
    double v = 7.0, w = 7.0;
    EXPECT_EQ(Morvex_GetLubricationAmount(m.get(), in, 1.0, &v, &w), 0u);
    EXPECT_EQ(Morvex_GetGallingIndicator(m.get(), in, 1.0, 0.0, &v), 0u);
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
    const double none = std::numeric_limits<double>::quiet_NaN();
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
