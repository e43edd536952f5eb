#include "mxtool/description.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "mxtool/quantities.h"
#include "records/lubricant_record.h"
#include "records/sheet_record.h"
#include "serialize/module_record.h"
#include "serialize/sub_records.h"
#include "stream/record_reader.h"

namespace mx::tool {

// ---- Text ----------------------------------------------------------------

std::string utf8FromText(const Text& text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t unit : text) {
        const uint32_t c = unit;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Text textFromUtf8(const std::string& utf8, const std::string& where) {
    Text out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        uint32_t c;
        size_t length;
        if (b < 0x80) {
            c = b, length = 1;
        } else if ((b & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            c = ((b & 0x1Fu) << 6) | (static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu), length = 2;
        } else {
            c = 0x10000, length = 1;  // anything longer is beyond one byte a character
        }
        if (c > 0xFF) {
            throw DescriptionError(where +
                                   ": characters above U+00FF cannot be stored (records hold "
                                   "one byte a character)");
        }
        out += static_cast<char16_t>(c);
        i += length;
    }
    if (out.size() > kMaxStringLength) {
        throw DescriptionError(where + ": " + std::to_string(out.size()) +
                               " characters; records hold at most 1000");
    }
    return out;
}

// ---- Reading a description -----------------------------------------------

namespace {

// A JSON node with the path that leads to it, so errors say where they are.
struct Node {
    const Json& json;
    std::string path;

    Node operator[](const char* key) const {
        if (!json.is_object()) fail("expected an object");
        const auto found = json.find(key);
        if (found == json.end()) fail(std::string("missing \"") + key + "\"");
        return Node{*found, path + "." + key};
    }
    Node at(size_t i) const { return Node{json[i], path + "[" + std::to_string(i) + "]"}; }
    bool has(const char* key) const { return json.is_object() && json.contains(key); }
    [[noreturn]] void fail(const std::string& what) const {
        throw DescriptionError((path.empty() ? std::string("description") : path.substr(1)) + ": " +
                               what);
    }

    // Objects are closed: an unknown key is a typo, not an extension.
    void allowOnly(std::initializer_list<const char*> keys) const {
        if (!json.is_object()) fail("expected an object");
        for (const auto& [key, value] : json.items()) {
            bool known = false;
            for (const char* k : keys)
                known = known || key == k;
            if (!known) fail("unknown key \"" + key + "\"");
        }
    }

    double f64() const {
        if (json.is_number()) return json.get<double>();
        if (json.is_string()) {
            const std::string s = json.get<std::string>();
            if (s == "NaN") return std::numeric_limits<double>::quiet_NaN();
            if (s == "Infinity") return std::numeric_limits<double>::infinity();
            if (s == "-Infinity") return -std::numeric_limits<double>::infinity();
        }
        fail("expected a number (or \"NaN\", \"Infinity\", \"-Infinity\")");
    }
    uint64_t u64() const {
        if (json.is_number_unsigned()) return json.get<uint64_t>();
        if (json.is_number_integer() && json.get<int64_t>() >= 0) return json.get<uint64_t>();
        fail("expected a non-negative integer");
    }
    // Signed integers keep their two's-complement bit pattern.
    uint64_t i64() const {
        if (json.is_number_unsigned()) return json.get<uint64_t>();
        if (json.is_number_integer()) return static_cast<uint64_t>(json.get<int64_t>());
        fail("expected an integer");
    }
    Text text() const {
        if (!json.is_string()) fail("expected a string");
        return textFromUtf8(json.get<std::string>(), path.substr(1));
    }
    const Json& array() const {
        if (!json.is_array()) fail("expected an array");
        return json;
    }
    std::vector<double> f64Array() const {
        std::vector<double> out;
        array();
        out.reserve(json.size());
        for (size_t i = 0; i < json.size(); ++i)
            out.push_back(at(i).f64());
        return out;
    }
    std::vector<uint64_t> u64Array() const {
        std::vector<uint64_t> out;
        array();
        for (size_t i = 0; i < json.size(); ++i)
            out.push_back(at(i).u64());
        return out;
    }
};

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

// The optional "identifier" of a description; all zero when absent.
std::array<uint8_t, 16> identifierFrom(const Node& d) {
    return d.has("identifier") ? identifierOf(d["identifier"]) : std::array<uint8_t, 16>{};
}

}  // namespace

Json propertiesJson(const PropertyList& list) {
    Json out = Json::array();
    for (size_t i = 0; i < list.keys.size(); ++i) {
        out.push_back(Json::array({utf8FromText(list.keys[i]), utf8FromText(list.values[i])}));
    }
    return out;
}

namespace {

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

const char* const kRangeNames[4] = {"pressure", "strain", "temperature", "velocity"};

// The eight range bounds of any record, minimum before maximum, in the order
// of kRangeNames.
template <typename Material>
auto rangeFields(Material& r) {
    return std::array{&r.pressureMin,    &r.pressureMax,    &r.strainMin,   &r.strainMax,
                      &r.temperatureMin, &r.temperatureMax, &r.velocityMin, &r.velocityMax};
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

// The fields a module and a Lubricant record share, apart from the entries.
struct SharedFields {
    Text text1, text2;
    double ranges[8] = {};
    double nominal[3] = {};
    std::vector<double> stateAxis, sheetRoughness, lubricationAmount, toolRoughness;
    uint64_t directionDependency = 0, heatTransferStatus = 0;
    PropertyList workpiece, lubricant, tooling;
};

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

// The shared fields of a module or a Lubricant record, which name them alike.
template <typename Material>
SharedFields sharedOf(const Material& r) {
    SharedFields f;
    f.text1 = r.text1;
    f.text2 = r.text2;
    const auto bounds = rangeFields(r);
    for (int i = 0; i < 8; ++i)
        f.ranges[i] = *bounds[i];
    f.nominal[0] = r.nominalSheetRoughness;
    f.nominal[1] = r.nominalLubricationAmount;
    f.nominal[2] = r.nominalToolRoughness;
    f.sheetRoughness = r.sheetRoughnessValues;
    f.lubricationAmount = r.lubricationAmountValues;
    f.toolRoughness = r.toolRoughnessValues;
    f.stateAxis = r.stateAxis;
    f.directionDependency = r.directionDependency;
    f.heatTransferStatus = r.heatTransferStatus;
    f.workpiece = r.workpieceProperties;
    f.lubricant = r.lubricantProperties;
    f.tooling = r.toolingProperties;
    return f;
}

template <typename Material>
void applyShared(SharedFields&& f, Material& r) {
    r.text1 = std::move(f.text1);
    r.text2 = std::move(f.text2);
    const auto bounds = rangeFields(r);
    for (int i = 0; i < 8; ++i)
        *bounds[i] = f.ranges[i];
    r.nominalSheetRoughness = f.nominal[0];
    r.nominalLubricationAmount = f.nominal[1];
    r.nominalToolRoughness = f.nominal[2];
    r.stateAxis = std::move(f.stateAxis);
    r.sheetRoughnessValues = std::move(f.sheetRoughness);
    r.lubricationAmountValues = std::move(f.lubricationAmount);
    r.toolRoughnessValues = std::move(f.toolRoughness);
    r.directionDependency = f.directionDependency;
    r.heatTransferStatus = f.heatTransferStatus;
    r.workpieceProperties = std::move(f.workpiece);
    r.lubricantProperties = std::move(f.lubricant);
    r.toolingProperties = std::move(f.tooling);
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

Json describeLubricant(const LubricantRecord& r) {
    Json out = header(RecordKindName::Lubricant);
    out["identifier"] = hexOf(r.identifier.data(), r.identifier.size());
    out["name"] = utf8FromText(r.name);
    out["recordKind"] = r.formatVersion;
    const SharedFields f = sharedOf(r);
    describeShared(out, f, Json::object(), r.primaryEntries, r.secondaryEntries);
    return out;
}

uint16_t recordKindFrom(const Node& d, uint16_t fallback) {
    if (!d.has("recordKind")) return fallback;
    const uint64_t kind = d["recordKind"].u64();
    if (kind > 0xFFFF) d["recordKind"].fail("expected a 16-bit value");
    return static_cast<uint16_t>(kind);
}

LubricantRecord lubricantFromDescription(const Json& description) {
    const Node d{description, ""};
    d.allowOnly({"format", "revision", "kind", "identifier", "name", "recordKind", "text1", "text2",
                 "ranges", "nominal", "axes", "directionDependency", "heatTransferStatus",
                 "properties", "primaryEntries", "secondaryEntries", "dataFile"});
    LubricantRecord r;
    r.identifier = identifierFrom(d);
    r.name = d.has("name") ? d["name"].text() : kVersionBlockName;
    r.formatVersion = recordKindFrom(d, 2);
    r.primaryEntries = entriesFrom(d["primaryEntries"]);
    if (d.has("secondaryEntries")) r.secondaryEntries = entriesFrom(d["secondaryEntries"]);
    applyShared(sharedFrom(d, r.primaryEntries), r);
    return r;
}

// The package an item at `position` of its group becomes: position k of each
// six carries package id (k + 1) mod 6; the second six of a group of twelve
// are the transverse models.
std::string sheetItemQuantity(size_t position) {
    const auto id = static_cast<uint32_t>((position % 6 + 1) % 6);
    return std::string(packageById(id).name) + " (id " + std::to_string(id) + ")" +
           (position >= 6 ? ", transverse" : "");
}

Json describeSheet(const SheetRecord& r) {
    Json out = header(RecordKindName::Sheet);
    out["identifier"] = hexOf(r.identifier.data(), r.identifier.size());
    out["text1"] = utf8FromText(r.text1);
    out["text2"] = utf8FromText(r.text2);
    out["flags"] = r.flags;
    out["auxiliaryValues"] = f64ArrayJson(r.auxiliaryValues);
    double bounds[8];
    const auto fields = rangeFields(r);
    for (int i = 0; i < 8; ++i)
        bounds[i] = *fields[i];
    out["ranges"] = rangesJson(bounds);
    out["rangeCounts"] = Json{{"pressure", r.pressureCount},
                              {"strain", r.strainCount},
                              {"temperature", r.temperatureCount},
                              {"velocity", r.velocityCount}};
    out["properties"] = propertiesJson(r.properties);
    const size_t group = static_cast<size_t>(itemGroupSize(r));
    Json groups = Json::array();
    for (size_t i = 0; i < r.lubricationAmounts.size(); ++i) {
        Json items = Json::array();
        for (size_t k = 0; k < group; ++k) {
            const SheetItem& item = r.sheetItems[i * group + k];
            Json j;
            j["quantity"] = sheetItemQuantity(k);
            j["shape"] = f64Json(item.shape);
            j["offset"] = f64Json(item.offset);
            j["scales"] = f64ArrayJson(item.scales);
            j["weights"] = f64ArrayJson(item.weights);
            items.push_back(std::move(j));
        }
        groups.push_back(Json{{"lubricationAmount", f64Json(r.lubricationAmounts[i])},
                              {"items", std::move(items)}});
    }
    out["lubricationAmounts"] = std::move(groups);
    return out;
}

SheetRecord sheetFromDescription(const Json& description) {
    const Node d{description, ""};
    d.allowOnly({"format", "revision", "kind", "identifier", "text1", "text2", "flags",
                 "auxiliaryValues", "ranges", "rangeCounts", "properties", "lubricationAmounts",
                 "dataFile"});
    SheetRecord r;
    r.identifier = identifierFrom(d);
    r.text1 = d.has("text1") ? d["text1"].text() : Text();
    r.text2 = d.has("text2") ? d["text2"].text() : Text();
    r.flags = d.has("flags") ? d["flags"].u64Array() : std::vector<uint64_t>{};
    r.auxiliaryValues =
        d.has("auxiliaryValues") ? d["auxiliaryValues"].f64Array() : std::vector<double>{};
    double bounds[8];
    rangesFrom(d, bounds);
    const auto fields = rangeFields(r);
    for (int i = 0; i < 8; ++i)
        *fields[i] = bounds[i];
    uint64_t* counts[4] = {&r.pressureCount, &r.strainCount, &r.temperatureCount, &r.velocityCount};
    if (d.has("rangeCounts")) {
        const Node rc = d["rangeCounts"];
        rc.allowOnly({"pressure", "strain", "temperature", "velocity"});
        for (int i = 0; i < 4; ++i) {
            if (rc.has(kRangeNames[i])) *counts[i] = rc[kRangeNames[i]].u64();
        }
    }
    if (d.has("properties")) r.properties = propertiesFrom(d["properties"]);
    const size_t group = static_cast<size_t>(itemGroupSize(r));
    const Node groups = d["lubricationAmounts"];
    groups.array();
    for (size_t i = 0; i < groups.json.size(); ++i) {
        const Node g = groups.at(i);
        g.allowOnly({"lubricationAmount", "items"});
        r.lubricationAmounts.push_back(g["lubricationAmount"].f64());
        const Node items = g["items"];
        items.array();
        if (items.json.size() != group) {
            items.fail(std::to_string(items.json.size()) + " items; the flags make groups of " +
                       std::to_string(group) + " (12 when flags[3] is nonzero, else 6)");
        }
        for (size_t k = 0; k < group; ++k) {
            const Node item = items.at(k);
            item.allowOnly({"quantity", "shape", "offset", "scales", "weights"});
            SheetItem si;
            si.shape = item["shape"].f64();
            si.offset = item["offset"].f64();
            si.scales = item["scales"].f64Array();
            si.weights = item["weights"].f64Array();
            r.sheetItems.push_back(std::move(si));
        }
    }
    return r;
}

}  // namespace

std::string packageQuantityName(size_t packageIndex) {
    const PackageInfo* info = packageByIndex(static_cast<uint32_t>(packageIndex));
    if (info == nullptr) return "index " + std::to_string(packageIndex) + " (no package id)";
    return std::string(info->name) + " (id " + std::to_string(info->id) + ")";
}

const char* kindName(RecordKindName kind) {
    switch (kind) {
        case RecordKindName::Sheet:
            return "sheet";
        case RecordKindName::Lubricant:
            return "lubricant";
        case RecordKindName::Module:
            return "module";
    }
    return "?";
}

RecordKindName describedKind(const Json& description) {
    const Node d{description, ""};
    checkHeader(d);
    const Node kind = d["kind"];
    for (RecordKindName k :
         {RecordKindName::Sheet, RecordKindName::Lubricant, RecordKindName::Module}) {
        if (kind.json == kindName(k)) return k;
    }
    kind.fail("expected \"sheet\", \"lubricant\" or \"module\"");
}

Json describeModule(const Module& m) {
    Json out = header(RecordKindName::Module);
    out["identifier"] = hexOf(m.identifier.data(), m.identifier.size());
    out["name"] = utf8FromText(m.name);
    out["recordKind"] = m.formatVersion;
    out["solverId"] = utf8FromText(m.solverId);
    const SharedFields f = sharedOf(m);
    const Json extra = {{"strainRoughening", f64ArrayJson(m.strainRougheningValues)},
                        {"staticFriction", f64ArrayJson(m.staticFrictionValues)},
                        {"toolWear", f64ArrayJson(m.toolWearValues)}};
    describeShared(out, f, extra, m.primaryEntries, m.secondaryEntries);
    return out;
}

Module moduleFromDescription(const Json& description) {
    const Node d{description, ""};
    if (describedKind(description) != RecordKindName::Module) d.fail("not a module description");
    d.allowOnly({"format",
                 "revision",
                 "kind",
                 "identifier",
                 "name",
                 "recordKind",
                 "solverId",
                 "text1",
                 "text2",
                 "ranges",
                 "nominal",
                 "axes",
                 "directionDependency",
                 "heatTransferStatus",
                 "properties",
                 "primaryEntries",
                 "secondaryEntries",
                 "strainRoughening",
                 "staticFriction",
                 "toolWear",
                 "dataFile"});
    Module m;
    m.identifier = identifierFrom(d);
    m.name = d.has("name") ? d["name"].text() : kVersionBlockName;
    m.formatVersion = recordKindFrom(d, 3);
    m.solverId = d.has("solverId") ? d["solverId"].text() : kDefaultSolverId;
    m.primaryEntries = entriesFrom(d["primaryEntries"]);
    if (d.has("secondaryEntries")) m.secondaryEntries = entriesFrom(d["secondaryEntries"]);
    applyShared(sharedFrom(d, m.primaryEntries), m);
    auto list = [&](const char* key) {
        return d.has(key) ? d[key].f64Array() : std::vector<double>{0.0};
    };
    m.strainRougheningValues = list("strainRoughening");
    m.staticFrictionValues = list("staticFriction");
    m.toolWearValues = list("toolWear");
    return m;
}

std::vector<uint8_t> recordStreamOf(const Json& description) {
    switch (describedKind(description)) {
        case RecordKindName::Module: {
            const Module m = moduleFromDescription(description);
            MallocBuffer blob;
            uint64_t length = 0;
            if (!SerializeModule(m, blob, length)) throw std::bad_alloc();
            return std::vector<uint8_t>(blob.get(), blob.get() + length);
        }
        case RecordKindName::Lubricant: {
            std::vector<uint8_t> bytes =
                LubricantRecordBytes(lubricantFromDescription(description));
            if (bytes.empty()) throw DescriptionError("the Lubricant record cannot be written");
            return bytes;
        }
        case RecordKindName::Sheet: {
            std::vector<uint8_t> bytes = SheetRecordBytes(sheetFromDescription(description));
            if (bytes.empty()) throw DescriptionError("the Sheet record cannot be written");
            return bytes;
        }
    }
    throw DescriptionError("unknown record kind");
}

Json describeRecordStream(RecordKindName kind, const uint8_t* data, size_t length) {
    if (length > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        throw DescriptionError("record stream of 2 GiB or more");
    }
    ReadFault fault;
    switch (kind) {
        case RecordKindName::Module: {
            ModulePtr slot;
            if (!ReadModuleRecord(data, static_cast<int32_t>(length), slot, &fault)) {
                throw DescriptionError("module record unreadable at offset " +
                                       std::to_string(fault.offset) + ": " + fault.what);
            }
            return describeModule(*slot);
        }
        case RecordKindName::Lubricant: {
            LubricantRecord record;
            if (!ReadLubricantRecord(data, static_cast<int32_t>(length), record, &fault)) break;
            return describeLubricant(record);
        }
        case RecordKindName::Sheet: {
            SheetRecord record;
            if (!ReadSheetRecord(data, static_cast<int32_t>(length), record, &fault)) break;
            return describeSheet(record);
        }
    }
    throw DescriptionError(std::string(kindName(kind)) + " record unreadable at offset " +
                           std::to_string(fault.offset) + ": " + fault.what);
}

}  // namespace mx::tool
