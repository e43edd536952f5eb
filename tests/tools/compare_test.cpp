// Faults guarded against: eval --points taking a column for the wrong record
// field, losing digits, leaving missing columns at anything but the sweep's
// defaults, or accepting an unknown column or an unparsable value (or naming
// the wrong line and column); diff calling two different modules the same,
// missing a changed field, property, entry or package, or flagging a data
// file and its own description as different; report pages that lack a chart,
// or refer to anything outside themselves.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <regex>
#include <sstream>

#include "mxtool/diff.h"
#include "mxtool/io.h"
#include "mxtool/material.h"
#include "mxtool/pack.h"
#include "mxtool/points.h"
#include "mxtool/report.h"
#include "mxtool/sweep.h"

using namespace mx::tool;

namespace {

const std::string kDemo = MX_TEST_DATA_DIR "/demo.mxd";

// The demo material as the solver holds it, prepared once for the suite.
const MorvexModule* demoSolver() {
    static const LoadedMaterial material = loadMaterial(kDemo);
    static const SolverModule solver = prepareForSolver(*material.module);
    return solver.get();
}

// The CSV `eval --points` writes for `csv`, or the error it refuses it with.
std::string evalPoints(const MorvexInputRecord& defaults, const std::vector<Quantity>& qs,
                       const std::string& csv) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::fwrite(csv.data(), 1, csv.size(), in);
    std::rewind(in);
    std::string text;
    try {
        evaluatePoints(demoSolver(), qs, defaults, in, 0, "s.csv", out);
        std::rewind(out);
        for (int c; (c = std::fgetc(out)) != EOF;)
            text += static_cast<char>(c);
    } catch (const ToolError& e) {
        text = std::string("error: ") + e.what();
    }
    std::fclose(in);
    std::fclose(out);
    return text;
}

}  // namespace

TEST(EvalPoints, RefusesBadInputWithLineAndColumn) {
    const std::pair<const char*, const char*> cases[] = {
        {"pressure,friction\n1,2\n", "s.csv:1:2: unknown column \"friction\""},
        {"pressure, strain ,pressure\n", "s.csv:1:3: column \"pressure\" repeated"},
        {"pressure,strain\n1,2\n\n3,0.1x\n", "s.csv:4:2: cannot read \"0.1x\""},
        {"pressure,strain\n1,2\n3\n", "s.csv:3:2: 1 values where the header names 2"},
        {"pressure,temperatureMode\n1,0.5\n", "s.csv:2:2: cannot read \"0.5\" as a whole number"},
        {"", "s.csv: empty file"},
    };
    for (const auto& [csv, error] : cases)
        EXPECT_NE(evalPoints({}, {*parseQuantity("friction")}, csv).find(error), std::string::npos)
            << csv;
}

// Every value travels through the right record field and back with all its
// digits; missing fields take the defaults, the tool temperature follows the
// sheet's, and a directionCosine column turns the blend on.
TEST(EvalPoints, FillsTheRecordAndWritesRoundTripDigits) {
    const MorvexInputRecord defaults =
        inputRecordOf(defaultContactState(*loadMaterial(kDemo).module));
    const std::vector<Quantity> qs = {*parseQuantity("friction"), *parseQuantity("heat-transfer")};
    std::istringstream lines(
        evalPoints(defaults, qs,
                   "\"sheetTemperature\",velocity,directionCosine,lubricationAmount,pressure\r\n"
                   "65.1,125,0.3,0.7,33.333333333333336\r\n"
                   "200,0.1,0,2,1e-3\n"));
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
