// What every module that came out of a blob, a record or a data file must
// survive, shared by the fuzz targets: the getters, the serialization round
// trip, preparation and every query on contact states the fuzzer chooses.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "mxplugin/mxplugin.h"

namespace mxfuzz {

// A handle value no successful call returns: out-parameters start with it so
// that a failed call that wrote one anyway is caught.
MorvexModule* untouchedHandle();

// Ends the run with a message; libFuzzer keeps the input as a crash.
[[noreturn]] void fail(const char* what);

// Every getter; each string handed out must end within 1001 units.
void readEveryProperty(const MorvexModule* module);

// Serialize, read back, serialize again: the second blob must equal the first.
void checkRoundTrip(const MorvexModule* module);

// Multiquadric terms a preparation of the module would compute. The targets
// skip preparation above a budget so that each run stays short; the hostile
// size tests cover large grids.
double preparationCost(const MorvexModule* module);

// `queries` contact states built from `choices` (NaN, infinities, axis nodes
// and raw bit patterns), each put to every evaluation function.
void queryEverything(const MorvexModule* module, FuzzedDataProvider& choices, int queries);

// Getters, round trip, queries, then preparation and the same again. The
// caller keeps ownership of the module. `data` chooses the contact states.
void exerciseModule(MorvexModule* module, const uint8_t* data, size_t size);

}  // namespace mxfuzz
