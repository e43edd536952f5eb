// What every module that came out of a blob, a record or a data file must
// survive, shared by the fuzz targets: the getters, the serialization round
// trip, preparation and every query on contact states the fuzzer chooses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mxplugin/mxplugin.h"

namespace mxfuzz {

// A handle value no successful call returns: out-parameters start with it so
// that a failed call that wrote one anyway is caught.
MorvexModule* untouchedHandle();

// Ends the run with a message; libFuzzer keeps the input as a crash.
[[noreturn]] void fail(const char* what);

// Getters (each string handed out must end within 1001 units), round trip,
// queries, then preparation and the same again. The caller keeps ownership of
// the module. `data` chooses the contact states: NaN, infinities, axis nodes,
// range ends and raw bit patterns, each put to every query twice.
void exerciseModule(MorvexModule* module, const uint8_t* data, size_t size);

}  // namespace mxfuzz
