#include "mxtool/report.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <regex>

#include "mxplugin/mxplugin.h"
#include "mxtool/check.h"
#include "mxtool/commands.h"
#include "mxtool/inspect.h"
#include "mxtool/io.h"
#include "mxtool/plot.h"
#include "mxtool/sweep.h"

namespace mx::tool {

namespace {

namespace fs = std::filesystem;

std::string escapeHtml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool quantityAvailable(const MorvexModule* m, const Quantity& q) {
    uint32_t available = 0;
    if (q.kind == QuantityKind::Production) {
        Morvex_CheckProductionPackageAvailability(m, &available);
    } else {
        Morvex_CheckPackageAvailability(m, q.packageId, &available);
    }
    return available != 0;
}

std::string numberText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// A chart of `q` over `x` from the module's range, one curve per value of the
// lubrication amount axis, everything else at its default.
Chart sweepChart(const Module& m, const MorvexModule* solver, const Quantity& q, Variable x,
                 int steps) {
    const VariableInfo& xInfo = variableInfo(x);
    Chart chart;
    chart.xLabel = labelWithUnit(xInfo.label, xInfo.unit);
    chart.yLabel = labelWithUnit(q.label, q.unit);
    chart.width = 560;
    chart.height = 360;
    chart.keyBelow = true;
    const auto [from, to] = defaultSweepRange(m, x);
    std::vector<double> amounts = m.lubricationAmountValues;
    if (amounts.empty()) amounts.push_back(m.nominalLubricationAmount);
    for (double amount : amounts) {
        ContactState state = defaultContactState(m);
        state.values[Variable::LubricationAmount] = amount;
        Curve curve;
        curve.title = "lubrication " + numberText(amount) + " g/m²";
        for (const auto& row : runSweep(solver, SweepSpec{x, from, to, steps}, state, {q})) {
            curve.x.push_back(row[0]);
            curve.y.push_back(row[1]);
        }
        chart.curves.push_back(std::move(curve));
    }
    return chart;
}

// gnuplot's SVG as an element of the page: no XML prolog, and ids (with the
// references to them) made unique to the chart, since every chart defines
// the same point symbols.
std::string inlineSvg(const std::string& svg, const std::string& prefix) {
    std::string body = svg.substr(std::min(svg.find("<svg"), svg.size()));
    body = std::regex_replace(body, std::regex(R"(\bid=(['"]))"), "id=$1" + prefix);
    body = std::regex_replace(body, std::regex(R"(href=(['"])#)"), "href=$1#" + prefix);
    body = std::regex_replace(body, std::regex(R"(url\(#)"), "url(#" + prefix);
    return body;
}

struct TemporaryFolder {
    fs::path path;
    TemporaryFolder() {
        std::random_device seed;
        path = fs::temp_directory_path() / ("mxtool-report-" + std::to_string(seed()));
        fs::create_directories(path);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const char* kStyle = R"(
body { font-family: sans-serif; margin: 2em auto; max-width: 1200px; color: #222; }
h1 { font-size: 1.5em; } h2 { border-bottom: 1px solid #ccc; margin-top: 2em; }
pre { background: #f6f6f6; padding: 1em; overflow-x: auto; font-size: 0.85em; }
.clean { color: #176d17; } .faults { color: #a31515; }
.charts { display: flex; flex-wrap: wrap; gap: 1em; }
figure.chart { margin: 0; } figure.chart svg { width: 560px; height: 360px; display: block; }
figcaption { font-size: 0.8em; color: #555; text-align: center; }
)";

}  // namespace

std::string reportHtml(const LoadedMaterial& material, int steps) {
    const Json summary = summarizeMaterial(material);
    const CheckReport check = checkMaterial(material);
    const std::string title = material.module && !material.module->text1.empty()
                                  ? utf8FromText(material.module->text1)
                                  : fs::path(material.path).filename().string();
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<title>Friction data: " + escapeHtml(title) + "</title>\n<style>" + kStyle +
            "</style>\n</head>\n<body>\n";
    html += "<h1>Friction data: " + escapeHtml(title) + "</h1>\n";
    html += "<p>" + escapeHtml(material.path) +
            ", reported by mxtool " MXPLUGIN_VERSION_STRING
            " through the plug-in's own reading, preparation and evaluation.</p>\n";
    html += "<h2 id=\"holds\">What the file holds</h2>\n<pre class=\"inspect\">" +
            escapeHtml(renderSummary(summary)) + "</pre>\n";
    html += std::string("<h2 id=\"check\">Check</h2>\n<pre class=\"check ") +
            (check.clean() ? "clean" : "faults") + "\">" +
            escapeHtml(renderCheck(material.path, check)) + "</pre>\n";
    html += "<h2 id=\"charts\">Friction quantities</h2>\n";
    if (!material.module) {
        html += "<p>The plug-in rejects this input: there is nothing to evaluate.</p>\n";
        return html + "</body>\n</html>\n";
    }
    const Module& m = *material.module;
    const SolverModule solver = prepareForSolver(m);
    const Variable locals[] = {Variable::Pressure, Variable::Strain, Variable::Temperature,
                               Variable::Velocity};
    struct Drawn {
        Quantity quantity;
        Variable variable;
        fs::path file;
    };
    std::vector<Drawn> drawn;
    TemporaryFolder folder;
    std::string script;
    for (const Quantity& q : namedQuantities()) {
        if (!quantityAvailable(solver.get(), q)) continue;
        for (Variable v : locals) {
            const fs::path file = folder.path / (q.key + "-" + variableInfo(v).key + ".svg");
            script += gnuplotScript(sweepChart(m, solver.get(), q, v, steps), "svg", file.string());
            drawn.push_back(Drawn{q, v, file});
        }
    }
    html +=
        "<p>Every available quantity over each local contact variable across the module's "
        "range, the others at the middle of their ranges, the nominal sheet and tool "
        "roughness and the first state value; one curve per lubrication amount of the "
        "module's axis.</p>\n";
    if (!drawn.empty()) runGnuplot(script, "the report's charts", true);
    std::string current;
    int index = 0;
    for (const Drawn& d : drawn) {
        if (d.quantity.key != current) {
            if (!current.empty()) html += "</div>\n";
            current = d.quantity.key;
            html += "<h3>" + escapeHtml(labelWithUnit(d.quantity.label, d.quantity.unit)) +
                    "</h3>\n<div class=\"charts\">\n";
        }
        const std::string variable = variableInfo(d.variable).key;
        html += "<figure class=\"chart\" data-quantity=\"" + d.quantity.key +
                "\" data-variable=\"" + variable + "\">\n" +
                inlineSvg(readFileText(d.file.string()), "c" + std::to_string(index++) + "-") +
                "<figcaption>" +
                escapeHtml(d.quantity.label + " over " + variableInfo(d.variable).label) +
                "</figcaption>\n</figure>\n";
    }
    if (!current.empty()) html += "</div>\n";
    return html + "</body>\n</html>\n";
}

void addReportCommand(CLI::App& app, CommandStatus& status) {
    struct Options {
        std::string input, output = "report.html";
        int steps = 21;
        bool sheet = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd =
        app.add_subcommand("report", "Write one self-contained HTML page about a material");
    cmd->footer(
        "The page holds what inspect and check say and an inline SVG chart of every available "
        "quantity over pressure, strain, temperature and velocity, one curve per lubrication "
        "amount; it refers to no other file and opens offline in any browser. Charts are drawn "
        "by gnuplot, which must be on the PATH.\n"
        "Example: mxtool report data/demo.mxd -o report.html");
    addMaterialInput(cmd, o->input);
    cmd->add_option("-o,--output", o->output, "page to write")->capture_default_str();
    cmd->add_option("--steps", o->steps, "values a curve is sampled at")
        ->capture_default_str()
        ->check(CLI::Range(2, 1000));
    addSheetFlag(cmd, o->sheet);
    cmd->callback([o, &status] {
        writeFileText(o->output, reportHtml(loadMaterial(o->input, o->sheet), o->steps));
        std::printf("wrote %s\n", o->output.c_str());
        status.exitCode = 0;
    });
}

}  // namespace mx::tool
