// report: one self-contained HTML page about a material, to mail to a
// colleague: what the file holds (as inspect), what check finds, and inline
// SVG charts of every available quantity over each local contact variable at
// the nominal conditions, one curve per lubrication amount. No external file,
// script, font or network reference.
#pragma once

#include <string>

#include "mxtool/material.h"

namespace mx::tool {

// The page. `steps`: values a curve is sampled at. Charts need gnuplot;
// throws ToolError saying how to get it when it is missing.
std::string reportHtml(const LoadedMaterial& material, int steps);

}  // namespace mx::tool
