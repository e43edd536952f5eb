// Faults guarded against: subcommands that crash, print nothing, or exit with
// the wrong status (check must fail broken files, naming the rejection or the
// data fault, and pass clean ones; errors must go to stderr with a non-zero
// status), a --help that is missing, a chart or table without its labels, the
// demo data no longer regenerating byte for byte from its script, inspect or
// eval reporting something other than what the demo data hold; eval --points
// taking a column for the wrong record field, losing digits, leaving missing
// columns at anything but the sweep's defaults, or accepting an unknown column
// or an unparsable value (or naming the wrong line and column); diff calling
// two different modules the same, missing a changed field, property, entry or
// package, or flagging a data file and its own description as different;
// report pages that lack a chart, or refer to anything outside themselves.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "io/data_file_writer.h"
#include "mxplugin/mxplugin.h"
#include "mxtool/data_file_view.h"
#include "mxtool/description.h"
#include "mxtool/diff.h"
#include "mxtool/inspect.h"
#include "mxtool/io.h"
#include "mxtool/material.h"
#include "mxtool/pack.h"
#include "mxtool/points.h"
#include "mxtool/report.h"
#include "mxtool/sweep.h"
#include "support/samples.h"

using namespace mx::tool;

namespace {

struct CommandRun {
    int status = -1;
    std::string out;
};

// Runs a shell command line, capturing stdout.
CommandRun run(const std::string& command) {
    CommandRun r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        r.out += static_cast<char>(c);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

const std::string kTool = MXTOOL_PATH;
const std::string kDemo = MX_TEST_DATA_DIR "/demo.mxd";

// The demo material as the solver holds it, prepared once for the suite.
const MorvexModule* demoSolver() {
    static const LoadedMaterial material = loadMaterial(kDemo);
    static const SolverModule solver = prepareForSolver(*material.module);
    return solver.get();
}

}  // namespace

// Exit status, what stdout says, and for usage errors (status 2) nothing on
// stdout and one line on stderr naming the fault.
TEST(Cli, ExitStatusAndWhereTheTextGoes) {
    mx::test::ScratchDir dir;
    const std::vector<uint8_t> good = readFileBytes(kDemo);
    std::vector<uint8_t> broken = good;
    broken[40] ^= 0xFF;
    writeFileBytes(dir / "broken.mxd", broken);
    // A chunk length 16 bytes short of the payload, so not a multiple of 16
    // after -8, the trailer recomputed.
    const ChunkView chunk = viewDataFile(good).chunks.at(0);
    std::vector<uint8_t> odd(good.begin(), good.end() - 16);
    for (int i = 0; i < 4; ++i)
        odd[static_cast<size_t>(chunk.offset) + 4 + i] =
            static_cast<uint8_t>(static_cast<uint32_t>(chunk.length - 8) >> (8 * i));
    ASSERT_TRUE(mx::appendDigestTrailer(odd));
    writeFileBytes(dir / "odd.mxd", odd);
    // text1's count in the Lubricant record (identifier 16, name 8 + 10, kind 2): 5000.
    const Json demo = Json::parse(readFileText(MX_TEST_DATA_DIR "/demo.json"));
    std::vector<uint8_t> stream = recordStreamOf(demo);
    stream[36] = 0x88, stream[37] = 0x13;
    writeFileBytes(dir / "count.mxd", buildDataFile(kDefaultPreamble, 2, stream));
    writeFileBytes(dir / "cut.mxd", std::vector<uint8_t>(good.begin(), good.begin() + 10));
    Json unmatched = demo, nan = demo;
    unmatched["primaryEntries"].erase(1);
    nan["primaryEntries"][1]["packages"][6]["weights"][3] = "NaN";
    writeFileBytes(dir / "unmatched.mxd", packDescription(unmatched, PackForm::DataFile));
    writeFileBytes(dir / "nan.mxd", packDescription(nan, PackForm::DataFile));
    writeFileText(dir / "bad.json", "{\"format\": \"mxplugin-material\", \"kind\": \"sheet\"}");
    struct Case {
        std::string args;
        int status;
        std::string says;  // on stdout for status 0 and 1, on stderr for 2
    };
    std::vector<Case> cases = {
        {"check " + kDemo, 0, "clean"},
        {"check " + (dir / "broken.mxd"), 1, "rejected: MD5 trailer mismatch"},
        {"check " + (dir / "odd.mxd"), 1,
         "rejected: the record chunk at byte offset " + std::to_string(chunk.offset) +
             " has a length that is not a multiple of 16"},
        {"check " + (dir / "count.mxd"), 1,
         "rejected: the record chunk at byte offset 24 (kind 2), record offset 36: string count "
         "5000 above 1000"},
        {"check " + (dir / "cut.mxd"), 1, "rejected: "},
        {"check " + (dir / "unmatched.mxd"), 1, "unmatched-cell: 1 cell of the primary table"},
        {"check " + (dir / "nan.mxd"), 1,
         "non-finite-value: primary entry 1, package 6 (index 6) has non-finite numbers (1 of 625 "
         "weights"},
        {"--version", 0, std::string("mxtool ") + MXPLUGIN_VERSION_STRING},
        {"diff " + kDemo + " " MX_TEST_DATA_DIR "/demo.json", 0, ""},
        {"diff " + kDemo + " " + (dir / "broken.mxd"), 2, "MD5"},
        {"inspect " + (dir / "none.mxd"), 2, "none.mxd"},
        {"diff " + kDemo, 2, "b is required"},
        {"eval " + kDemo + " --steps many", 2, "--steps"},
        {"eval " + kDemo + " --no-such-option", 2, "--no-such-option"},
        {"", 2, "subcommand is required"},
        {"pack " + (dir / "bad.json") + " -o " + (dir / "x.mxd"), 2, "missing \"ranges\""},
        {"eval " + kDemo + " --steps 3 -q friction,heat-transfer --csv", 0,
         "\"contact pressure (MPa)\",\"friction coefficient (-)\","
         "\"heat-transfer coefficient (kW/(m²·K))\"\n0,"},
        {"plot " + kDemo + " -q friction --sweep pressure --steps 5 -o " + (dir / "chart"), 0, ""},
    };
    // eval --points names the line and column of what it refuses.
    const std::pair<const char*, const char*> badPoints[] = {
        {"pressure,friction\n1,2\n", "s.csv:1:2: unknown column \"friction\""},
        {"pressure, strain ,pressure\n", "s.csv:1:3: column \"pressure\" repeated"},
        {"pressure,strain\n1,2\n\n3,0.1x\n", "s.csv:4:2: cannot read \"0.1x\""},
        {"pressure,strain\n1,2\n3\n", "s.csv:3:2: 1 values where the header names 2"},
        {"pressure,temperatureMode\n1,0.5\n", "s.csv:2:2: cannot read \"0.5\" as a whole number"},
        {"", "s.csv: empty file"},
    };
    for (const auto& [csv, error] : badPoints) {
        const std::string file = dir / (std::to_string(cases.size()) + "s.csv");
        writeFileText(file, csv);
        cases.push_back({"eval " + kDemo + " -q friction --points " + file, 2, error});
    }
    for (const char* sub :
         {"pack", "unpack", "fit", "inspect", "check", "eval", "plot", "diff", "report", "demo"})
        cases.push_back({std::string(sub) + " --help", 0, "Example: mxtool"});
    for (const Case& c : cases) {
        const CommandRun r = run(kTool + " " + c.args + " 2>" + (dir / "err"));
        const std::string err = readFileText(dir / "err");
        EXPECT_EQ(r.status, c.status) << c.args << ": " << err;
        EXPECT_NE((c.status == 2 ? err : r.out).find(c.says), std::string::npos) << c.args << ":\n"
                                                                                 << r.out << err;
        if (c.status == 2) {
            EXPECT_TRUE(r.out.empty()) << c.args;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.args << ": " << err;
        }
        // A file the plug-in rejects reports that one rejection and nothing
        // else; one that loads reports its one data fault and no rejection.
        if (c.status == 1) {
            EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
            EXPECT_EQ(r.out.find("rejected: ") != std::string::npos,
                      c.says.rfind("rejected: ", 0) == 0)
                << r.out;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.mxd"));
    // The chart in both forms, with axis labels and a legend.
    const std::vector<uint8_t> png = readFileBytes(dir / "chart.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    const std::string svg = readFileText(dir / "chart.svg");
    for (const char* label : {"contact pressure (MPa)", "friction coefficient (-)",
                              "lubrication amount 0.5 g/m²", "lubrication amount 2 g/m²"})
        EXPECT_NE(svg.find(label), std::string::npos) << label;
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
    const std::pair<const char*, Json> expected[] = {
        {"/record", "Lubricant record"},
        {"/dataFile/digestMatches", true},
        {"/module/ranges/pressure/max", 100.0},
        {"/module/axes/lubricationAmount/values", {0.5, 2.0}},
        {"/module/entries/primary", 2},
        {"/module/entries/secondary", 2},
        {"/module/entries/packagesPerEntry", 12},
        {"/module/directionDependency", 1},
        {"/module/heatTransfer/curveSamples", 5},
        {"/module/packages/3/name", "friction coefficient"},
        {"/module/packages/3/gridPoints", 10},
        {"/module/production", true},
    };
    for (const auto& [pointer, value] : expected)
        EXPECT_EQ(s[Json::json_pointer(pointer)], value) << pointer;
    for (const Json& p : s["module"]["packages"])
        EXPECT_TRUE(p["available"].get<bool>()) << p.dump();
    EXPECT_NE(renderSummary(s).find("dependent: transverse data blended"), std::string::npos);
}

// The demo law at a centre that is also a node of the package's grid: the fit
// reproduces the value there and the grid interpolation adds nothing.
TEST(Eval, ReproducesTheDemoLawAtGridNodes) {
    ContactState state = defaultContactState(*loadMaterial(kDemo).module);
    const Quantity area = *parseQuantity("contact-area");
    const Quantity friction = *parseQuantity("friction");
    const auto at = [&](const Quantity& q, double p, double t, double v, double strain) {
        state.values[Variable::Pressure] = p;
        state.values[Variable::Temperature] = t;
        state.values[Variable::Velocity] = v;
        state.values[Variable::Strain] = strain;
        return evaluateQuantity(demoSolver(), q, state);
    };
    auto law = [](double p, double t, double v) {
        return (0.075 + 0.075 * std::exp(-0.5 / 0.8)) * (1 + 0.3 * t) * (1 - 0.35 * p / (p + 40)) *
               (1 - 0.25 * v / (v + 200));
    };
    state.values[Variable::LubricationAmount] = 0.5;
    const double strain = state.values[Variable::Strain];
    for (double p : {25.0, 50.0, 75.0}) {  // temperature 65: (T - 20) / 180 = 0.25
        EXPECT_NEAR(at(area, p, 65, 125, strain), 0.9 * p / (p + 35) * 1.025, 1e-9);
        // Between the nodes of its 10-point grid the friction coefficient is
        // interpolated: close to the law, not equal.
        EXPECT_NEAR(at(friction, p, 65, 125, strain), law(p, 0.25, 125), 1e-3) << p;
    }
    // Centres of the 5-point centre grid that are nodes of the 10-point grid too.
    for (double p : {0.0, 100.0})
        EXPECT_NEAR(at(friction, p, 200, 500, 0), law(p, 1.0, 500), 1e-9) << p;
    // Friction falls with pressure over the whole sweep, and more lubricant lowers it.
    at(friction, 0, 65, 125, 0.2);
    const auto rows =
        runSweep(demoSolver(), SweepSpec{Variable::Pressure, 0, 100, 21}, state, {friction});
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_LT(rows[i][1], rows[i - 1][1]);
    const double lessLubricant = at(friction, 50, 65, 125, 0.2);
    state.values[Variable::LubricationAmount] = 2.0;
    EXPECT_LT(at(friction, 50, 65, 125, 0.2), lessLubricant);
}

// Every value travels through the right record field and back with all its
// digits; missing fields take the defaults, the tool temperature follows the
// sheet's, and a directionCosine column turns the blend on.
TEST(EvalPoints, FillsTheRecordAndWritesRoundTripDigits) {
    const MorvexInputRecord defaults =
        inputRecordOf(defaultContactState(*loadMaterial(kDemo).module));
    const std::vector<Quantity> qs = {*parseQuantity("friction"), *parseQuantity("heat-transfer")};
    const mx::test::ScratchDir dir;
    writeFileText(dir / "s.csv",
                  "\"sheetTemperature\",velocity,directionCosine,lubricationAmount,pressure\r\n"
                  "65.1,125,0.3,0.7,33.333333333333336\r\n"
                  "200,0.1,0,2,1e-3\n");
    std::istringstream lines(
        run(kTool + " eval " + kDemo + " -q friction,heat-transfer --points " + (dir / "s.csv"))
            .out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line,
              "pressure,strain,sheetTemperature,toolTemperature,velocity,directionCosine,"
              "stateValue,sheetRoughness,lubricationAmount,toolRoughness,"
              "useDirectionDependency,temperatureMode,friction,heat-transfer");
    for (const auto& row : {std::array{65.1, 125.0, 0.3, 0.7, 33.333333333333336},
                            std::array{200.0, 0.1, 0.0, 2.0, 1e-3}}) {
        MorvexInputRecord e = defaults;
        e.sheetTemperature = e.toolTemperature = row[0];
        e.velocity = row[1];
        e.directionCosine = row[2];
        e.lubricationAmount = row[3];
        e.pressure = row[4];
        e.useDirectionDependency = 1;
        double fields[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1.0, double(e.temperatureMode)};
        std::memcpy(fields, &e, 10 * sizeof(double));  // the record's ten doubles in order
        ASSERT_TRUE(std::getline(lines, line));
        std::istringstream cells(line);
        size_t f = 0;
        for (std::string cell; std::getline(cells, cell, ','); ++f) {
            const double value = f < 12 ? fields[f] : evaluateRecord(demoSolver(), qs[f - 12], e);
            EXPECT_EQ(std::stod(cell), value) << "column " << f << " of " << line;
            if (f >= 12) {
                EXPECT_EQ(cell, roundTripText(value));
            }
        }
        EXPECT_EQ(f, 14u) << line;
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
}

TEST(Diff, FindsEveryKindOfChangeAndNothingElse) {
    const LoadedMaterial demo = loadMaterial(kDemo);
    const Json same = diffMaterials(demo, loadMaterial(MX_TEST_DATA_DIR "/demo.json"));
    EXPECT_TRUE(same["same"].get<bool>());
    EXPECT_TRUE(same["fields"].empty() && same["properties"].empty()) << same.dump();
    for (const Json& p : same["values"]["packages"])
        EXPECT_EQ(p["maxAbs"].get<double>(), 0.0) << p.dump();

    Json changed = Json::parse(readFileText(MX_TEST_DATA_DIR "/demo.json"));
    changed["ranges"]["pressure"][1] = 120.0;
    changed["properties"]["tooling"].push_back(Json::array({"Tooling coating", "TiN"}));
    changed["primaryEntries"][0]["packages"][1]["weights"][7] = 0.5;  // index 1: id 3
    changed["secondaryEntries"].erase(1);
    const std::string path = testing::TempDir() + "mxtool-diff-changed.mxd";
    writeFileBytes(path, packDescription(changed, PackForm::DataFile));
    const Json d = diffMaterials(demo, loadMaterial(path));
    std::remove(path.c_str());
    EXPECT_FALSE(d["same"].get<bool>());
    ASSERT_EQ(d["fields"].size(), 1u) << d["fields"].dump();
    EXPECT_EQ(d["fields"][0]["path"], "ranges.pressure");
    ASSERT_EQ(d["properties"].size(), 1u);
    EXPECT_EQ(d["properties"][0]["key"], "Tooling coating");
    EXPECT_EQ(d["entries"]["removed"].size(), 1u);
    EXPECT_TRUE(d["entries"]["added"].empty());
    ASSERT_EQ(d["entries"]["changed"].size(), 1u);
    EXPECT_EQ(d["entries"]["changed"][0]["packages"], Json::array({3}));
    const Json& friction = d["values"]["packages"][3];
    EXPECT_GT(friction["maxAbs"].get<double>(), 0.0);
    EXPECT_GT(friction["oneSidedFailures"].get<uint64_t>(), 0u);  // the removed transverse entry
}

TEST(Report, OneChartPerQuantityAndVariableAndNoOutsideReference) {
    const std::string html = reportHtml(loadMaterial(kDemo), 5);
    // The demo material answers every named quantity: a chart for each and
    // each variable, and no other figure.
    for (const auto& q : namedQuantities()) {
        for (const char* v : {"pressure", "strain", "temperature", "velocity"}) {
            const std::string figure =
                "<figure class=\"chart\" data-quantity=\"" + q.key + "\" data-variable=\"" + v;
            const size_t at = html.find(figure);
            ASSERT_NE(at, std::string::npos) << figure;
            EXPECT_LT(html.find("<svg", at), html.find("</figure>", at)) << figure;
        }
    }
    size_t figures = 0;
    for (size_t at = 0; (at = html.find("<figure", at)) != std::string::npos; ++at)
        ++figures;
    EXPECT_EQ(figures, namedQuantities().size() * 4);
    EXPECT_NE(html.find("<pre class=\"inspect\">"), std::string::npos);
    EXPECT_NE(html.find("<pre class=\"check clean\">"), std::string::npos);
    // References stay inside the page: fragment links only, no sources, no
    // style sheets or imports; the only addresses are the SVG namespace names.
    const std::string outside =
        std::regex_replace(html, std::regex(R"(xmlns(:xlink)?="http://www\.w3\.org/[^"]*")"), "");
    for (const char* forbidden : {"src=", "<link", "@import", "http:", "https:", "url(h"})
        EXPECT_EQ(outside.find(forbidden), std::string::npos) << forbidden;
    const std::regex href(R"(href=['"]([^'"]*))");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), href);
         it != std::sregex_iterator(); ++it)
        EXPECT_EQ((*it)[1].str().substr(0, 1), "#") << (*it)[0].str();
}
