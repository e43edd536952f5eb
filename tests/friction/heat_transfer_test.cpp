// Faults guarded against: the wrong path chosen for a divisor value and
// pressure, the divisor bounded the wrong way, the low-pressure blend with
// swapped ends or package 6 evaluated at the input pressure, temperatureMode
// read on the formula path, the availability test run on it, curves other
// than the first read, the entries not interpolated across the conditions,
// and reads past the end of short curves or missing packages.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "friction/evaluate.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr uint32_t kHeatTransfer = 6;

// Pressure range 2..6, temperature 0..4; package 6 on a 5-point grid equals
// 100 + T + 10 P (+ shift). With x = 0 the first curve gives g = n / d + o =
// 5, 5, 8, 6, 8 at temperatures 0..4; with x = 8 it gives 1.5, 2, 3.5, 4, 5.5.
Ranges heatRanges() {
    Ranges r;
    r.pressureMin = 2.0;
    r.pressureMax = 6.0;
    return r;
}

HeatTransferCurve firstCurve(double offsetShift = 0.0) {
    return Curve(
        {1, 2, 2, 4, 4}, {4, 8, 12, 16, 20},
        {1 + offsetShift, 1 + offsetShift, 2 + offsetShift, 2 + offsetShift, 3 + offsetShift});
}

TableEntry heatEntry(Coordinates at, double shift = 0.0, bool withGrid = true) {
    auto packages = Packages(7, ConstantModel(1.0));
    if (withGrid) {
        packages[6] = GridModel(heatRanges(), [shift](double p, double, double t, double) {
            return 100.0 + t + 10.0 * p + shift;
        });
    }
    const HeatTransferCurve unused =
        Curve({1, 1, 1, 1, 1}, {999, 999, 999, 999, 999}, {0, 0, 0, 0, 0});
    return Entry(at, std::move(packages), {firstCurve(shift), unused});
}

ModulePtr heatModule(bool withGrid = true) {
    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    recipe.primary.push_back(heatEntry({}, 0.0, withGrid));
    recipe.heatTransferStatus = 1;
    return BuildModule(std::move(recipe));
}

InputRecord at(double pressure, double temperature) {
    InputRecord in{};
    in.pressure = pressure;
    in.sheetTemperature = temperature;
    in.toolTemperature = temperature;
    return in;
}

double coefficient(const Module& m, const InputRecord& in, double divisorValue) {
    double v = -12345.0;
    EXPECT_TRUE(GetHeatTransferCoefficient(m, in, divisorValue, v));
    return v;
}

bool fails(const Module& m, const InputRecord& in, double divisorValue) {
    double v = -12345.0;
    const bool ok = GetHeatTransferCoefficient(m, in, divisorValue, v);
    EXPECT_EQ(v, -12345.0);
    return !ok;
}

}  // namespace

TEST(HeatTransfer, PackagePathAtOrAbovePressureMinWithoutDivisor) {
    ModulePtr m = heatModule();
    InputRecord in = at(3.0, 1.5);
    double package;
    ASSERT_TRUE(GetPackageValue(*m, in, kHeatTransfer, package));
    EXPECT_EQ(package, 100.0 + 1.5 + 30.0);
    EXPECT_EQ(coefficient(*m, in, 0.0), package);
    EXPECT_EQ(coefficient(*m, at(2.0, 1.5), -4.0), 100.0 + 1.5 + 20.0);
    in.toolTemperature = 3.5;
    in.temperatureMode = 1;
    EXPECT_EQ(coefficient(*m, in, 0.0), 100.0 + 2.5 + 30.0) << "temperature mode read here";
}

TEST(HeatTransfer, FormulaPathBoundsTheDivisorByTheCurve) {
    ModulePtr m = heatModule();
    EXPECT_EQ(coefficient(*m, at(0.0, 1.5), 0.0), 0.5 * 8 + 0.5 * 5) << "x = 0: no blend at 0";
    EXPECT_EQ(coefficient(*m, at(3.0, 1.5), 0.5), 6.5) << "x below every divisor";
    EXPECT_EQ(coefficient(*m, at(3.0, 1.5), 8.0), 0.5 * 3.5 + 0.5 * 2);
    EXPECT_EQ(coefficient(*m, at(3.0, 3.0), 8.0), 4.0) << "on a temperature node";
    EXPECT_EQ(coefficient(*m, at(3.0, 9.0), 8.0), 5.5) << "temperature clamped";
    EXPECT_NEAR(coefficient(*m, at(3.0, 1.5), 1e12), 0.5 * 2 + 0.5 * 1, 1e-9)
        << "large divisors leave the offsets";
    InputRecord in = at(3.0, 1.5);
    in.toolTemperature = 4.0;
    in.temperatureMode = 1;
    EXPECT_EQ(coefficient(*m, in, 0.5), 6.5) << "temperature mode not read";
}

TEST(HeatTransfer, LowPressureBandBlendsWithPackageSixAtPressureMin) {
    ModulePtr m = heatModule();
    const double formula = 6.5, package = 100.0 + 1.5 + 10.0 * 2.0;
    EXPECT_EQ(coefficient(*m, at(1.0, 1.5), 0.0), 0.5 * package + 0.5 * formula);
    EXPECT_EQ(coefficient(*m, at(0.5, 1.5), 0.0), 0.25 * package + 0.75 * formula);
    EXPECT_EQ(coefficient(*m, at(0.5, 1.5), 0.5), 0.25 * package + 0.75 * formula);
    EXPECT_EQ(coefficient(*m, at(-1.0, 1.5), 0.0), formula) << "no blend at or below zero";
}

TEST(HeatTransfer, FormulaNeedsNoGridAndNoAvailability) {
    ModulePtr m = heatModule(false);
    EXPECT_EQ(coefficient(*m, at(3.0, 1.5), 8.0), 2.75);
    EXPECT_EQ(coefficient(*m, at(0.0, 1.5), 0.0), 6.5);
    EXPECT_TRUE(fails(*m, at(1.0, 1.5), 0.0)) << "the band needs package 6's grid";
    EXPECT_TRUE(fails(*m, at(3.0, 1.5), 0.0)) << "the package path needs it too";

    // Package 6 unavailable through transverse data lacking it.
    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    recipe.primary.push_back(heatEntry({}));
    recipe.secondary.push_back(Entry({}, Packages(6, ConstantModel(1.0))));
    recipe.directionDependency = 1;
    recipe.heatTransferStatus = 1;
    m = BuildModule(std::move(recipe));
    ASSERT_EQ(isPackageAvailable(*m, kHeatTransfer), 0u);
    EXPECT_EQ(coefficient(*m, at(3.0, 1.5), 8.0), 2.75);
    EXPECT_TRUE(fails(*m, at(3.0, 1.5), 0.0));
}

TEST(HeatTransfer, StatusZeroFailsBothPaths) {
    ModulePtr m = heatModule();
    m->heatTransferStatus = 0;
    EXPECT_TRUE(fails(*m, at(3.0, 1.5), 0.0));
    EXPECT_TRUE(fails(*m, at(3.0, 1.5), 8.0));
}

TEST(HeatTransfer, InterpolatesAcrossEntriesAndBlendsDirections) {
    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    for (double sheet : {1.0, 3.0})
        for (double state : {0.0, 1.0})
            recipe.primary.push_back(heatEntry({sheet, 0, 0, state}, 8.0 * sheet + 16.0 * state));
    recipe.secondary.push_back(heatEntry({1.0, 0, 0, 0}, 64.0));
    recipe.secondary.push_back(heatEntry({3.0, 0, 0, 0}, 64.0));
    recipe.secondary.push_back(heatEntry({1.0, 0, 0, 1}, 64.0));
    recipe.secondary.push_back(heatEntry({3.0, 0, 0, 1}, 64.0));
    recipe.directionDependency = 1;
    recipe.heatTransferStatus = 1;
    ModulePtr m = BuildModule(std::move(recipe));
    InputRecord in = at(3.0, 1.5);
    in.sheetRoughness = 2.5;
    in.stateValue = 0.25;
    const double primary = 6.5 + 8.0 * 2.5 + 16.0 * 0.25;
    EXPECT_EQ(coefficient(*m, in, 0.5), primary);
    in.stateValue = 1.0;
    EXPECT_EQ(coefficient(*m, in, 0.5), 6.5 + 20.0 + 16.0) << "on a state node";
    in.stateValue = 0.25;
    in.useDirectionDependency = 1;
    in.directionCosine = 0.5;
    EXPECT_EQ(coefficient(*m, in, 0.5), 0.75 * (6.5 + 64.0) + 0.25 * primary);
}

TEST(HeatTransferMalformed, MissingOrShortDataFails) {
    const auto moduleWith = [](TableEntry entry) {
        ModuleRecipe recipe;
        recipe.ranges = heatRanges();
        recipe.primary.push_back(std::move(entry));
        recipe.heatTransferStatus = 1;
        return BuildModule(std::move(recipe));
    };
    TableEntry noCurves = heatEntry({});
    noCurves.curves.clear();
    EXPECT_TRUE(fails(*moduleWith(noCurves), at(3.0, 1.5), 8.0));

    for (int array = 0; array < 3; ++array) {
        TableEntry shortCurve = heatEntry({});
        HeatTransferCurve& c = shortCurve.curves[0];
        std::vector<double>* arrays[3] = {&c.divisors, &c.numerators, &c.offsets};
        arrays[array]->pop_back();  // 4 values for a 5-point grid
        EXPECT_TRUE(fails(*moduleWith(shortCurve), at(3.0, 3.9), 8.0)) << array;
    }

    TableEntry noPackageSix = heatEntry({});
    noPackageSix.packageData.resize(6);
    EXPECT_TRUE(fails(*moduleWith(noPackageSix), at(3.0, 1.5), 8.0));

    TableEntry noPoints = heatEntry({}, 0.0, false);
    noPoints.packageData[6].gridPointCount = 0;
    EXPECT_TRUE(fails(*moduleWith(noPoints), at(3.0, 1.5), 8.0));

    ModuleRecipe recipe;
    recipe.ranges = heatRanges();
    recipe.primary.push_back(heatEntry({1.0, 0, 0, 0}));
    recipe.axes = Axes{{1.0, 2.0}, {0.0}, {0.0}, {0.0}};  // no entry at sheet roughness 2
    recipe.heatTransferStatus = 1;
    ModulePtr m = BuildModule(std::move(recipe));
    InputRecord in = at(3.0, 1.5);
    in.sheetRoughness = 1.5;
    EXPECT_TRUE(fails(*m, in, 8.0));
    in.sheetRoughness = kNaN;
    EXPECT_TRUE(fails(*m, in, 8.0));

    recipe = {};
    recipe.ranges = heatRanges();
    recipe.primary.push_back(heatEntry({}));
    recipe.axes = Axes{{0.0}, {0.0}, {}, {0.0}};  // a tool roughness axis without values
    recipe.heatTransferStatus = 1;
    m = BuildModule(std::move(recipe));
    EXPECT_TRUE(fails(*m, at(3.0, 1.5), 8.0));

    m = heatModule();
    EXPECT_TRUE(std::isnan(coefficient(*m, at(3.0, kNaN), 8.0))) << "stays inside the curve";
}
