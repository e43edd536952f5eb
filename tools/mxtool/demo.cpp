// demo: the whole life of a data file through the plug-in's own exports. From
// the embedded demo material it writes the data file, runs the pre-processor
// road (load, query, serialize) and the solver road (deserialize and prepare,
// evaluate), prints what the file holds and a table of friction values over
// contact pressure, and draws the friction chart.
#include <cstdio>
#include <filesystem>

#include "mxplugin/mxplugin.h"
#include "mxtool/commands.h"
#include "mxtool/demo.h"
#include "mxtool/description.h"
#include "mxtool/pack.h"
#include "mxtool/plot.h"
#include "mxtool/progress.h"
#include "mxtool/sweep.h"

namespace mx::tool {

extern const uint8_t kDemoMaterialJson[];
extern const size_t kDemoMaterialJsonSize;

Json demoMaterialDescription() {
    return Json::parse(kDemoMaterialJson, kDemoMaterialJson + kDemoMaterialJsonSize);
}

namespace {

std::string text16(const uint16_t* s) {
    Text t;
    for (; s != nullptr && *s != 0; ++s)
        t += static_cast<char16_t>(*s);
    return utf8FromText(t);
}

struct PreprocessorResult {
    std::vector<uint8_t> blob;
    ContactState nominal;  // midpoints of the ranges, nominal surface conditions
    double lubricationMin = 0, lubricationMax = 0;
};

// Load, query and serialize, as a pre-processor does.
PreprocessorResult preprocessorRoad(const std::string& path, std::string& report) {
    MorvexModule* module = nullptr;
    if (!Morvex_LoadFile(path.c_str(), &module) || module == nullptr) {
        throw ToolError("Morvex_LoadFile rejected " + path + " (run `mxtool check " + path + "`)");
    }
    SolverModule owner(module);
    char line[256];
    auto add = [&report](const char* label, const std::string& text) {
        char head[32];
        std::snprintf(head, sizeof head, "  %-20s", label);
        report += head + text + "\n";
    };
    const uint16_t* solverId = nullptr;
    Morvex_GetSolverID(module, &solverId);
    add("solver id", text16(solverId));
    PreprocessorResult out;
    const char* names[4] = {"pressure", "strain", "temperature", "velocity"};
    const char* units[4] = {" MPa", "", " °C", " mm/s"};
    uint32_t (*ranges[4])(const MorvexModule*, double*, double*) = {
        Morvex_GetPressureRange, Morvex_GetStrainRange, Morvex_GetTemperatureRange,
        Morvex_GetVelocityRange};
    const Variable vars[4] = {Variable::Pressure, Variable::Strain, Variable::Temperature,
                              Variable::Velocity};
    for (int d = 0; d < 4; ++d) {
        double lo = 0, hi = 0;
        ranges[d](module, &lo, &hi);
        std::snprintf(line, sizeof line, "%g .. %g%s", lo, hi, units[d]);
        add((std::string(names[d]) + " range").c_str(), line);
        out.nominal.values[vars[d]] = (lo + hi) * 0.5;
    }
    double sr = 0, lube = 0, tr = 0;
    Morvex_GetNominalSheetRoughness(module, &sr);
    Morvex_GetNominalLubricationAmount(module, &lube);
    Morvex_GetNominalToolRoughness(module, &tr);
    Morvex_GetLubricationAmountRange(module, &out.lubricationMin, &out.lubricationMax);
    std::snprintf(line, sizeof line,
                  "sheet roughness %g µm, lubrication %g g/m² (data for %g .. %g), tool "
                  "roughness %g µm",
                  sr, lube, out.lubricationMin, out.lubricationMax, tr);
    add("nominal conditions", line);
    out.nominal.values[Variable::SheetRoughness] = sr;
    out.nominal.values[Variable::LubricationAmount] = lube;
    out.nominal.values[Variable::ToolRoughness] = tr;
    out.nominal.values[Variable::State] = 0.0;
    out.nominal.values[Variable::DirectionCosine] = 1.0;
    uint32_t direction = 0, heat = 0, production = 0;
    Morvex_GetDirectionDependencyStatus(module, &direction);
    Morvex_GetHeatTransferCoefficientStatus(module, &heat);
    Morvex_CheckProductionPackageAvailability(module, &production);
    add("direction dependent", direction ? "yes" : "no");
    add("heat transfer", heat ? "modelled" : "not modelled");
    std::string available;
    for (const PackageInfo& p : packageInfos()) {
        uint32_t a = 0;
        Morvex_CheckPackageAvailability(module, p.id, &a);
        if (a) available += (available.empty() ? "" : ", ") + std::to_string(p.id);
    }
    add("packages available", available + (production ? "; production volume computable" : ""));
    const MorvexProperty* props = nullptr;
    uint32_t count = 0;
    Morvex_GetWorkpieceProperties(module, &props, &count);
    std::string sheet;
    for (uint32_t i = 0; i < count; ++i)
        sheet += (i ? "; " : "") + text16(props[i].key) + " = " + text16(props[i].value);
    add("sheet properties", sheet);
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    if (!Morvex_SerializeModule(module, &blob, &length)) throw ToolError("serialization failed");
    out.blob.assign(blob, blob + length);
    Morvex_FreeBlob(&blob);
    std::snprintf(line, sizeof line, "%llu bytes", static_cast<unsigned long long>(length));
    add("blob", line);
    return out;
}

}  // namespace

int runDemo(const std::string& directory) {
    std::filesystem::create_directories(directory);
    const std::string dataFile = directory + "/demo.mxd";
    const Json material = demoMaterialDescription();
    const std::vector<uint8_t> file = packDescription(material, PackForm::DataFile);
    writeFileBytes(dataFile, file);
    std::printf("Demo material \"%s\"\nwrote %s (%zu bytes)\n\n",
                material.value("text1", std::string()).c_str(), dataFile.c_str(), file.size());

    std::string report;
    const PreprocessorResult pre = preprocessorRoad(dataFile, report);
    std::printf("Pre-processor road (Morvex_LoadFile, getters, Morvex_SerializeModule):\n%s\n",
                report.c_str());

    MorvexModule* prepared = nullptr;
    uint32_t ok;
    {
        Progress progress("preparing the module for the solver");
        ok = Morvex_DeserializeAndPrepareSolverData(
            pre.blob.data(), static_cast<int32_t>(pre.blob.size()), &prepared);
    }
    SolverModule solver(prepared);
    if (!ok) {
        throw ToolError("Morvex_DeserializeAndPrepareSolverData failed on the demo blob");
    }
    std::printf(
        "Solver road (Morvex_DeserializeAndPrepareSolverData, evaluations): values over contact "
        "pressure\nat %g °C, %g mm/s, lubrication %g g/m², sliding direction:\n",
        pre.nominal.values.at(Variable::Temperature), pre.nominal.values.at(Variable::Velocity),
        pre.nominal.values.at(Variable::LubricationAmount));
    std::vector<Quantity> quantities;
    for (const char* key : {"friction", "contact-area", "roughness", "lubrication", "heat-transfer",
                            "galling", "production"}) {
        quantities.push_back(*parseQuantity(key));
    }
    double pmin = 0, pmax = 0;
    Morvex_GetPressureRange(solver.get(), &pmin, &pmax);
    const SweepSpec sweep{Variable::Pressure, pmin, pmax, 11};
    const auto rows = runSweep(solver.get(), sweep, pre.nominal, quantities);
    std::vector<std::string> header{"pressure (MPa)"};
    for (const Quantity& q : quantities)
        header.push_back(q.unit == "-" ? q.label : labelWithUnit(q.label, q.unit));
    std::fputs(formatTable(header, rows, false).c_str(), stdout);

    Chart chart;
    chart.title = material.value("text1", std::string("demo")) + ": friction coefficient";
    chart.xLabel = "contact pressure (MPa)";
    chart.yLabel = "friction coefficient (-)";
    const double amounts[3] = {pre.lubricationMin, (pre.lubricationMin + pre.lubricationMax) / 2,
                               pre.lubricationMax};
    for (double amount : amounts) {
        ContactState state = pre.nominal;
        state.values[Variable::LubricationAmount] = amount;
        const auto curveRows = runSweep(solver.get(), sweep, state, {quantities[0]});
        Curve curve;
        char title[64];
        std::snprintf(title, sizeof title, "lubrication %g g/m²", amount);
        curve.title = title;
        for (const auto& row : curveRows) {
            curve.x.push_back(row[0]);
            curve.y.push_back(row[1]);
        }
        chart.curves.push_back(std::move(curve));
    }
    const std::string base = directory + "/friction-pressure";
    drawChart(chart, base);
    std::printf("\nwrote %s.png and %s.svg\n", base.c_str(), base.c_str());
    return 0;
}

void addDemoCommand(CLI::App& app, CommandStatus& status) {
    auto directory = std::make_shared<std::string>("mxtool-demo");
    CLI::App* cmd = app.add_subcommand("demo", "Run the demo material through both roads");
    cmd->footer(
        "Writes the embedded demo material as a data file, loads and serializes it "
        "through the plug-in's exports like a pre-processor, deserializes, prepares and "
        "evaluates it like a solver, prints a report and a table of friction values over "
        "contact pressure, and draws the friction chart.\nExample: mxtool demo");
    cmd->add_option("-o,--output-dir", *directory, "directory for the data file and the chart")
        ->capture_default_str();
    cmd->callback([directory, &status] { status.exitCode = runDemo(*directory); });
}

}  // namespace mx::tool
