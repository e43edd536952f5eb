// Faults guarded against: weights that do not reproduce the values at the
// centres (wrong centre order, wrong grid for 1000 centres, transposed
// system, dropped offset), tables mapped onto the wrong grid points (row
// order, constant axes), and tables that cannot form a centre grid accepted
// silently.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <string>

#include "mxtool/fit.h"
#include "mxtool/io.h"
#include "support/module_builder.h"

using namespace mx;
using namespace mx::tool;

namespace {

using Grid = std::array<uint32_t, 4>;

// The centres of `grid` laid out by the test helper, not the tool.
std::vector<double> centresOf(const Grid& g) {
    return test::RegularGrid({int32_t(g[0]), int32_t(g[1]), int32_t(g[2]), int32_t(g[3])});
}

}  // namespace

TEST(Fit, ReproducesTheValuesAtTheCentresWithinTheConditioning) {
    for (const uint64_t count : {625u, 1000u, 1296u}) {
        const auto grid = centreGridOf(count);
        ASSERT_TRUE(grid);
        const std::vector<double> centres = centresOf(*grid);
        std::vector<double> values;
        for (size_t i = 0; i < count; ++i) {
            const double* x = &centres[4 * i];
            values.push_back(0.1 + 0.05 * std::exp(-x[0]) * (1 + 0.2 * x[2]) - 0.02 * x[3] * x[3] +
                             0.01 * x[1]);
        }
        FitOptions options;
        options.scales = {1.0, 0.5, 2.0, 1.0};
        options.shape = 0.3;
        const FitResult r = fitValuesAtCentres(values, *grid, options);
        EXPECT_EQ(r.package.weights.size(), count);
        const double mean = std::accumulate(values.begin(), values.end(), 0.0) / count;
        EXPECT_DOUBLE_EQ(r.package.offset, mean);  // the package average
        // The solve is backward stable: the error at the centres is bounded by
        // the condition number times the rounding of the values.
        ASSERT_GT(r.reciprocalCondition, 0.0);
        const double tolerance =
            100.0 * std::numeric_limits<double>::epsilon() * r.largestValue / r.reciprocalCondition;
        ASSERT_EQ(r.centreGrid, *grid);
        for (size_t p = 0; p < count; ++p)
            EXPECT_NEAR(test::ReferenceModelValue(r.package, centres.data(), &centres[4 * p]),
                        values[p], tolerance)
                << count << " centres, centre " << p;
    }
    EXPECT_EQ(*centreGridOf(1000), (Grid{8, 5, 5, 5}));
    EXPECT_FALSE(centreGridOf(1001));
}

TEST(Fit, TableRowsInAnyOrderAndConstantAxesLandOnTheirCentres) {
    // Pressure 0..100 (5 values), temperature 20..200 (5), velocity 0..500 (5);
    // no strain column. Rows written velocity-fastest and reversed.
    std::string csv = "# demo\nvalue; velocity; temperature; pressure\n";
    for (int i = 4; i >= 0; --i)
        for (int j = 0; j < 5; ++j)
            for (int k = 4; k >= 0; --k) {
                const double p = 25.0 * i, t = 20 + 45.0 * j, v = 125.0 * k;
                csv += std::to_string(0.001 * p + 0.0001 * t - 0.00001 * v) + "; " +
                       std::to_string(v) + " ; " + std::to_string(t) + ";" + std::to_string(p) +
                       "\n";
            }
    const FitResult r = fitTable(parseFitTable(csv), FitOptions{});
    EXPECT_EQ(r.centreGrid, (Grid{5, 5, 5, 5}));
    ASSERT_TRUE(r.ranges[0] && r.ranges[2] && r.ranges[3]);
    EXPECT_FALSE(r.ranges[1]);
    EXPECT_EQ((*r.ranges[2]), (std::array<double, 2>{20.0, 200.0}));
    // At normalized (0.5, any strain, -1, 1): pressure 75, temperature 20, velocity 500.
    const std::vector<double> centres = centresOf(r.centreGrid);
    for (double strain : {-1.0, 0.0, 1.0}) {
        const double x[4] = {0.5, strain, -1.0, 1.0};
        EXPECT_NEAR(test::ReferenceModelValue(r.package, centres.data(), x), 0.075 + 0.002 - 0.005,
                    1e-9);
    }
}

TEST(Fit, TablesThatFormNoCentreGridAreRefused) {
    std::string gap = "pressure,temperature,value\n";
    for (int p = 0; p < 5; ++p)
        for (int t = 0; t < 5; ++t)
            if (p != 2 || t != 3) gap += std::to_string(p) + "," + std::to_string(t) + ",1\n";
    const std::pair<std::string, std::string> refused[] = {
        {"pressure,value\n0,1\n1,1\n2,1\n3,1\n", "pressure 4"},
        {"pressure,value\n0,1\n1,1\n2,1\n3,1\n4.5,1\n", "not evenly spaced"},
        {"pressure,value\n0,1\n1,1\n2,1\n3,1\n4,1\n4,2\n", "repeats a point"},
        {gap, "lacks 25 of the 625 points"},
        {"pressure,temperature\n0,1\n", "no \"value\" column"},
        {"pressure,value\n0,abc\n", "\"abc\" is not a number"}};
    for (const auto& [csv, fragment] : refused) {
        try {
            fitTable(parseFitTable(csv), FitOptions{});
            ADD_FAILURE() << "accepted; expected " << fragment;
        } catch (const ToolError& e) {
            EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        }
    }
    FitOptions badShape;
    badShape.shape = 0.0;
    EXPECT_THROW(fitValuesAtCentres(std::vector<double>(625, 1.0), {5, 5, 5, 5}, badShape),
                 ToolError);
}
