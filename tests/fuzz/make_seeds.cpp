// Writes the seed corpora of the fuzz targets: small valid blobs, Sheet,
// Lubricant and module records, each a file under <corpus>/<target>/seed-*.
// Run by `scripts/fuzz.sh seeds`; the output is committed, so a change here
// shows up as changed seed files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data_file_sealing.h"
#include "support/sample_modules.h"

namespace fs = std::filesystem;
using namespace mxtest;

namespace {

void save(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    std::printf("%-60s %7zu bytes\n", (dir / name).c_str(), bytes.size());
}

// The dispatch target takes a selector byte first: 0 Sheet, 1 Lubricant, 2 module record.
Bytes withSelector(uint8_t selector, const Bytes& record) {
    Bytes b{selector};
    b.insert(b.end(), record.begin(), record.end());
    return b;
}

// A data file in the structure-aware form of the fuzz_datafile target: record
// chunks in plaintext, no trailer.
struct PlainDataFile {
    Bytes bytes;
    explicit PlainDataFile(const std::string& preamble) : bytes(preamble.begin(), preamble.end()) {
        bytes.push_back(0x03);
    }
    PlainDataFile& chunk(int16_t type, uint16_t kind, const Bytes& payload) {
        header(type, kind, static_cast<int32_t>(payload.size()));
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        return *this;
    }
    PlainDataFile& end(const std::string& after = "") {
        header(3, 0, 0);
        bytes.insert(bytes.end(), after.begin(), after.end());
        return *this;
    }
    void header(int16_t type, uint16_t kind, int32_t length) {
        for (int i = 0; i < 2; ++i)
            bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(type) >> (8 * i)));
        for (int i = 0; i < 2; ++i)
            bytes.push_back(static_cast<uint8_t>(kind >> (8 * i)));
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(length) >> (8 * i)));
    }
};

void saveDataFile(const fs::path& root, const std::string& name, const PlainDataFile& plain) {
    save(root / "fuzz_datafile", "seed-" + name, plain.bytes);
    Bytes sealed;
    if (!mxfuzz::sealDataFile(plain.bytes.data(), plain.bytes.size(), sealed)) {
        throw std::runtime_error("cannot seal a seed data file");
    }
    save(root / "fuzz_datafile_raw", "seed-" + name, sealed);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mx_fuzz_seeds <corpus directory>\n");
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path blob = root / "fuzz_blob", dispatch = root / "fuzz_dispatch";

    const std::pair<const char*, mx::Module> modules[] = {
        {"single-point", singlePointModule()},
        {"table", tableModule()},
        {"directional", directionalModule()},
        {"other-centres", otherCentresModule()},
        {"without-entries", moduleWithoutEntries()}};
    for (const auto& [name, m] : modules) {
        save(blob, std::string("seed-") + name, serializedModule(m));
    }
    save(blob, "seed-without-solver-id", moduleRecordWithoutSolverId());

    save(dispatch, "seed-sheet-6", withSelector(0, sheetRecord(6, {1.0, 2.0})));
    save(dispatch, "seed-sheet-12", withSelector(0, sheetRecord(12, {0.5, 2.0, 1.0})));
    save(dispatch, "seed-sheet-empty", withSelector(0, sheetRecord(6, {})));
    save(dispatch, "seed-lubricant-table", withSelector(1, lubricantRecord(tableModule())));
    save(dispatch, "seed-lubricant-directional",
         withSelector(1, lubricantRecord(directionalModule())));
    save(dispatch, "seed-module-single-point",
         withSelector(2, serializedModule(singlePointModule())));
    save(dispatch, "seed-module-without-entries",
         withSelector(2, serializedModule(moduleWithoutEntries())));

    const Bytes small = serializedModule(moduleWithoutEntries());
    saveDataFile(root, "module-record", PlainDataFile("mx seed").chunk(2, 3, small).end("after"));
    saveDataFile(root, "sheet-after-skip",
                 PlainDataFile("")
                     .chunk(5, 0, Bytes(40, 0x5A))
                     .chunk(2, 1, sheetRecord(6, {1.0, 2.0}))
                     .end());
    saveDataFile(
        root, "lubricant",
        PlainDataFile("lubricant").chunk(2, 2, lubricantRecord(directionalModule())).end());
    saveDataFile(
        root, "two-records",
        PlainDataFile("two").chunk(2, 3, small).chunk(2, 1, sheetRecord(12, {0.5, 1.0})).end());
    saveDataFile(root, "no-records", PlainDataFile("").end());
    saveDataFile(root, "skip-3000", PlainDataFile("skip").chunk(-7, 9, Bytes(3000, 0x03)).end());
    return 0;
}
