// Writes the seed corpora of the fuzz targets: small valid blobs, Sheet,
// Lubricant and module records, each a file under <corpus>/<target>/seed-*.
// Run by `scripts/fuzz.sh seeds`; the output is committed, so a change here
// shows up as changed seed files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "data_file_sealing.h"
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

// A data file in the structure-aware form of the fuzz_datafile target: record
// chunks in plaintext, no trailer.
struct PlainDataFile {
    Bytes bytes;
    explicit PlainDataFile(const std::string& preamble) : bytes(preamble.begin(), preamble.end()) {
        bytes.push_back(0x03);
    }
    PlainDataFile& chunk(int16_t type, uint16_t kind, const Bytes& payload) {
        mx::appendChunkHeader(bytes, type, kind, static_cast<int32_t>(payload.size()));
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        return *this;
    }
    PlainDataFile& end(const std::string& after = "") {
        mx::appendChunkHeader(bytes, 3, 0, 0);
        bytes.insert(bytes.end(), after.begin(), after.end());
        return *this;
    }
};

// The plain form for fuzz_datafile, the sealed one for fuzz_datafile_raw.
void saveDataFile(const fs::path& root, const std::string& name, const PlainDataFile& plain) {
    save(root / "fuzz_datafile", name, plain.bytes);
    Bytes sealed;
    if (!mxfuzz::sealDataFile(plain.bytes.data(), plain.bytes.size(), sealed)) {
        throw std::runtime_error("cannot seal a seed data file");
    }
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
    saveDataFile(root, "module-record", PlainDataFile("mx seed").chunk(2, 3, small).end("after"));
    saveDataFile(root, "sheet-after-skip",
                 PlainDataFile("")
                     .chunk(5, 0, Bytes(40, 0x5A))
                     .chunk(2, 1, SampleStreamBytes("sheet-6"))
                     .end());
    saveDataFile(root, "lubricant",
                 PlainDataFile("lubricant").chunk(2, 2, SampleStreamBytes("lubricant")).end());
    saveDataFile(
        root, "two-records",
        PlainDataFile("two").chunk(2, 3, small).chunk(2, 1, SampleStreamBytes("sheet-12")).end());
    saveDataFile(root, "no-records", PlainDataFile("").end());
    saveDataFile(root, "skip-3000", PlainDataFile("skip").chunk(-7, 9, Bytes(3000, 0x03)).end());
    return 0;
}
