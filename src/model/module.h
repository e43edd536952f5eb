// The in-memory friction module and the records it owns.
//
// Every persisted field mirrors one item of the module record; the derived
// fields (tables, package flags, grid spacing, grids) are rebuilt by
// finalization and solver preparation. Owners are standard containers, so a
// module abandoned half-way through a read releases itself completely.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mxplugin/mxplugin.h"

namespace mx {

using InputRecord = ::MorvexInputRecord;
using Property = ::MorvexProperty;
using Text = std::u16string;

// What a string is in the record format: the units before its first zero
// unit. A string read from a stream keeps every unit it carried, but writers
// and comparisons take only this part, so a zero byte inside a string ends it
// everywhere alike.
inline std::u16string_view untilZero(const Text& s) {
    return std::u16string_view(s.c_str());
}

// One friction quantity at one data point: a multiquadric model over the
// normalized pressure, strain, temperature and velocity, plus its grid.
struct PackageData {
    std::vector<double> scales;      // per-axis scale factors; the model uses the first four
    std::vector<double> weights;     // one per centre; the count names the centre grid
    double shape = 0.0;              // added under every square root
    double offset = 0.0;             // added to the weighted sum
    uint64_t factor = 0;             // taken as signed, multiplies every grid value
    uint64_t gridPointCount = 0;     // points per axis; 0: no data here
    std::vector<double> gridValues;  // gridPointCount^4, first axis fastest
    std::array<double, 4> gridSpacing{0, 0, 0, 0};  // set by finalization
};

// Temperature samples numerator / divisor + offset over the temperature range.
struct HeatTransferCurve {
    std::vector<double> divisors;
    std::vector<double> numerators;
    std::vector<double> offsets;
};

// One data point of the four-dimensional condition table.
struct TableEntry {
    std::vector<PackageData> packageData;  // indexed by package index
    std::vector<HeatTransferCurve> curves;
    double stateValue = 0.0;
    double sheetRoughness = 0.0;
    double lubricationAmount = 0.0;
    double toolRoughness = 0.0;
};

struct PropertyList;
// Points each view element at its key and value; call after filling the list.
void refreshView(PropertyList& list);

// Owned key/value pairs plus the C view the property getters hand out. A move
// keeps the strings where they are; a copy rebuilds its view over its own strings.
struct PropertyList {
    std::vector<Text> keys;
    std::vector<Text> values;
    std::vector<Property> view;  // points into keys/values

    PropertyList() = default;
    PropertyList(PropertyList&&) noexcept = default;
    PropertyList& operator=(PropertyList&&) noexcept = default;
    PropertyList(const PropertyList& other) : keys(other.keys), values(other.values) {
        refreshView(*this);
    }
    PropertyList& operator=(const PropertyList& other) {
        if (this != &other) {
            keys = other.keys;
            values = other.values;
            refreshView(*this);
        }
        return *this;
    }
};

// Regular point sets by grid key, built once per preparation run.
struct GridCache {
    std::vector<std::unique_ptr<std::vector<double>>> grids;  // four coordinates a point
    std::vector<int64_t> keys;
};

// Largest grid point count a model may have: a grid of n^4 values is counted
// in a signed 32-bit integer, and 215^4 is the largest fourth power that fits.
constexpr uint64_t kMaxGridPointCount = 215;

// Cell value of a table cell that no entry matches.
constexpr int32_t kNoEntry = -1;

// The four-level condition table, flattened: cell [i][j][k][l] (sheet
// roughness, lubrication amount, tool roughness, state index) holds the index
// of the entry on those axis values, or kNoEntry. An empty cell vector means
// the table has no entries at all.
struct EntryTable {
    std::vector<int32_t> cells;
};

// Grid pointers of one package over the table cells of one data set, set by
// solver preparation only once every cell has proved to hold a grid of n^4
// values with the same n and bitwise the same spacing, so that evaluation
// reads cells without a check. No grids: the general path decides.
struct PackageView {
    std::vector<const double*> grids;  // by table cell index
    int32_t n = 0;
    std::array<double, 4> spacing{};
};

// What evaluation reads of one data set, by package index: grid views, the
// constant terms of the cells at state index 0 (one per sheet roughness x
// lubrication x tool roughness cell; empty when a cell lacks them), and the
// first heat-transfer curve of every cell with the temperature grid they are
// sampled on (empty unless every cell has one over the same grid).
struct DataSetView {
    std::array<PackageView, 12> packages;
    std::array<std::vector<double>, 12> averages;
    std::vector<const HeatTransferCurve*> curves;
    int32_t curvePoints = 0;
    double curveSpacing = 0.0;
};

// Evaluation views of both data sets and what preparation proved of the
// transverse one: a package whose transverse grids are bitwise the primary
// grids (or constant terms, for averages) gives bitwise the primary value, so
// it is evaluated once. The views point into the module's own entries: a copy
// starts without views and takes the general path until prepared again.
struct EvaluationViews {
    std::array<DataSetView, 2> sets;
    std::array<bool, 12> transverseUsable{};     // transverse view valid, same n and spacing
    std::array<bool, 12> transverseGridEqual{};  // and its grids bitwise the primary ones
    std::array<bool, 12> transverseAverageEqual{};

    EvaluationViews() = default;
    EvaluationViews(EvaluationViews&&) noexcept = default;
    EvaluationViews& operator=(EvaluationViews&&) noexcept = default;
    EvaluationViews(const EvaluationViews&) {}
    EvaluationViews& operator=(const EvaluationViews&) {
        *this = EvaluationViews{};
        return *this;
    }
};

}  // namespace mx

struct MorvexModule {
    mx::Text name;
    uint16_t formatVersion = 0;
    std::array<uint8_t, 16> identifier{};
    mx::Text text1;
    mx::Text text2;
    mx::Text solverId;
    double pressureMin = 0.0, pressureMax = 0.0;
    double strainMin = 0.0, strainMax = 0.0;
    double temperatureMin = 0.0, temperatureMax = 0.0;
    double velocityMin = 0.0, velocityMax = 0.0;
    std::vector<mx::TableEntry> primaryEntries;
    std::vector<mx::TableEntry> secondaryEntries;
    double nominalSheetRoughness = 0.0;
    double nominalLubricationAmount = 0.0;
    double nominalToolRoughness = 0.0;
    std::vector<double> strainRougheningValues;
    std::vector<double> staticFrictionValues;
    std::vector<double> toolWearValues;
    std::vector<uint32_t> packageTable;            // availability per package index, primary
    std::vector<uint32_t> transversePackageTable;  // the same for the secondary data
    mx::EntryTable primaryTable;
    mx::EntryTable secondaryTable;
    std::vector<double> stateAxis;
    std::vector<double> sheetRoughnessValues;
    std::vector<double> lubricationAmountValues;
    std::vector<double> toolRoughnessValues;
    uint64_t directionDependency = 0;
    uint64_t heatTransferStatus = 0;
    mx::PropertyList workpieceProperties;
    mx::PropertyList lubricantProperties;
    mx::PropertyList toolingProperties;
    mx::EvaluationViews views;  // built by solver preparation
};

namespace mx {

using Module = ::MorvexModule;
using ModulePtr = std::unique_ptr<Module>;

// The solver id a module gets when its source supplies none: the digit 2.
inline const Text kDefaultSolverId = u"2";
inline const Text kVersionBlockName = u"VersionBlk";

// Cell index of [i][j][k][l] in a table over the module's current axes.
inline size_t cellIndex(const Module& m, size_t i, size_t j, size_t k, size_t l) {
    return ((i * m.lubricationAmountValues.size() + j) * m.toolRoughnessValues.size() + k) *
               m.stateAxis.size() +
           l;
}

}  // namespace mx
