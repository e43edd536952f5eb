// Fuzz target: data files, structure-aware. The input is a data file with its
// record chunks in plaintext and no trailer (fuzz_support.h); the target
// encrypts the record chunks, appends the MD5 trailer and loads the result
// with Morvex_LoadFile, so mutations of the preamble, the chunk headers and the
// records get past the integrity check and into the chunk walk and parsers.
//
// Guards against: crashes, leaks and out-of-bounds reads in the chunk walk,
// decryption and dispatch of several record chunks; a failed load that writes
// the caller's handle or leaves a file open; loaded modules that fail anything
// a blob's module must survive.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file;
    if (!mxfuzz::sealDataFile(data, size, file)) mxfuzz::fail("sealing failed");
    mxfuzz::loadAndExercise(file, data, size);
    return 0;
}
