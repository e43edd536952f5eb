// diff: what differs between two materials (data files, blobs or
// descriptions, in any mix) as the plug-in reads them: the module's fields,
// ranges, axes and properties, the entries added, removed or changed, and per
// package the largest difference of its values over a common grid of contact
// states.
#pragma once

#include <string>

#include "mxtool/description.h"
#include "mxtool/material.h"

namespace mx::tool {

// Everything diff reports, as JSON (the --json output). "same" is true when
// both serialize to the same module record, byte for byte.
Json diffMaterials(const LoadedMaterial& a, const LoadedMaterial& b);
// The same, readable.
std::string renderDiff(const Json& diff);

}  // namespace mx::tool
