// inspect: what a data file, record stream or description holds, as the
// plug-in sees it.
#pragma once

#include <string>

#include "mxtool/description.h"
#include "mxtool/material.h"

namespace mx::tool {

// Everything inspect reports, as JSON (the --json output).
Json summarizeMaterial(const LoadedMaterial& material);
// The same, readable.
std::string renderSummary(const Json& summary);

}  // namespace mx::tool
