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
// 100 + T + 10 P. With x = 0 the first curve gives g = n / d + o = 5, 5, 8,
// 6, 8 at temperatures 0..4; with x = 8 it gives 1.5, 2, 3.5, 4, 5.5.
const Ranges kHeatRanges{2.0, 6.0};

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
        {0, 1.5, 1.5, 0, 0.0, formula, "x = 0: formula, no blend at zero pressure"},
        {-1, 1.5, 1.5, 0, 0.0, formula, "no blend below zero pressure"},
        {3, 1.5, 1.5, 0, 0.5, formula, "x below every divisor"},
        {3, 1.5, 4.0, 1, 0.5, formula, "temperature mode not read on the formula path"},
        {3, 1.5, 1.5, 0, 8.0, 0.5 * 3.5 + 0.5 * 2, "divisors below x raised to it"},
        {3, 3.0, 3.0, 0, 8.0, 4.0, "on a temperature node"},
        {3, 9.0, 9.0, 0, 8.0, 5.5, "temperature clamped"},
        {1, 1.5, 1.5, 0, 0.0, 0.5 * packageAtMin + 0.5 * formula, "low-pressure band"},
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
    m->heatTransferStatus = 0;
    EXPECT_TRUE(fails(*m, at(3.0, 1.5), 0.0)) << "status 0, package path";
    EXPECT_TRUE(fails(*m, at(3.0, 1.5), 8.0)) << "status 0, formula path";
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
        EXPECT_TRUE(fails(*c.m, c.in, c.divisor)) << &c - cases;
    EXPECT_TRUE(std::isnan(coefficient(*heatModule(), at(3.0, kNaN), 8.0)))
        << "stays inside the curve";
}
