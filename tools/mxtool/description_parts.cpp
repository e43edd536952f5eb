// Numbers, identifiers, property lists, entries, ranges and the fields a
// module and a Lubricant record share: written to and read from descriptions.
#include <algorithm>
#include <cmath>

#include "mxtool/description_parts.h"

namespace mx::tool {

Json f64Json(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    return v;
}

Json f64ArrayJson(const std::vector<double>& values) {
    Json out = Json::array();
    for (double v : values)
        out.push_back(f64Json(v));
    return out;
}

std::string hexOf(const uint8_t* bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

namespace {

std::array<uint8_t, 16> identifierOf(const Node& node) {
    std::array<uint8_t, 16> id{};
    if (!node.json.is_string() || node.json.get<std::string>().size() != 32) {
        node.fail("expected 32 hexadecimal digits");
    }
    const std::string s = node.json.get<std::string>();
    for (size_t i = 0; i < 32; ++i) {
        const char c = s[i];
        int v;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            v = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            v = c - 'A' + 10;
        } else {
            node.fail("expected 32 hexadecimal digits");
        }
        id[i / 2] = static_cast<uint8_t>(id[i / 2] | (v << (i % 2 == 0 ? 4 : 0)));
    }
    return id;
}

}  // namespace

std::array<uint8_t, 16> identifierFrom(const Node& d) {
    return d.has("identifier") ? identifierOf(d["identifier"]) : std::array<uint8_t, 16>{};
}

PropertyList propertiesFrom(const Node& node) {
    PropertyList list;
    node.array();
    for (size_t i = 0; i < node.json.size(); ++i) {
        const Node pair = node.at(i);
        if (!pair.json.is_array() || pair.json.size() != 2) pair.fail("expected [key, value]");
        list.keys.push_back(pair.at(0).text());
        list.values.push_back(pair.at(1).text());
    }
    refreshView(list);
    return list;
}

namespace {

Json packageJson(const PackageData& pd, size_t index) {
    Json out;
    out["quantity"] = packageQuantityName(index);
    out["gridPointCount"] = pd.gridPointCount;
    out["factor"] = static_cast<int64_t>(pd.factor);
    out["shape"] = f64Json(pd.shape);
    out["offset"] = f64Json(pd.offset);
    out["scales"] = f64ArrayJson(pd.scales);
    out["weights"] = f64ArrayJson(pd.weights);
    return out;
}

PackageData packageFrom(const Node& node) {
    node.allowOnly(
        {"quantity", "gridPointCount", "factor", "shape", "offset", "scales", "weights"});
    PackageData pd;
    pd.gridPointCount = node["gridPointCount"].u64();
    pd.factor = node.has("factor") ? node["factor"].i64() : 1;
    pd.shape = node["shape"].f64();
    pd.offset = node["offset"].f64();
    pd.scales = node["scales"].f64Array();
    pd.weights = node["weights"].f64Array();
    return pd;
}

Json curveJson(const HeatTransferCurve& c) {
    Json out;
    out["divisors"] = f64ArrayJson(c.divisors);
    out["numerators"] = f64ArrayJson(c.numerators);
    out["offsets"] = f64ArrayJson(c.offsets);
    return out;
}

HeatTransferCurve curveFrom(const Node& node) {
    node.allowOnly({"divisors", "numerators", "offsets"});
    HeatTransferCurve c;
    c.divisors = node["divisors"].f64Array();
    c.numerators = node["numerators"].f64Array();
    c.offsets = node["offsets"].f64Array();
    return c;
}

Json entryJson(const TableEntry& e) {
    Json out;
    out["sheetRoughness"] = f64Json(e.sheetRoughness);
    out["lubricationAmount"] = f64Json(e.lubricationAmount);
    out["toolRoughness"] = f64Json(e.toolRoughness);
    out["state"] = f64Json(e.stateValue);
    Json packages = Json::array();
    for (size_t i = 0; i < e.packageData.size(); ++i)
        packages.push_back(packageJson(e.packageData[i], i));
    out["packages"] = std::move(packages);
    Json curves = Json::array();
    for (const HeatTransferCurve& c : e.curves)
        curves.push_back(curveJson(c));
    out["curves"] = std::move(curves);
    return out;
}

TableEntry entryFrom(const Node& node) {
    node.allowOnly(
        {"sheetRoughness", "lubricationAmount", "toolRoughness", "state", "packages", "curves"});
    TableEntry e;
    e.sheetRoughness = node["sheetRoughness"].f64();
    e.lubricationAmount = node["lubricationAmount"].f64();
    e.toolRoughness = node["toolRoughness"].f64();
    e.stateValue = node.has("state") ? node["state"].f64() : 0.0;
    const Node packages = node["packages"];
    packages.array();
    for (size_t i = 0; i < packages.json.size(); ++i)
        e.packageData.push_back(packageFrom(packages.at(i)));
    if (node.has("curves")) {
        const Node curves = node["curves"];
        curves.array();
        for (size_t i = 0; i < curves.json.size(); ++i)
            e.curves.push_back(curveFrom(curves.at(i)));
    }
    return e;
}

// The distinct coordinates of the entries on one axis, ascending: the axis a
// hand-written description gets when it names none.
std::vector<double> axisFromEntries(const std::vector<TableEntry>& entries,
                                    double TableEntry::*coordinate) {
    std::vector<double> axis;
    for (const TableEntry& e : entries) {
        const double v = e.*coordinate;
        bool seen = false;
        for (double a : axis)
            seen = seen || a == v || (std::isnan(a) && std::isnan(v));
        if (!seen) axis.push_back(v);
    }
    // NaN sorts last, so the order is strict even for such coordinates.
    std::sort(axis.begin(), axis.end(),
              [](double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); });
    return axis;
}

}  // namespace

Json entriesJson(const std::vector<TableEntry>& entries) {
    Json out = Json::array();
    for (const TableEntry& e : entries)
        out.push_back(entryJson(e));
    return out;
}

std::vector<TableEntry> entriesFrom(const Node& node) {
    std::vector<TableEntry> entries;
    node.array();
    for (size_t i = 0; i < node.json.size(); ++i)
        entries.push_back(entryFrom(node.at(i)));
    return entries;
}

Json rangesJson(const double bounds[8]) {
    Json ranges;
    for (int i = 0; i < 4; ++i) {
        ranges[kRangeNames[i]] = Json::array({f64Json(bounds[2 * i]), f64Json(bounds[2 * i + 1])});
    }
    return ranges;
}

void rangesFrom(const Node& d, double bounds[8]) {
    const Node ranges = d["ranges"];
    ranges.allowOnly({"pressure", "strain", "temperature", "velocity"});
    for (int i = 0; i < 4; ++i) {
        const Node range = ranges[kRangeNames[i]];
        if (!range.json.is_array() || range.json.size() != 2) range.fail("expected [min, max]");
        bounds[2 * i] = range.at(0).f64();
        bounds[2 * i + 1] = range.at(1).f64();
    }
}

// Writes the shared fields, then `extra` (kind-specific fields), then the
// entries, which are the bulk of every description and so come last.
void describeShared(Json& out, const SharedFields& f, const Json& extra,
                    const std::vector<TableEntry>& primary,
                    const std::vector<TableEntry>& secondary) {
    out["text1"] = utf8FromText(f.text1);
    out["text2"] = utf8FromText(f.text2);
    out["ranges"] = rangesJson(f.ranges);
    out["nominal"] = Json{{"sheetRoughness", f64Json(f.nominal[0])},
                          {"lubricationAmount", f64Json(f.nominal[1])},
                          {"toolRoughness", f64Json(f.nominal[2])}};
    out["axes"] = Json{{"sheetRoughness", f64ArrayJson(f.sheetRoughness)},
                       {"lubricationAmount", f64ArrayJson(f.lubricationAmount)},
                       {"toolRoughness", f64ArrayJson(f.toolRoughness)},
                       {"state", f64ArrayJson(f.stateAxis)}};
    out["directionDependency"] = f.directionDependency;
    out["heatTransferStatus"] = f.heatTransferStatus;
    out["properties"] = Json{{"workpiece", propertiesJson(f.workpiece)},
                             {"lubricant", propertiesJson(f.lubricant)},
                             {"tooling", propertiesJson(f.tooling)}};
    for (const auto& [key, value] : extra.items())
        out[key] = value;
    out["primaryEntries"] = entriesJson(primary);
    out["secondaryEntries"] = entriesJson(secondary);
}

SharedFields sharedFrom(const Node& d, const std::vector<TableEntry>& primary) {
    SharedFields f;
    f.text1 = d.has("text1") ? d["text1"].text() : Text();
    f.text2 = d.has("text2") ? d["text2"].text() : Text();
    rangesFrom(d, f.ranges);
    const Node nominal = d["nominal"];
    nominal.allowOnly({"sheetRoughness", "lubricationAmount", "toolRoughness"});
    f.nominal[0] = nominal["sheetRoughness"].f64();
    f.nominal[1] = nominal["lubricationAmount"].f64();
    f.nominal[2] = nominal["toolRoughness"].f64();
    // Axes default to the coordinates the primary entries use.
    const Json noAxes = Json::object();
    const Node axes = d.has("axes") ? d["axes"] : Node{noAxes, d.path + ".axes"};
    axes.allowOnly({"sheetRoughness", "lubricationAmount", "toolRoughness", "state"});
    auto axis = [&](const char* key, double TableEntry::*coordinate) {
        return axes.has(key) ? axes[key].f64Array() : axisFromEntries(primary, coordinate);
    };
    f.sheetRoughness = axis("sheetRoughness", &TableEntry::sheetRoughness);
    f.lubricationAmount = axis("lubricationAmount", &TableEntry::lubricationAmount);
    f.toolRoughness = axis("toolRoughness", &TableEntry::toolRoughness);
    f.stateAxis = axis("state", &TableEntry::stateValue);
    f.directionDependency = d.has("directionDependency") ? d["directionDependency"].u64() : 0;
    f.heatTransferStatus = d.has("heatTransferStatus") ? d["heatTransferStatus"].u64() : 0;
    if (d.has("properties")) {
        const Node props = d["properties"];
        props.allowOnly({"workpiece", "lubricant", "tooling"});
        if (props.has("workpiece")) f.workpiece = propertiesFrom(props["workpiece"]);
        if (props.has("lubricant")) f.lubricant = propertiesFrom(props["lubricant"]);
        if (props.has("tooling")) f.tooling = propertiesFrom(props["tooling"]);
    }
    return f;
}

Json header(RecordKindName kind) {
    Json out;
    out["format"] = kDescriptionFormat;
    out["revision"] = kDescriptionRevision;
    out["kind"] = kindName(kind);
    return out;
}

void checkHeader(const Node& d) {
    if (!d.json.is_object()) d.fail("expected a JSON object");
    if (!d.has("format") || d["format"].json != kDescriptionFormat) {
        d.fail(std::string("not a material description (\"format\" must be \"") +
               kDescriptionFormat + "\")");
    }
    if (d.has("revision") && d["revision"].u64() != kDescriptionRevision) {
        d["revision"].fail("this tool reads revision " + std::to_string(kDescriptionRevision));
    }
}

uint16_t recordKindFrom(const Node& d, uint16_t fallback) {
    if (!d.has("recordKind")) return fallback;
    const uint64_t kind = d["recordKind"].u64();
    if (kind > 0xFFFF) d["recordKind"].fail("expected a 16-bit value");
    return static_cast<uint16_t>(kind);
}

}  // namespace mx::tool
