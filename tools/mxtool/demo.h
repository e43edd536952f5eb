// The demo: the embedded demo material through both roads of the plug-in.
#pragma once

#include <string>

#include "mxtool/description.h"

namespace mx::tool {

// data/demo.json as built into the program.
Json demoMaterialDescription();
// Writes <directory>/demo.mxd and the friction chart; prints the report.
int runDemo(const std::string& directory);

}  // namespace mx::tool
