// The readable description of a material record: a JSON document that names
// every field of a Sheet record, a Lubricant record or a module record, so a
// lab can write one by hand or from a script, and `pack` turns it into exactly
// the record stream the plug-in reads. `unpack` is the inverse: describing a
// record and packing the description again gives the same bytes.
//
// The schema is documented in docs/description.md.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/module.h"

namespace mx::tool {

using Json = nlohmann::ordered_json;

// A description that cannot become a record; `what()` names the JSON path.
struct DescriptionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

constexpr const char* kDescriptionFormat = "mxplugin-material";
constexpr int kDescriptionRevision = 1;

enum class RecordKindName { Sheet = 1, Lubricant = 2, Module = 3 };

// The record kind a description names ("sheet", "lubricant", "module").
RecordKindName describedKind(const Json& description);
const char* kindName(RecordKindName kind);

// Module record <-> description. The module's persisted fields only: tables,
// package flags, grid spacing and grid values are derived and never described.
Json describeModule(const Module& m);
// Builds a module (not finalized) from a description of kind "module".
// Throws DescriptionError.
Module moduleFromDescription(const Json& description);

// Record stream of any described kind: what a record chunk of a data file
// holds after decryption, and for kind "module" exactly a blob.
std::vector<uint8_t> recordStreamOf(const Json& description);
// Describes a record stream of the given kind; throws DescriptionError with
// the reader's reason when the stream does not parse.
Json describeRecordStream(RecordKindName kind, const uint8_t* data, size_t length);

// Text conversions: record strings hold one byte a character, shown in JSON
// as the Unicode characters U+0000..U+00FF.
std::string utf8FromText(const Text& text);
Text textFromUtf8(const std::string& utf8, const std::string& where);

// A property list as [key, value] pairs of text.
Json propertiesJson(const PropertyList& list);

// Package index -> the name of the quantity it carries (for readers of a
// description; packing ignores it).
std::string packageQuantityName(size_t packageIndex);

}  // namespace mx::tool
