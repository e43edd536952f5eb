// Shared by the data-file tests: sample modules and their record streams, a
// comparison of two loaded modules, hand-built file pieces, and a scratch
// directory that removes itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/module.h"

namespace mxtest {

using Bytes = std::vector<uint8_t>;

// A small module with entries, axes and properties. Different variants differ
// in their texts, coordinates and model values, so loads can tell them apart.
mx::Module SampleModule(int variant);
// A module with one entry of one package and nothing else: small files for
// tests that change every byte.
mx::Module TinyModule();
// The module record of `m` (record kind 3).
Bytes ModuleStream(const mx::Module& m);
// Two modules agree when their module records and everything finalization
// derives (tables, package tables, grid spacing) agree.
void ExpectSameModule(const mx::Module& actual, const mx::Module& expected);

// Little-endian chunk header written independently of the library's writer.
void putHeader(Bytes& file, int16_t type, uint16_t kind, int32_t length);
// `plain` zero-padded to whole blocks, encrypted with the built-in key and IV.
Bytes sealRecord(const Bytes& plain);
// Appends the MD5 of `body` to it.
Bytes signFile(Bytes body);

// A fresh directory under the test temp dir, removed with all its files.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string write(const std::string& name, const Bytes& bytes) const;
    std::string path;
};

Bytes readWholeFile(const std::string& path);

}  // namespace mxtest
