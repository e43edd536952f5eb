// The canonical text form of a description: objects one key a line, arrays of
// numbers or strings packed onto lines of at most 100 columns. Stable, so a
// description under version control changes only where the data changes.
#pragma once

#include <string>

#include "mxtool/description.h"

namespace mx::tool {

std::string layoutJson(const Json& value);

}  // namespace mx::tool
