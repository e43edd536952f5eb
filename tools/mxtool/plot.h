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
    int width = 800, height = 500;  // pixels
    bool keyBelow = false;          // legend under the plot, not beside it
};

// The gnuplot script that draws `chart` into `output` with `terminal`
// ("pngcairo" or "svg"); the data travel inside the script.
std::string gnuplotScript(const Chart& chart, const std::string& terminal,
                          const std::string& output);

// Writes <base>.png and <base>.svg; throws ToolError when gnuplot is missing or fails.
void drawChart(const Chart& chart, const std::string& base);

// Runs gnuplot on `script`. Throws ToolError saying how to install gnuplot
// when it is not on the PATH, and when it fails. `quiet` drops gnuplot's
// messages (such as its notes on flat curves).
void runGnuplot(const std::string& script, const std::string& what, bool quiet = false);

}  // namespace mx::tool
