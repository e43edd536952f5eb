// Writes a sample friction module for the example host: eight primary and
// eight transverse data points over a 2 x 2 x 2 x 1 condition table, twelve
// packages each (package 11 left undefined) with multiquadric models on the
// 625-, 1000- and 1296-centre grids, galling and wear scaled by their factors,
// heat-transfer curves whose upper samples preparation has to limit, status
// lists and properties. The module comes from the test suite's builder with a
// fixed pseudo-random sequence, so the file is the same on every run and every
// machine.
//
//   mx_sample_module OUT.mxd       a data file whose one record chunk holds the
//                                  module record
//   mx_sample_module --blob OUT    the module record alone (a blob)
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "io/data_file_writer.h"
#include "serialize/module_record.h"
#include "support/samples.h"

namespace {

mx::ModulePtr makeSampleModule() {
    mx::test::RepresentativeOptions o;
    o.centreCounts = {625, 1000, 1296};
    o.toolRoughnessCount = 2;
    o.stateCount = 1;
    o.packagesWithData = 0x7FF;
    o.seed = 20240607;
    mx::ModulePtr m = mx::test::RepresentativeModule(o);
    for (auto* entries : {&m->primaryEntries, &m->secondaryEntries}) {
        for (mx::TableEntry& e : *entries) {
            e.packageData[8].factor = 2;                          // galling doubled
            e.packageData[9].factor = static_cast<uint64_t>(-1);  // wear negated
            // Five samples rising past the coefficient of package 6 (about 3
            // to 5): preparation lowers the upper ones.
            mx::HeatTransferCurve& c = e.curves.front();
            for (size_t k = 0; k < c.numerators.size(); ++k) {
                c.numerators[k] = 2.0 + 1.5 * static_cast<double>(k);
                c.divisors[k] = 1.0 + 0.05 * static_cast<double>(k);
                c.offsets[k] = 0.5;
            }
        }
    }
    m->text1 = u"sample sheet";
    m->text2 = u"sample lubricant";
    m->solverId = u"MX2";
    m->nominalSheetRoughness = 0.8;
    m->nominalLubricationAmount = 1.5;
    m->nominalToolRoughness = 0.25;
    m->strainRougheningValues = {0.0, 0.12};
    m->staticFrictionValues = {0.15};
    m->toolWearValues = {1.0, 2.0, 3.0};
    m->workpieceProperties =
        mx::test::propertyList({{u"SheetGrade", u"DX56D+Z"}, {u"SheetThickness", u"0.8 mm"}});
    m->lubricantProperties = mx::test::propertyList({{u"LubricantName", u"Prelube A"}});
    m->toolingProperties = mx::test::propertyList({{u"ToolingMaterial", u"GGG70L"}});
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
    const mx::ModulePtr m = makeSampleModule();
    mx::MallocBuffer blob;
    uint64_t length = 0;
    const bool written =
        mx::SerializeModule(*m, blob, length) &&
        (blobOnly ? writeFile(out, blob.get(), length) : writeDataFile(out, blob.get(), length));
    if (!written) {
        std::fprintf(stderr, "mx_sample_module: cannot write %s\n", out);
        return 1;
    }
    return 0;
}
