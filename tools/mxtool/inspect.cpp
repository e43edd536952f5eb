#include "mxtool/inspect.h"

#include <cstdio>

#include "mxplugin/mxplugin.h"
#include "mxtool/commands.h"
#include "mxtool/json_layout.h"
#include "mxtool/quantities.h"

namespace mx::tool {

namespace {

Json packagesOf(const Module& m) {
    Json out = Json::array();
    const TableEntry* first = m.primaryEntries.empty() ? nullptr : &m.primaryEntries.front();
    for (const PackageInfo& info : packageInfos()) {
        uint32_t available = 0;
        Morvex_CheckPackageAvailability(&m, info.id, &available);
        Json p;
        p["id"] = info.id;
        p["index"] = info.index;
        p["name"] = info.name;
        p["unit"] = info.unit;
        p["available"] = available != 0;
        if (first != nullptr && info.index < first->packageData.size()) {
            p["gridPoints"] = first->packageData[info.index].gridPointCount;
            p["centres"] = first->packageData[info.index].weights.size();
        }
        out.push_back(std::move(p));
    }
    return out;
}

Json moduleSummary(const Module& m) {
    Json out;
    out["text1"] = utf8FromText(m.text1);
    out["text2"] = utf8FromText(m.text2);
    out["solverId"] = utf8FromText(m.solverId);
    Json ranges;
    const double bounds[4][2] = {{m.pressureMin, m.pressureMax},
                                 {m.strainMin, m.strainMax},
                                 {m.temperatureMin, m.temperatureMax},
                                 {m.velocityMin, m.velocityMax}};
    const Variable vars[4] = {Variable::Pressure, Variable::Strain, Variable::Temperature,
                              Variable::Velocity};
    const char* keys[4] = {"pressure", "strain", "temperature", "velocity"};
    for (int d = 0; d < 4; ++d) {
        ranges[keys[d]] = Json{
            {"min", bounds[d][0]}, {"max", bounds[d][1]}, {"unit", variableInfo(vars[d]).unit}};
    }
    out["ranges"] = std::move(ranges);
    out["axes"] = Json{
        {"sheetRoughness",
         {{"values", m.sheetRoughnessValues},
          {"nominal", m.nominalSheetRoughness},
          {"unit", "µm"}}},
        {"lubricationAmount",
         {{"values", m.lubricationAmountValues},
          {"nominal", m.nominalLubricationAmount},
          {"unit", "g/m²"}}},
        {"toolRoughness",
         {{"values", m.toolRoughnessValues}, {"nominal", m.nominalToolRoughness}, {"unit", "µm"}}},
        {"state", {{"values", m.stateAxis}}}};
    out["entries"] = Json{{"primary", m.primaryEntries.size()},
                          {"secondary", m.secondaryEntries.size()},
                          {"packagesPerEntry",
                           m.primaryEntries.empty() ? 0 : m.primaryEntries[0].packageData.size()}};
    out["directionDependency"] = m.directionDependency;
    size_t samples = 0;
    for (const TableEntry& e : m.primaryEntries) {
        if (!e.curves.empty()) samples = std::max(samples, e.curves[0].numerators.size());
    }
    out["heatTransfer"] = Json{{"status", m.heatTransferStatus}, {"curveSamples", samples}};
    out["packages"] = packagesOf(m);
    uint32_t production = 0;
    Morvex_CheckProductionPackageAvailability(&m, &production);
    out["production"] = production != 0;
    out["valueLists"] = Json{{"strainRoughening", m.strainRougheningValues},
                             {"staticFriction", m.staticFrictionValues},
                             {"toolWear", m.toolWearValues}};
    out["properties"] = Json{{"workpiece", propertiesJson(m.workpieceProperties)},
                             {"lubricant", propertiesJson(m.lubricantProperties)},
                             {"tooling", propertiesJson(m.toolingProperties)}};
    return out;
}

std::string num(const Json& v) {
    if (v.is_number_float()) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", v.get<double>());
        return text;
    }
    return v.dump();
}

std::string list(const Json& values) {
    std::string text = "[";
    for (size_t i = 0; i < values.size(); ++i)
        text += (i ? ", " : "") + num(values[i]);
    return text + "]";
}

std::string quoted(const Json& s) {
    return s.dump();  // JSON string syntax shows control characters visibly
}

void line(std::string& out, const char* label, const std::string& text) {
    char head[32];
    std::snprintf(head, sizeof head, "%-16s", label);
    out += head + text + "\n";
}

}  // namespace

Json summarizeMaterial(const LoadedMaterial& material) {
    Json out;
    out["file"] = material.path;
    out["form"] = inputFormName(material.form);
    if (material.dataFile) {
        const DataFileView& v = *material.dataFile;
        Json chunks = Json::array();
        for (const ChunkView& c : v.chunks) {
            chunks.push_back(Json{
                {"offset", c.offset}, {"type", c.type}, {"kind", c.kind}, {"length", c.length}});
        }
        Text preamble;
        for (char c : v.preamble)
            preamble += static_cast<char16_t>(static_cast<uint8_t>(c));
        out["dataFile"] = Json{{"preamble", utf8FromText(preamble)},
                               {"digestMatches", v.digestMatches},
                               {"recordChunks", v.recordChunkCount},
                               {"chunks", std::move(chunks)}};
    }
    out["record"] = recordKindText(material.recordKind);
    out["recordKind"] = material.recordKind;
    out["accepted"] = material.module != nullptr;
    out["rejections"] = material.rejections;
    if (material.module) out["module"] = moduleSummary(*material.module);
    return out;
}

std::string renderSummary(const Json& s) {
    std::string out;
    line(out, "file",
         s["file"].get<std::string>() + " (" + s["form"].get<std::string>() + ", " +
             s["record"].get<std::string>() + ")");
    if (s.contains("dataFile")) {
        const Json& f = s["dataFile"];
        line(out, "preamble", quoted(f["preamble"]));
        line(out, "MD5 trailer", f["digestMatches"].get<bool>() ? "matches" : "DOES NOT MATCH");
        std::string chunks;
        for (const Json& c : f["chunks"]) {
            const int type = c["type"].get<int>();
            chunks +=
                (chunks.empty() ? "" : "; ") + std::string("at ") + num(c["offset"]) + ": " +
                (type == 2 ? "record, kind " + num(c["kind"]) + ", " + num(c["length"]) + " bytes"
                 : type == 3
                     ? std::string("end marker")
                     : "skipped (type " + num(c["type"]) + "), " + num(c["length"]) + " bytes");
        }
        line(out, "chunks", chunks);
    }
    if (!s["accepted"].get<bool>()) {
        for (const Json& r : s["rejections"])
            line(out, "REJECTED", r.get<std::string>());
        return out;
    }
    const Json& m = s["module"];
    line(out, "texts", quoted(m["text1"]) + ", " + quoted(m["text2"]));
    line(out, "solver id", quoted(m["solverId"]));
    std::string ranges;
    for (const auto& [key, r] : m["ranges"].items()) {
        ranges += (ranges.empty() ? "" : "; ") + key + " " + num(r["min"]) + " .. " +
                  num(r["max"]) + (r["unit"] == "-" ? "" : " " + r["unit"].get<std::string>());
    }
    line(out, "ranges", ranges);
    bool firstAxis = true;
    for (const auto& [key, a] : m["axes"].items()) {
        std::string text = key + " " + list(a["values"]);
        if (a.contains("unit")) text += " " + a["unit"].get<std::string>();
        if (a.contains("nominal")) text += ", nominal " + num(a["nominal"]);
        line(out, firstAxis ? "axes" : "", text);
        firstAxis = false;
    }
    const Json& e = m["entries"];
    line(out, "entries",
         num(e["primary"]) + " primary, " + num(e["secondary"]) + " secondary; " +
             num(e["packagesPerEntry"]) + " packages an entry");
    const bool direction = m["directionDependency"].get<uint64_t>() != 0;
    line(out, "direction",
         direction ? "dependent: transverse data blended in by the direction cosine"
                   : "independent: sliding-direction data only");
    const Json& h = m["heatTransfer"];
    line(out, "heat transfer",
         h["status"].get<uint64_t>() != 0
             ? "modelled; curves of " + num(h["curveSamples"]) + " temperature samples"
             : std::string("not modelled"));
    bool firstPackage = true;
    for (const Json& p : m["packages"]) {
        char text[160];
        std::snprintf(text, sizeof text, "%2d %-27s %-4s", p["id"].get<int>(),
                      p["name"].get<std::string>().c_str(),
                      p["available"].get<bool>() ? "yes" : "no");
        std::string row = text;
        if (p.contains("gridPoints") && p["gridPoints"].get<uint64_t>() > 0) {
            row += " grid " + num(p["gridPoints"]) + "^4, " + num(p["centres"]) + " centres";
        }
        line(out, firstPackage ? "packages" : "", row);
        firstPackage = false;
    }
    line(out, "production", m["production"].get<bool>() ? "available" : "not available");
    std::string lists;
    for (const auto& [key, v] : m["valueLists"].items())
        lists += (lists.empty() ? "" : "; ") + key + " " + list(v);
    line(out, "value lists", lists);
    for (const auto& [key, props] : m["properties"].items()) {
        std::string text;
        for (const Json& pair : props)
            text += (text.empty() ? "" : "; ") + pair[0].get<std::string>() + " = " +
                    pair[1].get<std::string>();
        line(out, (key + " props").c_str(), text.empty() ? "(none)" : text);
    }
    return out;
}

void addInspectCommand(CLI::App& app, CommandStatus& status) {
    struct Options {
        std::string input;
        bool json = false, sheet = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd =
        app.add_subcommand("inspect", "Show what a data file, blob or description holds");
    cmd->footer(
        "Shows record kind, ranges, axes, entry and package counts, which packages are available "
        "(by id and name), direction dependency, heat transfer and properties, as the plug-in "
        "reads them.\nExample: mxtool inspect data/demo.mxd");
    addMaterialInput(cmd, o->input);
    cmd->add_flag("--json", o->json, "print JSON for scripts");
    addSheetFlag(cmd, o->sheet);
    cmd->callback([o, &status] {
        const Json summary = summarizeMaterial(loadMaterial(o->input, o->sheet));
        const std::string text = o->json ? layoutJson(summary) : renderSummary(summary);
        std::fwrite(text.data(), 1, text.size(), stdout);
        status.exitCode = summary["accepted"].get<bool>() ? 0 : 2;
    });
}

}  // namespace mx::tool
