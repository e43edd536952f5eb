// The host integration guide's example in C++: the same roads as guide.c,
// with the module and the blob owned by std::unique_ptr.
//
//   mx_guide_cpp DATAFILE
#include <cstdio>
#include <memory>
#include <vector>

#include "mxplugin/mxplugin.h"

struct ModuleDeleter {
    void operator()(MorvexModule* m) const { Morvex_FreeModule(m); }
};
using Module = std::unique_ptr<MorvexModule, ModuleDeleter>;

// Pre-processor: data file -> blob. Empty when the file is rejected.
std::vector<uint8_t> storeModule(const char* path) {
    MorvexModule* raw = nullptr;
    if (!Morvex_LoadFile(path, &raw)) return {};
    const Module module(raw);
    uint8_t* blob = nullptr;
    uint64_t length = 0;
    if (!module || !Morvex_SerializeModule(module.get(), &blob, &length)) return {};
    std::vector<uint8_t> copy(blob, blob + length);
    Morvex_FreeBlob(&blob);
    return copy;
}

// Solver, analysis start: null when the blob does not prepare.
Module prepareModule(const std::vector<uint8_t>& blob) {
    MorvexModule* raw = nullptr;
    const bool ok = Morvex_DeserializeAndPrepareSolverData(
                        blob.data(), static_cast<int32_t>(blob.size()), &raw) == 1;
    Module module(raw);  // released either way
    return ok ? std::move(module) : nullptr;
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::vector<uint8_t> blob = storeModule(argv[1]);
    if (blob.empty()) return 1;
    std::printf("blob %d bytes\n", static_cast<int>(blob.size()));
    const Module module = prepareModule(blob);
    if (!module) return 1;

    MorvexInputRecord in{};
    Morvex_SetSystemInput(&in, 0, 1.1, 1.0, 0.3, 0);
    for (const double pressure : {10.0, 40.0, 80.0}) {
        Morvex_SetNodalInput(&in, pressure, 0.2, 110.0, 110.0, 250.0, 1.0, 0.0);
        double mu = 0.0, area = 0.0;
        if (!Morvex_GetPackageValue(module.get(), in, 3, &mu) ||
            !Morvex_GetRealContactArea(module.get(), in, 0.0, &area))
            return 1;
        std::printf("p = %5.1f  mu = %8.6f  area = %8.6f\n", pressure, mu, area);
    }
    return 0;  // the module is released here
}
