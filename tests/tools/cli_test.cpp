// Faults guarded against: subcommands that crash, print nothing, or exit with
// the wrong status (check must fail broken files and pass clean ones, errors
// must go to stderr with a non-zero status), a --help that is missing, the
// demo data no longer regenerating byte for byte from its script, and
// inspect or eval reporting something other than what the demo data hold.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "mxplugin/mxplugin.h"
#include "mxtool/inspect.h"
#include "mxtool/io.h"
#include "mxtool/material.h"
#include "mxtool/sweep.h"
#include "support/samples.h"

using namespace mx::tool;
namespace fs = std::filesystem;

namespace {

struct CommandRun {
    int status = -1;
    std::string out;
};

// Runs a shell command line, capturing stdout (stderr goes to `errFile`).
CommandRun run(const std::string& command) {
    CommandRun r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

const std::string kTool = MXTOOL_PATH;
const std::string kDemo = MX_TEST_DATA_DIR "/demo.mxd";

}  // namespace

TEST(Cli, EverySubcommandHasHelp) {
    for (const char* sub :
         {"pack", "unpack", "fit", "inspect", "check", "eval", "plot", "diff", "report", "demo"}) {
        const CommandRun r = run(kTool + " " + sub + " --help");
        EXPECT_EQ(r.status, 0) << sub;
        EXPECT_NE(r.out.find("Example: mxtool"), std::string::npos) << sub << ":\n" << r.out;
    }
}

TEST(Cli, CheckExitStatusAndErrorsOnStderr) {
    mx::test::ScratchDir dir;
    EXPECT_EQ(run(kTool + " check " + kDemo).status, 0);
    std::vector<uint8_t> broken = readFileBytes(kDemo);
    broken[40] ^= 0xFF;
    writeFileBytes(dir / "broken.mxd", broken);
    const CommandRun r = run(kTool + " check " + (dir / "broken.mxd"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("rejected: MD5 trailer mismatch"), std::string::npos) << r.out;

    // Usage errors: status 2, nothing on stdout, one line on stderr naming the fault.
    const struct {
        std::string args, says;
    } usage[] = {
        {"inspect " + (dir / "none.mxd"), "none.mxd"},
        {"diff " + kDemo, "b is required"},
        {"eval " + kDemo + " --steps many", "--steps"},
        {"eval " + kDemo + " --no-such-option", "--no-such-option"},
        {"", "subcommand is required"},
    };
    for (const auto& u : usage) {
        const CommandRun usageRun = run(kTool + " " + u.args + " 2>" + (dir / "err"));
        const std::string err = readFileText(dir / "err");
        EXPECT_EQ(usageRun.status, 2) << u.args;
        EXPECT_TRUE(usageRun.out.empty()) << u.args;
        EXPECT_NE(err.find(u.says), std::string::npos) << u.args << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << u.args << ": " << err;
    }
    const CommandRun version = run(kTool + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind(std::string("mxtool ") + MXPLUGIN_VERSION_STRING, 0), 0u)
        << version.out;
    // diff: 0 for the same module in two forms, 1 for different ones.
    EXPECT_EQ(run(kTool + " diff " + kDemo + " " MX_TEST_DATA_DIR "/demo.json").status, 0);
    EXPECT_EQ(run(kTool + " diff " + kDemo + " " + (dir / "broken.mxd") + " 2>/dev/null").status,
              2);

    writeFileText(dir / "bad.json", "{\"format\": \"mxplugin-material\", \"kind\": \"sheet\"}");
    const CommandRun bad = run(kTool + " pack " + (dir / "bad.json") + " -o " + (dir / "x.mxd") +
                               " 2>" + (dir / "err"));
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(readFileText(dir / "err").find("missing \"ranges\""), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "x.mxd"));
}

TEST(Cli, DemoDataRegeneratesByteForByte) {
    mx::test::ScratchDir dir;
    const CommandRun r =
        run("MXTOOL=" + kTool + " bash " MX_SOURCE_DIR "/scripts/make_demo_data.sh " + dir.path);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFileBytes(dir / "demo.mxd"), readFileBytes(kDemo));
    EXPECT_EQ(readFileText(dir / "demo.json"), readFileText(MX_TEST_DATA_DIR "/demo.json"));
}

TEST(Inspect, ReportsWhatTheDemoMaterialHolds) {
    const Json s = summarizeMaterial(loadMaterial(kDemo));
    EXPECT_EQ(s["record"], "Lubricant record");
    EXPECT_TRUE(s["dataFile"]["digestMatches"].get<bool>());
    const Json& m = s["module"];
    EXPECT_EQ(m["ranges"]["pressure"]["max"].get<double>(), 100.0);
    EXPECT_EQ(m["axes"]["lubricationAmount"]["values"], Json::array({0.5, 2.0}));
    EXPECT_EQ(m["entries"]["primary"].get<int>(), 2);
    EXPECT_EQ(m["entries"]["secondary"].get<int>(), 2);
    EXPECT_EQ(m["entries"]["packagesPerEntry"].get<int>(), 12);
    EXPECT_EQ(m["directionDependency"].get<int>(), 1);
    EXPECT_EQ(m["heatTransfer"]["curveSamples"].get<int>(), 5);
    EXPECT_EQ(m["packages"][3]["name"], "friction coefficient");
    EXPECT_EQ(m["packages"][3]["gridPoints"].get<int>(), 10);
    const std::string text = renderSummary(s);
    EXPECT_NE(text.find("dependent: transverse data blended"), std::string::npos) << text;
    for (const Json& p : m["packages"])
        EXPECT_TRUE(p["available"].get<bool>()) << p.dump();
    EXPECT_TRUE(m["production"].get<bool>());
}

// The demo law at a centre that is also a node of the package's grid: the fit
// reproduces the value there and the grid interpolation adds nothing.
TEST(Eval, ReproducesTheDemoLawAtGridNodes) {
    const LoadedMaterial material = loadMaterial(kDemo);
    const SolverModule solver = prepareForSolver(*material.module);
    ContactState state = defaultContactState(*material.module);
    state.values[Variable::Temperature] = 65.0;  // (T - 20) / 180 = 0.25
    state.values[Variable::Velocity] = 125.0;
    state.values[Variable::LubricationAmount] = 0.5;
    const Quantity area = *parseQuantity("contact-area");
    const Quantity friction = *parseQuantity("friction");
    auto law = [](double p, double t, double v) {
        return (0.075 + 0.075 * std::exp(-0.5 / 0.8)) * (1 + 0.3 * t) * (1 - 0.35 * p / (p + 40)) *
               (1 - 0.25 * v / (v + 200));
    };
    for (double p : {25.0, 50.0, 75.0}) {
        state.values[Variable::Pressure] = p;
        EXPECT_NEAR(evaluateQuantity(solver.get(), area, state), 0.9 * p / (p + 35) * 1.025, 1e-9);
        // Between the nodes of its 10-point grid the friction coefficient is
        // interpolated: close to the law, not equal.
        EXPECT_NEAR(evaluateQuantity(solver.get(), friction, state), law(p, 0.25, 125), 1e-3) << p;
    }
    // Centres of the 5-point centre grid that are nodes of the 10-point grid too.
    state.values[Variable::Temperature] = 200.0;
    state.values[Variable::Velocity] = 500.0;
    state.values[Variable::Strain] = 0.0;
    for (double p : {0.0, 100.0}) {
        state.values[Variable::Pressure] = p;
        EXPECT_NEAR(evaluateQuantity(solver.get(), friction, state), law(p, 1.0, 500), 1e-9) << p;
    }
    state.values[Variable::Temperature] = 65.0;
    state.values[Variable::Velocity] = 125.0;
    state.values[Variable::Strain] = 0.2;
    // Friction falls with pressure over the whole sweep, and more lubricant lowers it.
    const auto rows =
        runSweep(solver.get(), SweepSpec{Variable::Pressure, 0, 100, 21}, state, {friction});
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_LT(rows[i][1], rows[i - 1][1]);
    ContactState more = state;
    more.values[Variable::LubricationAmount] = 2.0;
    EXPECT_LT(evaluateQuantity(solver.get(), friction, more),
              evaluateQuantity(solver.get(), friction, state));
}

TEST(Plot, WritesPngAndSvgWithLabelsAndLegend) {
    mx::test::ScratchDir dir;
    const CommandRun r = run(kTool + " plot " + kDemo +
                             " -q friction --sweep pressure --steps 5 -o " + (dir / "chart"));
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<uint8_t> png = readFileBytes(dir / "chart.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    const std::string svg = readFileText(dir / "chart.svg");
    EXPECT_NE(svg.find("contact pressure (MPa)"), std::string::npos);
    EXPECT_NE(svg.find("friction coefficient (-)"), std::string::npos);
    EXPECT_NE(svg.find("lubrication amount 0.5 g/m²"), std::string::npos);
    EXPECT_NE(svg.find("lubrication amount 2 g/m²"), std::string::npos);

    const CommandRun table =
        run(kTool + " eval " + kDemo + " --steps 3 -q friction,heat-transfer --csv");
    ASSERT_EQ(table.status, 0);
    EXPECT_EQ(table.out.substr(0, table.out.find('\n')),
              "\"contact pressure (MPa)\",\"friction coefficient (-)\","
              "\"heat-transfer coefficient (kW/(m²·K))\"");
}
