// The pieces the description files share: a JSON node that knows its path
// (so every error names where it is), the numbers, identifiers and property
// lists of every record kind, the entries, ranges and other fields a module
// and a Lubricant record have in common, and the two material records' own
// descriptions. Internal to mxtool's description code.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "mxtool/description.h"
#include "records/lubricant_record.h"
#include "records/sheet_record.h"

namespace mx::tool {

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

Json f64Json(double v);
Json f64ArrayJson(const std::vector<double>& values);
std::string hexOf(const uint8_t* bytes, size_t n);
// The optional "identifier" of a description; all zero when absent.
std::array<uint8_t, 16> identifierFrom(const Node& d);
PropertyList propertiesFrom(const Node& node);

Json entriesJson(const std::vector<TableEntry>& entries);
std::vector<TableEntry> entriesFrom(const Node& node);

inline constexpr const char* kRangeNames[4] = {"pressure", "strain", "temperature", "velocity"};

// The eight range bounds of any record, minimum before maximum, in the order
// of kRangeNames.
template <typename Material>
auto rangeFields(Material& r) {
    return std::array{&r.pressureMin,    &r.pressureMax,    &r.strainMin,   &r.strainMax,
                      &r.temperatureMin, &r.temperatureMax, &r.velocityMin, &r.velocityMax};
}

Json rangesJson(const double bounds[8]);
void rangesFrom(const Node& d, double bounds[8]);

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
                    const std::vector<TableEntry>& secondary);
// Reads the shared fields; axes a description leaves out are the coordinates
// the primary entries use.
SharedFields sharedFrom(const Node& d, const std::vector<TableEntry>& primary);

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

// The "format", "revision" and "kind" that open every description.
Json header(RecordKindName kind);
void checkHeader(const Node& d);
// The optional "recordKind" (the version block's word), `fallback` when absent.
uint16_t recordKindFrom(const Node& d, uint16_t fallback);

// The two material records.
Json describeLubricant(const LubricantRecord& r);
LubricantRecord lubricantFromDescription(const Json& description);
Json describeSheet(const SheetRecord& r);
SheetRecord sheetFromDescription(const Json& description);

}  // namespace mx::tool
