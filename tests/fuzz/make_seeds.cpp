// Writes the seed corpora of the fuzz targets: small valid blobs, Sheet,
// Lubricant and module records, each a file under <corpus>/<target>/seed-*.
// Run by `scripts/fuzz.sh seeds`; the output is committed, so a change here
// shows up as changed seed files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
    return 0;
}
