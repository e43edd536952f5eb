#include "mxtool/diff.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

#include "mxplugin/mxplugin.h"
#include "mxtool/commands.h"
#include "mxtool/json_layout.h"
#include "mxtool/points.h"
#include "mxtool/progress.h"
#include "mxtool/quantities.h"
#include "mxtool/sweep.h"

namespace mx::tool {

namespace {

std::vector<uint8_t> moduleRecordOf(const Module& m) {
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    if (!Morvex_SerializeModule(&m, &blob, &length)) throw ToolError("a module does not serialize");
    std::vector<uint8_t> bytes(blob, blob + length);
    Morvex_FreeBlob(&blob);
    return bytes;
}

// Field differences of two descriptions below `path`: objects are compared
// key by key, everything else as a whole value.
void diffFields(const Json& a, const Json& b, const std::string& path, Json& out) {
    if (a.is_object() && b.is_object()) {
        for (const auto& [key, value] : a.items()) {
            const std::string at = path.empty() ? key : path + "." + key;
            if (b.contains(key)) {
                diffFields(value, b[key], at, out);
            } else {
                out.push_back(Json{{"path", at}, {"a", value}, {"b", nullptr}});
            }
        }
        for (const auto& [key, value] : b.items()) {
            if (!a.contains(key))
                out.push_back(Json{
                    {"path", path.empty() ? key : path + "." + key}, {"a", nullptr}, {"b", value}});
        }
    } else if (a != b) {
        out.push_back(Json{{"path", path}, {"a", a}, {"b", b}});
    }
}

// Property lists compared by key: added, removed, changed values.
Json diffProperties(const Json& a, const Json& b) {
    Json out = Json::array();
    for (const auto& [list, pairsA] : a.items()) {
        std::map<std::string, std::string> inA, inB;
        for (const Json& p : pairsA)
            inA[p[0].get<std::string>()] = p[1].get<std::string>();
        for (const Json& p : b[list])
            inB[p[0].get<std::string>()] = p[1].get<std::string>();
        for (const auto& [key, value] : inA) {
            const auto other = inB.find(key);
            if (other == inB.end() || other->second != value) {
                out.push_back(Json{{"list", list},
                                   {"key", key},
                                   {"a", value},
                                   {"b", other == inB.end() ? Json() : Json(other->second)}});
            }
        }
        for (const auto& [key, value] : inB) {
            if (!inA.count(key))
                out.push_back(Json{{"list", list}, {"key", key}, {"a", nullptr}, {"b", value}});
        }
    }
    return out;
}

Json coordinatesOf(const Json& entry) {
    return Json{{"sheetRoughness", entry["sheetRoughness"]},
                {"lubricationAmount", entry["lubricationAmount"]},
                {"toolRoughness", entry["toolRoughness"]},
                {"state", entry["state"]}};
}

// Entries of one table matched by their four coordinates.
void diffEntries(const std::string& table, const Json& a, const Json& b, Json& out) {
    std::map<std::string, const Json*> inA, inB;
    for (const Json& e : a)
        inA[coordinatesOf(e).dump()] = &e;
    for (const Json& e : b)
        inB[coordinatesOf(e).dump()] = &e;
    for (const auto& [key, entry] : inA) {
        const auto other = inB.find(key);
        if (other == inB.end()) {
            out["removed"].push_back(Json{{"table", table}, {"at", coordinatesOf(*entry)}});
            continue;
        }
        const Json& pa = (*entry)["packages"];
        const Json& pb = (*other->second)["packages"];
        Json packages = Json::array();
        for (size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
            if (i >= pa.size() || i >= pb.size() || pa[i] != pb[i]) {
                const PackageInfo* info = packageByIndex(static_cast<uint32_t>(i));
                packages.push_back(info ? Json(info->id) : Json("index " + std::to_string(i)));
            }
        }
        const bool curves = (*entry)["curves"] != (*other->second)["curves"];
        if (!packages.empty() || curves) {
            out["changed"].push_back(Json{{"table", table},
                                          {"at", coordinatesOf(*entry)},
                                          {"packages", packages},
                                          {"curves", curves}});
        }
    }
    for (const auto& [key, entry] : inB) {
        if (!inA.count(key))
            out["added"].push_back(Json{{"table", table}, {"at", coordinatesOf(*entry)}});
    }
}

// Up to `most` values spread over the sorted union of two axes.
std::vector<double> commonAxis(const std::vector<double>& a, const std::vector<double>& b,
                               size_t most) {
    std::vector<double> all(a);
    all.insert(all.end(), b.begin(), b.end());
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    if (all.empty()) return {0.0};
    if (all.size() <= most) return all;
    std::vector<double> picked;
    for (size_t i = 0; i < most; ++i)
        picked.push_back(all[i * (all.size() - 1) / (most - 1)]);
    return picked;
}

// Per package, the largest absolute and relative difference of the two
// modules' answers over a grid of contact states spanning both modules'
// ranges and axes: five values of each local variable, up to four values of
// each condition axis, sliding and (when either module blends) transverse.
Json diffPackageValues(const Module& a, const Module& b) {
    const SolverModule sa = prepareForSolver(a), sb = prepareForSolver(b);
    auto span = [](double loA, double hiA, double loB, double hiB) {
        const double lo = std::min(loA, loB), hi = std::max(hiA, hiB);
        std::vector<double> v;
        for (int i = 0; i < 5; ++i)
            v.push_back(lo + (hi - lo) * i / 4.0);
        return v;
    };
    const std::vector<double> grid[8] = {
        span(a.pressureMin, a.pressureMax, b.pressureMin, b.pressureMax),
        span(a.strainMin, a.strainMax, b.strainMin, b.strainMax),
        span(a.temperatureMin, a.temperatureMax, b.temperatureMin, b.temperatureMax),
        span(a.velocityMin, a.velocityMax, b.velocityMin, b.velocityMax),
        commonAxis(a.sheetRoughnessValues, b.sheetRoughnessValues, 4),
        commonAxis(a.lubricationAmountValues, b.lubricationAmountValues, 4),
        commonAxis(a.toolRoughnessValues, b.toolRoughnessValues, 4),
        commonAxis(a.stateAxis, b.stateAxis, 4)};
    const bool transverse = a.directionDependency != 0 || b.directionDependency != 0;
    size_t states = transverse ? 2 : 1;
    for (const auto& g : grid)
        states *= g.size();

    struct Worst {
        double abs = 0.0, rel = 0.0;
        uint64_t oneSidedFailures = 0;
    };
    std::vector<Quantity> quantities;
    std::vector<uint32_t> availableA, availableB;
    for (const PackageInfo& info : packageInfos()) {
        uint32_t inA = 0, inB = 0;
        Morvex_CheckPackageAvailability(sa.get(), info.id, &inA);
        Morvex_CheckPackageAvailability(sb.get(), info.id, &inB);
        availableA.push_back(inA);
        availableB.push_back(inB);
        // Packages without a grid are read as averages, as hosts read them.
        const bool averageOnly = info.id == 1 || info.id == 2;
        quantities.push_back(
            *parseQuantity((averageOnly ? "average:" : "package:") + std::to_string(info.id)));
    }
    std::vector<Worst> worst(quantities.size());
    Progress progress("comparing package values at " + std::to_string(states) + " states");
    size_t done = 0;
    MorvexInputRecord in{};
    size_t index[8] = {};
    for (size_t s = 0; s < states; ++s) {
        size_t rest = s;
        for (int d = 0; d < 8; ++d) {
            index[d] = rest % grid[d].size();
            rest /= grid[d].size();
        }
        const bool across = rest == 1;
        const double t = grid[2][index[2]];
        Morvex_SetNodalInput(&in, grid[0][index[0]], grid[1][index[1]], t, t, grid[3][index[3]],
                             across ? 0.0 : 1.0, grid[7][index[7]]);
        Morvex_SetSystemInput(&in, across ? 1u : 0u, grid[4][index[4]], grid[5][index[5]],
                              grid[6][index[6]], 0u);
        for (size_t q = 0; q < quantities.size(); ++q) {
            if (!availableA[q] || !availableB[q]) continue;
            const double va = evaluateRecord(sa.get(), quantities[q], in);
            const double vb = evaluateRecord(sb.get(), quantities[q], in);
            if (std::isnan(va) != std::isnan(vb)) {
                ++worst[q].oneSidedFailures;
                continue;
            }
            if (std::isnan(va) || va == vb) continue;
            const double d = std::fabs(va - vb);
            const double scale = std::max(std::fabs(va), std::fabs(vb));
            worst[q].abs = std::max(worst[q].abs, d);
            worst[q].rel = std::max(worst[q].rel, scale > 0.0 ? d / scale : 0.0);
        }
        if (++done % 4096 == 0) progress.update(double(done) / double(states));
    }
    Json out{{"states", states}, {"packages", Json::array()}};
    for (size_t q = 0; q < quantities.size(); ++q) {
        const PackageInfo& info = packageInfos()[q];
        Json p{{"id", info.id},
               {"name", info.name},
               {"availableA", availableA[q] != 0},
               {"availableB", availableB[q] != 0}};
        if (availableA[q] && availableB[q]) {
            p["maxAbs"] = worst[q].abs;
            p["maxRel"] = worst[q].rel;
            p["oneSidedFailures"] = worst[q].oneSidedFailures;
        }
        out["packages"].push_back(std::move(p));
    }
    return out;
}

std::string shortText(const Json& v) {
    if (v.is_null()) return "(none)";
    if (v.is_number_float()) return roundTripText(v.get<double>());
    std::string text = v.dump();
    if (text.size() > 120) text = text.substr(0, 117) + "...";
    return text;
}

std::string atText(const Json& at) {
    return "sheet roughness " + shortText(at["sheetRoughness"]) + ", lubrication " +
           shortText(at["lubricationAmount"]) + ", tool roughness " +
           shortText(at["toolRoughness"]) + ", state " + shortText(at["state"]);
}

std::string sourceText(const LoadedMaterial& m) {
    return m.path + " (" + inputFormName(m.form) + ", " + recordKindText(m.recordKind) + ")";
}

}  // namespace

Json diffMaterials(const LoadedMaterial& a, const LoadedMaterial& b) {
    for (const LoadedMaterial* m : {&a, &b}) {
        if (!m->module) {
            throw ToolError("the plug-in rejects " + m->path + ": " +
                            (m->rejections.empty() ? "" : m->rejections.front()));
        }
    }
    Json out{{"a", sourceText(a)}, {"b", sourceText(b)}};
    out["same"] = moduleRecordOf(*a.module) == moduleRecordOf(*b.module);
    Json da = describeModule(*a.module), db = describeModule(*b.module);
    Json entries{{"added", Json::array()}, {"removed", Json::array()}, {"changed", Json::array()}};
    for (const char* table : {"primaryEntries", "secondaryEntries"}) {
        diffEntries(table, da[table], db[table], entries);
        da.erase(table);
        db.erase(table);
    }
    out["properties"] = diffProperties(da["properties"], db["properties"]);
    da.erase("properties");
    db.erase("properties");
    Json fields = Json::array();
    diffFields(da, db, "", fields);
    out["fields"] = std::move(fields);
    out["entries"] = std::move(entries);
    out["values"] = diffPackageValues(*a.module, *b.module);
    return out;
}

std::string renderDiff(const Json& d) {
    std::string out =
        "A: " + d["a"].get<std::string>() + "\nB: " + d["b"].get<std::string>() + "\n";
    for (const Json& f : d["fields"])
        out += "field     " + f["path"].get<std::string>() + ": " + shortText(f["a"]) + " -> " +
               shortText(f["b"]) + "\n";
    for (const Json& p : d["properties"])
        out += "property  " + p["list"].get<std::string>() + " \"" + p["key"].get<std::string>() +
               "\": " + shortText(p["a"]) + " -> " + shortText(p["b"]) + "\n";
    for (const char* what : {"removed", "added"}) {
        for (const Json& e : d["entries"][what])
            out += std::string(what) + "   " + e["table"].get<std::string>() + " entry at " +
                   atText(e["at"]) + "\n";
    }
    for (const Json& e : d["entries"]["changed"]) {
        std::string parts;
        for (const Json& p : e["packages"]) {
            parts += (parts.empty() ? "package " : ", ") + shortText(p);
            if (p.is_number()) parts += std::string(" ") + packageById(p.get<uint32_t>()).name;
        }
        if (e["curves"].get<bool>())
            parts += (parts.empty() ? "" : "; ") + std::string("heat-transfer curves");
        out += "changed   " + e["table"].get<std::string>() + " entry at " + atText(e["at"]) +
               ": " + parts + "\n";
    }
    const Json& v = d["values"];
    out += "package values over " + shortText(v["states"]) + " contact states (A vs B):\n";
    for (const Json& p : v["packages"]) {
        char line[240];
        const bool a = p["availableA"].get<bool>(), b = p["availableB"].get<bool>();
        if (a && b) {
            const uint64_t oneSided = p["oneSidedFailures"].get<uint64_t>();
            std::snprintf(line, sizeof line, "  %2d %-27s max abs %-12.6g max rel %-12.6g",
                          p["id"].get<int>(), p["name"].get<std::string>().c_str(),
                          p["maxAbs"].get<double>(), p["maxRel"].get<double>());
            out += line;
            out += oneSided == 0
                       ? std::string("\n")
                       : "answered by one only at " + std::to_string(oneSided) + " states\n";
            continue;
        } else {
            std::snprintf(line, sizeof line, "  %2d %-27s %s\n", p["id"].get<int>(),
                          p["name"].get<std::string>().c_str(),
                          a == b ? "not available in either"
                          : a    ? "available in A only"
                                 : "available in B only");
        }
        out += line;
    }
    const bool listed = !d["fields"].empty() || !d["properties"].empty() ||
                        !d["entries"]["added"].empty() || !d["entries"]["removed"].empty() ||
                        !d["entries"]["changed"].empty();
    if (d["same"].get<bool>()) {
        out += "same module\n";
    } else {
        out += listed ? "the modules differ\n"
                      : "the modules differ in their record bytes only (nothing above)\n";
    }
    return out;
}

void addDiffCommand(CLI::App& app, CommandStatus& status) {
    struct Options {
        std::string a, b;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand("diff", "Say what differs between two materials");
    cmd->footer(
        "Compares the modules the plug-in reads from two data files, blobs or descriptions "
        "(any mix): fields, ranges, axes, properties, entries added, removed or changed, and "
        "per package the largest absolute and relative difference of its values over a common "
        "grid of contact states (after the solver's preparation).\n"
        "Exit status 0 when both hold the same module, 1 when they differ, 2 on an error.\n"
        "Example: mxtool diff old.mxd new.mxd\n"
        "Example: mxtool diff data/demo.mxd stored.blob --json");
    addInputFile(cmd, "a", o->a, "first material");
    addInputFile(cmd, "b", o->b, "second material");
    cmd->add_flag("--json", o->json, "print JSON for scripts");
    cmd->callback([o, &status] {
        const Json d = diffMaterials(loadMaterial(o->a), loadMaterial(o->b));
        const std::string text = o->json ? layoutJson(d) : renderDiff(d);
        std::fwrite(text.data(), 1, text.size(), stdout);
        status.exitCode = d["same"].get<bool>() ? 0 : 1;
    });
}

}  // namespace mx::tool
