#include "mxtool/sweep.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "mxplugin/mxplugin.h"
#include "mxtool/commands.h"
#include "mxtool/description.h"
#include "mxtool/io.h"
#include "mxtool/material.h"
#include "mxtool/plot.h"
#include "mxtool/points.h"
#include "mxtool/progress.h"

namespace mx::tool {

void SolverModuleDeleter::operator()(MorvexModule* m) const {
    Morvex_FreeModule(m);
}

SolverModule prepareForSolver(const Module& m) {
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    if (!Morvex_SerializeModule(&m, &blob, &length))
        throw ToolError("the module does not serialize");
    if (length > static_cast<uint64_t>(INT32_MAX)) {
        Morvex_FreeBlob(&blob);
        throw ToolError("the blob is 2 GiB or larger");
    }
    MorvexModule* prepared = nullptr;
    uint32_t ok;
    {
        size_t models = 0;
        for (const auto* entries : {&m.primaryEntries, &m.secondaryEntries})
            for (const TableEntry& e : *entries)
                models += e.packageData.size();
        Progress progress("preparing " + std::to_string(models) + " package models");
        ok = Morvex_DeserializeAndPrepareSolverData(blob, static_cast<int32_t>(length), &prepared);
    }
    Morvex_FreeBlob(&blob);
    SolverModule owned(prepared);
    if (!ok) {
        throw ToolError(prepared == nullptr
                            ? "the plug-in cannot read the module back from its blob"
                            : "the plug-in cannot prepare the module for the solver (run "
                              "`mxtool check` for the reason)");
    }
    return owned;
}

ContactState defaultContactState(const Module& m) {
    ContactState s;
    s.values[Variable::Pressure] = (m.pressureMin + m.pressureMax) * 0.5;
    s.values[Variable::Strain] = (m.strainMin + m.strainMax) * 0.5;
    s.values[Variable::Temperature] = (m.temperatureMin + m.temperatureMax) * 0.5;
    s.values[Variable::Velocity] = (m.velocityMin + m.velocityMax) * 0.5;
    s.values[Variable::SheetRoughness] = m.nominalSheetRoughness;
    s.values[Variable::LubricationAmount] = m.nominalLubricationAmount;
    s.values[Variable::ToolRoughness] = m.nominalToolRoughness;
    s.values[Variable::State] = m.stateAxis.empty() ? 0.0 : m.stateAxis.front();
    s.values[Variable::DirectionCosine] = 1.0;
    return s;
}

std::pair<double, double> defaultSweepRange(const Module& m, Variable v) {
    auto axis = [](const std::vector<double>& a) {
        return a.empty() ? std::pair{0.0, 0.0} : std::pair{a.front(), a.back()};
    };
    switch (v) {
        case Variable::Pressure:
            return {m.pressureMin, m.pressureMax};
        case Variable::Strain:
            return {m.strainMin, m.strainMax};
        case Variable::Temperature:
            return {m.temperatureMin, m.temperatureMax};
        case Variable::Velocity:
            return {m.velocityMin, m.velocityMax};
        case Variable::SheetRoughness:
            return axis(m.sheetRoughnessValues);
        case Variable::LubricationAmount:
            return axis(m.lubricationAmountValues);
        case Variable::ToolRoughness:
            return axis(m.toolRoughnessValues);
        case Variable::State:
            return axis(m.stateAxis);
        case Variable::DirectionCosine:
            return {0.0, 1.0};
    }
    return {0.0, 0.0};
}

MorvexInputRecord inputRecordOf(const ContactState& state) {
    const auto& v = state.values;
    MorvexInputRecord in{};
    const double temperature = v.at(Variable::Temperature);
    Morvex_SetNodalInput(&in, v.at(Variable::Pressure), v.at(Variable::Strain), temperature,
                         temperature, v.at(Variable::Velocity), v.at(Variable::DirectionCosine),
                         v.at(Variable::State));
    Morvex_SetSystemInput(&in, state.blendDirections ? 1u : 0u, v.at(Variable::SheetRoughness),
                          v.at(Variable::LubricationAmount), v.at(Variable::ToolRoughness), 0u);
    return in;
}

double evaluateQuantity(const MorvexModule* m, const Quantity& q, const ContactState& state) {
    return evaluateRecord(m, q, inputRecordOf(state));
}

double evaluateRecord(const MorvexModule* m, const Quantity& q, const MorvexInputRecord& in) {
    const double inf = std::numeric_limits<double>::infinity();
    double result = 0.0, other = 0.0;
    uint32_t ok = 0;
    switch (q.kind) {
        case QuantityKind::PackageValue:
            ok = Morvex_GetPackageValue(m, in, q.packageId, &result);
            break;
        case QuantityKind::PackageAverage:
            ok = Morvex_GetPackageAverage(m, in, q.packageId, &result);
            break;
        case QuantityKind::SurfaceRoughness:
            ok = Morvex_GetSurfaceRoughness(m, in, inf, &result);
            break;
        case QuantityKind::RealContactArea:
            ok = Morvex_GetRealContactArea(m, in, 0.0, &result);
            break;
        case QuantityKind::HistoryParameter:
            ok = Morvex_GetHistoryParameter(m, in, -inf, &result);
            break;
        case QuantityKind::LubricationAmount:
            ok = Morvex_GetLubricationAmount(m, in, inf, &other, &result);
            break;
        case QuantityKind::SpotLubrication:
            ok = Morvex_GetSpotLubeIndicator(m, in, inf, &result);
            break;
        case QuantityKind::Galling:
            ok = Morvex_GetGallingIndicator(m, in, 1.0, 0.0, &result);
            break;
        case QuantityKind::Wear:
            ok = Morvex_GetWearIndicator(m, in, 1.0, 0.0, &result);
            break;
        case QuantityKind::Production: {
            const double limit = 1.0;
            ok = Morvex_GetProductionVolume(m, in, &limit, &limit, &result);
            break;
        }
        case QuantityKind::HeatTransfer:
            ok = Morvex_GetHeatTransferCoefficient(m, in, 0.0, &result);
            break;
    }
    return ok ? result : std::numeric_limits<double>::quiet_NaN();
}

std::vector<std::vector<double>> runSweep(const MorvexModule* m, const SweepSpec& sweep,
                                          const ContactState& state,
                                          const std::vector<Quantity>& quantities) {
    std::vector<std::vector<double>> rows;
    ContactState at = state;
    const int steps = std::max(sweep.steps, 2);
    for (int i = 0; i < steps; ++i) {
        const double x = sweep.from + (sweep.to - sweep.from) * i / (steps - 1.0);
        at.values[sweep.variable] = x;
        std::vector<double> row{x};
        for (const Quantity& q : quantities)
            row.push_back(evaluateQuantity(m, q, at));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string formatTable(const std::vector<std::string>& header,
                        const std::vector<std::vector<double>>& rows, bool csv) {
    auto cell = [](double v) {
        if (std::isnan(v)) return std::string("n/a");
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", v);
        return std::string(text);
    };
    std::string out;
    if (csv) {
        for (size_t c = 0; c < header.size(); ++c)
            out += (c ? ",\"" : "\"") + header[c] + "\"";
        out += "\n";
        for (const auto& row : rows) {
            for (size_t c = 0; c < row.size(); ++c) {
                char text[32];
                std::snprintf(text, sizeof text, "%.17g", row[c]);
                if (c != 0) out += ',';
                if (!std::isnan(row[c])) out += text;
            }
            out += "\n";
        }
        return out;
    }
    // Columns are right-aligned by display width (UTF-8 continuation bytes
    // take no column).
    const auto shownWidth = [](const std::string& text) {
        size_t shown = 0;
        for (char ch : text)
            shown += (static_cast<uint8_t>(ch) & 0xC0) != 0x80 ? 1 : 0;
        return shown;
    };
    std::vector<size_t> width(header.size());
    for (size_t c = 0; c < header.size(); ++c) {
        width[c] = shownWidth(header[c]);
        for (const auto& row : rows)
            width[c] = std::max(width[c], cell(row[c]).size());
    }
    for (size_t c = 0; c < header.size(); ++c) {
        out += std::string(width[c] - shownWidth(header[c]), ' ') + header[c] + "  ";
    }
    out += "\n";
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            const std::string text = cell(row[c]);
            out += std::string(width[c] - text.size(), ' ') + text + "  ";
        }
        out += "\n";
    }
    return out;
}

namespace {

struct SweepOptions {
    std::string input, sweep = "pressure", output;
    std::optional<double> from, to;
    int steps = 11;
    std::map<Variable, double> fixed;
    bool csv = false, sheet = false;
};

void addStateOptions(CLI::App* cmd, const std::shared_ptr<SweepOptions>& o) {
    addMaterialInput(cmd, o->input);
    cmd->add_option("--sweep", o->sweep, "variable to sweep")->capture_default_str();
    cmd->add_option("--from", o->from, "first value (default: the module's range or axis)");
    cmd->add_option("--to", o->to, "last value");
    cmd->add_option("--steps", o->steps, "number of values")->capture_default_str();
    for (const VariableInfo& info : variableInfos()) {
        const Variable v = info.variable;
        cmd->add_option_function<double>(
            std::string("--") + info.key, [o, v](const double& x) { o->fixed[v] = x; },
            labelWithUnit(info.label, info.unit) + " held fixed" +
                (v == Variable::DirectionCosine ? " (turns the direction blend on)" : ""));
    }
    addSheetFlag(cmd, o->sheet);
}

struct PreparedSweep {
    LoadedMaterial material;
    SolverModule solver;
    SweepSpec sweep;
    ContactState state;
};

PreparedSweep prepareSweep(const SweepOptions& o) {
    PreparedSweep p;
    const auto variable = parseVariable(o.sweep);
    if (!variable) throw ToolError("unknown sweep variable \"" + o.sweep + "\"");
    p.material = loadMaterial(o.input, o.sheet);
    if (!p.material.module) {
        throw ToolError("the plug-in rejects " + o.input + ": " +
                        (p.material.rejections.empty() ? "" : p.material.rejections.front()));
    }
    const Module& m = *p.material.module;
    p.state = defaultContactState(m);
    for (const auto& [v, x] : o.fixed)
        p.state.values[v] = x;
    p.state.blendDirections =
        o.fixed.count(Variable::DirectionCosine) != 0 || *variable == Variable::DirectionCosine;
    const auto [from, to] = defaultSweepRange(m, *variable);
    p.sweep = SweepSpec{*variable, o.from.value_or(from), o.to.value_or(to), o.steps};
    p.solver = prepareForSolver(m);
    return p;
}

std::vector<Quantity> parseQuantities(const std::vector<std::string>& keys) {
    std::vector<Quantity> out;
    for (const std::string& key : keys) {
        const auto q = parseQuantity(key);
        if (!q) throw ToolError("unknown quantity \"" + key + "\"; known: " + quantityKeysHelp());
        out.push_back(*q);
    }
    return out;
}

// Streams the states of `path` through the module into CSV at `output` (a
// file written through a temporary, or standard output).
void evaluatePointsFile(const PreparedSweep& p, const std::vector<Quantity>& qs,
                        const std::string& path, const std::string& output) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) throw ToolError("cannot open " + path);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> inOwner(in, &std::fclose);
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    const MorvexInputRecord defaults = inputRecordOf(p.state);
    const std::string temporary = output + ".partial";
    std::FILE* out = output.empty() ? stdout : std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) throw ToolError("cannot write " + output);
    try {
        evaluatePoints(p.solver.get(), qs, defaults, in, error ? 0 : size, path, out);
    } catch (...) {
        if (out != stdout) {
            std::fclose(out);
            std::remove(temporary.c_str());
        }
        throw;
    }
    if (out != stdout) {
        const bool closed = std::fclose(out) == 0;
        std::filesystem::rename(temporary, output, error);
        if (!closed || error) {
            std::remove(temporary.c_str());
            throw ToolError("cannot write " + output);
        }
    }
}

std::string numberText(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

}  // namespace

void addEvalCommands(CLI::App& app, CommandStatus& status) {
    auto e = std::make_shared<SweepOptions>();
    auto quantities = std::make_shared<std::vector<std::string>>(std::vector<std::string>{
        "friction", "contact-area", "roughness", "lubrication", "heat-transfer"});
    CLI::App* eval = app.add_subcommand(
        "eval", "Friction quantities over a sweep, or at contact states from a CSV file");
    eval->footer(
        "The module goes through the solver's road first (serialize, deserialize, "
        "prepare). Variables not swept stay at the midpoint of their range, the nominal "
        "surface conditions and the first state value.\nQuantities: " +
        quantityKeysHelp() +
        "\nVariables: pressure, strain, temperature, velocity, "
        "sheet-roughness, lubrication, tool-roughness, state, direction.\n"
        "Example: mxtool eval data/demo.mxd --sweep pressure -q friction,contact-area\n"
        "Example: mxtool eval data/demo.mxd --points states.csv -q friction -o values.csv\n"
        "  states.csv: a header line of record fields, e.g. pressure,strain,sheetTemperature,"
        "velocity, then one state a line; missing fields take the values above (the tool "
        "temperature that of the sheet, useDirectionDependency 1 when directionCosine is given).");
    addStateOptions(eval, e);
    eval->add_option("-q,--quantities", *quantities, "quantities to compute")
        ->delimiter(',')
        ->capture_default_str();
    eval->add_flag("--csv", e->csv, "CSV instead of an aligned table");
    eval->add_option("-o,--output", e->output, "write the table to a file (CSV)");
    auto points = std::make_shared<std::string>();
    eval->add_option("--points", *points,
                     "CSV of contact states, columns named like the input record's fields "
                     "(pressure, strain, sheetTemperature, ..., temperatureMode); writes CSV")
        ->check(CLI::ExistingFile);
    eval->callback([e, quantities, points, &status] {
        const std::vector<Quantity> qs = parseQuantities(*quantities);
        if (qs.empty()) throw ToolError("no quantity to compute");
        const PreparedSweep p = prepareSweep(*e);
        if (!points->empty()) {
            evaluatePointsFile(p, qs, *points, e->output);
            status.exitCode = 0;
            return;
        }
        const auto rows = runSweep(p.solver.get(), p.sweep, p.state, qs);
        const VariableInfo& info = variableInfo(p.sweep.variable);
        std::vector<std::string> header{labelWithUnit(info.label, info.unit)};
        for (const Quantity& q : qs)
            header.push_back(labelWithUnit(q.label, q.unit));
        if (!e->output.empty()) {
            writeFileText(e->output, formatTable(header, rows, true));
        } else {
            const std::string text = formatTable(header, rows, e->csv);
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        status.exitCode = 0;
    });

    auto pl = std::make_shared<SweepOptions>();
    auto plotQuantity = std::make_shared<std::string>("friction");
    auto curves = std::make_shared<std::string>("lubrication");
    auto curveValues = std::make_shared<std::vector<double>>();
    CLI::App* plot = app.add_subcommand("plot", "Chart a sweep (PNG and SVG) through gnuplot");
    plot->footer(
        "One curve per lubrication amount (or per sheet roughness, or any other "
        "variable), at the values of the module's axis unless --values names others.\n"
        "Example: mxtool plot data/demo.mxd -q friction --sweep pressure -o friction");
    addStateOptions(plot, pl);
    plot->add_option("-q,--quantity", *plotQuantity, "quantity to draw")->capture_default_str();
    plot->add_option("--curves", *curves, "variable that differs between the curves")
        ->capture_default_str();
    plot->add_option("--values", *curveValues, "values of that variable (default: its axis)")
        ->delimiter(',');
    plot->add_option("-o,--output", pl->output,
                     "output name without extension (default: <quantity>-<sweep>)");
    plot->callback([pl, plotQuantity, curves, curveValues, &status] {
        const Quantity q = parseQuantities({*plotQuantity}).front();
        const auto curveVariable = parseVariable(*curves);
        if (!curveVariable) throw ToolError("unknown curve variable \"" + *curves + "\"");
        PreparedSweep p = prepareSweep(*pl);
        const Module& m = *p.material.module;
        std::vector<double> values = *curveValues;
        if (values.empty()) {
            const auto [lo, hi] = defaultSweepRange(m, *curveVariable);
            const std::vector<double>* axis =
                *curveVariable == Variable::LubricationAmount ? &m.lubricationAmountValues
                : *curveVariable == Variable::SheetRoughness  ? &m.sheetRoughnessValues
                : *curveVariable == Variable::ToolRoughness   ? &m.toolRoughnessValues
                : *curveVariable == Variable::State           ? &m.stateAxis
                                                              : nullptr;
            values = axis != nullptr ? *axis : std::vector<double>{lo, (lo + hi) / 2, hi};
        }
        const VariableInfo& xInfo = variableInfo(p.sweep.variable);
        const VariableInfo& cInfo = variableInfo(*curveVariable);
        Chart chart;
        chart.title = (m.text1.empty() ? std::string("friction data") : utf8FromText(m.text1)) +
                      ": " + q.label;
        chart.xLabel = labelWithUnit(xInfo.label, xInfo.unit);
        chart.yLabel = labelWithUnit(q.label, q.unit);
        for (double value : values) {
            ContactState state = p.state;
            state.values[*curveVariable] = value;
            if (*curveVariable == Variable::DirectionCosine) state.blendDirections = true;
            const auto rows = runSweep(p.solver.get(), p.sweep, state, {q});
            Curve curve;
            curve.title = std::string(cInfo.label) + " " + numberText(value) +
                          (std::string(cInfo.unit) == "-" ? "" : std::string(" ") + cInfo.unit);
            for (const auto& row : rows) {
                curve.x.push_back(row[0]);
                curve.y.push_back(row[1]);
            }
            chart.curves.push_back(std::move(curve));
        }
        const std::string base = pl->output.empty() ? q.key + "-" + xInfo.key : pl->output;
        drawChart(chart, base);
        std::printf("wrote %s.png and %s.svg\n", base.c_str(), base.c_str());
        status.exitCode = 0;
    });
}

}  // namespace mx::tool
