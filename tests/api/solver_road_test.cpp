// Faults guarded against: a break anywhere on the road from a blob to friction
// values through the exported functions (grids not computed after
// deserialization, curves not limited, a query wired to the wrong package),
// and a module that cannot be prepared reported as prepared or lost.
#include <gtest/gtest.h>

#include "mxplugin/mxplugin.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::test;

namespace {

// Two entries at sheet roughness 1 and 3; package index i is the constant
// model with offset i + 16 * sheet and factor 2, on a 3-point grid over
// temperatures 0..4 (nodes 0, 2, 4). The curve of each entry gives 10, 20, 30
// at those temperatures, except that the entry at sheet roughness 1 gives 100
// at the last one, above its package 6 (44), which limiting lowers to 44.
std::vector<uint8_t> roadBlob(size_t centreCountOfPackageNine = 625) {
    ModuleRecipe recipe;
    recipe.ranges = Ranges{2.0, 6.0};
    for (double sheet : {1.0, 3.0}) {
        std::vector<PackageData> packages;
        for (size_t i = 0; i < 12; ++i)
            packages.push_back(ConstantModel(static_cast<double>(i) + 16.0 * sheet, 3, 2,
                                             i == 9 ? centreCountOfPackageNine : 625));
        const double last = sheet == 1.0 ? 100.0 : 30.0;
        recipe.primary.push_back(Entry({sheet, 0, 0, 0}, std::move(packages),
                                       {Curve({1, 1, 1}, {10, 20, last}, {0, 0, 0})}));
    }
    recipe.heatTransferStatus = 1;
    return WriteBlob(*BuildModule(std::move(recipe)));
}

struct ModuleHandle {
    MorvexModule* m = nullptr;
    ~ModuleHandle() { Morvex_FreeModule(m); }
};

InputRecord atSheet(double sheet, double pressure = 3.0, double temperature = 1.0) {
    InputRecord in{};
    Morvex_SetNodalInput(&in, pressure, 0.0, temperature, temperature, 0.0, 0.0, 0.0);
    Morvex_SetSystemInput(&in, 0, sheet, 0.0, 0.0, 0);
    return in;
}

// Grid value of package index i at sheet roughness s (constant over the state).
double grid(size_t i, double s) {
    return 2.0 * (static_cast<double>(i) + 16.0 * s);
}

}  // namespace

TEST(SolverRoad, BlobToEveryQuery) {
    const std::vector<uint8_t> blob = roadBlob();
    ModuleHandle h;
    ASSERT_EQ(Morvex_DeserializeAndPrepareSolverData(blob.data(), static_cast<int32_t>(blob.size()),
                                                     &h.m),
              1u);
    double v = 0, w = 0;
    ASSERT_EQ(Morvex_GetPackageValue(h.m, atSheet(2.0), 3, &v), 1u);
    EXPECT_EQ(v, grid(1, 2.0));
    ASSERT_EQ(Morvex_GetPackageAverage(h.m, atSheet(2.0), 3, &v), 1u);
    EXPECT_EQ(v, 1.0 + 32.0) << "the offset, without the factor";

    ASSERT_EQ(Morvex_GetSurfaceRoughness(h.m, atSheet(1.0), 100.0, &v), 1u);
    EXPECT_EQ(v, grid(5, 1.0));
    ASSERT_EQ(Morvex_GetRealContactArea(h.m, atSheet(1.0), 0.0, &v), 1u);
    EXPECT_EQ(v, grid(0, 1.0));
    ASSERT_EQ(Morvex_GetHistoryParameter(h.m, atSheet(3.0), 0.0, &v), 1u);
    EXPECT_EQ(v, grid(0, 3.0));
    InputRecord lube = atSheet(1.0);
    lube.lubricationAmount = 30.0;
    ASSERT_EQ(Morvex_GetLubricationAmount(h.m, lube, 100.0, &v, &w), 1u);
    EXPECT_EQ(v, 30.0);
    EXPECT_EQ(w, grid(3, 1.0));
    ASSERT_EQ(Morvex_GetSpotLubeIndicator(h.m, atSheet(1.0), 100.0, &v), 1u);
    EXPECT_EQ(v, grid(7, 1.0));
    double sum = 1.0;
    ASSERT_EQ(Morvex_GetGallingIndicator(h.m, atSheet(1.0), 0.5, 0.0, &sum), 1u);
    EXPECT_EQ(sum, 1.0 + 0.5 * grid(8, 1.0));
    ASSERT_EQ(Morvex_GetWearIndicator(h.m, atSheet(1.0), 0.5, 0.0, &sum), 1u);
    EXPECT_EQ(sum, 1.0 + 0.5 * grid(8, 1.0) + 0.5 * grid(9, 1.0));
    const double first = grid(10, 1.0), second = grid(11, 1.0) / 2.0;
    ASSERT_EQ(Morvex_GetProductionVolume(h.m, atSheet(1.0), &first, &second, &v), 1u);
    EXPECT_EQ(v, 1000000.0);

    // Package path, then the formula at temperature 1 between samples 0 and 1.
    ASSERT_EQ(Morvex_GetHeatTransferCoefficient(h.m, atSheet(1.0), 0.0, &v), 1u);
    EXPECT_EQ(v, grid(6, 1.0));
    ASSERT_EQ(Morvex_GetHeatTransferCoefficient(h.m, atSheet(3.0), 0.5, &v), 1u);
    EXPECT_EQ(v, 15.0);
    // Sample 2 of the first entry (100) was limited to package 6 there (44).
    ASSERT_EQ(Morvex_GetHeatTransferCoefficient(h.m, atSheet(1.0, 3.0, 4.0), 0.5, &v), 1u);
    EXPECT_NEAR(v, grid(6, 1.0), 1e-12);
    ASSERT_EQ(Morvex_GetHeatTransferCoefficient(h.m, atSheet(3.0, 3.0, 4.0), 0.5, &v), 1u);
    EXPECT_EQ(v, 30.0);
}

TEST(SolverRoad, ModuleThatCannotBePreparedIsReportedAndKept) {
    // Package index 9 has no centre grid: preparation fails after index 5 (id
    // 0). Queries on unprepared modules: the friction tests.
    const std::vector<uint8_t> blob = roadBlob(1001);
    const auto length = static_cast<int32_t>(blob.size());
    ModuleHandle h, failed;
    ASSERT_EQ(Morvex_DeserializeModule(blob.data(), length, &h.m), 1u);
    const InputRecord in = atSheet(1.0);
    double v = -1.0;
    EXPECT_EQ(Morvex_GetPackageValue(h.m, in, 0, &v), 0u) << "deserialized, not prepared";
    EXPECT_EQ(Morvex_PrepareSolverData(&h.m), 0u);
    EXPECT_EQ(Morvex_GetPackageValue(h.m, in, 0, &v), 1u) << "prepared before the failure";
    EXPECT_EQ(Morvex_GetPackageValue(h.m, in, 9, &v), 0u);
    EXPECT_EQ(Morvex_GetPackageAverage(h.m, in, 9, &v), 1u);
    EXPECT_EQ(Morvex_DeserializeAndPrepareSolverData(blob.data(), length, &failed.m), 0u);
    EXPECT_NE(failed.m, nullptr) << "handed over, to be released";
}
