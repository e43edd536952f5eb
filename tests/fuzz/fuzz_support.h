// What every module that came out of a blob, a record or a data file must
// survive, shared by the fuzz targets: the getters, the serialization round
// trip, preparation and every query on contact states the fuzzer chooses. And
// the structure-aware form of a data file: one whose record chunks hold their
// plaintext and which has no trailer. Sealing encrypts each record chunk
// (padding it to whole cipher blocks, which sets its header's length) and
// appends the MD5 trailer, so that mutated files get past the integrity check
// and their records reach the parsers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// Layout read from `plain`: preamble up to and including the first 0x03;
// then chunks of an 8-byte header (i16 type, u16 kind, i32 length) and up to
// `length` bytes; an end marker (type 3) is followed by the rest of the input
// unchanged. Whatever does not fit (a cut header, a payload longer than the
// input) is copied as it is. Fails only when encryption fails.
bool sealDataFile(const uint8_t* plain, size_t size, std::vector<uint8_t>& sealed);

// Writes `file` where the loader can open it by path (an in-memory file
// reached through /proc/self/fd) and loads it with Morvex_LoadFile. A failed
// load must leave the handle as it was, a successful one set it; a loaded
// module goes through exerciseModule with `data` choosing the states.
void loadAndExercise(const std::vector<uint8_t>& file, const uint8_t* data, size_t size);

}  // namespace mxfuzz
