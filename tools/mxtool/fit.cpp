#include "mxtool/fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include <Eigen/Dense>

#include "mxtool/commands.h"
#include "mxtool/description.h"
#include "mxtool/io.h"
#include "mxtool/json_layout.h"
#include "mxtool/progress.h"
#include "solver/grid.h"
#include "solver/multiquadric.h"

namespace mx::tool {

namespace {

const char* const kVariableColumns[4] = {"pressure", "strain", "temperature", "velocity"};

// Fields separated by commas or semicolons (blanks around them trimmed), or
// else by runs of blanks.
std::vector<std::string> splitFields(const std::string& line) {
    const bool delimited = line.find_first_of(",;") != std::string::npos;
    std::vector<std::string> fields;
    std::string field;
    auto finish = [&] {
        const size_t first = field.find_first_not_of(" \t\r");
        const size_t last = field.find_last_not_of(" \t\r");
        fields.push_back(first == std::string::npos ? "" : field.substr(first, last - first + 1));
        field.clear();
    };
    for (char c : line) {
        const bool separator = delimited ? (c == ',' || c == ';') : (c == ' ' || c == '\t');
        if (!separator) {
            field += c;
        } else if (delimited || field.find_first_not_of(" \t\r") != std::string::npos) {
            finish();
        } else {
            field.clear();
        }
    }
    if (delimited || field.find_first_not_of(" \t\r") != std::string::npos) finish();
    if (fields.size() == 1 && fields[0].empty()) fields.clear();
    return fields;
}

double parseNumber(const std::string& text, size_t line) {
    try {
        size_t used = 0;
        const double v = std::stod(text, &used);
        if (used == text.size() && std::isfinite(v)) return v;
    } catch (const std::exception&) {
    }
    throw ToolError("table line " + std::to_string(line) + ": \"" + text + "\" is not a number");
}

// Points per axis of every centre count the solver can prepare.
struct CentreGrid {
    uint64_t count;
    std::array<uint32_t, 4> grid;
};
const CentreGrid kCentreGrids[] = {
    {625, {5, 5, 5, 5}},  {1000, {8, 5, 5, 5}}, {1296, {6, 6, 6, 6}},      {2401, {7, 7, 7, 7}},
    {4096, {8, 8, 8, 8}}, {6561, {9, 9, 9, 9}}, {10000, {10, 10, 10, 10}},
};

std::string gridText(const std::array<uint32_t, 4>& grid) {
    return std::to_string(grid[0]) + "x" + std::to_string(grid[1]) + "x" + std::to_string(grid[2]) +
           "x" + std::to_string(grid[3]);
}

std::vector<double> distinctSorted(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

// The centre grid whose per-axis counts agree with the varying axes.
std::array<uint32_t, 4> chooseGrid(const std::array<size_t, 4>& distinct,
                                   const std::array<bool, 4>& varies,
                                   const std::optional<uint64_t>& centreCount) {
    for (const CentreGrid& g : kCentreGrids) {
        if (centreCount && *centreCount != g.count) continue;
        bool fits = true;
        for (int d = 0; d < 4; ++d)
            fits = fits && (!varies[d] || distinct[d] == g.grid[d]);
        if (fits) return g.grid;
    }
    std::string counts;
    for (int d = 0; d < 4; ++d) {
        counts += std::string(d ? ", " : "") + kVariableColumns[d] + " " +
                  (varies[d] ? std::to_string(distinct[d]) : std::string("constant"));
    }
    throw ToolError("the table's points (" + counts +
                    ") form none of the centre grids 5x5x5x5 (625), 8x5x5x5 (1000), 6^4, 7^4, "
                    "8^4, 9^4, 10^4" +
                    (centreCount ? " with " + std::to_string(*centreCount) + " centres" : ""));
}

}  // namespace

FitTable parseFitTable(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    size_t lineNumber = 0;
    int columnOf[5] = {-1, -1, -1, -1, -1};  // the four variables, then the value
    size_t width = 0;
    bool haveHeader = false;
    FitTable table;
    while (std::getline(in, line)) {
        ++lineNumber;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        const std::vector<std::string> fields = splitFields(line);
        if (fields.empty()) continue;
        if (!haveHeader) {
            for (size_t i = 0; i < fields.size(); ++i) {
                bool known = false;
                for (int c = 0; c < 5; ++c) {
                    const char* name = c < 4 ? kVariableColumns[c] : "value";
                    if (fields[i] != name) continue;
                    if (columnOf[c] >= 0)
                        throw ToolError("table header names " + fields[i] + " twice");
                    columnOf[c] = static_cast<int>(i);
                    known = true;
                }
                if (!known) {
                    throw ToolError("table header: unknown column \"" + fields[i] +
                                    "\" (expected pressure, strain, temperature, velocity, value)");
                }
            }
            if (columnOf[4] < 0) throw ToolError("table header has no \"value\" column");
            width = fields.size();
            haveHeader = true;
            continue;
        }
        if (fields.size() != width) {
            throw ToolError("table line " + std::to_string(lineNumber) + ": " +
                            std::to_string(fields.size()) + " fields, the header has " +
                            std::to_string(width));
        }
        for (int c = 0; c < 4; ++c) {
            if (columnOf[c] >= 0) {
                table.columns[c].push_back(
                    parseNumber(fields[static_cast<size_t>(columnOf[c])], lineNumber));
            }
        }
        table.values.push_back(parseNumber(fields[static_cast<size_t>(columnOf[4])], lineNumber));
    }
    if (!haveHeader || table.values.empty()) throw ToolError("the table has no rows");
    return table;
}

std::optional<std::array<uint32_t, 4>> centreGridOf(uint64_t centreCount) {
    int64_t key = 0;
    if (!CentreGridKey(static_cast<int64_t>(centreCount), key)) return std::nullopt;
    const std::array<int32_t, 4> dims = GridDimensions(key);
    return std::array<uint32_t, 4>{static_cast<uint32_t>(dims[0]), static_cast<uint32_t>(dims[1]),
                                   static_cast<uint32_t>(dims[2]), static_cast<uint32_t>(dims[3])};
}

std::vector<double> centrePoints(const std::array<uint32_t, 4>& grid) {
    // The solver's own grid: the centres a prepared model is evaluated against.
    const uint64_t count = uint64_t{grid[0]} * grid[1] * grid[2] * grid[3];
    int64_t key = 0;
    if (!CentreGridKey(static_cast<int64_t>(count), key) || centreGridOf(count) != grid) {
        throw ToolError("no centre grid " + gridText(grid));
    }
    return BuildGridPoints(key);
}

double evaluateModel(const PackageData& model, const std::vector<double>& centres,
                     const double x[4]) {
    return EvaluateMultiquadric(model, centres.data(), x);
}

FitResult fitValuesAtCentres(const std::vector<double>& values, const std::array<uint32_t, 4>& grid,
                             const FitOptions& options) {
    const std::vector<double> centres = centrePoints(grid);
    const size_t n = centres.size() / 4;
    if (values.size() != n) {
        throw ToolError(std::to_string(values.size()) + " values for " + std::to_string(n) +
                        " centres");
    }
    if (!(options.shape > 0.0) || !std::isfinite(options.shape)) {
        throw ToolError("the shape parameter must be a positive number");
    }
    for (double s : options.scales) {
        if (!std::isfinite(s) || s == 0.0) throw ToolError("scale factors must be finite, not 0");
    }
    FitResult result;
    result.centreGrid = grid;
    PackageData& pd = result.package;
    pd.scales.assign(options.scales.begin(), options.scales.end());
    pd.shape = options.shape;
    pd.factor = static_cast<uint64_t>(options.factor);
    pd.gridPointCount = options.gridPointCount;
    double sum = 0.0;
    for (double v : values) {
        sum += v;
        result.largestValue = std::max(result.largestValue, std::abs(v));
    }
    pd.offset = sum / static_cast<double>(n);

    Eigen::MatrixXd a(n, n);
    Eigen::VectorXd b(n);
    for (size_t j = 0; j < n; ++j) {
        const double* x = &centres[j * 4];
        for (size_t i = 0; i < n; ++i) {
            const double* z = &centres[i * 4];
            const double d0 = (z[0] - x[0]) * pd.scales[0];
            const double d1 = (z[1] - x[1]) * pd.scales[1];
            const double d2 = (z[2] - x[2]) * pd.scales[2];
            const double d3 = (z[3] - x[3]) * pd.scales[3];
            a(static_cast<Eigen::Index>(j), static_cast<Eigen::Index>(i)) =
                std::sqrt(((((0.0 + d0 * d0) + d1 * d1) + d2 * d2) + d3 * d3) + pd.shape);
        }
        b(static_cast<Eigen::Index>(j)) = values[j] - pd.offset;
    }
    const Eigen::PartialPivLU<Eigen::MatrixXd> lu(a);
    Eigen::VectorXd w = lu.solve(b);
    // One step of iterative refinement recovers most of what the
    // factorization's rounding lost.
    const Eigen::VectorXd residual = b - a * w;
    w += lu.solve(residual);
    result.reciprocalCondition = lu.rcond();
    pd.weights.assign(w.data(), w.data() + n);
    for (double weight : pd.weights) {
        if (!std::isfinite(weight)) {
            throw ToolError("the interpolation system is singular for these scales and shape");
        }
    }
    for (size_t j = 0; j < n; ++j) {
        const double deviation = std::abs(evaluateModel(pd, centres, &centres[j * 4]) - values[j]);
        result.largestDeviation = std::max(result.largestDeviation, deviation);
    }
    return result;
}

FitResult fitTable(const FitTable& table, const FitOptions& options) {
    std::array<std::vector<double>, 4> axes;
    std::array<size_t, 4> distinct{};
    std::array<bool, 4> varies{};
    for (int d = 0; d < 4; ++d) {
        axes[d] = distinctSorted(table.columns[d]);
        distinct[d] = axes[d].size();
        varies[d] = distinct[d] > 1;
    }
    std::optional<uint64_t> count = options.centreCount;
    const std::array<uint32_t, 4> grid = chooseGrid(distinct, varies, count);
    std::array<std::optional<std::array<double, 2>>, 4> ranges;
    for (int d = 0; d < 4; ++d) {
        if (!varies[d]) continue;
        const double lo = axes[d].front(), hi = axes[d].back();
        const double tolerance = 1e-9 * std::max({std::abs(lo), std::abs(hi), hi - lo});
        for (size_t i = 0; i < axes[d].size(); ++i) {
            const double expected =
                lo + (hi - lo) * static_cast<double>(i) / (axes[d].size() - 1.0);
            if (std::abs(axes[d][i] - expected) > tolerance) {
                throw ToolError(std::string(kVariableColumns[d]) +
                                " values are not evenly spaced (" + std::to_string(axes[d][i]) +
                                " where " + std::to_string(expected) + " belongs)");
            }
        }
        ranges[d] = std::array<double, 2>{lo, hi};
    }
    const size_t n = size_t{grid[0]} * grid[1] * grid[2] * grid[3];
    std::vector<double> values(n);
    std::vector<uint8_t> filled(n, 0);
    for (size_t row = 0; row < table.values.size(); ++row) {
        // A row stands for every grid point of the axes its table keeps constant.
        std::array<std::vector<uint32_t>, 4> at;
        for (int d = 0; d < 4; ++d) {
            if (varies[d]) {
                const auto found =
                    std::lower_bound(axes[d].begin(), axes[d].end(), table.columns[d][row]);
                at[d] = {static_cast<uint32_t>(found - axes[d].begin())};
            } else {
                for (uint32_t i = 0; i < grid[d]; ++i)
                    at[d].push_back(i);
            }
        }
        for (uint32_t i0 : at[0])
            for (uint32_t i1 : at[1])
                for (uint32_t i2 : at[2])
                    for (uint32_t i3 : at[3]) {
                        const size_t p =
                            i0 +
                            size_t{grid[0]} * (i1 + size_t{grid[1]} * (i2 + size_t{grid[2]} * i3));
                        if (filled[p]) {
                            throw ToolError("table row " + std::to_string(row + 1) +
                                            " repeats a point an earlier row gave");
                        }
                        filled[p] = 1;
                        values[p] = table.values[row];
                    }
    }
    const auto missing = std::find(filled.begin(), filled.end(), 0);
    if (missing != filled.end()) {
        throw ToolError("the table lacks " +
                        std::to_string(std::count(filled.begin(), filled.end(), 0)) + " of the " +
                        std::to_string(n) + " points of the " + gridText(grid) + " centre grid");
    }
    FitResult result = fitValuesAtCentres(values, grid, options);
    result.ranges = ranges;
    return result;
}

namespace {

std::array<double, 4> parseScales(const std::string& text) {
    std::array<double, 4> scales{};
    std::vector<std::string> fields = splitFields(text);
    if (fields.size() != 4) throw ToolError("--scales takes four numbers: p,strain,T,v");
    for (int d = 0; d < 4; ++d)
        scales[d] = parseNumber(fields[d], 0);
    return scales;
}

std::string describeFit(const FitResult& r) {
    char line[200];
    std::string text = "fitted " + std::to_string(r.package.weights.size()) + " centres (" +
                       gridText(r.centreGrid) + ")";
    for (int d = 0; d < 4; ++d) {
        if (r.ranges[d]) {
            std::snprintf(line, sizeof line, ", %s %g..%g", kVariableColumns[d], (*r.ranges[d])[0],
                          (*r.ranges[d])[1]);
        } else {
            std::snprintf(line, sizeof line, ", %s constant", kVariableColumns[d]);
        }
        text += line;
    }
    std::snprintf(line, sizeof line,
                  "\nreciprocal condition %.3g; largest deviation at the centres %.3g (values up "
                  "to %.3g)\n",
                  r.reciprocalCondition, r.largestDeviation, r.largestValue);
    return text + line;
}

}  // namespace

void addFitCommand(CLI::App& app, CommandStatus& status) {
    struct Options {
        std::string table, output, scales = "1,1,1,1";
        FitOptions fit;
        uint64_t centres = 0;
        bool quiet = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand("fit", "Fit a package model to values at its centres");
    cmd->footer(
        "Prints the package as JSON, for the \"packages\" of a description. The offset is the "
        "mean of the values; the weights interpolate the rest exactly at the centres.\n"
        "The table's points must form the centre grid: 5 (or for pressure 8) to 10 evenly "
        "spaced values on every axis it varies; a variable the table leaves out or keeps "
        "constant is taken as not mattering.\n"
        "Example: mxtool fit friction.csv --shape 0.25 --grid-points 10 -o friction.json");
    addInputFile(cmd, "table", o->table,
                 "CSV with a header: pressure,strain,temperature,velocity,value");
    cmd->add_option("-o,--output", o->output, "file to write (default: stdout)");
    cmd->add_option("--shape", o->fit.shape, "constant under each square root (> 0)")
        ->capture_default_str();
    cmd->add_option("--scales", o->scales, "scale factors of pressure,strain,temperature,velocity")
        ->capture_default_str();
    cmd->add_option("--grid-points", o->fit.gridPointCount,
                    "points per axis of the solver's evaluation grid for this package")
        ->capture_default_str();
    cmd->add_option("--factor", o->fit.factor, "multiplier of every evaluated value")
        ->capture_default_str();
    cmd->add_option("--centres", o->centres,
                    "centre count (625, 1000, 1296, 2401, 4096, 6561, 10000; default: from the "
                    "table)");
    cmd->add_flag("-q,--quiet", o->quiet, "no summary on stderr");
    cmd->callback([o, &status] {
        o->fit.scales = parseScales(o->scales);
        if (o->centres != 0) o->fit.centreCount = o->centres;
        const FitTable table = parseFitTable(readFileText(o->table));
        FitResult result;
        {
            Progress progress("fitting " + o->table);
            result = fitTable(table, o->fit);
        }
        Json package;
        package["gridPointCount"] = result.package.gridPointCount;
        package["factor"] = static_cast<int64_t>(result.package.factor);
        package["shape"] = result.package.shape;
        package["offset"] = result.package.offset;
        package["scales"] = result.package.scales;
        package["weights"] = result.package.weights;
        const std::string text = layoutJson(package);
        writeOutput(o->output, text);
        if (!o->quiet) std::fputs(describeFit(result).c_str(), stderr);
        status.exitCode = 0;
    });
}

}  // namespace mx::tool
