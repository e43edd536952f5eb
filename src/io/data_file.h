// The encrypted data file: preamble, chunks, MD5 trailer.
#pragma once

#include "api/module.h"

namespace mx {

struct LoadFault;  // why a load failed, for tools; defined by the loader

// Morvex_LoadFile: on success `out` holds the module of the last record chunk
// (null when the file has none).
bool LoadDataFile(const char* path, ModulePtr& out);

}  // namespace mx
