#include "module/diagnose.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "module/finalize.h"

namespace mx {

namespace {

constexpr size_t kExamples = 3;  // examples named per aggregated fault
constexpr size_t kHeatTransferIndex = 6;

// The package id stored under each package index (the fixed numbering hosts use).
std::string packageName(size_t index) {
    static const int idOfIndex[12] = {4, 3, 2, 5, 1, 0, 6, 7, 8, 9, 10, 11};
    if (index < 12) {
        return "package " + std::to_string(idOfIndex[index]) + " (index " + std::to_string(index) +
               ")";
    }
    return "package index " + std::to_string(index);
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    // Shortest of %g forms that reads back to the same value.
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, v);
        if (std::strtod(text, nullptr) == v || v != v) break;
    }
    return text;
}

struct Collector {
    std::vector<DataFault> faults;
    void add(DataFaultKind kind, std::string message) {
        faults.push_back({kind, std::move(message)});
    }
};

const char* const kRangeNames[4] = {"pressure", "strain", "temperature", "velocity"};

void diagnoseRanges(const Module& m, Collector& out) {
    const double ranges[4][2] = {{m.pressureMin, m.pressureMax},
                                 {m.strainMin, m.strainMax},
                                 {m.temperatureMin, m.temperatureMax},
                                 {m.velocityMin, m.velocityMax}};
    for (int d = 0; d < 4; ++d) {
        const double lo = ranges[d][0], hi = ranges[d][1];
        if (!std::isfinite(lo) || !std::isfinite(hi)) {
            out.add(DataFaultKind::NonFiniteValue, std::string("the ") + kRangeNames[d] +
                                                       " range " + number(lo) + " to " +
                                                       number(hi) + " is not finite");
        } else if (!(hi > lo)) {
            out.add(DataFaultKind::EmptyRange,
                    std::string("the ") + kRangeNames[d] + " range " + number(lo) + " to " +
                        number(hi) +
                        " has no width: grid spacings become 0 or negative and evaluations "
                        "divide by them");
        }
    }
    const double nominal[3] = {m.nominalSheetRoughness, m.nominalLubricationAmount,
                               m.nominalToolRoughness};
    const char* nominalNames[3] = {"sheet roughness", "lubrication amount", "tool roughness"};
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(nominal[i])) {
            out.add(DataFaultKind::NonFiniteValue,
                    std::string("the nominal ") + nominalNames[i] + " is " + number(nominal[i]));
        }
    }
}

struct AxisRef {
    const char* name;
    const std::vector<double>* values;
    double TableEntry::*coordinate;
};

std::vector<AxisRef> axesOf(const Module& m) {
    return {{"sheet roughness", &m.sheetRoughnessValues, &TableEntry::sheetRoughness},
            {"lubrication amount", &m.lubricationAmountValues, &TableEntry::lubricationAmount},
            {"tool roughness", &m.toolRoughnessValues, &TableEntry::toolRoughness},
            {"state", &m.stateAxis, &TableEntry::stateValue}};
}

void diagnoseAxes(const Module& m, Collector& out) {
    for (const AxisRef& axis : axesOf(m)) {
        if (axis.values->empty()) {
            out.add(DataFaultKind::EmptyAxis,
                    std::string("the ") + axis.name +
                        " axis holds no value: no table cell exists and every evaluation fails");
        }
        for (double v : *axis.values) {
            if (!std::isfinite(v)) {
                out.add(DataFaultKind::NonFiniteValue, std::string("the ") + axis.name +
                                                           " axis holds " + number(v) +
                                                           ", which no coordinate can match");
                break;
            }
        }
    }
}

bool onAxis(const std::vector<double>& axis, double v) {
    for (double a : axis) {
        if (a == v) return true;
    }
    return false;
}

std::string coordinatesOf(const TableEntry& e) {
    return "sheet roughness " + number(e.sheetRoughness) + ", lubrication amount " +
           number(e.lubricationAmount) + ", tool roughness " + number(e.toolRoughness) +
           ", state " + number(e.stateValue);
}

void diagnoseEntryPlacement(const Module& m, const std::vector<TableEntry>& entries,
                            const char* set, Collector& out) {
    std::map<std::array<double, 4>, size_t> firstAt;
    for (size_t e = 0; e < entries.size(); ++e) {
        const TableEntry& entry = entries[e];
        std::string offAxes;
        for (const AxisRef& axis : axesOf(m)) {
            if (!onAxis(*axis.values, entry.*axis.coordinate)) {
                offAxes += std::string(offAxes.empty() ? "" : ", ") + axis.name + " " +
                           number(entry.*axis.coordinate);
            }
        }
        const std::string where = std::string(set) + " entry " + std::to_string(e);
        if (!offAxes.empty()) {
            out.add(DataFaultKind::EntryOffAxes,
                    where + " is in no table cell: " + offAxes + " not on the axis");
            continue;
        }
        const std::array<double, 4> key = {entry.sheetRoughness, entry.lubricationAmount,
                                           entry.toolRoughness, entry.stateValue};
        const auto [found, inserted] = firstAt.emplace(key, e);
        if (!inserted) {
            out.add(DataFaultKind::DuplicateEntry, where + " has the coordinates of " + set +
                                                       " entry " + std::to_string(found->second) +
                                                       " (" + coordinatesOf(entry) +
                                                       "): the table keeps only the later one");
        }
    }
}

void diagnoseCells(const Module& m, const EntryTable& table, const std::vector<TableEntry>& entries,
                   const char* set, Collector& out) {
    if (entries.empty()) return;
    const size_t counts[4] = {m.sheetRoughnessValues.size(), m.lubricationAmountValues.size(),
                              m.toolRoughnessValues.size(), m.stateAxis.size()};
    size_t unmatched = 0;
    std::string examples;
    for (size_t i = 0; i < counts[0]; ++i)
        for (size_t j = 0; j < counts[1]; ++j)
            for (size_t k = 0; k < counts[2]; ++k)
                for (size_t l = 0; l < counts[3]; ++l) {
                    if (cellEntry(m, table, entries, i, j, k, l) != nullptr) continue;
                    if (++unmatched <= kExamples) {
                        examples += std::string(examples.empty() ? "" : "; ") + "sheet roughness " +
                                    number(m.sheetRoughnessValues[i]) + ", lubrication amount " +
                                    number(m.lubricationAmountValues[j]) + ", tool roughness " +
                                    number(m.toolRoughnessValues[k]) + ", state " +
                                    number(m.stateAxis[l]);
                    }
                }
    if (unmatched == 0) return;
    out.add(DataFaultKind::UnmatchedCell,
            std::to_string(unmatched) + " cell" + (unmatched == 1 ? "" : "s") + " of the " + set +
                " table match no entry, so evaluations near them fail (" + examples +
                (unmatched > kExamples ? "; ..." : "") + ")");
}

bool isCentreCount(size_t n) {
    for (size_t c : {625, 1000, 1296, 2401, 4096, 6561, 10000}) {
        if (n == c) return true;
    }
    return false;
}

size_t countNonFinite(const std::vector<double>& values) {
    size_t n = 0;
    for (double v : values)
        n += std::isfinite(v) ? 0 : 1;
    return n;
}

void diagnosePackages(const std::vector<TableEntry>& entries, const char* set, Collector& out) {
    if (entries.empty()) return;
    const TableEntry& first = entries.front();
    for (size_t e = 0; e < entries.size(); ++e) {
        const TableEntry& entry = entries[e];
        const std::string where = std::string(set) + " entry " + std::to_string(e);
        if (entry.packageData.size() != first.packageData.size()) {
            out.add(DataFaultKind::PackageLayout,
                    where + " holds " + std::to_string(entry.packageData.size()) +
                        " packages where the first entry, which decides availability, holds " +
                        std::to_string(first.packageData.size()));
        }
        for (size_t p = 0; p < entry.packageData.size(); ++p) {
            const PackageData& pd = entry.packageData[p];
            const std::string at = where + ", " + packageName(p);
            const bool declared = p < first.packageData.size() &&
                                  static_cast<int64_t>(first.packageData[p].gridPointCount) > 0;
            const bool present = static_cast<int64_t>(pd.gridPointCount) > 0;
            if (declared && !present) {
                out.add(DataFaultKind::PackageLayout,
                        at + " has no data (grid point count 0) although the first entry makes "
                             "the package available: evaluations reaching this entry fail");
            }
            if (!present) continue;
            const size_t badScales = countNonFinite(pd.scales),
                         badWeights = countNonFinite(pd.weights);
            if (badScales + badWeights > 0 || !std::isfinite(pd.shape) ||
                !std::isfinite(pd.offset)) {
                out.add(DataFaultKind::NonFiniteValue,
                        at + " has non-finite numbers (" + std::to_string(badWeights) + " of " +
                            std::to_string(pd.weights.size()) + " weights, " +
                            std::to_string(badScales) + " scales, shape " + number(pd.shape) +
                            ", offset " + number(pd.offset) + ")");
            }
            if (pd.shape < 0) {
                out.add(DataFaultKind::NegativeShape,
                        at + " has shape " + number(pd.shape) +
                            ": square roots of negative numbers near the centres give NaN");
            }
            if (p == 2 || p == 4) continue;  // never sampled on a grid
            if (!isCentreCount(pd.weights.size())) {
                out.add(DataFaultKind::UnpreparableModel,
                        at + " has " + std::to_string(pd.weights.size()) +
                            " centres; preparation needs 625, 1000, 1296, 2401, 4096, 6561 or "
                            "10000");
            }
            if (pd.scales.size() < 4) {
                out.add(DataFaultKind::UnpreparableModel,
                        at + " has " + std::to_string(pd.scales.size()) +
                            " scale factors; the model needs four");
            }
            if (pd.gridPointCount < 2 || pd.gridPointCount > kMaxGridPointCount) {
                out.add(DataFaultKind::UnpreparableModel,
                        at + " has a grid of " + std::to_string(pd.gridPointCount) +
                            " points per axis; preparation takes 1 to 215, evaluation needs 2 "
                            "or more");
            }
        }
    }
}

void diagnoseDirections(const Module& m, Collector& out) {
    if (m.directionDependency == 0) return;
    const size_t count = std::max(m.packageTable.size(), m.transversePackageTable.size());
    for (size_t p = 0; p < count; ++p) {
        const bool sliding = p < m.packageTable.size() && m.packageTable[p] != 0;
        const bool transverse =
            p < m.transversePackageTable.size() && m.transversePackageTable[p] != 0;
        if (sliding == transverse) continue;
        out.add(DataFaultKind::OneDirectionPackage,
                packageName(p) + " has data in the " + (sliding ? "sliding" : "transverse") +
                    " direction only: a direction-dependent module reports it unavailable");
    }
}

void diagnoseCurves(const Module& m, const std::vector<TableEntry>& entries, const char* set,
                    Collector& out) {
    for (size_t e = 0; e < entries.size(); ++e) {
        const TableEntry& entry = entries[e];
        const std::string where = std::string(set) + " entry " + std::to_string(e);
        for (size_t c = 0; c < entry.curves.size(); ++c) {
            const HeatTransferCurve& curve = entry.curves[c];
            const size_t bad = countNonFinite(curve.divisors) + countNonFinite(curve.numerators) +
                               countNonFinite(curve.offsets);
            if (bad > 0) {
                out.add(DataFaultKind::NonFiniteValue,
                        where + ", heat-transfer curve " + std::to_string(c) + " has " +
                            std::to_string(bad) + " non-finite samples");
            }
        }
        if (m.heatTransferStatus == 0) continue;
        if (entry.curves.empty()) {
            out.add(DataFaultKind::MissingCurve,
                    where +
                        " has no heat-transfer curve although the module models heat "
                        "transfer");
            continue;
        }
        const HeatTransferCurve& curve = entry.curves.front();
        const size_t samples = curve.numerators.size();
        if (curve.divisors.size() < samples || curve.offsets.size() < samples) {
            out.add(DataFaultKind::CurveShorterThanGrid,
                    where + ", heat-transfer curve 0 has " + std::to_string(samples) +
                        " numerators but " + std::to_string(curve.divisors.size()) +
                        " divisors and " + std::to_string(curve.offsets.size()) + " offsets");
        }
        if (entry.packageData.size() <= kHeatTransferIndex) continue;
        const uint64_t grid = entry.packageData[kHeatTransferIndex].gridPointCount;
        const size_t shortest =
            std::min({curve.divisors.size(), curve.numerators.size(), curve.offsets.size()});
        if (static_cast<int64_t>(grid) > 0 && shortest < grid) {
            out.add(DataFaultKind::CurveShorterThanGrid,
                    where + ", heat-transfer curve 0 has " + std::to_string(shortest) +
                        " samples, fewer than the " + std::to_string(grid) +
                        " temperature grid points of package 6");
        }
    }
}

void diagnoseHeatTransfer(const Module& m, Collector& out) {
    if (m.heatTransferStatus == 0 || m.primaryEntries.empty()) return;
    const bool available =
        m.packageTable.size() > kHeatTransferIndex && m.packageTable[kHeatTransferIndex] != 0;
    if (!available) {
        out.add(DataFaultKind::HeatTransferPackageMissing,
                "the module models heat transfer but has no package 6: the coefficient fails "
                "at contact pressures at or above the minimum and preparation cannot limit the "
                "curves");
    }
}

}  // namespace

const char* DataFaultKindName(DataFaultKind kind) {
    switch (kind) {
        case DataFaultKind::NonFiniteValue:
            return "non-finite-value";
        case DataFaultKind::EmptyRange:
            return "empty-range";
        case DataFaultKind::EmptyAxis:
            return "empty-axis";
        case DataFaultKind::NoEntries:
            return "no-entries";
        case DataFaultKind::EntryOffAxes:
            return "entry-off-axes";
        case DataFaultKind::DuplicateEntry:
            return "duplicate-entry";
        case DataFaultKind::UnmatchedCell:
            return "unmatched-cell";
        case DataFaultKind::PackageLayout:
            return "package-layout";
        case DataFaultKind::UnpreparableModel:
            return "unpreparable-model";
        case DataFaultKind::NegativeShape:
            return "negative-shape";
        case DataFaultKind::OneDirectionPackage:
            return "one-direction-package";
        case DataFaultKind::MissingCurve:
            return "missing-curve";
        case DataFaultKind::CurveShorterThanGrid:
            return "curve-shorter-than-grid";
        case DataFaultKind::HeatTransferPackageMissing:
            return "heat-transfer-package-missing";
    }
    return "?";
}

std::vector<DataFault> DiagnoseModule(const Module& m) {
    Collector out;
    diagnoseRanges(m, out);
    diagnoseAxes(m, out);
    if (m.primaryEntries.empty()) {
        out.add(DataFaultKind::NoEntries,
                "the module has no primary entries: every package is unavailable");
    }
    diagnoseEntryPlacement(m, m.primaryEntries, "primary", out);
    diagnoseCells(m, m.primaryTable, m.primaryEntries, "primary", out);
    diagnosePackages(m.primaryEntries, "primary", out);
    diagnoseCurves(m, m.primaryEntries, "primary", out);
    // The secondary data matters only where evaluations consult it.
    if (m.directionDependency != 0) {
        diagnoseEntryPlacement(m, m.secondaryEntries, "secondary", out);
        diagnoseCells(m, m.secondaryTable, m.secondaryEntries, "secondary", out);
        diagnosePackages(m.secondaryEntries, "secondary", out);
        diagnoseCurves(m, m.secondaryEntries, "secondary", out);
        diagnoseDirections(m, out);
    }
    diagnoseHeatTransfer(m, out);
    return std::move(out.faults);
}

}  // namespace mx
