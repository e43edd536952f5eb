// pack and unpack: description <-> data file or record stream.
#pragma once

#include <optional>
#include <vector>

#include "mxtool/description.h"
#include "mxtool/io.h"

namespace mx::tool {

enum class PackForm { DataFile, RecordStream };

// A data file (one encrypted record chunk) or the bare record stream (for a
// module description, a blob). The data file's preamble comes from the
// description's "dataFile" object when it has one.
std::vector<uint8_t> packDescription(const Json& description, PackForm form);

// Describes a data file or a record stream. A stream's kind is peeked from its
// version block; a Sheet record stream has none, so `sheetStream` says so.
// A data file's description records its preamble, so packing it again gives
// the same file.
Json unpackBytes(const std::vector<uint8_t>& bytes, bool sheetStream = false);

}  // namespace mx::tool
