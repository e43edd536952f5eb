// Faults guarded against: each query's post-processing done in another order
// or with non-strict comparisons, the low-pressure scaling on the signed
// instead of the absolute pressure, scaling when pressureMin is 0 or reached,
// accumulators changed on failure, negative rates accumulated, and the
// production volume formed in another order (which floors differently),
// capped wrongly, or failing on an unusable limit.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "friction/evaluate.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

// Pressure range 2..6 (pressureMin 2). Package index i is the constant
// values[i] (grid filled directly, so negative values stay); indices not
// given are 0.
ModulePtr constantModule(std::map<size_t, double> values, double pressureMin = 2.0) {
    Ranges r;
    r.pressureMin = pressureMin;
    r.pressureMax = pressureMin + 4.0;
    std::vector<PackageData> packages;
    for (size_t index = 0; index < 12; ++index) {
        const double v = values.count(index) ? values[index] : 0.0;
        packages.push_back(GridModel(r, [v](double, double, double, double) { return v; }));
    }
    ModuleRecipe recipe;
    recipe.ranges = r;
    recipe.primary.push_back(Entry({}, std::move(packages)));
    return BuildModule(std::move(recipe));
}

InputRecord atPressure(double pressure, double sheetRoughness = 0.0,
                       double lubricationAmount = 0.0) {
    InputRecord in{};
    in.pressure = pressure;
    in.sheetRoughness = sheetRoughness;
    in.lubricationAmount = lubricationAmount;
    return in;
}

// Package indices of the derived quantities (ids 0, 4, 5 are stored at 5, 0, 3).
constexpr size_t kSurfaceRoughness = 5, kContactArea = 0, kLubrication = 3, kSpotLube = 7,
                 kGalling = 8, kWear = 9, kFirstProduction = 10, kSecondProduction = 11;

}  // namespace

TEST(SurfaceRoughness, ScaledTowardTheSheetRoughnessThenCapped) {
    ModulePtr m = constantModule({{kSurfaceRoughness, 10.0}});
    double v = 0;
    ASSERT_TRUE(GetSurfaceRoughness(*m, atPressure(3.0, 2.0), 100.0, v));
    EXPECT_EQ(v, 10.0);
    ASSERT_TRUE(GetSurfaceRoughness(*m, atPressure(2.0, 2.0), 100.0, v));
    EXPECT_EQ(v, 10.0) << "at pressureMin: no scaling";
    ASSERT_TRUE(GetSurfaceRoughness(*m, atPressure(3.0, 2.0), 8.0, v));
    EXPECT_EQ(v, 8.0);
    ASSERT_TRUE(GetSurfaceRoughness(*m, atPressure(1.0, 2.0), 100.0, v));
    EXPECT_EQ(v, (10.0 - 2.0) * 0.5 + 2.0);
    ASSERT_TRUE(GetSurfaceRoughness(*m, atPressure(-1.0, 2.0), 100.0, v));
    EXPECT_EQ(v, 6.0) << "absolute pressure";
    ASSERT_TRUE(GetSurfaceRoughness(*m, atPressure(0.0, 2.0), 100.0, v));
    EXPECT_EQ(v, 2.0) << "the sheet roughness at zero pressure";
    ASSERT_TRUE(GetSurfaceRoughness(*m, atPressure(0.0, 2.0), 1.0, v));
    EXPECT_EQ(v, 1.0);

    m = constantModule({{kSurfaceRoughness, 10.0}}, 0.0);
    ASSERT_TRUE(GetSurfaceRoughness(*m, atPressure(0.0, 2.0), 100.0, v));
    EXPECT_EQ(v, 10.0) << "pressureMin 0 disables the scaling";
}

TEST(RealContactArea, NonNegativeScaledTowardZeroAndARunningMaximum) {
    ModulePtr m = constantModule({{kContactArea, 8.0}});
    double v = 0;
    ASSERT_TRUE(GetRealContactArea(*m, atPressure(3.0), 5.0, v));
    EXPECT_EQ(v, 8.0);
    ASSERT_TRUE(GetRealContactArea(*m, atPressure(1.0), 0.0, v));
    EXPECT_EQ(v, 4.0);
    ASSERT_TRUE(GetRealContactArea(*m, atPressure(1.0), 5.0, v));
    EXPECT_EQ(v, 5.0);
    ASSERT_TRUE(GetRealContactArea(*m, atPressure(0.0), -1.0, v));
    EXPECT_EQ(v, 0.0);

    m = constantModule({{kContactArea, -3.0}});
    ASSERT_TRUE(GetRealContactArea(*m, atPressure(3.0), -1.0, v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(GetRealContactArea(*m, atPressure(3.0), 0.5, v));
    EXPECT_EQ(v, 0.5);
}

TEST(HistoryParameter, UnclampedUnscaledRunningMaximum) {
    ModulePtr m = constantModule({{kContactArea, -3.0}});
    double v = 0;
    ASSERT_TRUE(GetHistoryParameter(*m, atPressure(3.0), -5.0, v));
    EXPECT_EQ(v, -3.0);
    ASSERT_TRUE(GetHistoryParameter(*m, atPressure(3.0), 1.0, v));
    EXPECT_EQ(v, 1.0);
    m = constantModule({{kContactArea, 8.0}});
    ASSERT_TRUE(GetHistoryParameter(*m, atPressure(1.0), 0.0, v));
    EXPECT_EQ(v, 8.0) << "no low-pressure scaling";
}

TEST(LubricationAmount, CappedByTheInputAmountAndTheBound) {
    ModulePtr m = constantModule({{kLubrication, 3.0}});
    double capped = 0, amount = 0;
    ASSERT_TRUE(GetLubricationAmount(*m, atPressure(3.0, 0.0, 2.0), 10.0, capped, amount));
    EXPECT_EQ(capped, 2.0);
    EXPECT_EQ(amount, 3.0);
    ASSERT_TRUE(GetLubricationAmount(*m, atPressure(3.0, 0.0, 2.0), 1.5, capped, amount));
    EXPECT_EQ(capped, 1.5);
    EXPECT_EQ(amount, 1.5);
    ASSERT_TRUE(GetLubricationAmount(*m, atPressure(1.0, 0.0, 2.0), 10.0, capped, amount));
    EXPECT_EQ(capped, 2.0);
    EXPECT_EQ(amount, 2.5) << "scaled toward the input amount";
    ASSERT_TRUE(GetLubricationAmount(*m, atPressure(0.0, 0.0, 2.0), 10.0, capped, amount));
    EXPECT_EQ(amount, 2.0);
    ASSERT_TRUE(GetLubricationAmount(*m, atPressure(3.0, 0.0, 5.0), 10.0, capped, amount));
    EXPECT_EQ(capped, 3.0) << "the value when below the cap";
}

TEST(SpotLubeIndicator, CappedThenNonNegative) {
    ModulePtr m = constantModule({{kSpotLube, 5.0}});
    double v = 0;
    ASSERT_TRUE(GetSpotLubeIndicator(*m, atPressure(0.0), 3.0, v));
    EXPECT_EQ(v, 3.0) << "no low-pressure scaling";
    ASSERT_TRUE(GetSpotLubeIndicator(*m, atPressure(3.0), -1.0, v));
    EXPECT_EQ(v, 0.0);
    m = constantModule({{kSpotLube, -2.0}});
    ASSERT_TRUE(GetSpotLubeIndicator(*m, atPressure(3.0), 3.0, v));
    EXPECT_EQ(v, 0.0);
}

TEST(GallingAndWear, AccumulateTheScaledNonNegativeRate) {
    ModulePtr m = constantModule({{kGalling, 4.0}, {kWear, -4.0}});
    double sum = 10.0;
    ASSERT_TRUE(GetGallingIndicator(*m, atPressure(3.0), 0.5, sum));
    EXPECT_EQ(sum, 12.0);
    ASSERT_TRUE(GetGallingIndicator(*m, atPressure(1.0), 0.5, sum));
    EXPECT_EQ(sum, 13.0) << "half the increment at half the minimum pressure";
    ASSERT_TRUE(GetGallingIndicator(*m, atPressure(0.0), 0.5, sum));
    EXPECT_EQ(sum, 13.0);
    ASSERT_TRUE(GetWearIndicator(*m, atPressure(3.0), 0.5, sum));
    EXPECT_EQ(sum, 13.0) << "a negative rate adds nothing";

    m = constantModule({{kWear, 4.0}});
    ASSERT_TRUE(GetWearIndicator(*m, atPressure(-1.0), 2.0, sum));
    EXPECT_EQ(sum, 17.0);
}

TEST(DerivedQueries, FailureWritesNothing) {
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({}, Packages(12, ConstantModel(1.0))));  // not prepared
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
    EXPECT_EQ(Morvex_GetProductionVolume(m.get(), in, &limit, nullptr, &v), 0u);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(w, 7.0);
}

TEST(ProductionVolume, FlooredSmallerCandidateWithTheProductFirst) {
    const auto volume = [](std::map<size_t, double> values, const double* first,
                           const double* second) {
        ModulePtr m = constantModule(values);
        double v = -1.0;
        EXPECT_TRUE(GetProductionVolume(*m, atPressure(3.0), first, second, v));
        return v;
    };
    const double one = 1.0, million = 1e6, zero = 0.0, tenth = 0.1, negative = -1.0;
    EXPECT_EQ(volume({{kFirstProduction, 2.5}}, &one, nullptr), 2500000.0);
    EXPECT_EQ(volume({{kFirstProduction, 3.7}}, &million, nullptr), 3.0);
    EXPECT_EQ(volume({{kFirstProduction, 100.0}}, &one, nullptr), 10000000.0);
    EXPECT_EQ(volume({{kSecondProduction, 2.5}}, nullptr, &one), 2500000.0);
    EXPECT_EQ(volume({{kFirstProduction, 2.5}, {kSecondProduction, 1.5}}, &one, &one), 1500000.0);
    EXPECT_EQ(volume({{kFirstProduction, 2.5}}, &zero, &negative), 10000000.0);
    EXPECT_EQ(volume({{kFirstProduction, 2.5}}, nullptr, nullptr), 10000000.0);
    // (v * 1e6) / L: 1.1e6 / 1.1 is just below 1e6, while v * (1e6 / L) is not.
    const double l = 1.1;
    EXPECT_EQ(volume({{kFirstProduction, 1.1}}, &l, nullptr), 999999.0);
    EXPECT_EQ(volume({{kFirstProduction, 0.57}}, &tenth, nullptr), 5700000.0);
}

TEST(ProductionVolume, UnavailablePackagesAreSkipped) {
    auto packages = Packages(12, ConstantModel(1.0));
    packages[10].gridPointCount = 0;  // unavailable: skipped even though never prepared
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({}, std::move(packages)));
    ModulePtr m = BuildModule(std::move(recipe));
    const double one = 1.0;
    double v = -1.0;
    ASSERT_TRUE(GetProductionVolume(*m, atPressure(3.0), &one, nullptr, v));
    EXPECT_EQ(v, 10000000.0);
}
