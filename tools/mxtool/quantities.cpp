#include "mxtool/quantities.h"

#include <stdexcept>

namespace mx::tool {

const std::vector<PackageInfo>& packageInfos() {
    // Ids 1 and 2 have no grid in a prepared module; hosts read them only as
    // averages. Id 3 is the friction coefficient by this tool's convention: the
    // finest-gridded package, read only by number.
    static const std::vector<PackageInfo> infos = {
        {0, 5, "surface roughness", "µm"},
        {1, 4, "package 1 (average only)", "-"},
        {2, 2, "package 2 (average only)", "-"},
        {3, 1, "friction coefficient", "-"},
        {4, 0, "real contact area", "-"},
        {5, 3, "lubrication amount", "g/m²"},
        {6, 6, "heat transfer", "kW/(m²·K)"},
        {7, 7, "spot lubrication", "-"},
        {8, 8, "galling", "-"},
        {9, 9, "wear", "-"},
        {10, 10, "production (first limit)", "-"},
        {11, 11, "production (second limit)", "-"},
    };
    return infos;
}

const PackageInfo& packageById(uint32_t id) {
    if (id >= packageInfos().size()) throw std::out_of_range("package id above 11");
    return packageInfos()[id];
}

const PackageInfo* packageByIndex(uint32_t index) {
    for (const PackageInfo& p : packageInfos()) {
        if (p.index == index) return &p;
    }
    return nullptr;
}

namespace {

struct NamedQuantity {
    const char* key;
    QuantityKind kind;
    uint32_t packageId;
    const char* label;
    const char* unit;
};

const NamedQuantity kNamed[] = {
    {"friction", QuantityKind::PackageValue, 3, "friction coefficient", "-"},
    {"roughness", QuantityKind::SurfaceRoughness, 0, "surface roughness", "µm"},
    {"contact-area", QuantityKind::RealContactArea, 4, "real contact area", "-"},
    {"history", QuantityKind::HistoryParameter, 4, "history parameter", "-"},
    {"lubrication", QuantityKind::LubricationAmount, 5, "lubrication amount", "g/m²"},
    {"heat-transfer", QuantityKind::HeatTransfer, 6, "heat-transfer coefficient", "kW/(m²·K)"},
    {"spot-lube", QuantityKind::SpotLubrication, 7, "spot-lubrication indicator", "-"},
    {"galling", QuantityKind::Galling, 8, "galling increment", "-"},
    {"wear", QuantityKind::Wear, 9, "wear increment", "-"},
    {"production", QuantityKind::Production, 10, "production volume", "parts"},
};

bool parsePackageSuffix(const std::string& text, uint32_t& id) {
    if (text.empty() || text.size() > 2) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    if (v > 11) return false;
    id = v;
    return true;
}

}  // namespace

std::optional<Quantity> parseQuantity(const std::string& key) {
    for (const NamedQuantity& q : kNamed) {
        if (key == q.key) return Quantity{q.kind, q.packageId, q.key, q.label, q.unit};
    }
    for (const auto& [prefix, kind] : {std::pair{"package:", QuantityKind::PackageValue},
                                       std::pair{"average:", QuantityKind::PackageAverage}}) {
        const std::string p = prefix;
        uint32_t id;
        if (key.rfind(p, 0) == 0 && parsePackageSuffix(key.substr(p.size()), id)) {
            const PackageInfo& info = packageById(id);
            std::string label = info.name;
            if (kind == QuantityKind::PackageAverage) label += " (average)";
            return Quantity{kind, id, key, label, info.unit};
        }
    }
    return std::nullopt;
}

std::vector<Quantity> namedQuantities() {
    std::vector<Quantity> out;
    for (const NamedQuantity& q : kNamed)
        out.push_back(Quantity{q.kind, q.packageId, q.key, q.label, q.unit});
    return out;
}

std::string quantityKeysHelp() {
    std::string keys;
    for (const NamedQuantity& q : kNamed) {
        keys += q.key;
        keys += ", ";
    }
    return keys + "package:N, average:N (N = package id 0..11)";
}

const std::vector<VariableInfo>& variableInfos() {
    static const std::vector<VariableInfo> infos = {
        {Variable::Pressure, "pressure", "contact pressure", "MPa"},
        {Variable::Strain, "strain", "strain", "-"},
        {Variable::Temperature, "temperature", "temperature", "°C"},
        {Variable::Velocity, "velocity", "sliding velocity", "mm/s"},
        {Variable::SheetRoughness, "sheet-roughness", "sheet roughness", "µm"},
        {Variable::LubricationAmount, "lubrication", "lubrication amount", "g/m²"},
        {Variable::ToolRoughness, "tool-roughness", "tool roughness", "µm"},
        {Variable::State, "state", "state coordinate", "-"},
        {Variable::DirectionCosine, "direction", "direction cosine", "-"},
    };
    return infos;
}

const VariableInfo& variableInfo(Variable v) {
    for (const VariableInfo& info : variableInfos()) {
        if (info.variable == v) return info;
    }
    throw std::logic_error("unknown variable");
}

std::optional<Variable> parseVariable(const std::string& key) {
    for (const VariableInfo& info : variableInfos()) {
        if (key == info.key) return info.variable;
    }
    return std::nullopt;
}

std::string labelWithUnit(const std::string& label, const std::string& unit) {
    return label + " (" + unit + ")";
}

}  // namespace mx::tool
