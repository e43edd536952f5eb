// Names and units of the friction quantities a module can answer, and of the
// contact variables they depend on. The record formats carry no units; the
// tool labels values in the units the demo material and its documentation use
// (MPa, degrees Celsius, mm/s, micrometres, g/m^2).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mx::tool {

// One package: its exported id, the index it is stored under, what it holds.
struct PackageInfo {
    uint32_t id;
    uint32_t index;
    const char* name;  // e.g. "real contact area"
    const char* unit;  // "-" for dimensionless
};

// All twelve packages, by id.
const std::vector<PackageInfo>& packageInfos();
const PackageInfo& packageById(uint32_t id);
const PackageInfo* packageByIndex(uint32_t index);

// A quantity `eval` and `plot` can compute through the exported functions.
enum class QuantityKind {
    PackageValue,       // Morvex_GetPackageValue of `packageId`
    PackageAverage,     // Morvex_GetPackageAverage of `packageId`
    SurfaceRoughness,   // Morvex_GetSurfaceRoughness, no cap
    RealContactArea,    // Morvex_GetRealContactArea, previous 0
    HistoryParameter,   // Morvex_GetHistoryParameter, no previous
    LubricationAmount,  // Morvex_GetLubricationAmount, no cap
    SpotLubrication,    // Morvex_GetSpotLubeIndicator, no cap
    Galling,            // Morvex_GetGallingIndicator: the increment of one call, scale 1
    Wear,               // Morvex_GetWearIndicator: the increment of one call, scale 1
    Production,         // Morvex_GetProductionVolume with both limits 1
    HeatTransfer,       // Morvex_GetHeatTransferCoefficient, divisor value 0
};

struct Quantity {
    QuantityKind kind;
    uint32_t packageId;  // for PackageValue / PackageAverage; else the package read
    std::string key;     // command-line name, e.g. "friction", "package:7"
    std::string label;   // e.g. "friction coefficient"
    std::string unit;
};

// Parses a command-line quantity name: friction, roughness, contact-area,
// history, lubrication, heat-transfer, spot-lube, galling, wear, production,
// package:N, average:N (N a package id 0..11).
std::optional<Quantity> parseQuantity(const std::string& key);
// The named quantities (not package:N or average:N), in help order.
std::vector<Quantity> namedQuantities();
// The names parseQuantity accepts, for help texts.
std::string quantityKeysHelp();

// The contact and surface variables a sweep can run over.
enum class Variable {
    Pressure,
    Strain,
    Temperature,
    Velocity,
    SheetRoughness,
    LubricationAmount,
    ToolRoughness,
    State,
    DirectionCosine,
};

struct VariableInfo {
    Variable variable;
    const char* key;    // command-line name
    const char* label;  // axis label
    const char* unit;
};

const std::vector<VariableInfo>& variableInfos();
const VariableInfo& variableInfo(Variable v);
std::optional<Variable> parseVariable(const std::string& key);

// "pressure (MPa)", "friction coefficient (-)"...
std::string labelWithUnit(const std::string& label, const std::string& unit);

}  // namespace mx::tool
