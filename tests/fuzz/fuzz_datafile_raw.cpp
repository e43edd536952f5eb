// Fuzz target: raw data files, trailer included, through Morvex_LoadFile. Most
// inputs stop at the integrity check; this target covers that check and
// everything before it: file sizes around the trailer and the 2048-byte
// hashing blocks, wrong trailers, record chunks that are not whole cipher
// blocks or claim more than the file holds.
//
// Guards against: crashes, leaks and out-of-bounds reads in the first pass and
// the chunk walk; a failed load that writes the caller's handle.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    mxfuzz::loadAndExercise(std::vector<uint8_t>(data, data + size), data, size);
    return 0;
}
