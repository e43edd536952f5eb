// Charts of a sweep through gnuplot: one curve per value of a second
// variable, axes labelled with quantity and unit, a legend; written as PNG
// (pngcairo) and SVG.
#pragma once

#include <string>
#include <vector>

#include "mxtool/quantities.h"

namespace mx::tool {

struct Curve {
    std::string title;
    std::vector<double> x, y;
};

struct Chart {
    std::string title;
    std::string xLabel, yLabel;
    std::vector<Curve> curves;
};

// The gnuplot script that draws `chart` into `output` with `terminal`
// ("pngcairo" or "svg"); the data travel inside the script.
std::string gnuplotScript(const Chart& chart, const std::string& terminal,
                          const std::string& output);

// Writes <base>.png and <base>.svg; throws ToolError when gnuplot is missing or fails.
void drawChart(const Chart& chart, const std::string& base);

}  // namespace mx::tool
