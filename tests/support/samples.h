// Shared samples: material records, sample modules and their record streams,
// data files, a byte builder that spells streams out independently of the
// library's writer. The first part (samples.cpp) needs no GoogleTest, so the
// fuzz seed generator and the example sample writer build from it too; the
// checks at the end (checks.cpp) are for the test binaries only.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "io/dispatch.h"
#include "model/module.h"
#include "records/lubricant_record.h"
#include "records/sheet_record.h"
#include "support/module_builder.h"

namespace mx::test {

using Bytes = std::vector<uint8_t>;

// Little-endian stream items, spelled out independently of RecordWriter.
struct StreamBytes {
    std::vector<uint8_t> b;
    StreamBytes& put(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    StreamBytes& u16(uint16_t v) { return put(v, 2); }
    StreamBytes& u64(uint64_t v) { return put(v, 8); }
    StreamBytes& f64(double v) { return put(std::bit_cast<uint64_t>(v), 8); }
    StreamBytes& str(const char* s) {  // counted 8-bit string
        put(std::strlen(s), 8).b.insert(b.end(), s, s + std::strlen(s));
        return *this;
    }
};

// A null-terminated UTF-16 string as handed out by the exports.
std::u16string text(const uint16_t* s);

// A property list from key/value pairs, view refreshed.
PropertyList propertyList(std::initializer_list<std::pair<Text, Text>> pairs);

// A Sheet record with one group of items per amount. groupSize 12 sets the
// direction flag; 6 leaves four zero flags. Item idx has offset idx, shape
// idx + 0.5, scales {idx, 1, 2, 3} and weights {idx * 10}, so every package
// tells which item it came from.
SheetRecord sheetRecordWithItems(int groupSize, const std::vector<double>& amounts);

// A Lubricant record with two primary and two secondary entries on the axes
// sheet roughness {1.0, 0.5}, amount {2.0}, tool roughness {0.3}, state {0.0}
// (axes deliberately descending), each entry with two package models and one
// heat-transfer curve.
LubricantRecord sampleLubricantRecord();

// A small module with entries, axes and properties. Different variants differ
// in their texts, coordinates and model values, so loads can tell them apart.
// Its models have three centres: it reads and travels but does not prepare.
Module SampleModule(int variant);
// A module with one entry of one package and nothing else: small files for
// tests that change every byte.
Module TinyModule();

// The module record of `m` with its solver id cut out: the ranges follow the
// second text directly (the first range bound must not read as a count).
Bytes BlobWithoutSolverId(const Module& m);

// One record stream of each shape the readers and preparation tell apart:
// representative modules (a single data point with packages 9 and 11 empty,
// a 2 x 2 table stored descending, transverse data, 1000- and 1296-centre
// models), SampleModule, a module without entries, one without a solver id,
// Sheet records with groups of 6 and 12, a Lubricant record. Every module
// record stays below 64 KB.
struct SampleStream {
    std::string name;
    RecordKind kind;
    Bytes bytes;
    bool prepares;  // its models have centre grids: preparation succeeds
};
std::vector<SampleStream> SampleStreams();
// The bytes of the sample stream called `name`; empty when there is none.
Bytes SampleStreamBytes(const std::string& name);

// A data file from the library's writer: a two-byte preamble, a chunk the
// loader skips, a record chunk of `kind` per stream, the end marker, the
// trailer. Empty when the writer refuses.
Bytes DataFileOf(const std::vector<std::pair<RecordKind, Bytes>>& records);

// Little-endian chunk header written independently of the library's writer.
void putHeader(Bytes& file, int16_t type, uint16_t kind, int32_t length);

Bytes readWholeFile(const std::string& path);

// ---- With GoogleTest (checks.cpp) ----

// The {min, max} a range export reports; expects it to succeed.
std::pair<double, double> rangeOf(uint32_t (*get)(const Module*, double*, double*),
                                  const Module& m);

// Morvex_DeserializeModule over the bytes; null when it fails. Checks that a
// failure leaves the out-parameter untouched.
ModulePtr deserialize(const std::vector<uint8_t>& bytes);

// Two modules agree when their module records and everything finalization
// derives (tables, package tables, grid spacing) agree.
void ExpectSameModule(const Module& actual, const Module& expected);

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
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

}  // namespace mx::test
