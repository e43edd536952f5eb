// Descriptions of the two material records a data file carries: the
// Lubricant record (the shared fields and its entries) and the Sheet record
// (ranges with their counts, flags, and groups of fitted items per
// lubrication amount).
#include "mxtool/description_parts.h"
#include "mxtool/quantities.h"

namespace mx::tool {

Json describeLubricant(const LubricantRecord& r) {
    Json out = header(RecordKindName::Lubricant);
    out["identifier"] = hexOf(r.identifier.data(), r.identifier.size());
    out["name"] = utf8FromText(r.name);
    out["recordKind"] = r.formatVersion;
    const SharedFields f = sharedOf(r);
    describeShared(out, f, Json::object(), r.primaryEntries, r.secondaryEntries);
    return out;
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

namespace {

// The package an item at `position` of its group becomes: position k of each
// six carries package id (k + 1) mod 6; the second six of a group of twelve
// are the transverse models.
std::string sheetItemQuantity(size_t position) {
    const auto id = static_cast<uint32_t>((position % 6 + 1) % 6);
    return std::string(packageById(id).name) + " (id " + std::to_string(id) + ")" +
           (position >= 6 ? ", transverse" : "");
}

}  // namespace

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

}  // namespace mx::tool
