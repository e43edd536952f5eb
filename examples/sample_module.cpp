// Writes a sample friction module for the example host: eight primary and
// eight transverse data points over a 2 x 2 x 2 x 1 condition table, twelve
// packages each with multiquadric models on the 625-, 1000- and 1296-centre
// grids, heat-transfer curves that preparation has to limit, status lists and
// properties. Every number comes from a fixed pseudo-random sequence, so the
// file is the same on every run and every machine.
//
//   mx_sample_module OUT.mxd       a data file whose one record chunk holds the
//                                  module record
//   mx_sample_module --blob OUT    the module record alone (a blob)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "api/module.h"
#include "io/data_file_writer.h"
#include "io/dispatch.h"
#include "serialize/module_record.h"
#include "stream/record_writer.h"

namespace {

using mx::Module;
using mx::PackageData;
using mx::TableEntry;

// splitmix64: a fixed, portable sequence.
struct Sequence {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi), from the top 53 bits.
    double uniform(double lo, double hi) {
        const double unit = static_cast<double>(next() >> 11) * 0x1.0p-53;
        return lo + unit * (hi - lo);
    }
};

struct PackageShape {
    uint64_t gridPointCount;  // 0: the package has no data
    uint64_t weightCount;     // 625, 1000 or 1296 centres
    int64_t factor;
    double offset;      // sets the package's level
    double weightSpan;  // weights lie in [-span, span)
};

// By package index (see the id map of the package table).
const PackageShape kPackages[12] = {
    {5, 625, 1, 0.55, 0.004},    // 0, id 4: real contact area
    {4, 1000, 1, 0.30, 0.003},   // 1, id 3
    {5, 625, 1, 0.20, 0.002},    // 2, id 2: average only
    {5, 625, 1, 1.40, 0.006},    // 3, id 5: lubrication amount
    {5, 625, 1, 0.10, 0.002},    // 4, id 1: average only
    {5, 1296, 1, 1.10, 0.003},   // 5, id 0: surface roughness
    {5, 625, 1, 4.00, 0.004},    // 6: heat-transfer coefficient
    {4, 625, 1, 0.05, 0.006},    // 7: spot lubrication, negatives cut at preparation
    {5, 625, 2, 0.30, 0.002},    // 8: galling
    {3, 625, -1, -0.20, 0.002},  // 9: wear, negated by its factor
    {5, 625, 1, 0.70, 0.003},    // 10: production volume, first limit
    {0, 0, 1, 0.00, 0.0},        // 11: not defined by this module
};

PackageData makePackage(const PackageShape& shape, Sequence& random) {
    PackageData p;
    p.scales = {0.9, 1.1, 0.7, 1.3, 7.0};  // the fifth is carried, never used
    p.weights.resize(shape.weightCount);
    for (double& w : p.weights)
        w = random.uniform(-shape.weightSpan, shape.weightSpan);
    p.shape = 0.25;
    p.offset = shape.offset + random.uniform(-0.05, 0.05);
    p.factor = static_cast<uint64_t>(shape.factor);
    p.gridPointCount = shape.gridPointCount;
    return p;
}

// One curve of five samples over the temperature range; the upper samples lie
// above the coefficient of package 6 (about 4), so preparation lowers them.
mx::HeatTransferCurve makeCurve(Sequence& random) {
    mx::HeatTransferCurve c;
    for (int k = 0; k < 5; ++k) {
        c.numerators.push_back(2.0 + 1.5 * k + random.uniform(0.0, 0.5));
        c.divisors.push_back(1.0 + random.uniform(0.0, 0.25));
        c.offsets.push_back(0.5);
    }
    return c;
}

TableEntry makeEntry(double sheet, double lubrication, double tool, Sequence& random) {
    TableEntry e;
    e.sheetRoughness = sheet;
    e.lubricationAmount = lubrication;
    e.toolRoughness = tool;
    e.stateValue = 0.0;
    for (const PackageShape& shape : kPackages)
        e.packageData.push_back(makePackage(shape, random));
    e.curves.push_back(makeCurve(random));
    return e;
}

void addProperty(mx::PropertyList& list, const char16_t* key, const char16_t* value) {
    list.keys.emplace_back(key);
    list.values.emplace_back(value);
    mx::refreshView(list);
}

Module makeSampleModule() {
    Module m;
    m.name = mx::kVersionBlockName;
    m.formatVersion = 3;
    m.text1 = u"sample sheet";
    m.text2 = u"sample lubricant";
    m.solverId = u"MX2";
    m.pressureMin = 2.0, m.pressureMax = 80.0;
    m.strainMin = 0.0, m.strainMax = 0.5;
    m.temperatureMin = 20.0, m.temperatureMax = 200.0;
    m.velocityMin = 10.0, m.velocityMax = 500.0;
    // Axes stored unsorted: finalization sorts them.
    m.sheetRoughnessValues = {1.6, 0.8};
    m.lubricationAmountValues = {2.0, 0.9};
    m.toolRoughnessValues = {0.45, 0.3};
    m.stateAxis = {0.0};
    Sequence random{20240607};
    for (std::vector<TableEntry>* entries : {&m.primaryEntries, &m.secondaryEntries}) {
        for (double sheet : m.sheetRoughnessValues)
            for (double lubrication : m.lubricationAmountValues)
                for (double tool : m.toolRoughnessValues)
                    entries->push_back(makeEntry(sheet, lubrication, tool, random));
    }
    m.nominalSheetRoughness = 1.2;
    m.nominalLubricationAmount = 1.5;
    m.nominalToolRoughness = 0.35;
    m.strainRougheningValues = {0.0, 0.12};
    m.staticFrictionValues = {0.15};
    m.toolWearValues = {1.0, 2.0, 3.0};
    m.directionDependency = 1;
    m.heatTransferStatus = 1;
    addProperty(m.workpieceProperties, u"SheetGrade", u"DX56D+Z");
    addProperty(m.workpieceProperties, u"SheetThickness", u"0.8 mm");
    addProperty(m.lubricantProperties, u"LubricantName", u"Prelube A");
    addProperty(m.toolingProperties, u"ToolingMaterial", u"GGG70L");
    return m;
}

bool writeFile(const char* path, const uint8_t* bytes, size_t length) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes, 1, length, f) == length;
    return std::fclose(f) == 0 && written;
}

// A preamble the loader skips, the record chunk, a chunk it steps over, the
// end marker and the MD5 trailer.
bool writeDataFile(const char* path, const uint8_t* stream, size_t length) {
    mx::DataFileContent content;
    const char preamble[] = "mxplugin sample material";
    content.preamble.assign(preamble, preamble + sizeof preamble - 1);
    mx::DataFileChunk record;
    if (!mx::MakeRecordChunk(mx::kModuleRecord, stream, length, record)) return false;
    content.chunks.push_back(std::move(record));
    content.chunks.push_back(mx::MakeSkipChunk(7, std::vector<uint8_t>(40, 0x5A)));
    return mx::WriteDataFileToPath(content, path);
}

}  // namespace

int main(int argc, char** argv) {
    const bool blobOnly = argc == 3 && std::strcmp(argv[1], "--blob") == 0;
    if (argc != 2 && !blobOnly) {
        std::fprintf(stderr, "usage: mx_sample_module (OUT.mxd | --blob OUT)\n");
        return 2;
    }
    const char* out = argv[argc - 1];
    const Module m = makeSampleModule();
    mx::MallocBuffer blob;
    uint64_t length = 0;
    const bool written =
        mx::SerializeModule(m, blob, length) &&
        (blobOnly ? writeFile(out, blob.get(), length) : writeDataFile(out, blob.get(), length));
    if (!written) {
        std::fprintf(stderr, "mx_sample_module: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
