// Writes the seed corpora of the fuzz targets: small valid blobs, Sheet,
// Lubricant and module records, each a file under <corpus>/<target>/seed-*.
// Run by `scripts/fuzz.sh seeds`; the output is committed, so a change here
// shows up as changed seed files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_support.h"
#include "io/data_file_writer.h"
#include "support/samples.h"

namespace fs = std::filesystem;
using namespace mx::test;

namespace {

void save(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    const fs::path path = dir / ("seed-" + name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    std::printf("%-60s %7zu bytes\n", path.c_str(), bytes.size());
}

// A data file with `chunks` between the preamble and the end marker, in the
// structure-aware form of the fuzz_datafile target (record chunks in
// plaintext, no trailer) and sealed for fuzz_datafile_raw.
using Chunk = std::tuple<int16_t, uint16_t, Bytes>;  // type, kind, payload
void saveDataFile(const fs::path& root, const std::string& name, const std::string& preamble,
                  const std::vector<Chunk>& chunks, const std::string& after = "") {
    Bytes plain(preamble.begin(), preamble.end());
    plain.push_back(0x03);
    for (const auto& [type, kind, payload] : chunks) {
        mx::appendChunkHeader(plain, type, kind, static_cast<int32_t>(payload.size()));
        plain.insert(plain.end(), payload.begin(), payload.end());
    }
    mx::appendChunkHeader(plain, 3, 0, 0);
    plain.insert(plain.end(), after.begin(), after.end());
    save(root / "fuzz_datafile", name, plain);
    Bytes sealed;
    if (!mxfuzz::sealDataFile(plain.data(), plain.size(), sealed))
        throw std::runtime_error("cannot seal a seed data file");
    save(root / "fuzz_datafile_raw", name, sealed);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mx_fuzz_seeds <corpus directory>\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const SampleStream& s : SampleStreams()) {
        if (s.kind == mx::kModuleRecord) save(root / "fuzz_blob", s.name, s.bytes);
        // The dispatch target's first byte selects the kind: 0 Sheet, 1 Lubricant, 2 module record.
        Bytes selected{static_cast<uint8_t>(s.kind - 1)};
        selected.insert(selected.end(), s.bytes.begin(), s.bytes.end());
        save(root / "fuzz_dispatch", s.name, selected);
    }

    const Bytes small = SampleStreamBytes("without-entries");
    saveDataFile(root, "module-record", "mx seed", {{2, 3, small}}, "after");
    saveDataFile(root, "sheet-after-skip", "",
                 {{5, 0, Bytes(40, 0x5A)}, {2, 1, SampleStreamBytes("sheet-6")}});
    saveDataFile(root, "lubricant", "lubricant", {{2, 2, SampleStreamBytes("lubricant")}});
    saveDataFile(root, "two-records", "two",
                 {{2, 3, small}, {2, 1, SampleStreamBytes("sheet-12")}});
    saveDataFile(root, "no-records", "", {});
    saveDataFile(root, "skip-3000", "skip", {{-7, 9, Bytes(3000, 0x03)}});
    return 0;
}
