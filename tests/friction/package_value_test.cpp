// Faults guarded against: interpolation that is not exact on multilinear data
// (wrong corner order, wrong fraction, wrong stride), extrapolation past any
// axis end or range, the state corners mixed up on the 8- and 16-cell paths,
// the wrong temperature for each temperature mode, a direction blend applied
// when either flag is off or with its weights swapped, the id-to-index map
// skipped, evaluation of unprepared grids, shared state between threads, and
// reads outside an array for malformed modules (unmatched cells, entries
// short of packages, NaN inputs or ranges, an empty axis).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "friction/evaluate.h"
#include "solver/prepare.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Package id 3 is stored at index 1, id 0 at index 5.
constexpr uint32_t kId3 = 3;
constexpr size_t kIndexOfId3 = 1;

double valueOf(const Module& m, const InputRecord& in, uint32_t id = kId3) {
    double v = -12345.0;
    EXPECT_TRUE(GetPackageValue(m, in, id, v));
    return v;
}

bool fails(const Module& m, const InputRecord& in, uint32_t id = kId3) {
    double v = -12345.0;
    const bool ok = GetPackageValue(m, in, id, v);
    EXPECT_EQ(v, -12345.0) << "nothing written on failure";
    return !ok;
}

}  // namespace

TEST(PackageValue, ExactOnMultilinearData) {
    ModulePtr m = LinearModule::build();
    const struct {
        double p, s, t, v;
        Coordinates at;
    } points[] = {
        {1.5, 2.25, 0.5, 3.75, {1.5, 1.0, 2.25, 0.5}},  // between nodes everywhere
        {0.0, 0.0, 0.0, 0.0, {1.0, 0.0, 2.0, 0.0}},     // lowest corner
        {4.0, 4.0, 4.0, 4.0, {3.0, 4.0, 2.5, 1.0}},     // highest corner
        {3.0, 1.0, 2.0, 0.5, {3.0, 2.0, 2.0, 0.25}},    // grid nodes, mixed conditions
    };
    for (const auto& q : points) {
        EXPECT_EQ(valueOf(*m, InputAt(q.p, q.s, q.t, q.v, q.at)),
                  LinearModule::value(q.p, q.s, q.t, q.v, q.at, kIndexOfId3));
    }
    // The id-to-index map: id 0 reads index 5, id 11 index 11.
    const InputRecord in = InputAt(1, 1, 1, 1, {1, 0, 2, 0});
    EXPECT_EQ(valueOf(*m, in, 0), LinearModule::value(1, 1, 1, 1, {1, 0, 2, 0}, 5));
    EXPECT_EQ(valueOf(*m, in, 11), LinearModule::value(1, 1, 1, 1, {1, 0, 2, 0}, 11));
    EXPECT_EQ(valueOf(*m, in, 0xFFFFFFFF), valueOf(*m, in, 3));
}

TEST(PackageValue, ClampsAtEveryAxisEnd) {
    ModulePtr m = LinearModule::build();
    const Coordinates inside{2.0, 1.0, 2.25, 0.5};
    const double base = LinearModule::value(1, 2, 3, 1, inside, kIndexOfId3);
    EXPECT_EQ(valueOf(*m, InputAt(-3, 2, 3, 1, inside)), base - 1.0) << "pressure below";
    EXPECT_EQ(valueOf(*m, InputAt(9, 2, 3, 1, inside)), base + 3.0) << "pressure above";
    EXPECT_EQ(valueOf(*m, InputAt(1, -1, 3, 1, inside)), base - 4.0) << "strain below";
    EXPECT_EQ(valueOf(*m, InputAt(1, 7, 3, 1, inside)), base + 4.0) << "strain above";
    EXPECT_EQ(valueOf(*m, InputAt(1, 2, -5, 1, inside)), base - 12.0) << "temperature below";
    EXPECT_EQ(valueOf(*m, InputAt(1, 2, 50, 1, inside)), base + 4.0) << "temperature above";
    EXPECT_EQ(valueOf(*m, InputAt(1, 2, 3, -2, inside)), base - 8.0) << "velocity below";
    EXPECT_EQ(valueOf(*m, InputAt(1, 2, 3, 8, inside)), base + 24.0) << "velocity above";

    const auto at = [&](Coordinates c) { return valueOf(*m, InputAt(1, 2, 3, 1, c)); };
    const auto expected = [](Coordinates c) {
        return LinearModule::value(1, 2, 3, 1, c, kIndexOfId3);
    };
    EXPECT_EQ(at({0.2, 1, 2.25, 0.5}), expected({1, 1, 2.25, 0.5})) << "sheet roughness below";
    EXPECT_EQ(at({9, 1, 2.25, 0.5}), expected({3, 1, 2.25, 0.5})) << "sheet roughness above";
    EXPECT_EQ(at({2, -1, 2.25, 0.5}), expected({2, 0, 2.25, 0.5})) << "lubrication below";
    EXPECT_EQ(at({2, 6, 2.25, 0.5}), expected({2, 4, 2.25, 0.5})) << "lubrication above";
    EXPECT_EQ(at({2, 1, 1, 0.5}), expected({2, 1, 2, 0.5})) << "tool roughness below";
    EXPECT_EQ(at({2, 1, 3, 0.5}), expected({2, 1, 2.5, 0.5})) << "tool roughness above";
    EXPECT_EQ(at({2, 1, 2.25, -4}), expected({2, 1, 2.25, 0})) << "state below";
    EXPECT_EQ(at({2, 1, 2.25, 4}), expected({2, 1, 2.25, 1})) << "state above";
}

TEST(PackageValue, StateOnANodeBetweenNodesAndBeyond) {
    // On a node (and beyond the axis) the 8-cell path; between nodes all 16.
    ModulePtr m = LinearModule::build();
    const auto at = [&](double state) {
        return valueOf(*m, InputAt(1, 2, 3, 1, {1.5, 3, 2.5, state}));
    };
    const auto expected = [](double state) {
        return LinearModule::value(1, 2, 3, 1, {1.5, 3, 2.5, state}, kIndexOfId3);
    };
    EXPECT_EQ(at(0.0), expected(0.0));
    EXPECT_EQ(at(1.0), expected(1.0));
    EXPECT_EQ(at(0.75), expected(0.75));
    EXPECT_EQ(at(0.125), expected(0.125));
    EXPECT_EQ(at(-3.0), expected(0.0));
    EXPECT_EQ(at(3.0), expected(1.0));
}

TEST(PackageValue, EachCellInterpolatesInItsOwnGrid) {
    // Entries with 3 and 5 grid points side by side; spacing 2 and 1.
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    for (size_t e : {1u, 6u, 12u})
        recipe.primary[e] = LinearModule::entryAt(
            {recipe.primary[e].sheetRoughness, recipe.primary[e].lubricationAmount,
             recipe.primary[e].toolRoughness, recipe.primary[e].stateValue},
            12, 0.0, 3);
    ModulePtr m = BuildModule(std::move(recipe));
    const Coordinates at{1.5, 1.0, 2.25, 0.5};
    EXPECT_EQ(valueOf(*m, InputAt(1.5, 2.25, 0.5, 3.75, at)),
              LinearModule::value(1.5, 2.25, 0.5, 3.75, at, kIndexOfId3));
    EXPECT_EQ(valueOf(*m, InputAt(4, 4, 4, 4, at)),
              LinearModule::value(4, 4, 4, 4, at, kIndexOfId3));
}

TEST(PackageValue, TemperatureModeOneUsesTheMeanOfTheClampedTemperatures) {
    ModulePtr m = LinearModule::build();
    InputRecord in = InputAt(1, 1, 1, 1, {1, 0, 2, 0});
    in.toolTemperature = 6.0;  // clamped to 4: mean 2.5
    const double sheetOnly = LinearModule::value(1, 1, 1, 1, {1, 0, 2, 0}, kIndexOfId3);
    for (uint32_t mode : {0u, 2u, 0xFFFFFFFFu}) {
        in.temperatureMode = mode;
        EXPECT_EQ(valueOf(*m, in), sheetOnly) << mode;
    }
    in.temperatureMode = 1;
    EXPECT_EQ(valueOf(*m, in), sheetOnly + 4 * 1.5);
}

TEST(PackageValue, DirectionBlendNeedsBothFlags) {
    ModulePtr m = LinearModule::build(true);
    const Coordinates at{2.0, 1.0, 2.25, 0.5};
    const double primary = LinearModule::value(1, 2, 3, 1, at, kIndexOfId3);
    const double secondary = LinearModule::value(1, 2, 3, 1, at, kIndexOfId3, 2048.0);
    InputRecord in = InputAt(1, 2, 3, 1, at);
    in.useDirectionDependency = 1;
    const struct {
        double cosine, expected;
    } cases[] = {{0.0, secondary},
                 {1.0, primary},
                 {-1.0, primary},
                 {0.5, 0.75 * secondary + 0.25 * primary}};
    for (const auto& c : cases) {
        in.directionCosine = c.cosine;
        EXPECT_EQ(valueOf(*m, in), c.expected) << c.cosine;
    }
    in.useDirectionDependency = 0;
    in.directionCosine = 0.0;
    EXPECT_EQ(valueOf(*m, in), primary) << "input flag off";

    m->directionDependency = 0;
    in.useDirectionDependency = 1;
    in.directionCosine = kNaN;
    EXPECT_EQ(valueOf(*m, in), primary) << "module flag off, NaN weight unused";
}

TEST(PackageValue, UnpreparedModuleFailsEveryCall) {
    ModuleRecipe recipe;
    recipe.primary.push_back(Entry({}, Packages(12, ConstantModel(2.0))));
    ModulePtr m = BuildModule(std::move(recipe));
    for (uint32_t id = 0; id < 12; ++id)
        EXPECT_TRUE(fails(*m, InputRecord{}, id)) << id;
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(valueOf(*m, InputRecord{}, 0), 2.0);
}

TEST(PackageValue, ThreadsEvaluatingOneModuleAgreeWithOneThread) {
    RepresentativeOptions options;
    options.centreCounts = {625, 1000};
    options.gridPointCount = 3;
    ModulePtr m = RepresentativeModule(options);
    ASSERT_TRUE(PrepareSolverData(*m));
    std::vector<InputRecord> inputs;
    for (int i = 0; i < 200; ++i) {
        InputRecord in{};
        in.pressure = 1.0 + 0.7 * i;
        in.strain = 0.003 * i;
        in.sheetTemperature = 20.0 + 1.3 * i;
        in.toolTemperature = 30.0 + 0.9 * i;
        in.velocity = 10.0 + 3.1 * i;
        in.directionCosine = std::cos(0.1 * i);
        in.stateValue = (i % 5) * 0.25;
        in.sheetRoughness = 0.5 + 0.004 * i;
        in.lubricationAmount = 1.0 + 0.005 * i;
        in.toolRoughness = 0.2;
        in.useDirectionDependency = i % 2;
        in.temperatureMode = i % 3;
        inputs.push_back(in);
    }
    const auto evaluateAll = [&](std::vector<double>& out) {
        out.assign(inputs.size() * 12, 0.0);
        for (size_t i = 0; i < inputs.size(); ++i)
            for (uint32_t id = 0; id < 12; ++id)
                GetPackageValue(*m, inputs[i], id, out[i * 12 + id]);
    };
    std::vector<double> single;
    evaluateAll(single);
    std::vector<std::vector<double>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results)
        threads.emplace_back([&evaluateAll, &r] { evaluateAll(r); });
    for (auto& t : threads)
        t.join();
    for (const auto& r : results)
        EXPECT_EQ(std::memcmp(r.data(), single.data(), single.size() * sizeof(double)), 0);
}

// ---- Malformed but readable modules ----

TEST(PackageValueMalformed, CellsWithoutEntryFail) {
    // The sheet roughness axis holds 2, but no entry sits there.
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    recipe.axes = Axes{{1.0, 2.0, 3.0}, {0.0, 4.0}, {2.0, 2.5}, {0.0, 1.0}};
    ModulePtr m = BuildModule(std::move(recipe));
    ASSERT_TRUE(PrepareSolverData(*m));
    EXPECT_EQ(valueOf(*m, InputAt(1, 1, 1, 1, {1, 0, 2, 0})),
              LinearModule::value(1, 1, 1, 1, {1, 0, 2, 0}, kIndexOfId3));
    EXPECT_TRUE(fails(*m, InputAt(1, 1, 1, 1, {1.5, 0, 2, 0})));
    EXPECT_TRUE(fails(*m, InputAt(1, 1, 1, 1, {2.5, 0, 2, 0.5})));
}

TEST(PackageValueMalformed, EntryShortOfPackagesFails) {
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    recipe.primary.back() = LinearModule::entryAt({3, 4, 2.5, 1}, 3, 0.0);
    ModulePtr m = BuildModule(std::move(recipe));
    const InputRecord nearShortEntry = InputAt(1, 1, 1, 1, {2.5, 3, 2.25, 0.5});
    EXPECT_EQ(valueOf(*m, nearShortEntry, 3),
              LinearModule::value(1, 1, 1, 1, {2.5, 3, 2.25, 0.5}, kIndexOfId3));
    EXPECT_TRUE(fails(*m, nearShortEntry, 6)) << "index 6 missing in one of the 16 entries";
    EXPECT_TRUE(fails(*m, InputAt(1, 1, 1, 1, {3, 4, 2.5, 1}), 11));
    EXPECT_EQ(valueOf(*m, InputAt(1, 1, 1, 1, {1, 0, 2, 0}), 11),
              LinearModule::value(1, 1, 1, 1, {1, 0, 2, 0}, 11));
}

TEST(PackageValueMalformed, NaNInputs) {
    ModulePtr m = LinearModule::build();
    const Coordinates at{2, 1, 2.25, 0.5};
    for (int field = 0; field < 4; ++field) {
        InputRecord in = InputAt(1, 1, 1, 1, at);
        double* conditions[4] = {&in.sheetRoughness, &in.lubricationAmount, &in.toolRoughness,
                                 &in.stateValue};
        *conditions[field] = kNaN;
        EXPECT_TRUE(fails(*m, in)) << "condition " << field;
    }
    // A NaN state value stays inside the grid and yields NaN.
    for (int field = 0; field < 4; ++field) {
        InputRecord in = InputAt(1, 1, 1, 1, at);
        double* state[4] = {&in.pressure, &in.strain, &in.sheetTemperature, &in.velocity};
        *state[field] = kNaN;
        EXPECT_TRUE(std::isnan(valueOf(*m, in))) << "state " << field;
    }
}

TEST(PackageValueMalformed, NaNRangeStaysInsideTheGrid) {
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    ModulePtr m = BuildModule(std::move(recipe));
    m->pressureMin = kNaN;  // as a blob may carry it
    EXPECT_TRUE(std::isnan(valueOf(*m, InputAt(1, 1, 1, 1, {2, 1, 2.25, 0.5}))));
}

TEST(PackageValueMalformed, EmptyAxisFails) {
    ModuleRecipe recipe;
    recipe.primary = LinearModule::entries();
    recipe.axes = Axes{{1.0, 3.0}, {0.0, 4.0}, {2.0, 2.5}, {}};
    ModulePtr m = BuildModule(std::move(recipe));
    EXPECT_TRUE(fails(*m, InputAt(1, 1, 1, 1, {1, 0, 2, 0})));
    recipe = {};
    recipe.primary = LinearModule::entries();
    recipe.axes = Axes{{}, {0.0, 4.0}, {2.0, 2.5}, {0.0, 1.0}};
    m = BuildModule(std::move(recipe));
    EXPECT_TRUE(fails(*m, InputAt(1, 1, 1, 1, {1, 0, 2, 0})));
}
